// CD audio track reader: the 44-byte RIFF "CDDA" files that stand for the tracks of an audio CD.
#pragma once

#include "framework/AudioFile.h"

namespace audiolens {

TAudioFile* CreateCDAtrack();
bool ReadCDAtrack(const TFileView& file, TAudioFile& record);

} // namespace audiolens
