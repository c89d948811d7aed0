// MPEG audio (MPEG 1, 2 and 2.5, Layers I to III): ".mp3" files, with ID3v1 (and Lyrics3), ID3v2
// and APE tags.
#pragma once

#include "framework/AudioFile.h"

namespace audiolens {

TAudioFile* CreateMPEG();
bool ReadMPEG(const TFileView& file, TAudioFile& record);

} // namespace audiolens
