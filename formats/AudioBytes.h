// What the readers of bare streams share: how many bytes of a file are tags rather than audio, and
// the bit rate and ratio they derive from the audio bytes.
#pragma once

#include "framework/AudioFile.h"

#include <cstdint>

namespace audiolens {

// A record whose stream may carry ID3v2 tags in front and APE and ID3v1 tags behind it.
TAudioFile* NewTaggedStream(TAudioFormat format, TReadProc read);

// Runs Read of the record's ID3v2, ID3v1 and APE tags (those it has) on the view.
void ReadStreamTags(const TFileView& file, TAudioFile& record);

// The bytes the record's trailing tags take: the ID3v1 tag with its Lyrics3 block, and the APE
// tag with its 32-byte header when the footer announces one and the header is really there.
// Never more than the file holds.
int64_t TrailingTagBytes(const TFileView& file, const TAudioFile& record);

// For a stream that starts at start (behind its ID3v2 tags): the file's size into the record,
// the record's tags read, and the bytes between the tags in front and the tags behind.
int64_t ReadTagsAroundStream(const TFileView& file, TAudioFile& record, uint64_t start);

// A bit rate in kbit/s from bits per second, rounded (halves to even); 0 for a value that is
// negative, not finite or too large to fit.
int32_t RoundedKiloBits(double bitsPerSecond);

// A bit rate in kbit/s from bytes per second: kilobytes per second rounded (halves to even),
// then times 8. 0 for a value that is negative, not finite or too large to fit.
int32_t RoundedKiloBytesTimes8(double bytesPerSecond);

// bytes in percent of the same audio as a canonical WAV file (PCM data and its 44-byte
// header); -1 ("unknown") without samples, channels or bits.
double WavRatio(double bytes, int64_t samples, unsigned channels, unsigned bits);

} // namespace audiolens
