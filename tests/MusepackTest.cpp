// Musepack reader: byte-built "MP+" headers of versions 4 to 7.1 and "MPCK" packet streams with
// values worked out from the layouts, and real mpcenc output checked against ffprobe (rate,
// channels) and mutagen (length, bit rate; ffprobe misreads the length of packet streams).
#include "TestSupport.h"
#include "core/Convert.h"
#include "formats/AudioMPEGplus.h"
#include "formats/MPEGplusHeader.h"
#include "formats/MPEGplusPackets.h"
#include "framework/Registry.h"
#include "tags/TagAPE.h"
#include "tags/TagID3v1.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace audiolens;
using namespace testsupport;

namespace {

struct TMusepackFixture : ::testing::Test {
    TTempDir Dir;
    TAudioRef Record{CreateMPEGplus()};
    bool ReadBytes(const std::string& bytes) {
        WriteFile(Dir.Path("t.mpc"), bytes);
        return Record->Read(Dir.Path("t.mpc"));
    }
    std::string Info() const { return Record->Info->GetText(); }
};

// A version 7 header: profile field in the high nibble of byte 10, rate index in its two low
// bits, mid-side in bit 6 of byte 11, the encoder in byte 27.
std::string Sv7Header(uint32_t frames, uint8_t profileField, uint8_t rateIndex, bool midSide,
                      uint8_t encoder, uint8_t versionByte = 0x07) {
    std::string h = "MP+" + std::string(1, static_cast<char>(versionByte)) + LE32(frames);
    h += Zeros(2);
    h += static_cast<char>(profileField << 4 | rateIndex);
    h += static_cast<char>(midSide ? 0x40 : 0x00);
    h += Zeros(15);
    h += static_cast<char>(encoder);
    return h + Zeros(4);
}

// A version 4 to 6 header: bit rate in bits 23 to 31 of word 0, the version in bits 11 to 20,
// the mid-side flag in bit 21.
std::string OldHeader(uint32_t version, uint32_t bitRate, bool midSide, uint32_t word1) {
    uint32_t word0 = bitRate << 23 | version << 11 | (midSide ? 1u << 21 : 0);
    return LE32(word0) + LE32(word1) + Zeros(24);
}

std::string VarLen(uint64_t value) {
    std::string out(1, static_cast<char>(value & 0x7F));
    while (value >>= 7)
        out.insert(out.begin(), static_cast<char>(0x80 | (value & 0x7F)));
    return out;
}

std::string Packet(const std::string& key, const std::string& payload) {
    // The size counts the key and the size field itself.
    size_t size = key.size() + 1 + payload.size();
    if (VarLen(size).size() > 1) ++size;
    return key + VarLen(size) + payload;
}

std::string StreamHeader(uint64_t samples, uint64_t silence, uint8_t rateIndex, int channels,
                         bool midSide, uint8_t version = 8) {
    std::string p =
        Zeros(4) + std::string(1, static_cast<char>(version)) + VarLen(samples) + VarLen(silence);
    p += static_cast<char>(rateIndex << 5 | 26);
    p += static_cast<char>((channels - 1) << 4 | (midSide ? 0x08 : 0) | 3);
    return Packet("SH", p);
}

std::string EncoderInfo(uint8_t quality8, uint8_t major, uint8_t minor, uint8_t build) {
    std::string p(1, static_cast<char>(quality8 << 1));
    p += static_cast<char>(major);
    p += static_cast<char>(minor);
    p += static_cast<char>(build);
    return Packet("EI", p);
}

} // namespace

