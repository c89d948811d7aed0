// MPEG audio reader: frame headers and streams built byte by byte, with frame lengths and sums
// worked out from the header tables of ISO/IEC 11172-3 and 13818-3, and real lame and ffmpeg
// output checked against ffprobe's frame count and stream values.
#include "TestSupport.h"
#include "formats/AudioMPEG.h"
#include "formats/MPEGEncoder.h"
#include "formats/MPEGFrame.h"
#include "framework/Registry.h"
#include "framework/Reports.h"

#include <chrono>
#include <gtest/gtest.h>

using namespace audiolens;
using namespace testsupport;

namespace {

struct THeaderBits {
    uint32_t Version = 3; // MPEG 1
    uint32_t Layer = 1;   // III
    uint32_t BitRateIndex = 9;
    uint32_t RateIndex = 0;
    bool Padding = false;
    uint32_t Mode = 1; // joint stereo
    uint32_t ModeExtension = 2;
    bool Crc = false;
    bool Copyright = false;
    bool Original = false;
    uint32_t Emphasis = 0;
};

uint32_t Word(const THeaderBits& b) {
    return 0xFFE00000u | b.Version << 19 | b.Layer << 17 | (b.Crc ? 0u : 1u) << 16 |
           b.BitRateIndex << 12 | b.RateIndex << 10 | (b.Padding ? 1u : 0u) << 9 | b.Mode << 6 |
           b.ModeExtension << 4 | (b.Copyright ? 1u : 0u) << 3 | (b.Original ? 1u : 0u) << 2 |
           b.Emphasis;
}

// A frame of the given length: the header, then filler bytes that hold no sync and no zeros.
std::string Frame(const THeaderBits& b, size_t length, char fill = 0x55) {
    return BE32(Word(b)) + std::string(length - 4, fill);
}

std::string Frames(const THeaderBits& b, size_t length, int count) {
    std::string s;
    for (int i = 0; i < count; ++i)
        s += Frame(b, length);
    return s;
}

// Four 417-byte MPEG 1 frames; the first carries a VBR header marker at offset 36 and,
// when given, a vendor text 120 bytes after it.
std::string StreamWithMarker(const std::string& marker, const std::string& vendor = "") {
    std::string first = Frame(THeaderBits{}, 417);
    first.replace(36, 4, marker);
    if (!vendor.empty()) first.replace(36 + 120, vendor.size(), vendor);
    return first + Frames(THeaderBits{}, 417, 3);
}

// An ID3v2.3 tag of bodySize bytes of padding.
std::string ID3v2(uint32_t bodySize) {
    std::string size;
    for (int shift = 21; shift >= 0; shift -= 7)
        size += static_cast<char>((bodySize >> shift) & 0x7F);
    return std::string("ID3\x03\x00\x00", 6) + size + Zeros(bodySize);
}

std::string Junk(size_t n) {
    return std::string(n, 0x11);
}

struct TMpegFixture : ::testing::Test {
    TTempDir Dir;
    TAudioRef Record{CreateMPEG()};
    bool ReadBytes(const std::string& bytes) {
        WriteFile(Dir.Path("t.mp3"), bytes);
        return Record->Read(Dir.Path("t.mp3"));
    }
    std::string Info() const { return Record->Info->GetText(); }
    bool HasLine(const std::string& line) const {
        return ("\r\n" + Info()).find("\r\n" + line + "\r\n") != std::string::npos;
    }
    std::string Line(const std::string& key) const {
        const std::string text = "\r\n" + Info();
        const size_t at = text.find("\r\n" + key + "=");
        if (at == std::string::npos) return "(none)";
        const size_t from = at + 3 + key.size();
        return text.substr(from, text.find("\r\n", from) - from);
    }
};

TMPEGHeader Parsed(const THeaderBits& b) {
    TMPEGHeader h;
    EXPECT_TRUE(ParseFrameHeader(Word(b), h));
    return h;
}

} // namespace

// ---- Frame headers

