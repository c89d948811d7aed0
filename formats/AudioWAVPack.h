// WavPack reader: version 4 and later files, a sequence of "wvpk" blocks, and the version 1 to 3
// files, RIFF/WAVE files whose "data" chunk begins with a "wvpk" header.
#pragma once

#include "framework/AudioFile.h"

namespace audiolens {

TAudioFile* CreateWAVPack();
bool ReadWAVPack(const TFileView& file, TAudioFile& record);

} // namespace audiolens
