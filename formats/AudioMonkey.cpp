// From version 3.98 on the file opens with a descriptor whose own length says where the header
// starts; older files carry a fixed header and no blocks-per-frame field, which then depends
// on the version (and, for 3.80 to 3.89, on the compression level).
#include "formats/AudioMonkey.h"

#include "core/Convert.h"
#include "formats/AudioBytes.h"
#include "tags/ID3v2Layout.h"

#include <limits>

namespace audiolens {

namespace {

constexpr uint16_t DescriptorVersion = 3980;
constexpr uint32_t SignatureSize = 6;   // "MAC " and the version
constexpr uint32_t DescriptorSize = 52; // the descriptor of version 3.98, signature included
constexpr uint32_t NewHeaderSize = 24;  // the header fields read after it
constexpr uint32_t OldHeaderSize = 30;  // after the signature, up to the peak level
constexpr uint16_t Old8Bit = 1, OldPeakLevel = 4, Old24Bit = 8;

const char* const LevelNames[] = {"Unknown",    "Fast",   "Normal",   "High",
                                  "Extra High", "Insane", "BrainDead"};

struct THeader {
    uint16_t Level = 0, Flags = 0, Bits = 0, Channels = 0;
    uint32_t BlocksPerFrame = 0, FinalFrameBlocks = 0, TotalFrames = 0, SampleRate = 0;
};

uint32_t OldBlocksPerFrame(uint16_t version, uint16_t level) {
    if (version >= 3950) return 73728 * 4;
    if (version >= 3900) return 73728;
    if (version >= 3800 && level == 4000) return 73728;
    return 9216;
}

std::string CompressionText(uint16_t level) {
    return level % 1000 == 0 && level <= 6000 ? LevelNames[level / 1000] : IntToStr(level);
}

// The descriptor layout; false when a part is missing or the descriptor claims fewer bytes
// than its own fields take (the header would overlap them).
bool ReadNewHeader(const TFileView& file, uint64_t start, THeader& h) {
    std::string scratch;
    const TByteView d = file.Bytes(start, DescriptorSize, scratch);
    if (d.Size() < DescriptorSize) return false;
    const uint32_t descriptorLength = d.U32LE(8);
    const uint32_t headerLength = d.U32LE(12);
    if (descriptorLength < DescriptorSize) return false;
    const uint32_t wanted = headerLength < NewHeaderSize ? headerLength : NewHeaderSize;
    std::string headerBytes;
    const TByteView b = file.Bytes(start + descriptorLength, wanted, headerBytes);
    if (b.Size() < wanted) return false;
    // Fields beyond the header's own length read as 0.
    h.Level = b.U16LE(0);
    h.Flags = b.U16LE(2);
    h.BlocksPerFrame = b.U32LE(4);
    h.FinalFrameBlocks = b.U32LE(8);
    h.TotalFrames = b.U32LE(12);
    h.Bits = b.U16LE(16);
    h.Channels = b.U16LE(18);
    h.SampleRate = b.U32LE(20);
    return true;
}

bool ReadOldHeader(const TFileView& file, uint64_t start, uint16_t version, THeader& h,
                   int32_t& peakLevel) {
    std::string scratch;
    const TByteView b = file.Bytes(start, SignatureSize + OldHeaderSize, scratch);
    if (b.Size() < SignatureSize + OldHeaderSize) return false;
    h.Level = b.U16LE(6);
    h.Flags = b.U16LE(8);
    h.Channels = b.U16LE(10);
    h.SampleRate = b.U32LE(12);
    h.TotalFrames = b.U32LE(24);
    h.FinalFrameBlocks = b.U32LE(28);
    peakLevel = static_cast<int32_t>(b.U32LE(32));
    h.BlocksPerFrame = OldBlocksPerFrame(version, h.Level);
    h.Bits = 16;
    if (h.Flags & Old8Bit) h.Bits = 8;
    if (h.Flags & Old24Bit) h.Bits = 24;
    return true;
}

// Every frame but the last is full. 0 when the count does not fit the record.
int64_t SampleCount(const THeader& h) {
    if (h.TotalFrames == 0) return 0;
    const uint64_t samples = uint64_t{h.TotalFrames - 1} * h.BlocksPerFrame + h.FinalFrameBlocks;
    return samples > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())
               ? 0
               : static_cast<int64_t>(samples);
}

} // namespace

bool ReadMonkey(const TFileView& file, TAudioFile& r) {
    r.Reset();
    uint64_t start = 0;
    if (!SkipID3v2Tags(file, start)) return false;
    std::string scratch;
    const TByteView signature = file.Bytes(start, SignatureSize, scratch);
    if (!signature.Matches(0, "MAC ") || signature.Size() < SignatureSize) return false;
    const uint16_t version = signature.U16LE(4);

    THeader h;
    int32_t peakLevel = 0;
    const bool read = version >= DescriptorVersion
                          ? ReadNewHeader(file, start, h)
                          : ReadOldHeader(file, start, version, h, peakLevel);
    if (!read) return false;

    const int64_t streamBytes = ReadTagsAroundStream(file, r, start);

    if (version < DescriptorVersion && (h.Flags & OldPeakLevel))
        r.Info->Add("PeakLevel=" + IntToStr(peakLevel));
    r.Samples = SampleCount(h);
    r.SampleRate = static_cast<int32_t>(h.SampleRate > 0x7FFFFFFF ? 0 : h.SampleRate);
    r.Channels = h.Channels;
    r.BitsPerSample = h.Bits;
    if (r.SampleRate > 0) r.Duration = static_cast<double>(r.Samples) / r.SampleRate;
    if (r.Duration > 0)
        r.BitRate = RoundedKiloBits(static_cast<double>(streamBytes) * 8 / r.Duration);

    r.Info->Add(FormatStr("Version=%u.%u", {uint32_t{version} / 1000u, uint32_t{version} % 1000u}));
    r.Info->Add("FormatFlags=" + IntToStr(h.Flags));
    r.Info->Add("CompressionLevel=" + IntToStr(h.Level));
    r.Info->Add("Compression=" + CompressionText(h.Level));

    r.Valid = r.BitsPerSample > 0 && r.SampleRate > 0 && r.Samples > 0 && r.Channels > 0;
    if (r.Valid)
        r.Ratio = WavRatio(static_cast<double>(r.FileSize), r.Samples, r.Channels, r.BitsPerSample);
    return true;
}

TAudioFile* CreateMonkey() {
    return NewTaggedStream(afMonkey, ReadMonkey);
}

} // namespace audiolens