TEST(MpegHeader, Mpeg1LayerIIIAt128kFrameLengths) {
    THeaderBits b;
    TMPEGHeader h = Parsed(b);
    EXPECT_EQ(h.FrameLength, 417u); // 144 * 128000 / 44100 = 417.96
    EXPECT_EQ(h.Samples, 1152u);
    EXPECT_EQ(h.SampleRate, 44100u);
    EXPECT_EQ(h.BitRate, 128u);
    b.Padding = true;
    EXPECT_EQ(Parsed(b).FrameLength, 418u);
    b.Padding = false;
    b.RateIndex = 2;
    EXPECT_EQ(Parsed(b).FrameLength, 576u);
    EXPECT_EQ(Parsed(b).SampleRate, 32000u);
}

TEST(MpegHeader, Mpeg2LowRatesAndLayerI) {
    THeaderBits b;
    b.Version = 2;
    b.BitRateIndex = 1; // 8 kbit/s
    TMPEGHeader h = Parsed(b);
    EXPECT_EQ(h.SampleRate, 22050u);
    EXPECT_EQ(h.FrameLength, 26u); // 72 * 8000 / 22050 = 26.1
    EXPECT_EQ(h.Samples, 576u);

    b.Layer = 3;        // I
    b.BitRateIndex = 1; // 32 kbit/s in the MPEG 2 Layer I row
    b.RateIndex = 2;    // 16000 Hz
    b.Padding = true;
    h = Parsed(b);
    EXPECT_EQ(h.BitRate, 32u);
    EXPECT_EQ(h.FrameLength, 100u); // 48 * 32000 / 16000 + one 4-byte slot
    EXPECT_EQ(h.Samples, 384u);
}

TEST(MpegHeader, Mpeg25AndTheRowsOfEachLayer) {
    THeaderBits b;
    b.Version = 0;
    b.RateIndex = 2; // 8000 Hz
    b.BitRateIndex = 14;
    TMPEGHeader h = Parsed(b);
    EXPECT_EQ(h.SampleRate, 8000u);
    EXPECT_EQ(h.BitRate, 160u);
    EXPECT_EQ(h.FrameLength, 1440u);
    b.Layer = 2; // II: the longest frame any header gives
    b.Padding = true;
    EXPECT_EQ(Parsed(b).FrameLength, 2881u);
    EXPECT_LE(Parsed(b).FrameLength, MPEGMaxFrameLength);

    THeaderBits one; // MPEG 1 at index 14 in each layer
    one.BitRateIndex = 14;
    one.Layer = 3;
    EXPECT_EQ(Parsed(one).BitRate, 448u);
    one.Layer = 2;
    EXPECT_EQ(Parsed(one).BitRate, 384u);
    one.Layer = 1;
    EXPECT_EQ(Parsed(one).BitRate, 320u);
}

TEST(MpegHeader, ReservedAndFreeFormatHeadersAreRejected) {
    TMPEGHeader h;
    EXPECT_FALSE(ParseFrameHeader(Word(THeaderBits{}) & ~0x00200000u, h)); // one sync bit off
    auto rejected = [](auto change) {
        THeaderBits b;
        change(b);
        TMPEGHeader header;
        return !ParseFrameHeader(Word(b), header);
    };
    EXPECT_TRUE(rejected([](THeaderBits& b) { b.Version = 1; }));
    EXPECT_TRUE(rejected([](THeaderBits& b) { b.Layer = 0; }));
    EXPECT_TRUE(rejected([](THeaderBits& b) { b.BitRateIndex = 15; }));
    EXPECT_TRUE(rejected([](THeaderBits& b) { b.BitRateIndex = 0; })); // free format
    EXPECT_TRUE(rejected([](THeaderBits& b) { b.RateIndex = 3; }));
    EXPECT_TRUE(rejected([](THeaderBits& b) { b.Emphasis = 2; }));
    EXPECT_FALSE(rejected([](THeaderBits& b) { b.Emphasis = 3; }));
    EXPECT_FALSE(ParseFrameHeader(0xFFFFFFFFu, h));
}

// ---- Byte-built streams

