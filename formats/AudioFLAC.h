// FLAC reader: the STREAMINFO block after "fLaC" (which may follow ID3v2 tags) gives rate,
// channels, sample size and the 36-bit sample count; the audio starts after the metadata block
// that carries the last-block flag.
#pragma once

#include "framework/AudioFile.h"

namespace audiolens {

TAudioFile* CreateFLAC();
bool ReadFLAC(const TFileView& file, TAudioFile& record);

} // namespace audiolens
