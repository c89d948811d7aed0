// RIFF/WAVE reader, RF64/BW64 included. The chunks are walked from the start, since recorders and
// editors put JUNK, bext or LIST chunks before "fmt " and between "fmt " and "data"; RF64 keeps the
// sizes that do not fit 32 bits in its "ds64" chunk.
#include "formats/AudioWAV.h"

#include "core/ByteReader.h"

#include <algorithm>
#include <cmath>

namespace audiolens {

namespace {

constexpr int MaxChunks = 4096; // bounds the walk over a file of tiny chunks
constexpr uint32_t Size32Unknown = 0xFFFFFFFFu;
constexpr uint16_t FormatPCM = 1, FormatFloat = 3, FormatExtensible = 0xFFFE;

const char* FormatTagName(uint16_t tag) {
    switch (tag) {
    case FormatPCM:
        return "Windows PCM";
    case 2:
        return "Microsoft ADPCM";
    case FormatFloat:
        return "IEEE float";
    case 6:
        return "A-LAW";
    case 7:
        return "MU-LAW";
    case 17:
        return "DVI/IMA ADPCM";
    case 85:
        return "MPEG Layer III";
    default:
        return "";
    }
}

struct TWaveChunks {
    std::string Fmt; // the fmt chunk's body
    bool HaveFmt = false;
    uint64_t DataOffset = 0, DataSize = 0;
    bool HaveData = false;
    uint64_t FactSamples = 0;
    bool HaveFact = false;
    uint64_t Ds64DataSize = 0, Ds64Samples = 0;
    bool HaveDs64 = false;
};

// Walks the chunks from offset 12 until "data"; "fmt ", "fact" and "ds64" are taken on the way.
TWaveChunks WalkChunks(const TFileView& file) {
    TWaveChunks c;
    uint64_t at = 12;
    for (int n = 0; n < MaxChunks && at + 8 <= file.Size(); ++n) {
        std::string scratch;
        const TByteView head = file.Bytes(at, 8, scratch);
        if (head.Size() < 8) break;
        uint64_t size = head.U32LE(4);
        const uint64_t body = at + 8;
        if (head.Matches(0, "data")) {
            if (c.HaveDs64 && size == Size32Unknown) size = c.Ds64DataSize;
            c.DataOffset = body;
            c.DataSize = size;
            c.HaveData = true;
            break;
        }
        if (head.Matches(0, "fmt ") && !c.HaveFmt) {
            c.Fmt = file.Read(body, static_cast<size_t>(std::min<uint64_t>(size, 64)));
            c.HaveFmt = c.Fmt.size() >= 16;
        } else if (head.Matches(0, "fact") && size >= 4) {
            c.FactSamples = TByteView(file.Read(body, 4)).U32LE(0);
            c.HaveFact = true;
        } else if (head.Matches(0, "ds64") && size >= 24) {
            const std::string ds64 = file.Read(body, 24);
            c.Ds64DataSize = TByteView(ds64).U64LE(8);
            c.Ds64Samples = TByteView(ds64).U64LE(16);
            c.HaveDs64 = ds64.size() == 24;
        }
        at = body + size + (size & 1); // RIFF pads odd-sized chunks
    }
    return c;
}

// The format tag that decides how samples are counted: an extensible header names its real
// format in the first two bytes of the sub-format GUID.
uint16_t EffectiveFormat(const TByteView& fmt, uint16_t tag) {
    return tag == FormatExtensible && fmt.Has(24, 2) ? fmt.U16LE(24) : tag;
}

std::string FormatLine(const TByteView& fmt, uint16_t tag) {
    if (tag != FormatExtensible) return std::string("Format=") + FormatTagName(tag);
    const std::string inner = FormatTagName(EffectiveFormat(fmt, tag));
    return "Format=Extensible" + (inner.empty() ? std::string() : " (" + inner + ")");
}

} // namespace

bool ReadWAV(const TFileView& file, TAudioFile& r) {
    r.Reset();
    const TByteView head = file.Head();
    const bool rf64 = head.Matches(0, "RF64") || head.Matches(0, "BW64");
    if (!(head.Matches(0, "RIFF") || rf64) || !head.Matches(8, "WAVE")) return false;
    const TWaveChunks chunks = WalkChunks(file);
    if (!chunks.HaveFmt) return false;

    const TByteView fmt(chunks.Fmt);
    const uint16_t formatTag = fmt.U16LE(0);
    const uint16_t channels = fmt.U16LE(2);
    const uint32_t sampleRate = fmt.U32LE(4);
    const uint32_t byteRate = fmt.U32LE(8);
    const uint16_t blockAlign = fmt.U16LE(12);
    const uint16_t bitsPerSample = fmt.U16LE(14);

    // The RIFF size is 0 or 0xFFFFFFFF in streamed files and too large in truncated ones; the
    // real size is right in every case and equal to RIFF size + 8 in a sound file.
    r.FileSize = static_cast<int64_t>(file.Size());
    const uint64_t fileSize = file.Size();
    const uint64_t headerSize = std::min(chunks.HaveData ? chunks.DataOffset : fileSize, fileSize);
    const uint64_t dataSize =
        chunks.HaveData ? std::min(chunks.DataSize, fileSize - headerSize) : 0;

    r.Channels = channels;
    r.BitRate = static_cast<int32_t>(std::nearbyint(byteRate * 8.0L / 1000));
    r.BitsPerSample = bitsPerSample;
    if (blockAlign == 0) return false;
    // Compressed data (ADPCM, GSM, MPEG) has no fixed bytes per sample frame: its "fact" chunk
    // (or an RF64 file's "ds64") counts the samples.
    const uint16_t effective = EffectiveFormat(fmt, formatTag);
    const bool linear = effective == FormatPCM || effective == FormatFloat;
    if (!linear && chunks.HaveDs64 && chunks.Ds64Samples > 0)
        r.Samples = static_cast<int64_t>(chunks.Ds64Samples);
    else if (!linear && chunks.HaveFact)
        r.Samples = static_cast<int64_t>(chunks.FactSamples);
    else
        r.Samples = static_cast<int64_t>(dataSize / blockAlign);
    r.SampleRate = static_cast<int32_t>(sampleRate);
    r.Info->Add(FormatLine(fmt, formatTag));

    const long double audioBytes = static_cast<long double>(fileSize - headerSize);
    if (r.Samples == 0 && byteRate != 0) r.Duration = static_cast<double>(audioBytes / byteRate);
    if (r.Samples > 0 && sampleRate != 0)
        r.Duration = static_cast<double>(static_cast<long double>(r.Samples) / sampleRate);

    if (r.Samples == 0 && byteRate == 0) return false;
    const long double frames =
        r.Samples != 0 ? static_cast<long double>(r.Samples) : audioBytes / byteRate * sampleRate;
    const long double pcmSize = frames * channels * bitsPerSample / 8 + 44;
    if (pcmSize > 0)
        r.Ratio = static_cast<double>(static_cast<long double>(fileSize) / pcmSize * 100);

    r.Valid = channels != 0;
    return true;
}

TAudioFile* CreateWAV() {
    return NewAudioFile(afWav, ReadWAV);
}

} // namespace audiolens