TEST_F(TMpegFixture, ThreeFramesGiveTheRecordAndTheInfoLines) {
    ASSERT_TRUE(ReadBytes(Frames(THeaderBits{}, 417, 3)));
    EXPECT_TRUE(Record->Valid);
    EXPECT_EQ(Record->FileSize, 1251);
    EXPECT_EQ(Record->SampleRate, 44100);
    EXPECT_EQ(Record->Channels, 2);
    EXPECT_EQ(Record->BitsPerSample, 16);
    EXPECT_EQ(Record->Samples, 3 * 1152);
    EXPECT_EQ(Record->BitRate, 128);
    EXPECT_EQ(Record->BitRateType, brCBR);
    EXPECT_EQ(Record->ChannelMode, "Joint Stereo");
    EXPECT_DOUBLE_EQ(Record->Duration, 3 * 1152 / 44100.0);
    EXPECT_DOUBLE_EQ(Record->Ratio, 1251.0 / (3 * 1152 * 2 * 2) * 100);
    // No flag set and joint stereo at 128 kbit/s: none of the guesses beyond the default fits.
    EXPECT_EQ(Info(), "Version=MPEG 1\r\nLayer=Layer III\r\nEncoder=FhG\r\nEmphasis=None\r\n"
                      "Frames=3\r\nJoin Mode=stereo MS\r\n");
}

TEST_F(TMpegFixture, TwoFramesAreValidAndOneIsNot) {
    ASSERT_TRUE(ReadBytes(Frames(THeaderBits{}, 417, 2)));
    EXPECT_TRUE(Record->Valid);
    ASSERT_TRUE(ReadBytes(Frame(THeaderBits{}, 417)));
    EXPECT_FALSE(Record->Valid);
    EXPECT_EQ(Line("Frames"), "1");
}

TEST_F(TMpegFixture, JunkAfterTheID3v2TagIsSearchedOver) {
    const std::string tag = ID3v2(246); // 256 bytes in all
    ASSERT_TRUE(ReadBytes(tag + Junk(100) + Frames(THeaderBits{}, 417, 4)));
    EXPECT_TRUE(Record->Valid);
    EXPECT_EQ(Record->GetTag(tkID3v2)->Size, 256);
    EXPECT_EQ(Line("Frames"), "4");
    EXPECT_EQ(Record->Samples, 4 * 1152);
    // The last offset still searched, and the first one past it.
    ASSERT_TRUE(ReadBytes(tag + Junk(1729) + Frames(THeaderBits{}, 417, 4)));
    EXPECT_EQ(Line("Frames"), "4");
    EXPECT_FALSE(ReadBytes(tag + Junk(1730) + Frames(THeaderBits{}, 417, 4)));
    EXPECT_FALSE(Record->Valid);
    EXPECT_FALSE(ReadBytes(tag + Junk(2000) + Frames(THeaderBits{}, 417, 4)));
    // A file that is not MPEG audio costs no tag read.
    EXPECT_FALSE(Record->GetTag(tkID3v2)->Valid);
    EXPECT_EQ(Record->SampleRate, 0);
    EXPECT_EQ(Record->Info->Count(), 0);
}

TEST_F(TMpegFixture, ID3v2SizePastTheEndOfTheFileFindsNoAudio) {
    std::string tag = ID3v2(20);
    tag[8] = 0x7F; // the size now claims about 2 MB
    EXPECT_FALSE(ReadBytes(tag + Frames(THeaderBits{}, 417, 5)));
    EXPECT_FALSE(Record->Valid);
    EXPECT_EQ(Record->Samples, 0);
}

TEST_F(TMpegFixture, FramesCutByTheEndOfTheFile) {
    const std::string frames = Frames(THeaderBits{}, 417, 3);
    // A cut frame whose header is there still counts; a cut header does not.
    ASSERT_TRUE(ReadBytes(frames + Frame(THeaderBits{}, 417).substr(0, 200)));
    EXPECT_EQ(Line("Frames"), "4");
    ASSERT_TRUE(ReadBytes(frames + Frame(THeaderBits{}, 417).substr(0, 3)));
    EXPECT_EQ(Line("Frames"), "3");
    // A first frame cut short: its body is inspected only as far as it goes.
    ASSERT_TRUE(ReadBytes(Frame(THeaderBits{}, 417).substr(0, 30)));
    EXPECT_FALSE(Record->Valid);
    EXPECT_FALSE(ReadBytes(""));
    EXPECT_FALSE(ReadBytes(BE32(Word(THeaderBits{})).substr(0, 3)));
}

