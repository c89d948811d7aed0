// Ogg reader for the streams that carry Vorbis comments: Vorbis, Speex, Opus and Ogg FLAC. The
// first packet says which and gives rate and channels; the granule position of the stream's
// last page gives the length.
#pragma once

#include "framework/AudioFile.h"

namespace audiolens {

TAudioFile* CreateOgg();
bool ReadOgg(const TFileView& file, TAudioFile& record);

} // namespace audiolens
