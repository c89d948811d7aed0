// TTA reader: the 22-byte "TTA1" header behind any ID3v2 tag.
#pragma once

#include "framework/AudioFile.h"

namespace audiolens {

TAudioFile* CreateTTA();
bool ReadTTA(const TFileView& file, TAudioFile& record);

} // namespace audiolens