TEST_F(TMusepackFixture, Version7WorkedExample) {
    std::string file = Sv7Header(9000, 10, 0, false, 116);
    file += Zeros(3000000 - file.size());
    ASSERT_TRUE(ReadBytes(file));
    EXPECT_TRUE(Record->Valid);
    EXPECT_EQ(Record->FileSize, 3000000);
    EXPECT_EQ(Record->Samples, 10368000);
    EXPECT_EQ(Record->SampleRate, 44100);
    EXPECT_EQ(Record->BitsPerSample, 16);
    EXPECT_EQ(Record->Channels, 2);
    EXPECT_DOUBLE_EQ(Record->Duration, 10368000.0 / 44100);
    EXPECT_NEAR(Record->Duration, 235.1, 0.01);
    EXPECT_EQ(Record->BitRate, 102); // round(24 000 000 * 44.1 / 9000 / 1152) = round(102.08)
    EXPECT_DOUBLE_EQ(Record->Ratio, 3000000.0 / (10368000.0 * 4 + 44) * 100);
    EXPECT_EQ(Record->ChannelMode, "Stereo");
    EXPECT_EQ(Info(), "Version=7\r\nEncoder=1.16 Beta\r\nEncoderID=116\r\nProfile=Standard\r\n"
                      "ProfileID=3\r\n");
}

// The fields sit where real version 7 files keep them: bit numbers count from the least
// significant bit of each byte.
TEST_F(TMusepackFixture, Version7BitPositions) {
    const int32_t rates[] = {44100, 48000, 37800, 32000};
    for (uint8_t index = 0; index < 4; ++index) {
        std::string file = Sv7Header(100, 11, index, true, 0) + Zeros(20000);
        ASSERT_TRUE(ReadBytes(file));
        EXPECT_EQ(Record->SampleRate, rates[index]);
        EXPECT_EQ(Record->ChannelMode, "Joint Stereo");
        EXPECT_EQ(Record->Info->Get(3), "Profile=Xtreme");
    }
    // Bit 7 of byte 11 (intensity stereo) is not the mid-side flag.
    std::string file = Sv7Header(100, 12, 0, false, 0);
    file[11] = static_cast<char>(0x80);
    ASSERT_TRUE(ReadBytes(file + Zeros(20000)));
    EXPECT_EQ(Record->ChannelMode, "Stereo");
    EXPECT_EQ(Record->Info->Get(3), "Profile=Insane");
}

// ffprobe's own version 7 parser agrees on the rate and length of the byte-built header.
TEST_F(TMusepackFixture, Version7HeaderAgreesWithFfprobe) {
    REQUIRE_TOOL("ffprobe");
    WriteFile(Dir.Path("v7.mpc"), Sv7Header(100, 10, 1, true, 116) + Zeros(20000));
    ASSERT_TRUE(Record->Read(Dir.Path("v7.mpc")));
    EXPECT_EQ(IntToStr(Record->SampleRate), Probe(Dir.Path("v7.mpc"), "stream", "sample_rate"));
    EXPECT_EQ(IntToStr(Record->Channels), Probe(Dir.Path("v7.mpc"), "stream", "channels"));
    EXPECT_NEAR(Record->Duration, std::stod(Probe(Dir.Path("v7.mpc"), "stream", "duration")), 1e-6);
}

TEST_F(TMusepackFixture, EncoderTexts) {
    EXPECT_EQ(MPEGplusEncoderText(110), "1.1 Release");
    EXPECT_EQ(MPEGplusEncoderText(116), "1.16 Beta");
    EXPECT_EQ(MPEGplusEncoderText(115), "1.15 --Alpha--");
    EXPECT_EQ(MPEGplusEncoderText(105), "1.05 --Alpha--");
    EXPECT_EQ(MPEGplusEncoderText(0), "");
    EXPECT_EQ(MPEGplusEncoderText(-1), "");
    ASSERT_TRUE(ReadBytes(Sv7Header(100, 10, 0, false, 0) + Zeros(20000)));
    EXPECT_EQ(Record->Info->Get(1), "Encoder=");
    EXPECT_EQ(Record->Info->Get(2), "EncoderID=0");
}

TEST_F(TMusepackFixture, ProfileFieldTable) {
    const char* const lines[16] = {
        "Unknown/0", "Experimental/12", "Unknown/0",      "Unknown/0",
        "Unknown/0", "--quality 0/9",   "--quality 1/10", "Telephone/11",
        "Thumb/1",   "Radio/2",         "Standard/3",     "Xtreme/4",
        "Insane/5",  "BrainDead/6",     "--quality 9/7",  "--quality 10/8"};
    for (uint8_t field = 0; field < 16; ++field) {
        ASSERT_TRUE(ReadBytes(Sv7Header(100, field, 0, false, 0) + Zeros(20000)));
        std::string line = Record->Info->Get(3).substr(8) + "/" + Record->Info->Get(4).substr(10);
        EXPECT_EQ(line, lines[field]) << "field " << int(field);
    }
}

