// RIFF/WAVE reader. "fmt " must follow the RIFF header; "data" is found by walking the chunks
// after it, since most writers put a LIST (or fact) chunk in between.
#include "formats/AudioWAV.h"

#include "core/ByteReader.h"

#include <algorithm>
#include <cmath>

namespace audiolens {

namespace {

constexpr int MaxChunks = 4096; // bounds the walk over a file of tiny chunks

const char* FormatTagName(uint16_t tag) {
    switch (tag) {
    case 1:
        return "Windows PCM";
    case 2:
        return "Microsoft ADPCM";
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

struct TDataChunk {
    uint64_t Offset; // offset of the audio bytes
    uint64_t Size;   // size field of the chunk
    bool Found;
};

// Walks the chunks that follow "fmt " until "data"; chunk headers past the first read are
// fetched with a seek, so a large LIST chunk costs one extra read.
TDataChunk FindDataChunk(const TFileView& file, uint64_t at) {
    const uint64_t fileSize = file.Size();
    for (int n = 0; n < MaxChunks && at + 8 <= fileSize; ++n) {
        std::string far;
        const TByteView chunk = file.Bytes(at, 8, far);
        if (chunk.Size() < 8) break;
        uint64_t size = chunk.U32LE(4);
        if (chunk.Matches(0, "data")) return {at + 8, size, true};
        at += 8 + size + (size & 1); // RIFF pads odd-sized chunks
    }
    return {0, 0, false};
}

} // namespace

bool ReadWAV(const TFileView& file, TAudioFile& r) {
    r.Reset();
    const uint64_t realSize = file.Size();
    const TByteView head = file.Head();
    if (!head.Matches(0, "RIFF") || !head.Matches(8, "WAVE") || !head.Matches(12, "fmt "))
        return false;

    const uint64_t fmtSize = head.U32LE(16);
    const uint16_t formatTag = head.U16LE(20);
    const uint16_t channels = head.U16LE(22);
    const uint32_t sampleRate = head.U32LE(24);
    const uint32_t byteRate = head.U32LE(28);
    const uint16_t blockAlign = head.U16LE(32);
    const uint16_t bitsPerSample = head.U16LE(34);

    TDataChunk data = FindDataChunk(file, fmtSize + 20);
    uint64_t headerSize = data.Found ? data.Offset : fmtSize + 28;

    // The RIFF size is 0 or 0xFFFFFFFF in streamed files and too large in truncated ones; the
    // real size is right in every case and equal to RIFF size + 8 in a sound file.
    r.FileSize = static_cast<int64_t>(realSize);
    const auto fileSize = static_cast<uint64_t>(r.FileSize);
    if (fileSize < headerSize) headerSize = fileSize;
    const uint64_t dataSize = data.Found ? std::min(data.Size, fileSize - headerSize) : 0;

    r.Channels = channels;
    r.BitRate = static_cast<int32_t>(std::nearbyint(byteRate * 8.0L / 1000));
    r.BitsPerSample = bitsPerSample;
    if (blockAlign == 0) return false;
    r.Samples = static_cast<int64_t>(dataSize / blockAlign);
    r.SampleRate = static_cast<int32_t>(sampleRate);
    r.Info->Add(std::string("Format=") + FormatTagName(formatTag));

    const long double audioBytes = static_cast<long double>(fileSize - headerSize);
    if (r.Samples == 0 && byteRate != 0) r.Duration = static_cast<double>(audioBytes / byteRate);
    if (r.Samples > 0 && sampleRate != 0)
        r.Duration = static_cast<double>(static_cast<long double>(r.Samples) / sampleRate);

    if (r.Samples == 0 && byteRate == 0) return false;
    const long double frames =
        r.Samples != 0 ? static_cast<long double>(r.Samples) : audioBytes / byteRate * sampleRate;
    const long double pcmSize = frames * channels * bitsPerSample / 8 + 44;
    r.Ratio = static_cast<double>(static_cast<long double>(fileSize) / pcmSize * 100);

    r.Valid = channels != 0;
    return true;
}

TAudioFile* CreateWAV() {
    return NewAudioFile(afWav, ReadWAV);
}

} // namespace audiolens