TEST_F(TMpegFixture, FreeFormatAndReservedHeadersAreSkippedInTheSearch) {
    THeaderBits free, reserved;
    free.BitRateIndex = 0;
    reserved.RateIndex = 3;
    ASSERT_TRUE(ReadBytes(Frame(free, 300) + Frame(reserved, 300) + Frames(THeaderBits{}, 417, 3)));
    EXPECT_EQ(Line("Frames"), "3");
    EXPECT_TRUE(Record->Valid);
}

TEST_F(TMpegFixture, TheWalkEndsAtAHeaderThatDoesNotParse) {
    THeaderBits reserved;
    reserved.Layer = 0;
    ASSERT_TRUE(ReadBytes(Frames(THeaderBits{}, 417, 3) + Frame(reserved, 417) +
                          Frames(THeaderBits{}, 417, 3)));
    EXPECT_EQ(Line("Frames"), "3");
}

TEST_F(TMpegFixture, BytesThatNeverFormAHeaderEndQuickly) {
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_FALSE(ReadBytes(std::string(200000, '\xFF')));
    EXPECT_FALSE(ReadBytes(Zeros(200000)));
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(2));
}

TEST_F(TMpegFixture, FramesNeedNotAgreeAndTheBitRateIsTheirRoundedMean) {
    THeaderBits at32, at40;
    at32.BitRateIndex = 1; // 32 kbit/s: 144 * 32000 / 44100 = 104 bytes
    at40.BitRateIndex = 2; // 40 kbit/s: 130 bytes
    // 15 x 32 + 40 = 520 kbit/s over 16 frames = 32.5: halves go to the even neighbour.
    ASSERT_TRUE(ReadBytes(Frames(at32, 104, 15) + Frame(at40, 130)));
    EXPECT_EQ(Record->BitRate, 32);
    THeaderBits at48;
    at48.BitRateIndex = 3; // 48 kbit/s: 156 bytes; 15 x 40 + 48 = 648 / 16 = 40.5
    ASSERT_TRUE(ReadBytes(Frames(at40, 130, 15) + Frame(at48, 156)));
    EXPECT_EQ(Record->BitRate, 40);
    // A mono frame last: the last header decides the channel mode.
    THeaderBits mono;
    mono.Mode = 3;
    ASSERT_TRUE(ReadBytes(Frames(THeaderBits{}, 417, 2) + Frame(mono, 417)));
    EXPECT_EQ(Record->Channels, 1);
    EXPECT_EQ(Record->ChannelMode, "Mono");
}

TEST_F(TMpegFixture, BitRateLimitsOfValid) {
    THeaderBits low;
    low.Version = 2;
    low.BitRateIndex = 1; // 8 kbit/s, 26 bytes
    ASSERT_TRUE(ReadBytes(Frames(low, 26, 5)));
    EXPECT_TRUE(Record->Valid);
    EXPECT_EQ(Record->BitRate, 8);
    EXPECT_EQ(Line("Version"), "MPEG 2");
    EXPECT_EQ(Record->Samples, 5 * 576);
}

TEST_F(TMpegFixture, XingHeaderWithALameTag) {
    ASSERT_TRUE(ReadBytes(StreamWithMarker("Xing", "LAME3.90.")));
    EXPECT_EQ(Record->BitRateType, brVBR);
    EXPECT_EQ(Line("Encoder"), "LAME3.90");
    // The Xing frame counts as a frame.
    EXPECT_EQ(Line("Frames"), "4");
    EXPECT_EQ(Record->Samples, 4 * 1152);
}

