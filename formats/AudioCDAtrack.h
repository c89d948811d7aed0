// CD audio track reader: the 44-byte RIFF "CDDA" files that stand for the tracks of an audio CD.
#pragma once

#include "framework/AudioFile.h"

namespace audiolens {

TAudioFile* CreateCDAtrack();
bool ReadCDAtrack(const std::string& fileName, TAudioFile& record);

} // namespace audiolens
