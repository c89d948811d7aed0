// DTS streams (".dts"): the core frames in any of the four stored forms, and DTS-HD streams
// whose core frames are followed by extension substreams.
#pragma once

#include "framework/AudioFile.h"

namespace audiolens {

TAudioFile* CreateDTS();
bool ReadDTS(const TFileView& file, TAudioFile& record);

} // namespace audiolens
