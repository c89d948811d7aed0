// Raw AAC streams (".aac") in either transport syntax, ADIF or ADTS, with ID3v1 (and Lyrics3),
// ID3v2 and APE tags around them.
#pragma once

#include "framework/AudioFile.h"

namespace audiolens {

TAudioFile* CreateAAC();
bool ReadAAC(const TFileView& file, TAudioFile& record);

} // namespace audiolens