TEST_F(TMusepackFixture, Version71AndEarlyVersion8Headers) {
    ASSERT_TRUE(ReadBytes(Sv7Header(100, 10, 0, false, 0, 0x17) + Zeros(20000)));
    EXPECT_EQ(Record->Info->Get(0), "Version=71");
    ASSERT_TRUE(ReadBytes(Sv7Header(100, 10, 0, false, 0, 0x08) + Zeros(20000)));
    EXPECT_EQ(Record->Info->Get(0), "Version=8");
    EXPECT_TRUE(Record->Valid);
}

TEST_F(TMusepackFixture, Versions4To6) {
    // Version 5: 128 kbit/s, mid-side, 200 frames in word 1.
    ASSERT_TRUE(ReadBytes(OldHeader(5, 128, true, 200) + Zeros(1000)));
    EXPECT_TRUE(Record->Valid);
    EXPECT_EQ(Record->BitRate, 128);
    EXPECT_EQ(Record->SampleRate, 44100);
    EXPECT_EQ(Record->Samples, 200 * 1152);
    EXPECT_EQ(Record->ChannelMode, "Joint Stereo");
    EXPECT_EQ(Info(),
              "Version=5\r\nEncoder=\r\nEncoderID=-1\r\nProfile=Unknown\r\nProfileID=0\r\n");
    // Version 4 keeps the frame count in the high half of word 1.
    ASSERT_TRUE(ReadBytes(OldHeader(4, 160, false, 300u << 16 | 0x1234) + Zeros(1000)));
    EXPECT_EQ(Record->Samples, 300 * 1152);
    EXPECT_EQ(Record->ChannelMode, "Stereo");
    EXPECT_EQ(Record->Info->Get(0), "Version=4");
    ASSERT_TRUE(ReadBytes(OldHeader(6, 96, false, 50) + Zeros(1000)));
    EXPECT_EQ(Record->Samples, 50 * 1152);
    EXPECT_DOUBLE_EQ(Record->Duration, 50 * 1152 / 44100.0);
}

TEST_F(TMusepackFixture, UnknownHeadersAreRejected) {
    EXPECT_FALSE(ReadBytes(OldHeader(3, 128, false, 200) + Zeros(1000)));
    EXPECT_FALSE(ReadBytes(OldHeader(7, 128, false, 200) + Zeros(1000)));
    EXPECT_FALSE(ReadBytes(Sv7Header(100, 10, 0, false, 0, 0x06) + Zeros(1000)));
    // One byte short of a header.
    EXPECT_FALSE(ReadBytes(Sv7Header(100, 10, 0, false, 0).substr(0, 31)));
    EXPECT_FALSE(ReadBytes(""));
}

TEST_F(TMusepackFixture, ZeroFramesAndOutOfRangeBitRatesAreNotValid) {
    ASSERT_TRUE(ReadBytes(Sv7Header(0, 10, 0, false, 0) + Zeros(20000)));
    EXPECT_FALSE(Record->Valid);
    EXPECT_EQ(Record->BitRate, 0);
    EXPECT_EQ(Record->Duration, -1.0);
    EXPECT_EQ(Record->Ratio, -1.0);
    EXPECT_EQ(Record->Info->Count(), 5);
    ASSERT_TRUE(ReadBytes(OldHeader(5, 128, false, 0) + Zeros(1000)));
    EXPECT_FALSE(Record->Valid);
    // 481 kbit/s and 2 kbit/s lie outside the range.
    ASSERT_TRUE(ReadBytes(OldHeader(5, 481, false, 10) + Zeros(1000)));
    EXPECT_FALSE(Record->Valid);
    ASSERT_TRUE(ReadBytes(OldHeader(5, 2, false, 10) + Zeros(1000)));
    EXPECT_FALSE(Record->Valid);
    // A 32-byte file of 100 000 frames comes to far below 3 kbit/s.
    ASSERT_TRUE(ReadBytes(Sv7Header(100000, 10, 0, false, 0)));
    EXPECT_FALSE(Record->Valid);
    EXPECT_EQ(Record->BitRate, 0);
}

