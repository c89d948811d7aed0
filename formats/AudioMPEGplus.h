// Musepack reader: the "MP+" stream header of versions 4 to 7.1 (and the early version 8 one),
// and the packetised "MPCK" layout current encoders write for version 8.
#pragma once

#include "framework/AudioFile.h"

namespace audiolens {

TAudioFile* CreateMPEGplus();
bool ReadMPEGplus(const TFileView& file, TAudioFile& record);

} // namespace audiolens
