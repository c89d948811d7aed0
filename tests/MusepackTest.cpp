// Musepack reader: byte-built "MP+" headers of versions 4 to 7.1 and "MPCK" packet streams with
// values worked out from the layouts, and real mpcenc output checked against ffprobe (rate,
// channels) and mutagen (length, bit rate; ffprobe misreads the length of packet streams).
#include "ReaderSupport.h"
#include "TestSupport.h"
#include "core/Convert.h"
#include "formats/AudioMPEGplus.h"
#include "formats/MPEGplusHeader.h"
#include "formats/MPEGplusPackets.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace audiolens;
using namespace testsupport;

namespace {

// A version 7 header (frames, then 20000 bytes of audio): the profile field in the high nibble
// of byte 10, the rate index in its two low bits, mid-side in bit 6 of byte 11, the encoder in
// byte 27.
std::string Sv7(uint32_t frames, uint8_t profile = 10, uint8_t rateIndex = 0, bool midSide = false,
                uint8_t encoder = 0, uint8_t versionByte = 0x07, size_t audio = 20000) {
    return "MP+" + std::string(1, static_cast<char>(versionByte)) + LE32(frames) + Zeros(2) +
           static_cast<char>(profile << 4 | rateIndex) + static_cast<char>(midSide ? 0x40 : 0) +
           Zeros(15) + static_cast<char>(encoder) + Zeros(4 + audio);
}

// A version 4 to 6 header: the bit rate in bits 23 to 31 of word 0, the version in bits 11 to
// 20, mid-side in bit 21; then 1000 bytes of audio.
std::string Old(uint32_t version, uint32_t bitRate, bool midSide, uint32_t word1) {
    return LE32(bitRate << 23 | version << 11 | (midSide ? 1u << 21 : 0)) + LE32(word1) +
           Zeros(24 + 1000);
}

std::string VarLen(uint64_t value) {
    std::string out(1, static_cast<char>(value & 0x7F));
    while (value >>= 7)
        out.insert(out.begin(), static_cast<char>(0x80 | (value & 0x7F)));
    return out;
}

// The size counts the key and the size field itself.
std::string Packet(const std::string& key, const std::string& payload) {
    size_t size = key.size() + 1 + payload.size();
    if (VarLen(size).size() > 1) ++size;
    return key + VarLen(size) + payload;
}

std::string SH(uint64_t samples, uint64_t silence, uint8_t rateIndex, int channels, bool midSide,
               uint8_t version = 8) {
    return Packet("SH", Zeros(4) + static_cast<char>(version) + VarLen(samples) + VarLen(silence) +
                            static_cast<char>(rateIndex << 5 | 26) +
                            static_cast<char>((channels - 1) << 4 | (midSide ? 0x08 : 0) | 3));
}

std::string EI(uint8_t quality8, uint8_t major, uint8_t minor, uint8_t build) {
    return Packet("EI", std::string{static_cast<char>(quality8 << 1), static_cast<char>(major),
                                    static_cast<char>(minor), static_cast<char>(build)});
}

const std::string Audio = Packet("AP", Zeros(9000));

} // namespace

