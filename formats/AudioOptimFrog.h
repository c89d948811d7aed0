// OptimFROG reader: the 23-byte "OFR " header behind any ID3v2 tag.
#pragma once

#include "framework/AudioFile.h"

namespace audiolens {

TAudioFile* CreateOptimFrog();
bool ReadOptimFrog(const TFileView& file, TAudioFile& record);

} // namespace audiolens
