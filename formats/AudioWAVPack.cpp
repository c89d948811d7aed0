// A version 4 block header describes the block, not the file: a file of more than two channels
// is a run of mono and stereo blocks, so the channel count (and a sample rate the rate table
// lacks) is found in the metadata sub-blocks that follow the first block header.
#include "formats/AudioWAVPack.h"

#include "core/Convert.h"
#include "formats/AudioBytes.h"
#include "tags/TagAPE.h"

#include <algorithm>
#include <iterator>

namespace audiolens {

namespace {

constexpr uint32_t BlockHeaderSize = 32;
constexpr uint32_t UnknownSamples = 0xFFFFFFFFu;
constexpr uint32_t MonoFlag = 4, HybridFlag = 8;
constexpr uint32_t RateIndexMask = 0x0F800000u;
constexpr int RateIndexShift = 23;
constexpr int32_t Rates[] = {6000,  8000,  9600,  11025, 12000, 16000, 22050, 24000,
                             32000, 44100, 48000, 64000, 88200, 96000, 192000};
constexpr int32_t FallbackRate = 44100;

// Metadata sub-block ids: the low six bits name the function; 0x40 marks a size one byte less
// than the stored word count, 0x80 a 24-bit word count.
constexpr uint8_t IdFunction = 0x3F, IdOddSize = 0x40, IdLarge = 0x80;
constexpr uint8_t IdChannelInfo = 0x0D, IdConfig = 0x25, IdSampleRate = 0x27;
constexpr int MaxSubBlocks = 256;

constexpr uint32_t Version3HeaderSize = 36;
constexpr int MaxChunks = 4096;

// What the first block's sub-blocks say; zero for what is absent.
struct TBlockMetadata {
    uint16_t Channels = 0;
    int32_t SampleRate = 0;
    bool HasConfig = false;
    uint8_t ConfigByte = 0;
};

// Walks the sub-blocks between the block header and the end of the block (or of the file),
// reading only their headers and the few bytes wanted.
TBlockMetadata ReadBlockMetadata(const TFileView& file, uint32_t blockSize) {
    TBlockMetadata m;
    const uint64_t end = std::min<uint64_t>(uint64_t{blockSize} + 8, file.Size());
    uint64_t at = BlockHeaderSize;
    for (int n = 0; n < MaxSubBlocks && at + 2 <= end; ++n) {
        std::string scratch;
        const TByteView h = file.Bytes(at, 4, scratch);
        const uint8_t id = h.U8(0);
        const bool large = (id & IdLarge) != 0;
        const uint64_t words = large ? h.U24LE(1) : h.U8(1);
        uint64_t size = words * 2;
        if ((id & IdOddSize) && size > 0) --size;
        const uint64_t data = at + (large ? 4 : 2);
        std::string dataScratch;
        const TByteView d = file.Bytes(data, size < 4 ? static_cast<size_t>(size) : 4, dataScratch);
        switch (id & IdFunction) {
        case IdChannelInfo:
            if (size >= 1 && d.U8(0) > 0) m.Channels = d.U8(0);
            break;
        case IdSampleRate:
            if (size >= 3 && d.U24LE(0) > 0) m.SampleRate = static_cast<int32_t>(d.U24LE(0));
            break;
        case IdConfig:
            if (size >= 1 && d.Size() >= 1) {
                m.HasConfig = true;
                m.ConfigByte = d.U8(0);
            }
            break;
        default:
            break;
        }
        at = data + words * 2;
    }
    return m;
}

// The mode the encoder ran in, from the low nibble of the first config byte.
const char* ModeText(uint8_t config) {
    const unsigned mode = config & 0x0F;
    if (mode >= 8) return " (high)";
    if (mode == 0) return " (normal)";
    if (mode == 2) return " (fast)";
    if (mode == 6) return " (very fast)";
    return "";
}

bool ReadVersion4(const TFileView& file, int64_t apeBytes, TAudioFile& r) {
    const TByteView h = file.Head();
    if (h.Size() < BlockHeaderSize) return false;
    const uint32_t flags = h.U32LE(24);
    const uint32_t total = h.U32LE(12);
    const TBlockMetadata m = ReadBlockMetadata(file, h.U32LE(4));

    r.Channels = (flags & MonoFlag) ? 1 : 2;
    if (m.Channels > 0) r.Channels = m.Channels;
    r.BitsPerSample = static_cast<uint16_t>(((flags & 3) + 1) * 8);
    const uint32_t rateIndex = (flags & RateIndexMask) >> RateIndexShift;
    r.SampleRate = rateIndex < std::size(Rates) ? Rates[rateIndex] : FallbackRate;
    if (rateIndex >= std::size(Rates) && m.SampleRate > 0) r.SampleRate = m.SampleRate;
    r.Valid = true;

    std::string encoder = (flags & HybridFlag) ? "hybrid lossy" : "lossless";
    if (m.HasConfig) encoder += ModeText(m.ConfigByte);
    r.Info->Add("Version=" + IntToStr(h.U16LE(8) >> 8));
    r.Info->Add("Encoder=" + encoder);
    r.Info->Add("BlockSamples=" + IntToStr(static_cast<int32_t>(h.U32LE(20))));

    // A writer that could not go back to fill in the count leaves it unknown: the length is
    // then unknown too, not 2^32 samples long.
    if (total == UnknownSamples) return true;
    r.Samples = total;
    if (total == 0) return false; // a stream without samples has no duration to divide by
    r.Duration = static_cast<double>(r.Samples) / r.SampleRate;
    const int64_t audioBytes = r.FileSize - apeBytes - BlockHeaderSize;
    r.BitRate = RoundedKiloBytesTimes8(static_cast<double>(audioBytes) / r.Duration);
    return true;
}

std::string Version3Encoder(uint16_t bits, uint16_t flags) {
    if (bits > 0 && (flags & 0x400))
        return std::string("hybrid") + ((flags & 0x80) ? " lossless" : " lossy") +
               ((flags & 0x8000) ? " (high)" : "");
    if (bits > 0) {
        std::string text = IntToStr(bits + 3) + "-bit lossy";
        if (flags & 0x12) text += (flags & 0x10) ? " high" : " fast";
        return text;
    }
    if (!(flags & 0x10)) return "lossless (fast mode)";
    return (flags & 0x8000) ? "lossless (high mode)" : "lossless";
}

// The values of a version 3 file: the "fmt " chunk the encoder copied from its source, and the
// "wvpk" header at the start of the "data" chunk, which alone tells the file from a plain WAV.
struct TVersion3 {
    uint16_t Channels = 0, Bits = 0;
    uint32_t SampleRate = 0, ByteRate = 0;
    std::string Header; // the 36 bytes of the "wvpk" header
};

bool FindVersion3(const TFileView& file, TVersion3& v) {
    if (!file.Head().Matches(8, "WAVE")) return false;
    bool haveFormat = false;
    uint64_t at = 12;
    for (int n = 0; n < MaxChunks && at + 8 <= file.Size(); ++n) {
        std::string scratch;
        const TByteView chunk = file.Bytes(at, 8, scratch);
        const uint64_t size = chunk.U32LE(4);
        if (chunk.Size() < 8 || size == 0) return false;
        if (chunk.Matches(0, "fmt ")) {
            std::string fmtBytes;
            const TByteView fmt = file.Bytes(at + 8, 16, fmtBytes);
            if (size < 16 || fmt.Size() < 16) return false;
            haveFormat = true;
            v.Channels = fmt.U16LE(2);
            v.SampleRate = fmt.U32LE(4);
            v.ByteRate = fmt.U32LE(8);
            v.Bits = fmt.U16LE(14);
        } else if (chunk.Matches(0, "data")) {
            v.Header = file.Read(at + 8, Version3HeaderSize);
            return haveFormat && v.Header.size() == Version3HeaderSize &&
                   TByteView(v.Header).Matches(0, "wvpk");
        }
        // Chunks the source file carried (LIST, fact ...) are passed over.
        at += 8 + size + (size & 1);
    }
    return false;
}

void FillVersion3(const TVersion3& v, int64_t apeBytes, TAudioFile& r) {
    const TByteView w(v.Header);
    const uint16_t bits = w.U16LE(10), flags = w.U16LE(12);
    r.Valid = true;
    r.BitsPerSample = v.Bits;
    r.Channels = static_cast<uint16_t>(2 - (flags & 1));
    r.SampleRate = v.SampleRate == 0 || v.SampleRate > 0x7FFFFFFF
                       ? FallbackRate
                       : static_cast<int32_t>(v.SampleRate);
    r.BitRate = RoundedKiloBytesTimes8(v.ByteRate);
    r.Samples = w.U32LE(16);
    r.Info->Add("Version=" + IntToStr(w.U16LE(8)));
    r.Info->Add("Encoder=" + Version3Encoder(bits, flags));
    r.Duration = static_cast<double>(r.Samples) / r.SampleRate;
    if (r.Duration > 0)
        r.BitRate = RoundedKiloBytesTimes8(
            static_cast<double>(r.FileSize - apeBytes - int64_t{w.U32LE(4)}) / r.Duration);
}

} // namespace

bool ReadWAVPack(const TFileView& file, TAudioFile& r) {
    r.Reset();
    const TByteView head = file.Head();
    const bool version4 = head.Matches(0, "wvpk");
    TVersion3 v3;
    if (!version4 && !(head.Matches(0, "RIFF") && FindVersion3(file, v3))) return false;
    r.FileSize = static_cast<int64_t>(file.Size());
    if (TTagBase* ape = r.GetTag(tkAPE)) ape->Read(file);
    const int64_t apeBytes = TrailingTagBytes(file, r);
    bool ok = true;
    if (version4)
        ok = ReadVersion4(file, apeBytes, r);
    else
        FillVersion3(v3, apeBytes, r);
    r.Ratio = WavRatio(static_cast<double>(r.FileSize), r.Samples, r.Channels, r.BitsPerSample);
    return ok;
}

TAudioFile* CreateWAVPack() {
    TAudioFile* r = NewAudioFile(afWAVPack, ReadWAVPack);
    r->AddTag(tkAPE, CreateTagAPE());
    return r;
}

} // namespace audiolens
