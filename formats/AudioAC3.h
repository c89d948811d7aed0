// Dolby AC-3 and E-AC-3 streams (".ac3"), timed from the first syncframe header.
#pragma once

#include "framework/AudioFile.h"

namespace audiolens {

TAudioFile* CreateAC3();
bool ReadAC3(const TFileView& file, TAudioFile& record);

} // namespace audiolens
