#include "formats/AudioBytes.h"

#include "tags/TagAPE.h"
#include "tags/TagID3v1.h"
#include "tags/TagID3v2.h"

#include <algorithm>
#include <cmath>

namespace audiolens {

namespace {

constexpr double WavHeaderBytes = 44;

int32_t ClampedRound(double value, double limit) {
    const double rounded = std::nearbyint(value);
    return std::isfinite(rounded) && rounded >= 0 && rounded <= limit
               ? static_cast<int32_t>(rounded)
               : 0;
}

} // namespace

TAudioFile* NewTaggedStream(TAudioFormat format, TReadProc read) {
    TAudioFile* r = NewAudioFile(format, read);
    r->AddTag(tkID3v1, CreateTagID3v1());
    r->AddTag(tkID3v2, CreateTagID3v2());
    r->AddTag(tkAPE, CreateTagAPE());
    return r;
}

void ReadStreamTags(const TFileView& file, TAudioFile& r) {
    for (TTagKind kind : {tkID3v2, tkID3v1, tkAPE})
        if (TTagBase* tag = r.GetTag(kind)) tag->Read(file);
}

int64_t TrailingTagBytes(const TFileView& file, const TAudioFile& r) {
    int64_t bytes = 0;
    if (auto* id3v1 = r.Tag<TTagID3v1>(tkID3v1))
        bytes += id3v1->Size + (id3v1->LyricsTag() ? id3v1->LyricsTag()->Size : 0);
    // The APE tag's size counts its items and footer; a header, when there is one, sits in front.
    if (auto* ape = r.Tag<TTagAPE>(tkAPE); ape && ape->Valid)
        bytes += ape->Size + (ape->HasHeader ? APEHeaderSize : 0);
    return std::min(bytes, static_cast<int64_t>(file.Size()));
}

int64_t ReadTagsAroundStream(const TFileView& file, TAudioFile& r, uint64_t start) {
    r.FileSize = static_cast<int64_t>(file.Size());
    ReadStreamTags(file, r);
    return r.FileSize - static_cast<int64_t>(start) - TrailingTagBytes(file, r);
}

int32_t RoundedKiloBits(double bitsPerSecond) {
    return ClampedRound(bitsPerSecond / 1000, 2.0e9);
}

int32_t RoundedKiloBytesTimes8(double bytesPerSecond) {
    return ClampedRound(bytesPerSecond / 1000, 2.0e8) * 8;
}

double WavRatio(double bytes, int64_t samples, unsigned channels, unsigned bits) {
    if (samples <= 0 || channels == 0 || bits == 0) return -1.0;
    return bytes / (static_cast<double>(samples) * channels * bits / 8 + WavHeaderBytes) * 100;
}

} // namespace audiolens
