#pragma once

#include "framework/AudioFile.h"

namespace audiolens {

TAudioFile* CreateWAV();
bool ReadWAV(const TFileView& file, TAudioFile& record);

} // namespace audiolens
