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
    const auto size = static_cast<int64_t>(file.Size());
    int64_t bytes = 0;
    if (auto* id3v1 = r.Tag<TTagID3v1>(tkID3v1))
        bytes += id3v1->Size + (id3v1->LyricsTag() ? id3v1->LyricsTag()->Size : 0);
    const TTagBase* ape = r.GetTag(tkAPE);
    if (!ape || !ape->Valid || ape->Size < static_cast<int32_t>(APEFooterSize))
        return std::min(bytes, size);
    // The tag's size counts its items and footer; a header, when there is one, sits in front.
    const int64_t footer = static_cast<int64_t>(file.Size()) - bytes - APEFooterSize;
    const int64_t header = footer + APEFooterSize - ape->Size - APEHeaderSize;
    bytes += ape->Size;
    if (header < 0) return std::min(bytes, size);
    std::string footerBytes, headerBytes;
    const TByteView f = file.Bytes(static_cast<uint64_t>(footer), APEFooterSize, footerBytes);
    const TByteView h = file.Bytes(static_cast<uint64_t>(header), APEHeaderSize, headerBytes);
    if ((f.U32LE(20) & APEHeaderFlag) && h.Matches(0, "APETAGEX")) bytes += APEHeaderSize;
    return std::min(bytes, size);
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