TEST_F(TMpegFixture, InfoHeaderIsNoVbrHeaderAndTheLameTextIsEightBytes) {
    ASSERT_TRUE(ReadBytes(StreamWithMarker("Info", "LAME3.100")));
    EXPECT_EQ(Record->BitRateType, brCBR); // an Info header is no VBR header
    EXPECT_EQ(Line("Encoder"), "LAME3.10");
}

TEST_F(TMpegFixture, XingAndVbriWithoutAVendor) {
    ASSERT_TRUE(ReadBytes(StreamWithMarker("Xing")));
    EXPECT_EQ(Record->BitRateType, brVBR);
    EXPECT_EQ(Line("Encoder"), "Xing");

    ASSERT_TRUE(ReadBytes(StreamWithMarker("VBRI")));
    EXPECT_EQ(Record->BitRateType, brVBR);
    EXPECT_EQ(Line("Encoder"), "FhG");

    // MPEG 2 mono looks at offset 13.
    THeaderBits mono2;
    mono2.Version = 2;
    mono2.Mode = 3;
    mono2.BitRateIndex = 8; // 64 kbit/s: 72 * 64000 / 22050 = 208 bytes
    std::string small = Frame(mono2, 208);
    small.replace(13, 4, "Xing");
    ASSERT_TRUE(ReadBytes(small + Frames(mono2, 208, 2)));
    EXPECT_EQ(Record->BitRateType, brVBR);
}

TEST_F(TMpegFixture, VendorThatDoesNotFitInTheFrameIsEmpty) {
    THeaderBits b;
    b.Version = 2;
    b.BitRateIndex = 2; // 16 kbit/s: 72 * 16000 / 22050 = 52 bytes, too short for a LAME tag
    std::string first = Frame(b, 52);
    first.replace(21, 4, "Xing");
    ASSERT_TRUE(ReadBytes(first + Frames(b, 52, 2)));
    EXPECT_EQ(Record->BitRateType, brVBR);
    EXPECT_EQ(Line("Encoder"), "Xing");
}

TEST_F(TMpegFixture, EncoderGuessFromTheHeaderFlags) {
    auto guess = [&](THeaderBits b, size_t length, char fill = 0x55) {
        EXPECT_TRUE(ReadBytes(Frame(b, length, fill) + Frames(b, length, 2)));
        return Line("Encoder");
    };
    THeaderBits b;
    EXPECT_EQ(guess(b, 417), "FhG");
    b.Original = b.Crc = true;
    EXPECT_EQ(guess(b, 417), "LAME");
    THeaderBits stereo;
    stereo.Mode = 0;
    EXPECT_EQ(guess(stereo, 417), "Blade");
    stereo.BitRateIndex = 10; // 160 kbit/s is still Blade, 192 no longer
    EXPECT_EQ(guess(stereo, 522), "Blade");
    stereo.BitRateIndex = 11;
    EXPECT_EQ(guess(stereo, 626), "FhG");
    THeaderBits xing;
    xing.Copyright = xing.Original = xing.Crc = true;
    EXPECT_EQ(guess(xing, 417), "Xing");
    THeaderBits empty;
    empty.Original = true;
    EXPECT_EQ(guess(empty, 417, '\0'), "Xing"); // first six body bytes zero
    THeaderBits layer2;
    layer2.Layer = 2;
    layer2.BitRateIndex = 10; // 192 kbit/s in the Layer II row: 626 bytes
    EXPECT_EQ(guess(layer2, 626), "QDesign");
    THeaderBits dual;
    dual.Mode = 2;
    dual.Crc = true;
    EXPECT_EQ(guess(dual, 417), "Shine");
    std::string gogo = Frame(THeaderBits{}, 417);
    gogo.replace(100, 4, "GOGO");
    ASSERT_TRUE(ReadBytes(gogo + Frames(THeaderBits{}, 417, 2)));
    EXPECT_EQ(Line("Encoder"), "GoGo");
}

