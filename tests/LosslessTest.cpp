// Monkey's Audio, WavPack, OptimFROG and TTA readers. Debian has no encoder for Monkey's Audio,
// OptimFROG or WavPack 3, so their headers are built byte by byte from the formats' layouts (one
// builder per format) and the expected values are worked out by hand; real wavpack and ffmpeg
// output is compared with ffprobe in ConformanceTest.
#include "TestSupport.h"
#include "TrailingTagSupport.h"
#include "formats/AudioMonkey.h"
#include "formats/AudioOptimFrog.h"
#include "formats/AudioTTA.h"
#include "formats/AudioWAVPack.h"
#include "framework/Registry.h"

#include <cmath>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

using namespace audiolens;
using namespace testsupport;
using namespace std::string_literals;

namespace {

// What a read should give; Info is the whole extra-line text.
struct TExpect {
    bool Read = true;
    bool Valid = true;
    int64_t Samples = 0;
    uint16_t Bits = 0, Channels = 0;
    int32_t Rate = 0;
    std::string Info;
};

struct TCase {
    const char* Name;
    std::string Bytes;
    TExpect Want;
};

void ExpectRead(TAudioConstructor make, const TCase& c) {
    SCOPED_TRACE(c.Name);
    TAudioRef r(make());
    EXPECT_EQ(r->Read(*TFileView::FromBytes(c.Bytes, c.Name)), c.Want.Read);
    if (!c.Want.Read) return;
    EXPECT_EQ(r->Valid, c.Want.Valid);
    EXPECT_EQ(r->Samples, c.Want.Samples);
    EXPECT_EQ(r->BitsPerSample, c.Want.Bits);
    EXPECT_EQ(r->Channels, c.Want.Channels);
    EXPECT_EQ(r->SampleRate, c.Want.Rate);
    EXPECT_EQ(r->Info->GetText(), c.Want.Info);
    if (r->Samples == 0) {
        EXPECT_EQ(r->Ratio, -1.0);
    } else if (r->SampleRate > 0) {
        EXPECT_DOUBLE_EQ(r->Duration, static_cast<double>(r->Samples) / r->SampleRate);
    }
}

// ---- Monkey's Audio: the descriptor layout from version 3980 on, the fixed one before ----

struct TMonkey {
    uint16_t Version = 3990, Level = 2000, Flags = 0;
    uint32_t Frames = 1, FinalBlocks = 1000;
    uint16_t Channels = 2;
    uint32_t Rate = 44100;
    uint16_t Bits = 16;               // descriptor layout only
    uint32_t BlocksPerFrame = 294912; // descriptor layout only
    uint32_t DescriptorLength = 52, HeaderLength = 24;
    int32_t Peak = 0;       // fixed layout only
    size_t FileSize = 4000; // padded with audio bytes
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
    return f + AudioBytes(m.FileSize > f.size() ? m.FileSize - f.size() : 0);
}

std::string MonkeyInfo(const char* version, int flags, int level, const char* name) {
    return "Version=" + std::string(version) + "\r\nFormatFlags=" + std::to_string(flags) +
           "\r\nCompressionLevel=" + std::to_string(level) + "\r\nCompression=" + name + "\r\n";
}

TEST(MonkeyTest, HeaderLayouts) {
    const TCase cases[] = {
        {"NewLayout",
         MonkeyFile({.Frames = 3}),
         {true, true, 2 * 294912 + 1000, 16, 2, 44100, MonkeyInfo("3.990", 0, 2000, "Normal")}},
        {"FirstDescriptorVersion",
         MonkeyFile({.Version = 3980,
                     .Level = 5000,
                     .FinalBlocks = 4410,
                     .Channels = 1,
                     .Rate = 22050,
                     .Bits = 24}),
         {true, true, 4410, 24, 1, 22050, MonkeyInfo("3.980", 0, 5000, "Insane")}},
        {"LastFixedVersion",
         MonkeyFile({.Version = 3970, .Level = 1000, .Frames = 2, .FinalBlocks = 10}),
         {true, true, 294912 + 10, 16, 2, 44100, MonkeyInfo("3.970", 0, 1000, "Fast")}},
        {"Version393",
         MonkeyFile({.Version = 3930, .Level = 3000, .Frames = 10}),
         {true, true, 664552, 16, 2, 44100, MonkeyInfo("3.930", 0, 3000, "High")}},
        {"Version380ExtraHigh",
         MonkeyFile({.Version = 3800, .Level = 4000, .Frames = 2, .FinalBlocks = 0}),
         {true, true, 73728, 16, 2, 44100, MonkeyInfo("3.800", 0, 4000, "Extra High")}},
        {"Version380High",
         MonkeyFile({.Version = 3800, .Level = 3000, .Frames = 2, .FinalBlocks = 0}),
         {true, true, 9216, 16, 2, 44100, MonkeyInfo("3.800", 0, 3000, "High")}},
        {"Fixed8Bit",
         MonkeyFile({.Version = 3900, .Flags = 1}),
         {true, true, 1000, 8, 2, 44100, MonkeyInfo("3.900", 1, 2000, "Normal")}},
        {"Fixed8And24BitIs24",
         MonkeyFile({.Version = 3900, .Flags = 9}),
         {true, true, 1000, 24, 2, 44100, MonkeyInfo("3.900", 9, 2000, "Normal")}},
        {"FixedPeakLevel",
         MonkeyFile({.Version = 3900, .Flags = 4, .Peak = -5}),
         {true, true, 1000, 16, 2, 44100,
          "PeakLevel=-5\r\n" + MonkeyInfo("3.900", 4, 2000, "Normal")}},
        {"NoPeakLevelInDescriptorLayout",
         MonkeyFile({.Flags = 4}),
         {true, true, 1000, 16, 2, 44100, MonkeyInfo("3.990", 4, 2000, "Normal")}},
        {"LevelBetweenNames",
         MonkeyFile({.Level = 2500}),
         {true, true, 1000, 16, 2, 44100, MonkeyInfo("3.990", 0, 2500, "2500")}},
        {"LevelAboveNames",
         MonkeyFile({.Level = 7000}),
         {true, true, 1000, 16, 2, 44100, MonkeyInfo("3.990", 0, 7000, "7000")}},
        {"LevelZero",
         MonkeyFile({.Level = 0}),
         {true, true, 1000, 16, 2, 44100, MonkeyInfo("3.990", 0, 0, "Unknown")}},
        {"ZeroFrames",
         MonkeyFile({.Frames = 0}),
         {true, false, 0, 16, 2, 44100, MonkeyInfo("3.990", 0, 2000, "Normal")}},
        {"LongerDescriptorSkipped",
         MonkeyFile({.DescriptorLength = 60}),
         {true, true, 1000, 16, 2, 44100, MonkeyInfo("3.990", 0, 2000, "Normal")}},
        // The header is read with its own length; the fields past it are 0.
        {"ShortHeader",
         MonkeyFile({.HeaderLength = 16}),
         {true, false, 1000, 0, 0, 0, MonkeyInfo("3.990", 0, 2000, "Normal")}},
        // More than 2^32 samples: formed in 64 bits.
        {"SampleCountPast32Bits",
         MonkeyFile({.Frames = 20000, .FinalBlocks = 5}),
         {true, true, 5897945093, 16, 2, 44100, MonkeyInfo("3.990", 0, 2000, "Normal")}},
        // A descriptor shorter than its own fields would put the header on bytes already read.
        {"DescriptorTooShort", MonkeyFile({.DescriptorLength = 40}), {.Read = false}},
        {"NoSignature", "MAX " + MonkeyFile({}).substr(4), {.Read = false}},
        {"CutDescriptor", MonkeyFile({.FileSize = 0}).substr(0, 40), {.Read = false}},
        {"CutFixedHeader",
         MonkeyFile({.Version = 3900, .FileSize = 0}).substr(0, 35),
         {.Read = false}},
    };
    for (const TCase& c : cases)
        ExpectRead(CreateMonkey, c);
}

TEST(MonkeyTest, RateAndRatioOfTheWholeFile) {
    TAudioRef r(CreateMonkey());
    ASSERT_TRUE(r->Read(*TFileView::FromBytes(MonkeyFile({.Frames = 3, .FileSize = 400000}))));
    // 590824 samples at 44100 Hz: 13.397 s; 400000 bytes = 3200000 bits: 238.9 kbit/s.
    EXPECT_EQ(r->BitRate, 239);
    EXPECT_DOUBLE_EQ(r->Ratio, 400000.0 / (590824.0 * 4 + 44) * 100);
}

// ---- WavPack 4: a block header and its metadata sub-blocks; WavPack 3: RIFF around "wvpk" ----

constexpr uint32_t Bytes2 = 1, Mono = 4, Hybrid = 8;
constexpr uint32_t RateIndex(uint32_t index) {
    return index << 23;
}

// One sub-block: odd sizes are padded and flagged (0x40), word counts above 255 take three
// bytes (0x80).
std::string SubBlock(uint8_t id, const std::string& data) {
    const size_t words = (data.size() + 1) / 2;
    if (data.size() % 2) id |= 0x40;
    std::string head(1, static_cast<char>(words > 255 ? id | 0x80 : id));
    head += words > 255 ? LE32(static_cast<uint32_t>(words)).substr(0, 3)
                        : std::string(1, static_cast<char>(words));
    return head + data + Zeros(data.size() % 2);
}

// The first block of a version 4 file (the header and the given sub-blocks, then an audio
// sub-block), followed by more audio bytes.
std::string WavPack4File(uint32_t flags, uint32_t totalSamples,
                         const std::vector<std::pair<uint8_t, std::string>>& subBlocks,
                         uint16_t version = 0x407) {
    std::string body;
    for (const auto& [id, data] : subBlocks)
        body += SubBlock(id, data);
    body += SubBlock(0x0A, "\x65\x02\x08" + AudioBytes(301));
    std::string block = "wvpk" + LE32(static_cast<uint32_t>(24 + body.size())) + LE16(version) +
                        Zeros(2) + LE32(totalSamples) + LE32(0) + LE32(4410) + LE32(flags) +
                        LE32(0);
    return block + body + AudioBytes(2000);
}

// A version 3 file: the RIFF header with "fmt ", an optional LIST chunk, then the "data" chunk
// that opens with the 36-byte "wvpk" header.
std::string WavPack3File(uint16_t bits, uint16_t flags, uint32_t samples, uint32_t rate = 44100,
                         bool list = false) {
    std::string fmt =
        "fmt " + LE32(16) + LE16(1) + LE16(2) + LE32(rate) + LE32(rate * 4) + LE16(4) + LE16(16);
    std::string header = "wvpk" + LE32(28) + LE16(3) + LE16(bits) + LE16(flags) + LE16(0) +
                         LE32(samples) + Zeros(16);
    std::string data = "data" + LE32(2036) + header + AudioBytes(2000);
    std::string chunks = fmt + (list ? "LIST" + LE32(5) + "INFOx" + Zeros(1) : "") + data;
    return "RIFF" + LE32(static_cast<uint32_t>(4 + chunks.size())) + "WAVE" + chunks;
}

std::string WavPackInfo(const char* version, const std::string& encoder, int blockSamples) {
    return "Version=" + std::string(version) + "\r\nEncoder=" + encoder +
           (blockSamples >= 0 ? "\r\nBlockSamples=" + std::to_string(blockSamples) : "") + "\r\n";
}

TEST(WavPackTest, BlockHeadersAndSubBlocks) {
    const std::string config3 = Zeros(3), high = "\x18\0\0"s, fast4 = "\x02\0\0\x01"s;
    const uint32_t stereo16 = Bytes2 | RateIndex(9);
    const TCase cases[] = {
        {"Mono16Bit44k",
         WavPack4File(Mono | Bytes2 | RateIndex(9), 44100, {{0x25, config3}}),
         {true, true, 44100, 16, 1, 44100, WavPackInfo("4", "lossless (normal)", 4410)}},
        {"Stereo24Bit48k",
         WavPack4File(2 | RateIndex(10), 48000, {}),
         {true, true, 48000, 24, 2, 48000, WavPackInfo("4", "lossless", 4410)}},
        {"RateIndex14",
         WavPack4File(Bytes2 | RateIndex(14), 192000, {}),
         {true, true, 192000, 16, 2, 192000, WavPackInfo("4", "lossless", 4410)}},
        {"CustomRateWithoutItsSubBlock",
         WavPack4File(Bytes2 | RateIndex(15), 1000, {}),
         {true, true, 1000, 16, 2, 44100, WavPackInfo("4", "lossless", 4410)}},
        {"CustomRate176k",
         WavPack4File(Bytes2 | RateIndex(15), 176400, {{0x27, LE32(176400).substr(0, 3)}}),
         {true, true, 176400, 16, 2, 176400, WavPackInfo("4", "lossless", 4410)}},
        {"SixChannels",
         WavPack4File(stereo16, 1000, {{0x0D, "\x06\x3F"s}, {0x25, config3}}),
         {true, true, 1000, 16, 6, 44100, WavPackInfo("4", "lossless (normal)", 4410)}},
        {"LargeSubBlockSkipped",
         WavPack4File(stereo16, 1000, {{0x21, AudioBytes(700)}, {0x0D, "\x03\x07"s}}),
         {true, true, 1000, 16, 3, 44100, WavPackInfo("4", "lossless", 4410)}},
        {"HybridHigh",
         WavPack4File(stereo16 | Hybrid, 1000, {{0x25, high}}, 0x410),
         {true, true, 1000, 16, 2, 44100, WavPackInfo("4", "hybrid lossy (high)", 4410)}},
        {"ExtraModeConfig",
         WavPack4File(stereo16, 1000, {{0x25, fast4}}),
         {true, true, 1000, 16, 2, 44100, WavPackInfo("4", "lossless (fast)", 4410)}},
        {"VeryFastConfig",
         WavPack4File(stereo16, 1000, {{0x25, "\x06\0\0"s}}),
         {true, true, 1000, 16, 2, 44100, WavPackInfo("4", "lossless (very fast)", 4410)}},
        // The bytes 0x65 0x02 0x08 in the audio are no config sub-block.
        {"NoConfigSubBlock",
         WavPack4File(stereo16, 1000, {}),
         {true, true, 1000, 16, 2, 44100, WavPackInfo("4", "lossless", 4410)}},
        {"UnknownSampleCount",
         WavPack4File(stereo16, 0xFFFFFFFF, {}),
         {true, true, 0, 16, 2, 44100, WavPackInfo("4", "lossless", 4410)}},
        {"ZeroSamples", WavPack4File(stereo16, 0, {}), {.Read = false}},
        {"BehindID3v2", "ID3\x03\0\0\0\0\0\0"s + WavPack4File(stereo16, 1000, {}), {.Read = false}},
        {"CutBlockHeader", WavPack4File(stereo16, 1000, {}).substr(0, 31), {.Read = false}},
        {"Version3LossyHigh",
         WavPack3File(13, 0x10, 44100),
         {true, true, 44100, 16, 2, 44100, WavPackInfo("3", "16-bit lossy high", -1)}},
        {"Version3LossyFast",
         WavPack3File(5, 0x02, 44100),
         {true, true, 44100, 16, 2, 44100, WavPackInfo("3", "8-bit lossy fast", -1)}},
        {"Version3Lossy",
         WavPack3File(5, 0, 44100),
         {true, true, 44100, 16, 2, 44100, WavPackInfo("3", "8-bit lossy", -1)}},
        {"Version3HybridLosslessHigh",
         WavPack3File(5, 0x8480, 44100),
         {true, true, 44100, 16, 2, 44100, WavPackInfo("3", "hybrid lossless (high)", -1)}},
        {"Version3HybridLossy",
         WavPack3File(5, 0x400, 44100),
         {true, true, 44100, 16, 2, 44100, WavPackInfo("3", "hybrid lossy", -1)}},
        {"Version3LosslessFast",
         WavPack3File(0, 0, 44100),
         {true, true, 44100, 16, 2, 44100, WavPackInfo("3", "lossless (fast mode)", -1)}},
        {"Version3Lossless",
         WavPack3File(0, 0x10, 44100),
         {true, true, 44100, 16, 2, 44100, WavPackInfo("3", "lossless", -1)}},
        {"Version3LosslessHigh",
         WavPack3File(0, 0x8010, 44100),
         {true, true, 44100, 16, 2, 44100, WavPackInfo("3", "lossless (high mode)", -1)}},
        {"Version3MonoWithoutRate",
         WavPack3File(0, 0x11, 22050, 0),
         {true, true, 22050, 16, 1, 44100, WavPackInfo("3", "lossless", -1)}},
        {"Version3ListBeforeData",
         WavPack3File(0, 0x10, 8000, 8000, true),
         {true, true, 8000, 16, 2, 8000, WavPackInfo("3", "lossless", -1)}},
        // A WAV file is no WavPack file: the "wvpk" header decides.
        {"PlainWav", PcmWav(2, 44100, 16, 1000), {.Read = false}},
    };
    for (const TCase& c : cases)
        ExpectRead(CreateWAVPack, c);
}

TEST(WavPackTest, RatesOverTheAudioBytes) {
    TAudioRef r(CreateWAVPack());
    // 1000 samples at 44100 Hz; the 2338 bytes less the 32-byte block header over 22.68 ms.
    const std::string v4 = WavPack4File(Bytes2 | RateIndex(9), 1000, {});
    ASSERT_EQ(v4.size(), 2338u);
    ASSERT_TRUE(r->Read(*TFileView::FromBytes(v4)));
    EXPECT_EQ(r->BitRate, 102 * 8); // round(2306 / 0.022676 / 1000) = round(101.69)
    EXPECT_DOUBLE_EQ(r->Ratio, 2338.0 / (1000.0 * 4 + 44) * 100);
    ASSERT_TRUE(r->Read(*TFileView::FromBytes(WavPack4File(Bytes2, 0xFFFFFFFF, {}))));
    EXPECT_EQ(r->Duration, -1.0);
    EXPECT_EQ(r->BitRate, 0);

    // Version 3: the file less the header chunk size (28) over 0.5 s.
    const std::string v3 = WavPack3File(0, 0x10, 22050);
    ASSERT_TRUE(r->Read(*TFileView::FromBytes(v3)));
    EXPECT_EQ(r->BitRate, 4 * 8); // round((2080 - 28) / 0.5 / 1000) = round(4.104)
}

TEST(WavPackTest, WavFileNamedWvIsReadAsWav) {
    TTempDir dir;
    WriteFile(dir.Path("song.wv"), PcmWav(2, 44100, 16, 1000));
    TRef<TAudioVerify> verify(new TAudioVerify);
    ASSERT_TRUE(verify->Verify(dir.Path("song.wv")));
    EXPECT_EQ(verify->Audio()->Format, afWav);
}

TEST(WavPackTest, ApeTagOfWavpackEncoder) {
    REQUIRE_TOOL("wavpack");
    REQUIRE_TOOL("ffmpeg");
    TTempDir dir;
    ASSERT_EQ(testsupport::Run(
                  "ffmpeg -v error -f lavfi -i sine=sample_rate=44100:duration=0.5 -ac 2 " +
                  Quote(dir.Path("s.wav")) + " && wavpack -q -y -w Title=Tone -w Artist=Someone " +
                  Quote(dir.Path("s.wav")) + " -o " + Quote(dir.Path("t.wv"))),
              0);
    const std::string bytes = ReadFile(dir.Path("t.wv"));
    TAudioRef r(CreateWAVPack());
    ASSERT_TRUE(r->Read(dir.Path("t.wv")));
    const TTagBase* ape = r->GetTag(tkAPE);
    ASSERT_TRUE(ape->Valid);
    EXPECT_EQ(ape->GetField(tfTitle), "Tone");
    EXPECT_EQ(ape->GetField(tfArtist), "Someone");
    // wavpack writes the tag with a header: the audio ends at the header's first byte.
    const size_t tagStart = bytes.size() - static_cast<size_t>(ape->Size) - 32;
    ASSERT_EQ(bytes.compare(tagStart, 8, "APETAGEX"), 0);
    EXPECT_EQ(r->BitRate,
              static_cast<int32_t>(std::nearbyint((tagStart - 32) / r->Duration / 1000)) * 8);
}

// ---- OptimFROG: the 23-byte "OFR " header ----

std::string OptimFrogFile(uint64_t allSamples, uint8_t type, uint8_t mode, int32_t rate = 44100,
                          uint16_t encoder = 0x50, uint8_t compression = 0x28) {
    return "OFR " + LE32(15) + LE32(static_cast<uint32_t>(allSamples)) +
           LE16(static_cast<uint32_t>(allSamples >> 32)) + std::string(1, static_cast<char>(type)) +
           std::string(1, static_cast<char>(mode)) + LE32(static_cast<uint32_t>(rate)) +
           LE16(encoder) + std::string(1, static_cast<char>(compression)) + AudioBytes(3000);
}

const std::string Ultra4505 = "Version=4.505\r\nCompression=ultra\r\n";

TEST(OptimFrogTest, EverySampleTypeAndChannelMode) {
    const uint16_t bits[] = {8, 8, 16, 16, 24, 24, 32, 32, 32, 32, 32}; // 8 to 10 are float
    for (uint8_t type = 0; type < 11; ++type)
        for (uint8_t mode = 0; mode < 2; ++mode)
            ExpectRead(CreateOptimFrog, {"type",
                                         OptimFrogFile(88200, type, mode),
                                         {true, true, 88200 >> mode, bits[type],
                                          static_cast<uint16_t>(mode + 1), 44100, Ultra4505}});
}

TEST(OptimFrogTest, Headers) {
    const TCase cases[] = {
        {"StereoTenSeconds",
         OptimFrogFile(882000, 2, 1),
         {true, true, 441000, 16, 2, 44100, Ultra4505}},
        // The count of all channels is one 48-bit number: its low bit 32 moves into the low word.
        {"FortyEightBitCount",
         OptimFrogFile(0x100000001, 2, 1),
         {true, true, 0x80000000, 16, 2, 44100, Ultra4505}},
        {"FastFirstVersion",
         OptimFrogFile(1000, 2, 0, 8000, 0, 0),
         {true, true, 1000, 16, 1, 8000, "Version=4.500\r\nCompression=fast\r\n"}},
        {"BestNew",
         OptimFrogFile(1000, 2, 0, 8000, 0x1230, 9 << 3 | 7),
         {true, true, 1000, 16, 1, 8000, "Version=4.791\r\nCompression=bestnew\r\n"}},
        {"SampleType11", OptimFrogFile(1000, 11, 1), {true, false, 0, 0, 0, 0, ""}},
        {"ChannelMode2", OptimFrogFile(1000, 2, 2), {true, false, 0, 0, 0, 0, ""}},
        {"Compression80",
         OptimFrogFile(1000, 2, 1, 44100, 0x50, 80),
         {true, false, 0, 0, 0, 0, ""}},
        {"NegativeRate", OptimFrogFile(1000, 2, 1, -44100), {true, false, 0, 0, 0, 0, ""}},
        {"NoSamples", OptimFrogFile(0, 2, 1), {.Read = false}},
        {"CutHeader", OptimFrogFile(1000, 2, 1).substr(0, 22), {.Read = false}},
        {"BehindID3v2",
         "ID3\x03\0\0\0\0\0\x05"s + Zeros(5) + OptimFrogFile(2000, 4, 1),
         {true, true, 1000, 24, 2, 44100, Ultra4505}},
    };
    for (const TCase& c : cases)
        ExpectRead(CreateOptimFrog, c);
    TAudioRef r(CreateOptimFrog());
    ASSERT_TRUE(r->Read(*TFileView::FromBytes(OptimFrogFile(882000, 2, 1))));
    EXPECT_DOUBLE_EQ(r->Duration, 10.0);
    EXPECT_EQ(r->BitRate, 0); // round(3000 bytes / 10 s / 1000) = 0
    EXPECT_DOUBLE_EQ(r->Ratio, (3023.0 - 46) / (441000.0 * 4 + 44) * 100);
}

// ---- TTA: the 22-byte "TTA1" header ----

std::string TtaFile(uint16_t channels, uint16_t bits, uint32_t rate, uint32_t samples,
                    uint32_t crc = 0x12345678) {
    return "TTA1" + LE16(1) + LE16(channels) + LE16(bits) + LE32(rate) + LE32(samples) + LE32(crc) +
           AudioBytes(2978);
}

TEST(TtaTest, Headers) {
    const TCase cases[] = {
        {"TenSeconds",
         TtaFile(2, 16, 44100, 441000),
         {true, true, 441000, 16, 2, 44100, "AudioFormat=1\r\nCRC=305419896\r\n"}},
        {"CrcUnsigned",
         TtaFile(1, 24, 96000, 96000, 0xFFFFFFFF),
         {true, true, 96000, 24, 1, 96000, "AudioFormat=1\r\nCRC=4294967295\r\n"}},
        {"NoSamples",
         TtaFile(2, 16, 44100, 0),
         {true, true, 0, 16, 2, 44100, "AudioFormat=1\r\nCRC=305419896\r\n"}},
        {"NoRate", TtaFile(2, 16, 0, 1000), {.Read = false}},
        {"CutHeader", TtaFile(2, 16, 44100, 1000).substr(0, 21), {.Read = false}},
        // Without an ID3v2 tag the header must open the file.
        {"NotAtStart", Zeros(10) + TtaFile(2, 16, 44100, 1000), {.Read = false}},
        {"BehindID3v2",
         "ID3\x04\0\0\0\0\0\x0A"s + Zeros(10) + TtaFile(2, 16, 44100, 1000),
         {true, true, 1000, 16, 2, 44100, "AudioFormat=1\r\nCRC=305419896\r\n"}},
    };
    for (const TCase& c : cases)
        ExpectRead(CreateTTA, c);
    TAudioRef r(CreateTTA());
    ASSERT_TRUE(r->Read(*TFileView::FromBytes(TtaFile(2, 16, 44100, 441000))));
    EXPECT_DOUBLE_EQ(r->Duration, 10.0);
    EXPECT_DOUBLE_EQ(r->Ratio, 3000.0 / (441000.0 * 4 + 44) * 100);
}

// ---- Tags at both ends: ID3v2 in front, APE (with header) and ID3v1 behind ----

std::string ApeTagWithHeader(const std::string& title) {
    const std::string item = LE32(static_cast<uint32_t>(title.size())) + LE32(0) + "Title" +
                             std::string(1, '\0') + title;
    const uint32_t size = static_cast<uint32_t>(item.size()) + 32;
    auto frame = [&](uint32_t flags) {
        return "APETAGEX" + LE32(2000) + LE32(size) + LE32(1) + LE32(flags) + Zeros(8);
    };
    return frame(0xA0000000) + item + frame(0x80000000);
}

std::string ID3v2WithTitle(const std::string& title) {
    const std::string frame = "TIT2" + BE32(static_cast<uint32_t>(title.size() + 1)) + Zeros(2) +
                              std::string(1, '\0') + title;
    return "ID3\x03\0\0"s + BE32(static_cast<uint32_t>(frame.size() + 20)) + frame + Zeros(20);
}

// 2000 bytes of audio (header included) lasting 10 ms between the tags.
struct TTaggedCase {
    const char* Extension;
    TAudioConstructor Make;
    std::string Audio;
    int32_t BitRate;
};

TEST(LosslessTagsTest, TagsAtBothEndsAndTheAudioBetween) {
    const TTaggedCase cases[] = {
        // round(2000 * 8 / 0.01 / 1000)
        {".ape", CreateMonkey, MonkeyFile({.FinalBlocks = 441, .FileSize = 2000}), 1600},
        // round((2000 - 23) / 0.01 / 1000) * 8
        {".ofr", CreateOptimFrog, OptimFrogFile(882, 2, 1).substr(0, 2000), 198 * 8},
        // round(2000 / 0.01 / 1000) * 8
        {".tta", CreateTTA, TtaFile(2, 16, 44100, 441).substr(0, 2000), 200 * 8},
    };
    for (const TTaggedCase& c : cases) {
        SCOPED_TRACE(c.Extension);
        ASSERT_EQ(c.Audio.size(), 2000u);
        TTempDir dir;
        const std::string name = dir.Path(std::string("t") + c.Extension);
        WriteFile(name, ID3v2WithTitle("Front") + c.Audio + ApeTagWithHeader("Back") +
                            ID3v1Tag("Last", "", "", "", "", 0));
        TAudioRef r(c.Make());
        ASSERT_TRUE(r->Read(name));
        ASSERT_TRUE(r->Valid);
        EXPECT_EQ(r->GetTag(tkID3v2)->GetField(tfTitle), "Front");
        EXPECT_EQ(r->GetTag(tkAPE)->GetField(tfTitle), "Back");
        EXPECT_EQ(r->GetTag(tkID3v1)->GetField(tfTitle), "Last");
        EXPECT_EQ(r->BitRate, c.BitRate);
    }
}

} // namespace
