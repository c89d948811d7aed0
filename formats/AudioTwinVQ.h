// TwinVQ files (".vqf") with their text chunks and an APE tag.
#pragma once

#include "framework/AudioFile.h"

namespace audiolens {

TAudioFile* CreateTwinVQ();
bool ReadTwinVQ(const TFileView& file, TAudioFile& record);

} // namespace audiolens