TEST_F(TMpegFixture, JoinModeLines) {
    THeaderBits b;
    b.ModeExtension = 0;
    ASSERT_TRUE(ReadBytes(Frames(b, 417, 2)));
    EXPECT_EQ(Line("Join Mode"), "(none)");
    b.ModeExtension = 3;
    ASSERT_TRUE(ReadBytes(Frames(b, 417, 2)));
    EXPECT_EQ(Line("Join Mode"), "stereo Intensity+MS");
    b.Layer = 2;
    b.ModeExtension = 0;
    b.BitRateIndex = 10;
    ASSERT_TRUE(ReadBytes(Frames(b, 626, 2)));
    EXPECT_EQ(Line("Join Mode"), "bands 4 to 31");
    EXPECT_EQ(Line("Layer"), "Layer II");
    b.Mode = 0; // plain stereo has no join mode
    ASSERT_TRUE(ReadBytes(Frames(b, 626, 2)));
    EXPECT_EQ(Line("Join Mode"), "(none)");
    THeaderBits emphasis;
    emphasis.Emphasis = 1;
    ASSERT_TRUE(ReadBytes(Frames(emphasis, 417, 2)));
    EXPECT_EQ(Line("Emphasis"), "50/15 ms");
    emphasis.Emphasis = 3;
    ASSERT_TRUE(ReadBytes(Frames(emphasis, 417, 2)));
    EXPECT_EQ(Line("Emphasis"), "CCIT J.17");
}

TEST_F(TMpegFixture, TrailingTagsEndTheWalkAndFillTheirSlots) {
    std::string id3v1 = "TAG" + std::string("Title") + Zeros(25) + Zeros(30) + Zeros(30) +
                        Zeros(4) + Zeros(30) + "\x0C";
    ASSERT_EQ(id3v1.size(), 128u);
    ASSERT_TRUE(ReadBytes(Frames(THeaderBits{}, 417, 3) + id3v1));
    EXPECT_EQ(Line("Frames"), "3");
    ASSERT_TRUE(Record->GetTag(tkID3v1)->Valid);
    EXPECT_EQ(Record->GetTag(tkID3v1)->GetField(tfTitle), "Title");
    EXPECT_FALSE(Record->GetTag(tkID3v2)->Valid);
    EXPECT_FALSE(Record->GetTag(tkAPE)->Valid);
}

TEST(MpegRegistry, ConstructorSlotsAndExtension) {
    TAudioRef r(CreateMPEG());
    EXPECT_EQ(r->Format, afMPEG);
    EXPECT_NE(r->GetTag(tkID3v1), nullptr);
    EXPECT_NE(r->GetTag(tkID3v2), nullptr);
    EXPECT_NE(r->GetTag(tkAPE), nullptr);
    EXPECT_EQ(r->SupportedTags, (1u << tkID3v1) | (1u << tkID3v2) | (1u << tkAPE));
    EXPECT_EQ(FormatConstructor(afMPEG), &CreateMPEG);
}

// ---- Real encoder output

namespace {

struct TMpegEncodedFixture : TMpegFixture {
    std::string Source(int rate, int channels, double seconds) {
        const std::string wav = Dir.Path("source.wav");
        EXPECT_EQ(
            testsupport::Run("ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=" +
                             std::to_string(rate) + ":duration=" + std::to_string(seconds) +
                             " -ac " + std::to_string(channels) + " -c:a pcm_s16le " + Quote(wav)),
            0);
        return wav;
    }
    std::string Encode(const std::string& command, const std::string& name) {
        const std::string out = Dir.Path(name);
        EXPECT_EQ(testsupport::Run(command + " " + Quote(out) + " >/dev/null 2>&1"), 0) << command;
        EXPECT_TRUE(Record->Read(out)) << command;
        return out;
    }
    // The frames ffprobe's demuxer gives as packets: all but a LAME/Xing header frame, which
    // holds no audio.
    static int64_t ProbeFrames(const std::string& file) {
        std::string out;
        testsupport::Run("ffprobe -v error -select_streams a:0 -show_entries packet=pos -of csv " +
                             Quote(file) + " | grep -c packet",
                         &out);
        return std::stoll(out);
    }
    // The version lame prints, in the eight bytes of its tag's text ("LAME3.100" gives
    // "LAME3.10").
    static std::string LameEncoderText() {
        std::string out;
        testsupport::Run("lame --version", &out);
        const size_t at = out.find("version ");
        return ("LAME" + out.substr(at + 8, out.find(' ', at + 8) - at - 8)).substr(0, 8);
    }
    void ExpectAgreesWithProbe(const std::string& file, int64_t frameSamples, int headerFrames) {
        EXPECT_TRUE(Record->Valid);
        EXPECT_EQ(Record->SampleRate, std::stoi(Probe(file, "stream", "sample_rate")));
        EXPECT_EQ(Record->Channels, std::stoi(Probe(file, "stream", "channels")));
        const int64_t frames = ProbeFrames(file) + headerFrames;
        EXPECT_EQ(Line("Frames"), std::to_string(frames));
        EXPECT_EQ(Record->Samples, frames * frameSamples);
        EXPECT_DOUBLE_EQ(Record->Duration,
                         static_cast<double>(frames * frameSamples) / Record->SampleRate);
        const double probed = std::stod(Probe(file, "stream", "duration"));
        EXPECT_NEAR(Record->Duration,
                    probed + static_cast<double>(headerFrames * frameSamples) / Record->SampleRate,
                    0.001);
    }
};

} // namespace

