#include "formats/AudioBytes.h"

#include "tags/TagAPE.h"
#include "tags/TagID3v1.h"

#include <cmath>

namespace audiolens {

namespace {
constexpr double WavHeaderBytes = 44;
}

int64_t TrailingTagBytes(const TFileView& file, const TAudioFile& r) {
    int64_t bytes = 0;
    if (auto* id3v1 = r.Tag<TTagID3v1>(tkID3v1))
        bytes += id3v1->Size + (id3v1->LyricsTag() ? id3v1->LyricsTag()->Size : 0);
    const TTagBase* ape = r.GetTag(tkAPE);
    if (!ape || !ape->Valid || ape->Size < static_cast<int32_t>(APEFooterSize)) return bytes;
    // The tag's size counts its items and footer; a header, when there is one, sits in front.
    const int64_t footer = static_cast<int64_t>(file.Size()) - bytes - APEFooterSize;
    const int64_t header = footer + APEFooterSize - ape->Size - APEHeaderSize;
    bytes += ape->Size;
    if (header < 0) return bytes;
    std::string footerBytes, headerBytes;
    const TByteView f = file.Bytes(static_cast<uint64_t>(footer), APEFooterSize, footerBytes);
    const TByteView h = file.Bytes(static_cast<uint64_t>(header), APEHeaderSize, headerBytes);
    if ((f.U32LE(20) & APEHeaderFlag) && h.Matches(0, "APETAGEX")) bytes += APEHeaderSize;
    return bytes;
}

int32_t RoundedKiloBytesTimes8(double bytesPerSecond) {
    const double kiloBytes = std::nearbyint(bytesPerSecond / 1000);
    if (!std::isfinite(kiloBytes) || kiloBytes < 0 || kiloBytes > 2.0e8) return 0;
    return static_cast<int32_t>(kiloBytes) * 8;
}

double WavRatio(double bytes, int64_t samples, unsigned channels, unsigned bits) {
    if (samples <= 0 || channels == 0 || bits == 0) return -1.0;
    return bytes / (static_cast<double>(samples) * channels * bits / 8 + WavHeaderBytes) * 100;
}

} // namespace audiolens