TEST(MusepackVarLen, BoundedToNineBytes) {
    uint64_t at = 0, value = 0;
    std::string nine = std::string(8, '\x81') + '\x01';
    EXPECT_TRUE(ReadMPCKVarLen(TByteView(nine), at, value));
    EXPECT_EQ(at, 9u);
    uint64_t expected = 0;
    for (int i = 0; i < 9; ++i)
        expected = expected << 7 | 1;
    EXPECT_EQ(value, expected);
    std::string ten = std::string(9, '\x81') + '\x01';
    at = 0;
    EXPECT_FALSE(ReadMPCKVarLen(TByteView(ten), at, value));
    std::string cut = "\x85\x80";
    at = 0;
    EXPECT_FALSE(ReadMPCKVarLen(TByteView(cut), at, value));
    std::string two = "\x86\x1b";
    at = 0;
    ASSERT_TRUE(ReadMPCKVarLen(TByteView(two), at, value));
    EXPECT_EQ(value, 6u * 128 + 27);
}

TEST_F(TMusepackFixture, PacketStreamValues) {
    // 96000 samples at 48 kHz after 1000 samples of leading silence: 2 s.
    std::string file = "MPCK" + StreamHeader(97000, 1000, 1, 2, true) + EncoderInfo(80, 1, 30, 1) +
                       Packet("AP", Zeros(40000)) + Packet("SE", "");
    ASSERT_TRUE(ReadBytes(file));
    EXPECT_TRUE(Record->Valid);
    EXPECT_EQ(Record->SampleRate, 48000);
    EXPECT_EQ(Record->Channels, 2);
    EXPECT_EQ(Record->Samples, 96000);
    EXPECT_DOUBLE_EQ(Record->Duration, 2.0);
    EXPECT_EQ(Record->BitRate, static_cast<int32_t>(std::nearbyint(file.size() * 8 / 2.0 / 1000)));
    EXPECT_DOUBLE_EQ(Record->Ratio, file.size() / (96000.0 * 2 * 2 + 44) * 100);
    EXPECT_EQ(Record->ChannelMode, "Joint Stereo");
    EXPECT_EQ(Info(), "Version=8\r\nEncoder=1.30.1 --Stable--\r\nEncoderID=130\r\n"
                      "Profile=Standard\r\nProfileID=3\r\n");
}

TEST_F(TMusepackFixture, PacketStreamQualityNamesAndMono) {
    // Quality counts in eighths on the version 7 profile scale: 60 is 7.5, a Telephone stream.
    std::string file = "MPCK" + Packet("RG", Zeros(9)) + StreamHeader(44100, 0, 0, 1, false) +
                       EncoderInfo(60, 1, 31, 7) + Packet("AP", Zeros(20000));
    ASSERT_TRUE(ReadBytes(file));
    EXPECT_TRUE(Record->Valid);
    EXPECT_EQ(Record->Channels, 1);
    EXPECT_EQ(Record->ChannelMode, "Mono");
    EXPECT_EQ(Info(), "Version=8\r\nEncoder=1.31.7 --Unstable--\r\nEncoderID=131\r\n"
                      "Profile=Telephone\r\nProfileID=11\r\n");
    // Without an encoder info packet the profile is unknown.
    ASSERT_TRUE(
        ReadBytes("MPCK" + StreamHeader(44100, 0, 3, 2, false) + Packet("AP", Zeros(9000))));
    EXPECT_TRUE(Record->Valid);
    EXPECT_EQ(Record->SampleRate, 32000);
    EXPECT_EQ(Record->ChannelMode, "Stereo");
    EXPECT_EQ(Info(), "Version=8\r\nEncoder=\r\nEncoderID=0\r\nProfile=Unknown\r\nProfileID=0\r\n");
}