TEST_F(TMpegEncodedFixture, LameCbr128) {
    REQUIRE_TOOL("lame");
    REQUIRE_TOOL("ffprobe");
    const std::string file =
        Encode("lame --quiet -b 128 " + Quote(Source(44100, 2, 4.0)), "cbr.mp3");
    ExpectAgreesWithProbe(file, 1152, 1);
    EXPECT_EQ(Record->BitRate, 128);
    EXPECT_EQ(Record->BitRateType, brCBR);
    EXPECT_EQ(Line("Version"), "MPEG 1");
    EXPECT_EQ(Line("Layer"), "Layer III");
    EXPECT_EQ(Line("Encoder"), LameEncoderText());
}

TEST_F(TMpegEncodedFixture, LameVbrV2HasAXingHeader) {
    REQUIRE_TOOL("lame");
    REQUIRE_TOOL("ffprobe");
    const std::string file = Encode("lame --quiet -V 2 " + Quote(Source(44100, 2, 4.0)), "vbr.mp3");
    ExpectAgreesWithProbe(file, 1152, 1);
    EXPECT_EQ(Record->BitRateType, brVBR);
    EXPECT_EQ(Line("Encoder"), LameEncoderText());
}

TEST_F(TMpegEncodedFixture, LameMono22050IsMpeg2) {
    REQUIRE_TOOL("lame");
    REQUIRE_TOOL("ffprobe");
    const std::string file =
        Encode("lame --quiet -b 64 " + Quote(Source(22050, 1, 3.0)), "mono22.mp3");
    ExpectAgreesWithProbe(file, 576, 1);
    EXPECT_EQ(Record->Channels, 1);
    EXPECT_EQ(Record->ChannelMode, "Mono");
    EXPECT_EQ(Record->BitRate, 64);
    EXPECT_EQ(Line("Version"), "MPEG 2");
}

TEST_F(TMpegEncodedFixture, Lame8kHzIsMpeg25) {
    REQUIRE_TOOL("lame");
    REQUIRE_TOOL("ffprobe");
    const std::string file = Encode("lame --quiet -b 32 " + Quote(Source(8000, 1, 3.0)), "8k.mp3");
    ExpectAgreesWithProbe(file, 576, 1);
    EXPECT_EQ(Record->SampleRate, 8000);
    EXPECT_EQ(Line("Version"), "MPEG 2.5");
}

TEST_F(TMpegEncodedFixture, FfmpegMp2) {
    REQUIRE_TOOL("ffprobe");
    const std::string file = Encode("ffmpeg -v error -y -i " + Quote(Source(48000, 2, 3.0)) +
                                        " -c:a mp2 -b:a 192k -f mp2",
                                    "a.mp2");
    ExpectAgreesWithProbe(file, 1152, 0); // no header frame
    EXPECT_EQ(Record->BitRate, 192);
    EXPECT_EQ(Record->BitRateType, brCBR);
    EXPECT_EQ(Line("Layer"), "Layer II");
    EXPECT_EQ(Line("Encoder"), "QDesign");
}

