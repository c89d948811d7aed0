// The tags a bare audio stream can carry around its frames: ID3v2 tags in front, an APE tag
// and an ID3v1 tag (with its Lyrics3 block) behind. Their sizes mark where the audio ends.
#pragma once

#include "framework/AudioFile.h"

#include <cstdint>

namespace audiolens {

// Runs Read of the record's ID3v2, ID3v1 and APE tags (those it has) on the view.
void ReadStreamTags(const TFileView& file, TAudioFile& r);

// Bytes the trailing tags already read into r take at the end of the file: ID3v1, Lyrics3 and
// the APE tag with its header when the footer announces one. Never more than the file holds.
uint64_t TrailingTagBytes(const TFileView& file, const TAudioFile& r);

} // namespace audiolens