TEST_F(TMusepackFixture, PacketStreamZeroValuesAreNotValid) {
    const std::string audio = Packet("AP", Zeros(9000));
    // Rate index 5 is unassigned.
    ASSERT_TRUE(ReadBytes("MPCK" + StreamHeader(44100, 0, 5, 2, false) + audio));
    EXPECT_FALSE(Record->Valid);
    EXPECT_EQ(Record->SampleRate, 0);
    EXPECT_EQ(Record->Duration, -1.0);
    ASSERT_TRUE(ReadBytes("MPCK" + StreamHeader(0, 0, 0, 2, false) + audio));
    EXPECT_FALSE(Record->Valid);
    EXPECT_EQ(Record->Ratio, -1.0);
    // More leading silence than samples.
    ASSERT_TRUE(ReadBytes("MPCK" + StreamHeader(100, 200, 0, 2, false) + audio));
    EXPECT_FALSE(Record->Valid);
    EXPECT_EQ(Record->Samples, 0);
    // One sample: a bit rate far beyond any stream.
    ASSERT_TRUE(ReadBytes("MPCK" + StreamHeader(1, 0, 0, 2, false) + audio));
    EXPECT_FALSE(Record->Valid);
    // A stream version other than 8 in the header packet.
    ASSERT_TRUE(ReadBytes("MPCK" + StreamHeader(44100, 0, 0, 2, false, 9) + audio));
    EXPECT_FALSE(Record->Valid);
    EXPECT_EQ(Record->Info->Get(0), "Version=9");
}

TEST_F(TMusepackFixture, PacketStreamWithoutHeaderOrCutShort) {
    const std::string full = "MPCK" + StreamHeader(44100, 0, 0, 2, true) +
                             EncoderInfo(80, 1, 30, 1) + Packet("AP", Zeros(9000));
    EXPECT_FALSE(ReadBytes("MPCK" + Packet("AP", Zeros(100)) + StreamHeader(44100, 0, 0, 2, true)));
    EXPECT_FALSE(ReadBytes("MPCK"));
    // A packet whose size runs past the end of the file, and one with a size below its head.
    EXPECT_FALSE(ReadBytes("MPCK" + full.substr(4, 10)));
    EXPECT_FALSE(ReadBytes("MPCKSH\x02" + Zeros(30)));
    // A size of ten bytes.
    EXPECT_FALSE(ReadBytes("MPCKSH" + std::string(9, '\x80') + '\x10' + Zeros(30)));
    for (size_t length = 0; length <= full.size(); length += 3) {
        bool read = ReadBytes(full.substr(0, length));
        EXPECT_EQ(read, length >= 4 + 14) << length; // the whole header packet is needed
    }
}

TEST_F(TMusepackFixture, TagsAreFoundAndLeftOutOfTheBitRate) {
    std::string audio = Sv7Header(100, 10, 0, false, 0) + Zeros(20000);
    std::string id3v1 = "TAG" + std::string("Title") + Zeros(25) + "Artist" + Zeros(24) +
                        Zeros(30) + "2001" + Zeros(30) + std::string(1, '\x11');
    ASSERT_EQ(id3v1.size(), 128u);
    std::string item = LE32(5) + LE32(0) + "Album" + std::string(1, '\0') + "Disc1";
    uint32_t apeSize = static_cast<uint32_t>(item.size() + 32);
    std::string ape = "APETAGEX" + LE32(2000) + LE32(apeSize) + LE32(1) + LE32(0xA0000000) +
                      Zeros(8) + item + "APETAGEX" + LE32(2000) + LE32(apeSize) + LE32(1) +
                      LE32(0x80000000) + Zeros(8);
    std::string id3v2 =
        "ID3" + std::string("\x03\x00\x00", 3) + std::string("\x00\x00\x00\x64", 4) + Zeros(100);
    ASSERT_TRUE(ReadBytes(audio));
    const int32_t plainRate = Record->BitRate;
    const double plainRatio = Record->Ratio;
    ASSERT_TRUE(ReadBytes(id3v2 + audio + ape + id3v1));
    EXPECT_TRUE(Record->Valid);
    EXPECT_EQ(Record->FileSize,
              static_cast<int64_t>(id3v2.size() + audio.size() + ape.size() + 128));
    EXPECT_EQ(Record->BitRate, plainRate);
    EXPECT_DOUBLE_EQ(Record->Ratio, plainRatio);
    ASSERT_TRUE(Record->GetTag(tkID3v1)->Valid);
    EXPECT_EQ(Record->GetTag(tkID3v1)->GetField(tfArtist), "Artist");
    ASSERT_TRUE(Record->GetTag(tkAPE)->Valid);
    EXPECT_EQ(Record->GetTag(tkAPE)->GetField(tfAlbum), "Disc1");
    EXPECT_TRUE(Record->GetTag(tkID3v2)->Valid);
    EXPECT_EQ(Record->GetTag(tkID3v2)->Size, 110);
}

