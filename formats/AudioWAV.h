#pragma once

#include "framework/AudioFile.h"

namespace audiolens {

TAudioFile* CreateWAV();
bool ReadWAV(const std::string& fileName, TAudioFile& record);

} // namespace audiolens