TEST_F(TMpegEncodedFixture, LameTagsAreFoundInTheSlots) {
    REQUIRE_TOOL("lame");
    const std::string source = Source(44100, 2, 2.0);
    Encode("lame --quiet -b 128 --tt title --ta artist --add-id3v2 " + Quote(source), "both.mp3");
    EXPECT_TRUE(Record->Valid);
    const TTagBase* id3v1 = Record->GetTag(tkID3v1);
    const TTagBase* id3v2 = Record->GetTag(tkID3v2);
    ASSERT_TRUE(id3v1->Valid);
    ASSERT_TRUE(id3v2->Valid);
    EXPECT_EQ(id3v1->GetField(tfTitle), "title");
    EXPECT_EQ(id3v2->GetField(tfArtist), "artist");
    // The frames behind the ID3v2 tag and in front of the ID3v1 tag, and nothing more.
    EXPECT_EQ(Record->Samples % 1152, 0);
    EXPECT_GT(id3v2->Size, 0);

    Encode("lame --quiet -b 128 --tt title --ta artist --id3v1-only " + Quote(source), "v1.mp3");
    EXPECT_TRUE(Record->Valid);
    EXPECT_TRUE(Record->GetTag(tkID3v1)->Valid);
    EXPECT_EQ(Record->GetTag(tkID3v1)->GetField(tfArtist), "artist");
    EXPECT_FALSE(Record->GetTag(tkID3v2)->Valid);
}

TEST_F(TMpegEncodedFixture, ApeTagWrittenByMutagen) {
    REQUIRE_TOOL("lame");
    REQUIRE_TOOL("/usr/bin/python3");
    const std::string file =
        Encode("lame --quiet -b 128 " + Quote(Source(44100, 2, 2.0)), "ape.mp3");
    const std::string frames = Line("Frames");
    ASSERT_EQ(
        testsupport::Run("/usr/bin/python3 -c \"import sys, mutagen.apev2 as a; t = a.APEv2(); "
                         "t['Title'] = 'Ape title'; t.save(sys.argv[1])\" " +
                         Quote(file)),
        0);
    ASSERT_TRUE(Record->Read(file));
    EXPECT_TRUE(Record->Valid);
    ASSERT_TRUE(Record->GetTag(tkAPE)->Valid);
    EXPECT_EQ(Record->GetTag(tkAPE)->GetField(tfTitle), "Ape title");
    EXPECT_EQ(Line("Frames"), frames);
}

TEST_F(TMpegEncodedFixture, VerifyShowsTheAudioReportThenTheTagReports) {
    REQUIRE_TOOL("lame");
    const std::string file = Dir.Path("song.mp3");
    ASSERT_EQ(testsupport::Run("lame --quiet -b 128 --tt title --ta artist --add-id3v2 " +
                               Quote(Source(44100, 2, 2.0)) + " " + Quote(file) +
                               " >/dev/null 2>&1"),
              0);
    std::string out;
    EXPECT_EQ(testsupport::Run(std::string(AUDIOLENS_CLI) + " --verify " + Quote(file), &out), 0);
    ASSERT_TRUE(Record->Read(file));
    // The command line ends its lines with a bare line feed.
    std::string audio = AudioReportText(*Record, file);
    for (size_t at; (at = audio.find("\r\n")) != std::string::npos;)
        audio.replace(at, 2, "\n");
    ASSERT_EQ(out.rfind(audio, 0), 0u) << out;
    const size_t v1 = out.find("Tag type: ID3v1"), v2 = out.find("Tag type: ID3v2");
    EXPECT_NE(v1, std::string::npos);
    EXPECT_NE(v2, std::string::npos);
    EXPECT_GT(v1, audio.size() - 1);
    EXPECT_NE(audio.find("Encoder=" + LameEncoderText() + "\n"), std::string::npos);
    EXPECT_NE(audio.find("File type: MPEG\n"), std::string::npos);
}