TEST_F(TMusepackFixture, VerifierFindsItWhateverTheExtension) {
    ASSERT_NE(FormatConstructor(afMPEGplus), nullptr);
    EXPECT_EQ(FormatByExtension(".mp+"), afMPEGplus);
    WriteFile(Dir.Path("stream.bin"), Sv7Header(100, 10, 0, false, 0) + Zeros(20000));
    TRef<TAudioVerify> verify(new TAudioVerify);
    ASSERT_TRUE(verify->Verify(Dir.Path("stream.bin")));
    EXPECT_EQ(verify->Audio()->Format, afMPEGplus);
    EXPECT_TRUE(verify->Audio()->HasTag(tkAPE));
    EXPECT_TRUE(verify->Audio()->HasTag(tkID3v1));
    EXPECT_TRUE(verify->Audio()->HasTag(tkID3v2));
}

// ---- real encoder output ----

namespace {

struct TEncoderCase {
    const char* Name;
    int Rate;
    int Channels;
    double Seconds;
    const char* Options;
    const char* Profile; // the Info line the option gives
};

const TEncoderCase EncoderCases[] = {
    {"Stereo44kStandard", 44100, 2, 2.3, "--quality 5", "Profile=Standard"},
    {"Mono44kThumb", 44100, 1, 1.5, "--thumb", "Profile=Thumb"},
    {"Stereo48kInsane", 48000, 2, 2.0, "--insane", "Profile=Insane"},
    {"Mono48kQuality0", 48000, 1, 3.0, "--quality 0", "Profile=--quality 0"},
    {"Stereo48kQuality5Half", 48000, 2, 1.2, "--quality 5.5", "Profile=Standard"},
    {"Stereo44kRadio", 44100, 2, 4.0, "--radio", "Profile=Radio"},
};

class TMusepackEncoderTest : public ::testing::TestWithParam<TEncoderCase> {
  protected:
    TTempDir Dir;
};

// mutagen's value of one stream property.
std::string Mutagen(const std::string& file, const std::string& property) {
    std::string out;
    testsupport::Run("/usr/bin/python3 -c \"import sys, mutagen.musepack as m; "
                     "print(getattr(m.Musepack(sys.argv[1]).info, '" +
                         property + "'))\" " + Quote(file) + " 2>/dev/null",
                     &out);
    return Trim(out);
}

} // namespace

