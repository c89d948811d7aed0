// A DTS core frame header (ETSI TS 102 114) is stored in one of four forms: 16-bit words big- or
// little-endian, or 14 bits of audio in each 16-bit word (the form of DTS on audio CDs), again in
// either byte order. Headers are turned into the 16-bit big-endian form before their fields are
// read. The stream is timed by walking the core frames, each of which gives its own length and
// sample count; in a DTS-HD stream each core frame is followed by extension substreams
// ("64 58 20 25"), which are stepped over.
#include "formats/AudioDTS.h"

#include "core/BitView.h"
#include "core/ReadWindow.h"

#include <array>
#include <cmath>
#include <string_view>

namespace audiolens {

namespace {

enum class TForm { None, BE16, LE16, BE14, LE14 };

constexpr uint32_t SyncRead = 6;
// The header fields up to PCMR (bit 113 when a header CRC is present) in the 16-bit form, and
// what that takes in the 14-bit form: 120 bits in nine 14-bit words.
constexpr uint32_t HeaderBytes = 15;
constexpr uint32_t RawHeaderBytes = 18;
constexpr uint32_t MinFrameBytes = 96;
constexpr uint32_t SamplesPerBlock = 32;
constexpr uint32_t NormalFrameShort = 31; // a normal frame has no deficit samples
constexpr uint32_t FirstUserAmode = 16;   // user-defined channel arrangements follow

constexpr uint16_t AmodeChannels[16] = {1, 2, 2, 2, 2, 3, 3, 4, 4, 5, 6, 6, 6, 7, 8, 8};
constexpr int32_t SampleRates[16] = {0,     8000, 16000, 32000, 0,     0,     11025, 22050,
                                     44100, 0,    0,     12000, 24000, 48000, 0,     0};
// kbit/s by RATE; 0 for the open, variable and lossless codes.
constexpr double BitRates[32] = {32,     56,   64,   96,   112,  128,  192,  224,  256,  320,  384,
                                 448,    512,  576,  640,  768,  960,  1024, 1152, 1280, 1344, 1408,
                                 1411.2, 1472, 1536, 1920, 2048, 3072, 3840, 0,    0,    0};
// Bits per sample by PCMR; 0 where the code is not defined.
constexpr uint16_t Resolutions[8] = {16, 16, 20, 20, 0, 24, 24, 0};

constexpr std::string_view ExtensionSync = "\x64\x58\x20\x25";

// The form by the sync word; the 14-bit forms also carry the 6 sync bits of the next word.
TForm FormOf(const TByteView& b) {
    if (!b.Has(0, SyncRead)) return TForm::None;
    const uint32_t first = b.U32BE(0);
    if (first == 0x7FFE8001u) return TForm::BE16;
    if (first == 0xFE7F0180u) return TForm::LE16;
    if (first == 0x1FFFE800u && (b.U16BE(4) & 0xFFF0) == 0x07F0) return TForm::BE14;
    if (first == 0xFF1F00E8u && (b.U16LE(4) & 0xFFF0) == 0x07F0) return TForm::LE14;
    return TForm::None;
}

// The header bytes in the 16-bit big-endian form.
std::array<uint8_t, HeaderBytes> Normalise(const TByteView& raw, TForm form) {
    std::array<uint8_t, HeaderBytes> out{};
    const bool little = form == TForm::LE16 || form == TForm::LE14;
    if (form == TForm::BE16 || form == TForm::LE16) {
        for (uint32_t i = 0; i < HeaderBytes; ++i)
            out[i] = raw.U8(little ? i ^ 1 : i);
        return out;
    }
    // Fourteen bits of each word, one after the other.
    uint64_t bits = 0;
    uint32_t held = 0, filled = 0;
    for (uint32_t i = 0; filled < HeaderBytes && i < RawHeaderBytes / 2; ++i) {
        const uint32_t word = little ? raw.U16LE(2 * i) : raw.U16BE(2 * i);
        bits = bits << 14 | (word & 0x3FFF);
        held += 14;
        while (held >= 8 && filled < HeaderBytes) {
            held -= 8;
            out[filled++] = static_cast<uint8_t>(bits >> held);
        }
    }
    return out;
}

struct TCoreHeader {
    uint32_t FrameType = 0, Short = 0, Blocks = 0, FrameBytes = 0;
    uint32_t Amode = 0, Sfreq = 0, Rate = 0, Lff = 0, Pcmr = 0;
};

bool ParseCore(const TByteView& raw, TForm form, TCoreHeader& h) {
    if (!raw.Has(0, form == TForm::BE14 || form == TForm::LE14 ? RawHeaderBytes : HeaderBytes))
        return false;
    const auto bytes = Normalise(raw, form);
    TBitView bits(TByteView(bytes.data(), bytes.size()), 32);
    h.FrameType = bits.Bits(1);
    h.Short = bits.Bits(5);
    const bool crc = bits.Flag();
    h.Blocks = bits.Bits(7) + 1;
    h.FrameBytes = bits.Bits(14) + 1;
    h.Amode = bits.Bits(6);
    h.Sfreq = bits.Bits(4);
    h.Rate = bits.Bits(5);
    h.Lff = bits.BitsAt(85, 2);
    h.Pcmr = bits.BitsAt(crc ? 111 : 95, 3);
    return !bits.Short() && h.FrameBytes >= MinFrameBytes;
}

// Bytes the frame takes in the file: a 14-bit form stores 14 bits of it in every 16.
uint32_t StoredFrameBytes(const TCoreHeader& h, TForm form) {
    return form == TForm::BE14 || form == TForm::LE14 ? h.FrameBytes * 8 / 7 : h.FrameBytes;
}

// The size of the extension substream at pos, 0 when none starts there.
uint32_t ExtensionBytes(TReadWindow& window, uint64_t pos) {
    const TByteView b = window.At(pos, 12);
    if (!b.Has(0, 12) || !b.Matches(0, ExtensionSync)) return 0;
    TBitView bits(b, 32 + 8 + 2); // sync, user-defined bits, substream index
    const bool wide = bits.Flag();
    bits.Skip(wide ? 12 : 8); // header size
    return bits.Bits(wide ? 20 : 16) + 1;
}

struct TWalk {
    uint64_t Frames = 0, Samples = 0, End = 0;
};

// Every core frame from the start, each with the extension substreams behind it; a frame
// advances by at least 96 bytes and a substream by at least one, so the walk ends.
void WalkFrames(const TFileView& file, TForm form, TWalk& walk) {
    TReadWindow window(file);
    const uint64_t size = file.Size();
    uint64_t pos = 0;
    TCoreHeader h;
    while (pos < size && FormOf(window.At(pos, SyncRead)) == form &&
           ParseCore(window.At(pos, RawHeaderBytes), form, h)) {
        ++walk.Frames;
        walk.Samples += uint64_t{h.Blocks} * SamplesPerBlock;
        pos += StoredFrameBytes(h, form);
        for (uint32_t extension; pos < size && (extension = ExtensionBytes(window, pos)) > 0;)
            pos += extension;
    }
    walk.End = pos < size ? pos : size;
}

} // namespace

bool ReadDTS(const TFileView& file, TAudioFile& r) {
    r.Reset();
    const TByteView head = file.Head();
    const TForm form = FormOf(head);
    TCoreHeader h;
    if (form == TForm::None || !ParseCore(head.Sub(0, RawHeaderBytes), form, h)) return false;
    r.FileSize = static_cast<int64_t>(file.Size());
    if (h.FrameType == 1 && h.Short != NormalFrameShort) return false;
    if (h.Amode >= FirstUserAmode) return false;
    r.SampleRate = SampleRates[h.Sfreq];
    if (r.SampleRate == 0) return false;
    r.Channels = static_cast<uint16_t>(AmodeChannels[h.Amode] + (h.Lff != 0 ? 1 : 0));
    r.BitsPerSample = Resolutions[h.Pcmr];

    TWalk walk;
    WalkFrames(file, form, walk);
    r.Samples = static_cast<int64_t>(walk.Samples);
    r.Duration = static_cast<double>(walk.Samples) / r.SampleRate;
    r.BitRate = static_cast<int32_t>(std::nearbyint(BitRates[h.Rate]));
    // Open, variable and lossless rates have no table value: the stream's own average stands in.
    if (r.BitRate == 0 && r.Duration > 0)
        r.BitRate = static_cast<int32_t>(
            std::nearbyint(static_cast<double>(walk.End) * 8 / r.Duration / 1000));
    r.Valid = walk.Frames > 0 && r.Duration > 0;
    return true;
}

TAudioFile* CreateDTS() {
    return NewAudioFile(afDTS, ReadDTS);
}

} // namespace audiolens
