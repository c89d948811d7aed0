// ASF files (WMA): play duration, preroll and maximum bit rate from the file properties object,
// channels and rate from the audio stream's properties, codec name from the codec list; with
// the WMA and ExWMA tags.
#pragma once

#include "framework/AudioFile.h"

namespace audiolens {

TAudioFile* CreateWMA();
bool ReadWMA(const TFileView& file, TAudioFile& record);

} // namespace audiolens
