// The header gives the length in samples per channel; the bit rate and the ratio are taken over
// the bytes between the tags, the header and seek table included.
#include "formats/AudioTTA.h"

#include "core/Convert.h"
#include "formats/AudioBytes.h"
#include "tags/ID3v2Layout.h"

namespace audiolens {

namespace {
constexpr uint32_t HeaderSize = 22;
}

bool ReadTTA(const TFileView& file, TAudioFile& r) {
    r.Reset();
    uint64_t start = 0;
    if (!SkipID3v2Tags(file, start)) return false;
    std::string scratch;
    const TByteView h = file.Bytes(start, HeaderSize, scratch);
    if (h.Size() < HeaderSize || !h.Matches(0, "TTA1")) return false;

    const int64_t audioBytes = ReadTagsAroundStream(file, r, start);

    r.Channels = h.U16LE(6);
    r.BitsPerSample = h.U16LE(8);
    const uint32_t rate = h.U32LE(10);
    r.Samples = h.U32LE(14);
    // A header without a rate has no duration: the file is not read.
    if (rate == 0 || rate > 0x7FFFFFFF) return false;
    r.SampleRate = static_cast<int32_t>(rate);
    r.Valid = true;
    r.Duration = static_cast<double>(r.Samples) / r.SampleRate;
    if (r.Duration > 0)
        r.BitRate = RoundedKiloBytesTimes8(static_cast<double>(audioBytes) / r.Duration);
    r.Ratio = WavRatio(static_cast<double>(audioBytes), r.Samples, r.Channels, r.BitsPerSample);
    r.Info->Add("AudioFormat=" + IntToStr(h.U16LE(4)));
    r.Info->Add(FormatStr("CRC=%u", {h.U32LE(18)}));
    return true;
}

TAudioFile* CreateTTA() {
    return NewTaggedStream(afTTA, ReadTTA);
}

} // namespace audiolens