TEST(Musepack, ByteBuiltHeadersAndStreams) {
    std::string intensity = Sv7(100, 12); // bit 7 of byte 11 is intensity stereo, not mid-side
    intensity[11] = static_cast<char>(0x80);
    const std::string full = "MPCK" + SH(44100, 0, 0, 2, true) + EI(80, 1, 30, 1) + Audio;
    const std::pair<std::string, std::string> rows[] = {
        // round(24 000 000 * 44.1 / 9000 / 1152) = round(102.08)
        {Sv7(9000, 10, 0, false, 116, 7, 3000000 - 32),
         "Valid=1|Ratio=7.23379|Samples=10368000|Rate=44100|Bits=16|Channels=2|Duration=235.102|"
         "BitRate=102|"
         "Mode=Stereo|Version=7|Encoder=1.16 Beta|EncoderID=116|Profile=Standard|ProfileID=3|"},
        {Sv7(100, 11, 1, true), "Rate=48000|Mode=Joint Stereo|Profile=Xtreme"},
        {Sv7(100, 5, 3), "Rate=32000|Profile=--quality 0|ProfileID=9"},
        {Sv7(100, 0, 2), "Rate=37800|Profile=Unknown|ProfileID=0"},
        {intensity, "Mode=Stereo|Profile=Insane"},
        {Sv7(100, 15), "Profile=--quality 10|ProfileID=8|Encoder=|EncoderID=0"},
        {Sv7(100, 1, 0, false, 110), "Profile=Experimental|Encoder=1.1 Release"},
        {Sv7(100, 10, 0, false, 105), "Encoder=1.05 --Alpha--"},
        {Sv7(100, 10, 0, false, 0, 0x17), "Version=71"},
        {Sv7(100, 10, 0, false, 0, 0x08), "Valid=1|Version=8"},
        {Old(5, 128, true, 200),
         "Valid=1|BitRate=128|Rate=44100|Samples=230400|Mode=Joint Stereo|Version=5|Encoder=|"
         "EncoderID=-1|Profile=Unknown|ProfileID=0|"},
        {Old(4, 160, false, 300u << 16 | 0x1234), "Samples=345600|Mode=Stereo|Version=4"},
        {Old(6, 96, false, 50), "Samples=57600|Duration=1.30612"},
        {Old(3, 128, false, 200), "Read=0"},
        {Old(7, 128, false, 200), "Read=0"},
        {Sv7(100, 10, 0, false, 0, 0x06), "Read=0"},
        {Sv7(100).substr(0, 31), "Read=0"},
        {"", "Read=0"},
        {Sv7(0), "Valid=0|BitRate=0|Duration=-1|Ratio=-1|ProfileID=3"},
        {Old(5, 128, false, 0), "Valid=0"},
        {Old(5, 481, false, 10), "Valid=0"}, // bit rates outside 3 to 480
        {Old(5, 2, false, 10), "Valid=0"},
        {Sv7(100000, 10, 0, false, 0, 7, 0), "Valid=0|BitRate=0"}, // far below 3 kbit/s
        // 96000 samples at 48 kHz behind 1000 samples of silence: 2 s.
        {"MPCK" + SH(97000, 1000, 1, 2, true) + EI(80, 1, 30, 1) + Packet("AP", Zeros(40000)) +
             Packet("SE", ""),
         "Valid=1|Rate=48000|Channels=2|Samples=96000|Duration=2|BitRate=160|Mode=Joint Stereo|"
         "Version=8|Encoder=1.30.1 --Stable--|EncoderID=130|Profile=Standard|ProfileID=3|"},
        // Quality 60 eighths is 7.5: field 7, a Telephone stream.
        {"MPCK" + Packet("RG", Zeros(9)) + SH(44100, 0, 0, 1, false) + EI(60, 1, 31, 7) + Audio,
         "Valid=1|Channels=1|Mode=Mono|Encoder=1.31.7 --Unstable--|EncoderID=131|"
         "Profile=Telephone|ProfileID=11|"},
        {"MPCK" + SH(44100, 0, 3, 2, false) + Audio,
         "Valid=1|Rate=32000|Mode=Stereo|Encoder=|EncoderID=0|Profile=Unknown|ProfileID=0|"},
        {"MPCK" + SH(44100, 0, 5, 2, false) + Audio, "Valid=0|Rate=0|Duration=-1"}, // index 5
        {"MPCK" + SH(0, 0, 0, 2, false) + Audio, "Valid=0|Ratio=-1"},
        {"MPCK" + SH(100, 200, 0, 2, false) + Audio, "Valid=0|Samples=0"}, // silence > samples
        {"MPCK" + SH(1, 0, 0, 2, false) + Audio, "Valid=0"},               // an impossible bit rate
        {"MPCK" + SH(44100, 0, 0, 2, false, 9) + Audio, "Valid=0|Version=9"},
        {"MPCK" + Packet("AP", Zeros(100)) + SH(44100, 0, 0, 2, true), "Read=0"},
        {"MPCK", "Read=0"},
        {full.substr(0, 14), "Read=0"},       // a packet size past the end of the file
        {"MPCKSH\x02" + Zeros(30), "Read=0"}, // a size below the packet's head
        {"MPCKSH" + std::string(9, '\x80') + '\x10' + Zeros(30), "Read=0"}, // a ten-byte size
    };
    for (const auto& [bytes, want] : rows)
        ExpectFields(ReadSummary(CreateMPEGplus, bytes), want);
    for (size_t length = 0; length <= full.size(); length += 3) // the header packet is needed
        ExpectFields(ReadSummary(CreateMPEGplus, full.substr(0, length)),
                     length >= 4 + 14 ? "Read=1" : "Read=0");
    EXPECT_EQ(MPEGplusEncoderText(-1), "");
    EXPECT_EQ(MPEGplusEncoderText(115), "1.15 --Alpha--");
}

