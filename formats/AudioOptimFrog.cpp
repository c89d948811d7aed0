// The header counts the samples of all channels together in 48 bits (a low word and a high
// half-word); the per-channel count is that number shifted by the channel mode.
#include "formats/AudioOptimFrog.h"

#include "core/Convert.h"
#include "formats/AudioBytes.h"
#include "tags/ID3v2Layout.h"

#include <cstdlib>

namespace audiolens {

namespace {

constexpr uint32_t HeaderSize = 23;
constexpr int SampleTypeCount = 11, ChannelModeCount = 2, CompressionCount = 10;
// Bits per sample by sample type; the negative ones are floating-point samples.
constexpr int SampleTypeBits[SampleTypeCount] = {8, 8, 16, 16, 24, 24, 32, 32, -32, -32, -32};
const char* const CompressionNames[CompressionCount] = {
    "fast", "normal", "high", "extra", "best", "ultra", "insane", "highnew", "extranew", "bestnew"};
constexpr uint32_t FirstVersion = 4500;

} // namespace

bool ReadOptimFrog(const TFileView& file, TAudioFile& r) {
    r.Reset();
    uint64_t start = 0;
    if (!SkipID3v2Tags(file, start)) return false;
    std::string scratch;
    const TByteView h = file.Bytes(start, HeaderSize, scratch);
    if (h.Size() < HeaderSize || !h.Matches(0, "OFR ")) return false;

    const int64_t streamBytes = ReadTagsAroundStream(file, r, start);

    const uint64_t allSamples = uint64_t{h.U32LE(8)} | uint64_t{h.U16LE(12)} << 32;
    const uint8_t sampleType = h.U8(14), channelMode = h.U8(15);
    const auto sampleRate = static_cast<int32_t>(h.U32LE(16));
    const uint16_t encoderId = h.U16LE(20);
    const uint8_t compression = h.U8(22) >> 3;
    r.Valid = sampleRate > 0 && sampleType < SampleTypeCount && channelMode < ChannelModeCount &&
              compression < CompressionCount;
    if (!r.Valid) return true;

    r.Samples = static_cast<int64_t>(allSamples >> channelMode);
    r.SampleRate = sampleRate;
    r.Channels = static_cast<uint16_t>(channelMode + 1);
    // Floating-point samples take 32 bits like the integer ones.
    const int bits = std::abs(SampleTypeBits[sampleType]);
    r.BitsPerSample = static_cast<uint16_t>(bits);
    // Without samples there is no duration to divide the bytes by: the header is not usable.
    if (r.Samples == 0) return false;
    r.Duration = static_cast<double>(r.Samples) / r.SampleRate;
    r.BitRate = RoundedKiloBytesTimes8(static_cast<double>(streamBytes - HeaderSize) / r.Duration);
    r.Ratio = WavRatio(static_cast<double>(streamBytes - 2 * HeaderSize), r.Samples, r.Channels,
                       r.BitsPerSample);

    const uint32_t version = (encoderId >> 4) + FirstVersion;
    r.Info->Add(FormatStr("Version=%u.%u", {version / 1000, version % 1000}));
    r.Info->Add(std::string("Compression=") + CompressionNames[compression]);
    return true;
}

TAudioFile* CreateOptimFrog() {
    return NewTaggedStream(afOptimFrog, ReadOptimFrog);
}

} // namespace audiolens