TEST_P(TMusepackEncoderTest, MatchesIndependentReaders) {
    const TEncoderCase& c = GetParam();
    REQUIRE_TOOL("mpcenc");
    REQUIRE_TOOL("ffmpeg");
    REQUIRE_TOOL("ffprobe");
    const std::string source = Dir.Path("source.wav"), file = Dir.Path("coded.mpc");
    char generate[400];
    std::snprintf(generate, sizeof generate,
                  "ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=%d:duration=%g "
                  "-ac %d -c:a pcm_s16le %s",
                  c.Rate, c.Seconds, c.Channels, Quote(source).c_str());
    ASSERT_EQ(testsupport::Run(generate), 0);
    ASSERT_EQ(testsupport::Run(std::string("mpcenc --silent --overwrite ") + c.Options + " " +
                               Quote(source) + " " + Quote(file) + " >/dev/null 2>&1"),
              0);
    TAudioRef record(CreateMPEGplus());
    ASSERT_TRUE(record->Read(file));
    EXPECT_TRUE(record->Valid);
    EXPECT_EQ(IntToStr(record->SampleRate), Probe(file, "stream", "sample_rate"));
    EXPECT_EQ(IntToStr(record->Channels), Probe(file, "stream", "channels"));
    EXPECT_EQ(record->Samples, static_cast<int64_t>(std::llround(c.Rate * c.Seconds)));
    EXPECT_NEAR(record->Duration, c.Seconds, 1e-9);
    EXPECT_EQ(record->FileSize, static_cast<int64_t>(ReadFile(file).size()));
    EXPECT_EQ(record->Info->Get(0), "Version=8");
    EXPECT_EQ(record->Info->Get(3), c.Profile);
    EXPECT_EQ(record->ChannelMode, c.Channels == 1 ? "Mono" : "Joint Stereo");

    // The encoder's own banner names the release the stream records.
    std::string banner;
    testsupport::Run("mpcenc 2>&1 | head -n 1", &banner);
    const size_t at = banner.find("Encoder ");
    ASSERT_NE(at, std::string::npos) << banner;
    const std::string release = banner.substr(at + 8, banner.find(' ', at + 8) - at - 8);
    EXPECT_EQ(record->Info->Get(1).rfind("Encoder=" + release + " ", 0), 0u)
        << record->Info->Get(1) << " vs " << banner;

    if (!HaveTool("/usr/bin/python3") || Mutagen(file, "length").empty())
        GTEST_SKIP() << "mutagen missing";
    EXPECT_NEAR(record->Duration, std::stod(Mutagen(file, "length")), 1e-6);
    EXPECT_EQ(record->BitRate, std::lround(std::stod(Mutagen(file, "bitrate")) / 1000));
}

TEST(MusepackEncoder, TagsWrittenByTheEncoderAndAppended) {
    REQUIRE_TOOL("mpcenc");
    REQUIRE_TOOL("ffmpeg");
    TTempDir dir;
    const std::string source = dir.Path("s.wav"), plain = dir.Path("plain.mpc"),
                      tagged = dir.Path("tagged.mpc");
    ASSERT_EQ(testsupport::Run("ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=2 "
                               "-ac 2 -c:a pcm_s16le " +
                               Quote(source)),
              0);
    ASSERT_EQ(testsupport::Run("mpcenc --silent --overwrite " + Quote(source) + " " + Quote(plain) +
                               " >/dev/null 2>&1"),
              0);
    ASSERT_EQ(testsupport::Run("mpcenc --silent --overwrite --artist Someone --title Tone " +
                               Quote(source) + " " + Quote(tagged) + " >/dev/null 2>&1"),
              0);
    // An ID3v1 tag behind the encoder's APE tag.
    std::string id3v1 = "TAG" + std::string("Tone") + Zeros(26) + "Someone" + Zeros(23) +
                        Zeros(30 + 4 + 30) + std::string(1, '\x0c');
    WriteFile(tagged, ReadFile(tagged) + id3v1);

    TAudioRef record(CreateMPEGplus());
    ASSERT_TRUE(record->Read(plain));
    const int32_t plainRate = record->BitRate;
    ASSERT_TRUE(record->Read(tagged));
    EXPECT_TRUE(record->Valid);
    ASSERT_TRUE(record->GetTag(tkAPE)->Valid);
    EXPECT_EQ(record->GetTag(tkAPE)->GetField(tfArtist), "Someone");
    EXPECT_EQ(record->GetTag(tkAPE)->GetField(tfTitle), "Tone");
    ASSERT_TRUE(record->GetTag(tkID3v1)->Valid);
    EXPECT_EQ(record->GetTag(tkID3v1)->GetField(tfTitle), "Tone");
    EXPECT_EQ(record->BitRate, plainRate);
}

static std::string EncoderCaseName(const ::testing::TestParamInfo<TEncoderCase>& param) {
    return param.param.Name;
}

INSTANTIATE_TEST_SUITE_P(Mpcenc, TMusepackEncoderTest, ::testing::ValuesIn(EncoderCases),
                         EncoderCaseName);