TEST(Musepack, VarLenIsBoundedToNineBytes) {
    uint64_t at = 0, value = 0;
    ASSERT_TRUE(ReadMPCKVarLen(TByteView(std::string(8, '\x81') + '\x01'), at, value));
    EXPECT_EQ(at, 9u);
    EXPECT_EQ(value, (~0ull >> 1) / 127); // nine groups of 0000001: (2^63 - 1) / (2^7 - 1)
    at = 0;
    EXPECT_FALSE(ReadMPCKVarLen(TByteView(std::string(9, '\x81') + '\x01'), at, value));
    at = 0;
    EXPECT_FALSE(ReadMPCKVarLen(TByteView(std::string("\x85\x80")), at, value));
}

TEST(Musepack, TagsAreLeftOutOfTheBitRateAndTheVerifierFindsIt) {
    TTempDir dir;
    const std::string id3v1 = "TAG" + std::string("Title") + Zeros(25) + "Artist" + Zeros(24) +
                              Zeros(30) + "2001" + Zeros(30) + '\x11';
    const std::string item = LE32(5) + LE32(0) + "Album" + '\0' + "Disc1";
    auto apeFrame = [&](uint32_t flags) {
        return "APETAGEX" + LE32(2000) + LE32(static_cast<uint32_t>(item.size() + 32)) + LE32(1) +
               LE32(flags) + Zeros(8);
    };
    const std::string id3v2 = std::string("ID3\x03\0\0\0\0\0\x64", 10) + Zeros(100);
    const std::string plain = ReadSummary(CreateMPEGplus, Sv7(100));
    WriteFile(dir.Path("stream.bin"),
              id3v2 + Sv7(100) + apeFrame(0xA0000000) + item + apeFrame(0x80000000) + id3v1);
    TRef<TAudioVerify> verify(new TAudioVerify);
    ASSERT_TRUE(verify->Verify(dir.Path("stream.bin")));
    const TAudioFile* r = verify->Audio();
    EXPECT_EQ(r->Format, afMPEGplus);
    const std::string tagged = Summary(true, *r);
    const auto rates = [](const std::string& summary) {
        const size_t from = summary.find("|BitRate="), size = summary.find("|Size=");
        return summary.substr(from, size - from) + summary.substr(summary.find("|Type="));
    };
    EXPECT_EQ(rates(tagged), rates(plain));
    EXPECT_EQ(r->GetTag(tkID3v1)->GetField(tfArtist), "Artist");
    EXPECT_EQ(r->GetTag(tkAPE)->GetField(tfAlbum), "Disc1");
    EXPECT_EQ(r->GetTag(tkID3v2)->Size, 110);
}

// ffprobe's own version 7 parser agrees on the rate and length of the byte-built header.
TEST(Musepack, Version7HeaderAgreesWithFfprobe) {
    REQUIRE_TOOL("ffprobe");
    TTempDir dir;
    WriteFile(dir.Path("v7.mpc"), Sv7(100, 10, 1, true, 116));
    TAudioRef r(CreateMPEGplus());
    ASSERT_TRUE(r->Read(dir.Path("v7.mpc")));
    EXPECT_EQ(IntToStr(r->SampleRate), Probe(dir.Path("v7.mpc"), "stream", "sample_rate"));
    EXPECT_EQ(IntToStr(r->Channels), Probe(dir.Path("v7.mpc"), "stream", "channels"));
    EXPECT_NEAR(r->Duration, std::stod(Probe(dir.Path("v7.mpc"), "stream", "duration")), 1e-6);
}

// ---- real encoder output ----

