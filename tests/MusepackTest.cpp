// Musepack reader: byte-built "MP+" headers of versions 4 to 7.1 and "MPCK" packet streams with
// values worked out from the layouts, and mpcenc's output against mutagen.
#include "ReaderSupport.h"
#include "TagFileFixture.h"
#include "core/Convert.h"
#include "formats/AudioMPEGplus.h"
#include "formats/MPEGplusPackets.h"

#include <cmath>

using namespace audiolens;
using namespace testsupport;

namespace {

// A version 7 header, then 20000 bytes of audio: the profile in the high nibble of byte 10,
// the rate index in its two low bits, mid-side in bit 6 of byte 11, the encoder in byte 27.
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

// A packet stream: the stream header, an encoder info packet where quality8 > 0, then audio.
std::string Mpck(uint64_t samples, uint64_t silence, uint8_t rateIndex, int channels, bool midSide,
                 uint8_t quality8 = 0, std::string release = "", uint8_t version = 8,
                 size_t audio = 9000) {
    return "MPCK" +
           Packet("SH", Zeros(4) + static_cast<char>(version) + VarLen(samples) + VarLen(silence) +
                            static_cast<char>(rateIndex << 5 | 26) +
                            static_cast<char>((channels - 1) << 4 | (midSide ? 0x08 : 0) | 3)) +
           (quality8 ? Packet("EI", static_cast<char>(quality8 << 1) + release) : "") +
           Packet("AP", Zeros(audio));
}

} // namespace

TEST(Musepack, ByteBuiltHeadersAndStreams) {
    const std::string full = Mpck(44100, 0, 0, 2, true, 80, "\x01\x1e\x01");
    const std::pair<std::string, std::string> rows[] = {
        // round(24 000 000 * 44.1 / 9000 / 1152) = round(102.08)
        {Sv7(9000, 10, 0, false, 116, 7, 3000000 - 32),
         "Valid=1|Ratio=7.23379|Samples=10368000|Rate=44100|Bits=16|Channels=2|Duration=235.102|"
         "BitRate=102|Mode=Stereo|Version=7|Encoder=1.16 Beta|EncoderID=116|Profile=Standard|"
         "ProfileID=3|"},
        {Sv7(100, 11, 1, true), "Rate=48000|Mode=Joint Stereo|Profile=Xtreme"},
        {Sv7(100, 5, 3), "Rate=32000|Profile=--quality 0|ProfileID=9"},
        {Sv7(100, 0, 2, false, 0, 8), "Valid=1|Version=8|Rate=37800|Profile=Unknown|ProfileID=0"},
        // Bit 7 of byte 11 is intensity stereo, not mid-side.
        {Sv7(100, 12).replace(11, 1, "\x80"), "Mode=Stereo|Profile=Insane"},
        {Sv7(100, 15), "Profile=--quality 10|ProfileID=8|Encoder=|EncoderID=0"},
        {Sv7(100, 1, 0, false, 110), "Profile=Experimental|Encoder=1.1 Release"},
        {Sv7(100, 10, 0, false, 105, 0x17), "Version=71|Encoder=1.05 --Alpha--"},
        {Old(5, 128, true, 200),
         "Valid=1|BitRate=128|Rate=44100|Samples=230400|Mode=Joint Stereo|Version=5|Encoder=|"
         "EncoderID=-1|Profile=Unknown|ProfileID=0|"},
        {Old(4, 160, false, 300u << 16 | 0x1234), "Samples=345600|Mode=Stereo|Version=4"},
        {Old(6, 96, false, 50), "Samples=57600|Duration=1.30612"},
        {Old(3, 128, false, 200), "Read=0"},
        {Old(7, 128, false, 200), "Read=0"},
        {Sv7(100, 10, 0, false, 0, 0x06), "Read=0"},
        {Sv7(100).substr(0, 31), "Read=0"},
        {Sv7(0), "Valid=0|BitRate=0|Duration=-1|Ratio=-1|ProfileID=3"},
        {Old(5, 128, false, 0), "Valid=0"},
        {Old(5, 481, false, 10), "Valid=0"}, // bit rates outside 3 to 480
        {Old(5, 2, false, 10), "Valid=0"},
        {Sv7(100000, 10, 0, false, 0, 7, 0), "Valid=0|BitRate=0"}, // far below 3 kbit/s
        // 96000 samples at 48 kHz behind 1000 samples of silence: 2 s.
        {Mpck(97000, 1000, 1, 2, true, 80, "\x01\x1e\x01", 8, 40000) + Packet("SE", ""),
         "Valid=1|Rate=48000|Channels=2|Samples=96000|Duration=2|BitRate=160|Mode=Joint Stereo|"
         "Version=8|Encoder=1.30.1 --Stable--|EncoderID=130|Profile=Standard|ProfileID=3|"},
        // Quality 60 eighths is 7.5: field 7, a Telephone stream.
        {"MPCK" + Packet("RG", Zeros(9)) +
             Mpck(44100, 0, 0, 1, false, 60, "\x01\x1f\x07").substr(4),
         "Valid=1|Channels=1|Mode=Mono|Encoder=1.31.7 --Unstable--|EncoderID=131|"
         "Profile=Telephone|ProfileID=11|"},
        {Mpck(44100, 0, 3, 2, false),
         "Valid=1|Rate=32000|Mode=Stereo|Encoder=|EncoderID=0|Profile=Unknown|ProfileID=0|"},
        {Mpck(44100, 0, 5, 2, false), "Valid=0|Rate=0|Duration=-1"}, // index 5
        {Mpck(0, 0, 0, 2, false), "Valid=0|Ratio=-1"},
        {Mpck(100, 200, 0, 2, false), "Valid=0|Samples=0"}, // silence > samples
        {Mpck(1, 0, 0, 2, false), "Valid=0"},               // an impossible bit rate
        {Mpck(44100, 0, 0, 2, false, 0, "", 9), "Valid=0|Version=9"},
        {"MPCK" + Packet("AP", Zeros(100)) + full.substr(4, 14), "Read=0"},
        {"MPCKSH\x02" + Zeros(30), "Read=0"}, // a size below the packet's head
        {"MPCKSH" + std::string(9, '\x80') + '\x10' + Zeros(30), "Read=0"}, // a ten-byte size
    };
    for (const auto& [bytes, want] : rows)
        ExpectFields(ReadSummary(CreateMPEGplus, bytes), want);
    // The header packet is needed: cut inside it (or its size past the end) is no stream.
    for (size_t length = 0; length <= full.size(); length += 3)
        ExpectFields(ReadSummary(CreateMPEGplus, full.substr(0, length)),
                     length >= 4 + 14 ? "Read=1" : "Read=0");
    // Tags at both ends are left out of the bit rate: the 20032 bytes of the stream alone are
    // 20032 * 8 * 44.1 / (100 * 1152) = 61.35 kbit/s, and 20032 / (115200 * 4 + 44) = 4.35 %.
    const auto file = ID3v2Tag(3, "", 100) + Sv7(100) +
                      APETag(2000, {APEItem("Album", "Disc1")}, true) + ID3v1Tag("", "Artist");
    TAudioRef r;
    ExpectFields(ReadSummary(CreateMPEGplus, file, &r), "Valid=1|BitRate=61|Ratio=4.34681|");
    EXPECT_EQ(r->GetTag(tkID3v1)->GetField(tfArtist), "Artist");
    EXPECT_EQ(r->GetTag(tkAPE)->GetField(tfAlbum), "Disc1");
    EXPECT_EQ(r->GetTag(tkID3v2)->Size, 110);
    // Sizes take up to nine bytes: nine groups of 0000001 are (2^63 - 1) / (2^7 - 1).
    uint64_t at = 0, value = 0;
    ASSERT_TRUE(ReadMPCKVarLen(TByteView(std::string(8, '\x81') + '\x01'), at, value));
    EXPECT_EQ(at * 1000 + value, 9000 + (~0ull >> 1) / 127);
    EXPECT_FALSE(ReadMPCKVarLen(TByteView(std::string("\x85\x80")), at = 0, value)); // cut short
}

