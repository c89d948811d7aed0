// Monkey's Audio, WavPack, OptimFROG and TTA readers on headers built byte by byte from the
// formats' layouts (Debian has no encoder for Monkey's Audio, OptimFROG or WavPack 3).
#include "ReaderSupport.h"
#include "TagFileFixture.h"
#include "formats/AudioMonkey.h"
#include "formats/AudioOptimFrog.h"
#include "formats/AudioTTA.h"
#include "formats/AudioWAVPack.h"

using namespace audiolens;
using namespace testsupport;
using namespace std::string_literals;

namespace {

// The summary, then the titles of the ID3v2, APE and ID3v1 tags ("-" where the format has none).
using TRows = std::vector<std::pair<std::string, std::string>>;

void ExpectRows(TAudioConstructor make, const TRows& rows) {
    for (const auto& [bytes, want] : rows) {
        TAudioRef r;
        std::string summary = ReadSummary(make, bytes, &r) + "Tags=";
        for (TTagKind kind : {tkID3v2, tkAPE, tkID3v1})
            summary += (r->GetTag(kind) ? r->GetTag(kind)->GetField(tfTitle) : "-") +
                       (kind == tkID3v1 ? "|" : " ");
        ExpectFields(summary, want);
    }
}

// 2000 bytes of audio (header included) between an ID3v2 tag in front, an APE tag (with a
// header, as wavpack and mpcenc write it) and an ID3v1 tag behind.
std::string Tagged(const std::string& audio, bool id3v2 = true) {
    return (id3v2 ? ID3v2Tag(3, ID3v2Frame(3, "TIT2", "\0Front"s), 20) : "") +
           audio.substr(0, 2000) + APETag(2000, {APEItem("Title", "Back")}, true) +
           ID3v1Tag("Last");
}

// Monkey's Audio: the descriptor layout from version 3980 on, the fixed one before.
// Bits and BlocksPerFrame are fields of the descriptor layout only, Peak of the fixed one only.
struct TMonkey {
    uint16_t Version = 3990, Level = 2000, Flags = 0, Channels = 2, Bits = 16;
    uint32_t Frames = 1, FinalBlocks = 1000, Rate = 44100, BlocksPerFrame = 294912;
    uint32_t DescriptorLength = 52, HeaderLength = 24, FileSize = 4000; // padded with audio bytes
    int32_t Peak = 0;
};

std::string MonkeyFile(const TMonkey& m) {
    std::string f = "MAC " + LE16(m.Version);
    if (m.Version >= 3980) {
        f += Zeros(2) + LE32(m.DescriptorLength) + LE32(m.HeaderLength) + Zeros(36);
        f += Zeros(m.DescriptorLength > 52 ? m.DescriptorLength - 52 : 0);
        f += LE16(m.Level) + LE16(m.Flags) + LE32(m.BlocksPerFrame) + LE32(m.FinalBlocks) +
             LE32(m.Frames) + LE16(m.Bits) + LE16(m.Channels) + LE32(m.Rate);
    } else {
        f += LE16(m.Level) + LE16(m.Flags) + LE16(m.Channels) + LE32(m.Rate) + Zeros(8) +
             LE32(m.Frames) + LE32(m.FinalBlocks) + LE32(static_cast<uint32_t>(m.Peak));
    }
    return f + Noise(m.FileSize > f.size() ? m.FileSize - f.size() : 0);
}

TEST(MonkeyTest, HeaderLayouts) {
    const TRows rows = {
        {MonkeyFile({.Frames = 3}),
         "Valid=1|Samples=590824|Bits=16|Channels=2|Rate=44100|Version=3.990|"
         "FormatFlags=0|CompressionLevel=2000|Compression=Normal|"},
        {MonkeyFile({.Version = 3980, .Level = 5000, .Channels = 1, .Bits = 24, .Rate = 22050}),
         "Bits=24|Channels=1|Rate=22050|Version=3.980|Compression=Insane"},
        // Blocks per frame of the fixed layout: by version, and for 3.80 by level.
        {MonkeyFile({.Version = 3970, .Level = 1000, .Frames = 2, .FinalBlocks = 10}),
         "Samples=294922|Bits=16|Version=3.970|Compression=Fast"},
        {MonkeyFile({.Version = 3930, .Frames = 10}), "Samples=664552"},
        {MonkeyFile({.Version = 3800, .Level = 4000, .Frames = 2, .FinalBlocks = 0}),
         "Samples=73728|Compression=Extra High"},
        {MonkeyFile({.Version = 3800, .Level = 3000, .Frames = 2, .FinalBlocks = 0}),
         "Samples=9216|Compression=High"},
        {MonkeyFile({.Version = 3900, .Flags = 1}), "Bits=8|FormatFlags=1"},
        {MonkeyFile({.Version = 3900, .Flags = 9}), "Bits=24"}, // 8 and 24: 24
        {MonkeyFile({.Version = 3900, .Flags = 4, .Peak = -5}), "PeakLevel=-5"},
        {MonkeyFile({.Level = 2500}), "Compression=2500"},
        {MonkeyFile({.Level = 7000}), "Compression=7000"},
        {MonkeyFile({.Frames = 0}), "Valid=0|Samples=0|Ratio=-1"},
        {MonkeyFile({.DescriptorLength = 60}), "Valid=1|Samples=1000"},
        // The header is read with its own length; the fields past it are 0.
        {MonkeyFile({.HeaderLength = 16}), "Valid=0|Samples=1000|Bits=0|Channels=0|Rate=0"},
        // More than 2^32 samples: formed in 64 bits.
        {MonkeyFile({.Frames = 20000, .FinalBlocks = 5}), "Samples=5897945093"},
        // A descriptor shorter than its own fields would put the header on them.
        {MonkeyFile({.DescriptorLength = 40}), "Read=0"},
        {MonkeyFile({.FileSize = 0}).substr(0, 40), "Read=0"},
        // 590824 samples at 44100 Hz: 13.397 s; 400000 bytes: 238.9 kbit/s.
        {MonkeyFile({.Frames = 3, .FileSize = 400000}), "BitRate=239|Ratio=16.9252"},
        // 2000 bytes over 441 / 44100 s: round(2000 * 8 / 0.01 / 1000).
        {Tagged(MonkeyFile({.FinalBlocks = 441, .FileSize = 2000})),
         "Valid=1|BitRate=1600|Tags=Front Back Last|"},
    };
    ExpectRows(CreateMonkey, rows);
    // The peak level is a line of the fixed layout only.
    EXPECT_EQ(ReadSummary(CreateMonkey, MonkeyFile({.Flags = 4})).find("PeakLevel"),
              std::string::npos);
}

// Header flags: two bytes a sample, mono, hybrid; the rate index in bits 23 to 26.
constexpr uint32_t Bytes2 = 1, Mono = 4, Hybrid = 8, Stereo16 = Bytes2 | 9u << 23;

// A WavPack 4 sub-block: odd sizes padded and flagged (0x40), over 255 words a 3-byte size (0x80).
std::string SubBlock(uint8_t id, const std::string& data) {
    const uint32_t odd = data.size() % 2, words = (data.size() + 1) / 2;
    return static_cast<char>(id | (odd ? 0x40 : 0) | (words > 255 ? 0x80 : 0)) +
           LE32(words).substr(0, words > 255 ? 3 : 1) + data + Zeros(odd);
}

// The first block of a version 4 file (header, sub-blocks, an audio sub-block), then audio.
std::string WavPack4File(uint32_t flags, uint32_t totalSamples,
                         const std::vector<std::pair<uint8_t, std::string>>& subBlocks = {},
                         uint16_t version = 0x407) {
    std::string body;
    for (const auto& [id, data] : subBlocks)
        body += SubBlock(id, data);
    body += SubBlock(0x0A, "\x65\x02\x08" + Noise(301));
    return "wvpk" + LE32(static_cast<uint32_t>(24 + body.size())) + LE16(version) + Zeros(2) +
           LE32(totalSamples) + LE32(0) + LE32(4410) + LE32(flags) + LE32(0) + body + Noise(2000);
}

// A version 3 file: RIFF, "fmt ", maybe "LIST", then "data" opening with the "wvpk" header.
std::string WavPack3File(uint16_t bits, uint16_t flags, uint32_t samples = 44100,
                         uint32_t rate = 44100, bool list = false) {
    const std::string chunks = "fmt " + LE32(16) + LE16(1) + LE16(2) + LE32(rate) + LE32(rate * 4) +
                               LE16(4) + LE16(16) +
                               (list ? "LIST" + LE32(5) + "INFOx" + Zeros(1) : "") + "data" +
                               LE32(2036) + "wvpk" + LE32(28) + LE16(3) + LE16(bits) + LE16(flags) +
                               LE16(0) + LE32(samples) + Zeros(16) + Noise(2000);
    return "RIFF" + LE32(static_cast<uint32_t>(4 + chunks.size())) + "WAVE" + chunks;
}

TEST(WavPackTest, BlockHeadersAndSubBlocks) {
    const std::string v4 = WavPack4File(Stereo16, 1000);
    const TRows rows = {
        {WavPack4File(Mono | Stereo16, 44100, {{0x25, Zeros(3)}}),
         "Valid=1|Samples=44100|Bits=16|Channels=1|Rate=44100|Version=4|"
         "Encoder=lossless (normal)|BlockSamples=4410|"},
        {WavPack4File(2 | 10u << 23, 48000), "Bits=24|Channels=2|Rate=48000"},
        {WavPack4File(Bytes2 | 15u << 23, 1000), "Valid=1|Rate=44100"},
        {WavPack4File(Stereo16, 1000, {{0x21, Noise(700)}, {0x0D, "\x03\x07"s}}),
         "Channels=3"}, // behind a sub-block with a three-byte size
        {WavPack4File(Stereo16 | Hybrid, 1000, {{0x25, "\x18\0\0"s}}, 0x410),
         "Encoder=hybrid lossy (high)"},
        {WavPack4File(Stereo16, 1000, {{0x25, "\x02\0\0\x01"s}}), "Encoder=lossless (fast)"},
        {WavPack4File(Stereo16, 1000, {{0x25, "\x06\0\0"s}}), "Encoder=lossless (very fast)"},
        // The bytes 0x65 0x02 0x08 in the audio are no config sub-block. 2338 bytes less the
        // 32-byte header over 1000 / 44100 s: round(101.69) * 8.
        {v4, "Encoder=lossless|BitRate=816|Ratio=57.814"},
        // APE is WavPack's only tag: 2210 bytes less the 82 of the APE tag and the 32 of the
        // header over 1000 / 44100 s, round(92.43) * 8.
        {Tagged(v4, false), "Valid=1|BitRate=736|Tags=- Back -|"},
        {WavPack4File(Stereo16, 0xFFFFFFFF), "Valid=1|Samples=0|Duration=-1|BitRate=0"},
        {WavPack4File(Stereo16, 0), "Read=0"},
        {ID3v2Tag(3, "") + v4, "Read=0"},
        {v4.substr(0, 31), "Read=0"},
        {WavPack3File(13, 0x10), "Valid=1|Samples=44100|Bits=16|Channels=2|Rate=44100|"
                                 "Version=3|Encoder=16-bit lossy high|"},
        {WavPack3File(5, 0x02), "Encoder=8-bit lossy fast|"},
        {WavPack3File(5, 0), "Encoder=8-bit lossy|"},
        {WavPack3File(5, 0x8480), "Encoder=hybrid lossless (high)|"},
        {WavPack3File(5, 0x400), "Encoder=hybrid lossy|"},
        {WavPack3File(0, 0), "Encoder=lossless (fast mode)|"},
        {WavPack3File(0, 0x8010), "Encoder=lossless (high mode)|"},
        {WavPack3File(0, 0x11, 22050, 0), "Samples=22050|Channels=1|Rate=44100|Encoder=lossless|"},
        {WavPack3File(0, 0x10, 8000, 8000, true), "Samples=8000|Rate=8000"},
        // The file less the header chunk (28 bytes) over 0.5 s: round(4.104) * 8.
        {WavPack3File(0, 0x10, 22050), "BitRate=32"},
        // A WAV file is no WavPack file: the "wvpk" header decides.
        {PcmWav(2, 44100, 16, 1000), "Read=0"},
    };
    ExpectRows(CreateWAVPack, rows);
    EXPECT_EQ(ReadSummary(CreateWAVPack, WavPack3File(0, 0)).find("BlockSamples"),
              std::string::npos);
}

std::string OptimFrogFile(uint64_t allSamples, uint8_t type, uint8_t mode, int32_t rate = 44100,
                          uint16_t encoder = 0x50, uint8_t compression = 0x28) {
    return "OFR " + LE32(15) + LE32(allSamples) + LE16(allSamples >> 32) + static_cast<char>(type) +
           static_cast<char>(mode) + LE32(rate) + LE16(encoder) + static_cast<char>(compression) +
           Noise(3000);
}

TEST(OptimFrogTest, Headers) {
    const TRows rows = {
        // Sample types 0 to 10: 8, 16, 24 and 32 bits unsigned and signed, then 32-bit floats.
        {OptimFrogFile(88200, 0, 0), "Valid=1|Samples=88200|Bits=8|Channels=1|Rate=44100|"
                                     "Version=4.505|Compression=ultra|"},
        {OptimFrogFile(88200, 3, 1), "Valid=1|Samples=44100|Bits=16|Channels=2|"},
        {OptimFrogFile(88200, 10, 1), "Valid=1|Bits=32|"},
        // 3000 bytes over 10 s: round(2.4) kbit/s.
        {OptimFrogFile(882000, 2, 1), "Samples=441000|Duration=10|BitRate=0|Ratio=0.16876"},
        // The count of all channels is one 48-bit number: bit 32 moves into the low word.
        {OptimFrogFile(0x100000001, 2, 1), "Samples=2147483648"},
        {OptimFrogFile(1000, 2, 0, 8000, 0, 0),
         "Samples=1000|Rate=8000|Version=4.500|Compression=fast|"},
        {OptimFrogFile(1000, 2, 0, 8000, 0x1230, 9 << 3 | 7), "Version=4.791|Compression=bestnew|"},
        {OptimFrogFile(1000, 11, 1), "Read=1|Valid=0|Samples=0|Rate=0"},
        {OptimFrogFile(1000, 2, 2), "Read=1|Valid=0"},
        {OptimFrogFile(1000, 2, 1, 44100, 0x50, 80), "Read=1|Valid=0"},
        {OptimFrogFile(1000, 2, 1, -44100), "Read=1|Valid=0"},
        {OptimFrogFile(0, 2, 1), "Read=0"},
        {OptimFrogFile(1000, 2, 1).substr(0, 22), "Read=0"},
        {ID3v2Tag(3, "", 5) + OptimFrogFile(2000, 4, 1), "Valid=1|Samples=1000|Bits=24"},
        // round((2000 - 23) / 0.01 / 1000) * 8: the header is not counted.
        {Tagged(OptimFrogFile(882, 2, 1)), "Valid=1|BitRate=1584|Tags=Front Back Last|"},
    };
    ExpectRows(CreateOptimFrog, rows);
}

std::string TtaFile(uint16_t channels, uint16_t bits, uint32_t rate, uint32_t samples,
                    uint32_t crc = 0x12345678) {
    return "TTA1" + LE16(1) + LE16(channels) + LE16(bits) + LE32(rate) + LE32(samples) + LE32(crc) +
           Noise(2978);
}

TEST(TtaTest, Headers) {
    const TRows rows = {
        {TtaFile(2, 16, 44100, 441000),
         "Valid=1|Samples=441000|Bits=16|Channels=2|Rate=44100|Duration=10|Ratio=0.170064|"
         "AudioFormat=1|CRC=305419896|"},
        {TtaFile(1, 24, 96000, 96000, 0xFFFFFFFF), "Bits=24|CRC=4294967295|"},
        {TtaFile(2, 16, 44100, 0), "Valid=1|Samples=0|Ratio=-1"},
        {TtaFile(2, 16, 0, 1000), "Read=0"},
        {TtaFile(2, 16, 44100, 1000).substr(0, 21), "Read=0"},
        // Without an ID3v2 tag the header must open the file.
        {Zeros(10) + TtaFile(2, 16, 44100, 1000), "Read=0"},
        {ID3v2Tag(4, "", 10) + TtaFile(2, 16, 44100, 1000), "Valid=1|Samples=1000"},
        // round(2000 / 0.01 / 1000) * 8
        {Tagged(TtaFile(2, 16, 44100, 441)), "Valid=1|BitRate=1600|Tags=Front Back Last|"},
    };
    ExpectRows(CreateTTA, rows);
}

} // namespace