namespace {

struct TEncoderCase {
    const char* Name;
    int Rate, Channels;
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

class TMusepackEncoderTest : public ::testing::TestWithParam<TEncoderCase> {};

// mutagen's value of one stream property.
std::string Mutagen(const std::string& file, const std::string& property) {
    std::string out;
    testsupport::Run("/usr/bin/python3 -c \"import sys, mutagen.musepack as m; "
                     "print(getattr(m.Musepack(sys.argv[1]).info, '" +
                         property + "'))\" " + Quote(file) + " 2>/dev/null",
                     &out);
    return Trim(out);
}

// mpcenc's output of a sine of the given form; options may add tags.
std::string Mpcenc(const TTempDir& dir, int rate, int channels, double seconds,
                   const std::string& options, const std::string& name) {
    const std::string source = dir.Path("source.wav"), file = dir.Path(name);
    char generate[400];
    std::snprintf(generate, sizeof generate,
                  "ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=%d:duration=%g "
                  "-ac %d -c:a pcm_s16le %s",
                  rate, seconds, channels, Quote(source).c_str());
    EXPECT_EQ(testsupport::Run(generate), 0);
    EXPECT_EQ(testsupport::Run("mpcenc --silent --overwrite " + options + " " + Quote(source) +
                               " " + Quote(file) + " >/dev/null 2>&1"),
              0);
    return file;
}

} // namespace

TEST_P(TMusepackEncoderTest, MatchesIndependentReaders) {
    const TEncoderCase& c = GetParam();
    REQUIRE_TOOL("mpcenc");
    REQUIRE_TOOL("ffprobe");
    TTempDir dir;
    const std::string file = Mpcenc(dir, c.Rate, c.Channels, c.Seconds, c.Options, "coded.mpc");
    // The encoder's own banner names the release the stream records.
    std::string banner;
    testsupport::Run("mpcenc 2>&1 | head -n 1", &banner);
    const size_t at = banner.find("Encoder ");
    ASSERT_NE(at, std::string::npos) << banner;
    TAudioRef r;
    const std::string summary = ReadSummary(CreateMPEGplus, ReadFile(file), &r);
    ExpectFields(summary, "Valid=1|Rate=" + Probe(file, "stream", "sample_rate") +
                              "|Channels=" + Probe(file, "stream", "channels") + "|Samples=" +
                              std::to_string(std::llround(c.Rate * c.Seconds)) + "|Version=8|" +
                              c.Profile + (c.Channels == 1 ? "|Mode=Mono" : "|Mode=Joint Stereo"));
    EXPECT_NE(
        summary.find("|Encoder=" + banner.substr(at + 8, banner.find(' ', at + 8) - at - 8) + " "),
        std::string::npos)
        << banner;
    if (!HaveTool("/usr/bin/python3") || Mutagen(file, "length").empty())
        GTEST_SKIP() << "mutagen missing";
    EXPECT_NEAR(r->Duration, std::stod(Mutagen(file, "length")), 1e-6);
    EXPECT_EQ(r->BitRate, std::lround(std::stod(Mutagen(file, "bitrate")) / 1000));
}

TEST(MusepackEncoder, TagsWrittenByTheEncoderAndAppended) {
    REQUIRE_TOOL("mpcenc");
    TTempDir dir;
    const std::string plain = Mpcenc(dir, 44100, 2, 2.0, "", "plain.mpc");
    const std::string tagged =
        Mpcenc(dir, 44100, 2, 2.0, "--artist Someone --title Tone", "tagged.mpc");
    // An ID3v1 tag behind the encoder's APE tag.
    WriteFile(tagged, ReadFile(tagged) + "TAG" + std::string("Tone") + Zeros(26) + "Someone" +
                          Zeros(23 + 30 + 4 + 30) + '\x0c');
    TAudioRef r(CreateMPEGplus());
    ASSERT_TRUE(r->Read(plain));
    const int32_t plainRate = r->BitRate;
    ASSERT_TRUE(r->Read(tagged));
    EXPECT_TRUE(r->Valid);
    EXPECT_EQ(r->GetTag(tkAPE)->GetField(tfArtist), "Someone");
    EXPECT_EQ(r->GetTag(tkAPE)->GetField(tfTitle), "Tone");
    EXPECT_EQ(r->GetTag(tkID3v1)->GetField(tfTitle), "Tone");
    EXPECT_EQ(r->BitRate, plainRate);
}

INSTANTIATE_TEST_SUITE_P(Mpcenc, TMusepackEncoderTest, ::testing::ValuesIn(EncoderCases),
                         [](const auto& param) { return std::string(param.param.Name); });