// mpcenc's output of a sine: the encoder line names the release of mpcenc's banner, and the
// length and bit rate are mutagen's (which counts the tags in: it reads the file without them).
TEST(MusepackEncoder, MpcencFiles) {
    REQUIRE_TOOL("mpcenc");
    REQUIRE_TOOL("/usr/bin/python3");
    // Rate, channels, seconds, options and the fields.
    const std::tuple<int, int, double, std::string, std::string> rows[] = {
        {44100, 2, 2.3, "--quality 5", "Profile=Standard|Mode=Joint Stereo"},
        {44100, 1, 1.5, "--thumb", "Profile=Thumb|Mode=Mono"},
        {48000, 2, 2.0, "--insane", "Profile=Insane|Mode=Joint Stereo"},
        {48000, 1, 3.0, "--quality 0", "Profile=--quality 0|Mode=Mono"},
        {48000, 2, 1.2, "--quality 5.5", "Profile=Standard"},
        {44100, 2, 4.0, "--radio", "Profile=Radio"},
        {44100, 2, 2.0, "--artist Someone --title Tone", "Profile=Standard"}, // the tag is no audio
    };
    TTempDir dir;
    const std::string wav = Quote(dir.Path("source.wav")), file = dir.Path("coded.mpc");
    std::string banner;
    testsupport::Run("mpcenc 2>&1 | head -n 1", &banner);
    banner = banner.substr(banner.find("Encoder ") + 8);
    for (const auto& [rate, channels, seconds, options, want] : rows) {
        SCOPED_TRACE(options);
        ASSERT_EQ(testsupport::Run(
                      "ffmpeg -v error -y -f lavfi -i sine=sample_rate=" + std::to_string(rate) +
                      ":duration=" + std::to_string(seconds) + " -ac " + std::to_string(channels) +
                      " " + wav + " && mpcenc --silent --overwrite " + options + " " + wav + " " +
                      Quote(file) + " >/dev/null 2>&1"),
                  0);
        const std::string summary = ReadSummary(CreateMPEGplus, ReadFile(file));
        const std::string mutagen =
            Python("import mutagen.apev2 as a, mutagen.musepack as m\na.delete(sys.argv[1])\n"
                   "i = m.Musepack(sys.argv[1]).info\n"
                   "print('Duration=%.6g|BitRate=%d' % (i.length, int(i.bitrate / 1000 + 0.5)))",
                   file);
        ExpectFields(summary, want + "|Valid=1|Version=8|Rate=" + std::to_string(rate) +
                                  "|Channels=" + std::to_string(channels) +
                                  "|Samples=" + std::to_string(std::llround(rate * seconds)) + "|" +
                                  Trim(mutagen));
        EXPECT_NE(summary.find("|Encoder=" + banner.substr(0, banner.find(' ') + 1)),
                  std::string::npos);
    }
}
