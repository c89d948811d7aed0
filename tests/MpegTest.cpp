// MPEG audio reader: frame headers and streams built byte by byte, with frame lengths worked out
// from the header tables of ISO/IEC 11172-3 and 13818-3 (length = 144 * bit rate / rate for
// layer III, 72 * ... at the lower rates, 12 * ... slots of 4 bytes for layer I), and lame and
// ffmpeg output checked against ffprobe's frame count.
#include "ReaderSupport.h"
#include "TestSupport.h"
#include "formats/AudioMPEG.h"
#include "formats/MPEGFrame.h"

#include <chrono>
#include <gtest/gtest.h>

using namespace audiolens;
using namespace testsupport;

namespace {

struct TBits {
    uint32_t Version = 3, Layer = 1, BitRateIndex = 9, RateIndex = 0; // MPEG 1 layer III 128k
    bool Padding = false;
    uint32_t Mode = 1, ModeExtension = 2; // joint stereo, MS
    bool Crc = false, Copyright = false, Original = false;
    uint32_t Emphasis = 0;
};

uint32_t Word(const TBits& b) {
    return 0xFFE00000u | b.Version << 19 | b.Layer << 17 | (b.Crc ? 0u : 1u) << 16 |
           b.BitRateIndex << 12 | b.RateIndex << 10 | b.Padding << 9 | b.Mode << 6 |
           b.ModeExtension << 4 | b.Copyright << 3 | b.Original << 2 | b.Emphasis;
}

// count frames of the given length: the header, then filler bytes that hold no sync.
std::string Frames(const TBits& b, size_t length, int count = 1, char fill = 0x55) {
    std::string s;
    for (int i = 0; i < count; ++i)
        s += BE32(Word(b)) + std::string(length - 4, fill);
    return s;
}

// Four 417-byte frames; the first has text at offset 36 (the VBR header place) and more text
// 120 bytes behind it (where a LAME tag keeps its version).
std::string Marked(const std::string& marker, const std::string& vendor = "", TBits b = {},
                   size_t length = 417, size_t at = 36) {
    std::string first = Frames(b, length);
    first.replace(at, marker.size(), marker);
    if (!vendor.empty()) first.replace(at + 120, vendor.size(), vendor);
    return first + Frames(b, length, 3);
}

// An ID3v2.3 tag of bodySize bytes of padding.
std::string ID3v2(uint32_t bodySize) {
    std::string size;
    for (int shift = 21; shift >= 0; shift -= 7)
        size += static_cast<char>((bodySize >> shift) & 0x7F);
    return std::string("ID3\x03\x00\x00", 6) + size + Zeros(bodySize);
}

const std::string Three = Frames({}, 417, 3), Junk100 = std::string(100, 0x11);
const std::string ID3v1 = "TAG" + std::string("Title") + Zeros(25 + 30 + 30 + 4 + 30) + "\x0C";

struct THeaderRow {
    TBits Bits;
    uint32_t Length, Samples, Rate, BitRate; // Length 0: rejected
};

} // namespace

TEST(MpegHeader, LengthsFromTheStandardsTables) {
    const THeaderRow rows[] = {
        {{}, 417, 1152, 44100, 128}, // 144 * 128000 / 44100 = 417.96
        {{.Padding = true}, 418, 1152, 44100, 128},
        {{.RateIndex = 2}, 576, 1152, 32000, 128},
        {{.Version = 2, .BitRateIndex = 1}, 26, 576, 22050, 8}, // 72 * 8000 / 22050
        {{.Version = 2, .Layer = 3, .BitRateIndex = 1, .RateIndex = 2, .Padding = true},
         100,
         384,
         16000,
         32}, // (12 * 32000 / 16000 + 1) * 4
        {{.Version = 0, .BitRateIndex = 14, .RateIndex = 2}, 1440, 576, 8000, 160},
        // Layer II of MPEG 2.5 at 160k and 8 kHz: the longest frame any header gives.
        {{.Version = 0, .Layer = 2, .BitRateIndex = 14, .RateIndex = 2, .Padding = true},
         2881,
         1152,
         8000,
         160},
        {{.Layer = 3, .BitRateIndex = 14, .RateIndex = 1}, 448, 384, 48000, 448}, // 112 slots
        // Layer I counts whole 4-byte slots: 12 * 448000 / 44100 = 121.9, so 121 slots.
        {{.Layer = 3, .BitRateIndex = 14}, 484, 384, 44100, 448},
        {{.Layer = 3, .BitRateIndex = 14, .Padding = true}, 488, 384, 44100, 448},
        {{.Layer = 2, .BitRateIndex = 14}, 1253, 1152, 44100, 384},
        {{.BitRateIndex = 14}, 1044, 1152, 44100, 320},
        {{.Emphasis = 3}, 417, 1152, 44100, 128},
        {{.Version = 1}, 0, 0, 0, 0}, // reserved version, layer, bit rate, rate, emphasis
        {{.Layer = 0}, 0, 0, 0, 0},
        {{.BitRateIndex = 15}, 0, 0, 0, 0},
        {{.BitRateIndex = 0}, 0, 0, 0, 0}, // free format
        {{.RateIndex = 3}, 0, 0, 0, 0},
        {{.Emphasis = 2}, 0, 0, 0, 0},
    };
    for (const THeaderRow& row : rows) {
        TMPEGHeader h;
        SCOPED_TRACE(Word(row.Bits));
        ASSERT_EQ(ParseFrameHeader(Word(row.Bits), h), row.Length > 0);
        if (row.Length == 0) continue;
        EXPECT_EQ(h.FrameLength, row.Length);
        EXPECT_LE(h.FrameLength, MPEGMaxFrameLength);
        EXPECT_EQ(h.Samples, row.Samples);
        EXPECT_EQ(h.SampleRate, row.Rate);
        EXPECT_EQ(h.BitRate, row.BitRate);
    }
    TMPEGHeader h;
    EXPECT_FALSE(ParseFrameHeader(Word({}) & ~0x00200000u, h)); // one sync bit off
}

TEST(MpegStream, ByteBuiltStreams) {
    const std::string tag = ID3v2(246); // 256 bytes in all
    TBits free{.BitRateIndex = 0}, reserved{.RateIndex = 3}, badLayer{.Layer = 0};
    TBits at32{.BitRateIndex = 1}, at40{.BitRateIndex = 2}, at48{.BitRateIndex = 3};
    TBits mono{.Mode = 3}, mono2{.Version = 2, .BitRateIndex = 8, .Mode = 3};
    TBits low{.Version = 2, .BitRateIndex = 1}, short2{.Version = 2, .BitRateIndex = 2};
    TBits stereo{.Mode = 0}, layer2{.Layer = 2, .BitRateIndex = 10};
    const std::pair<std::string, std::string> rows[] = {
        {Frames({}, 417, 2), "Valid=1|Frames=2"},
        {Frames({}, 417), "Read=1|Valid=0|Frames=1"},
        // The search for the first frame runs to 2048 bytes past the ID3v2 tag.
        {tag + Junk100 + Frames({}, 417, 4), "Valid=1|Frames=4|Samples=4608"},
        {tag + std::string(1729, 0x11) + Frames({}, 417, 4), "Valid=1|Frames=4"},
        {tag + std::string(1730, 0x11) + Frames({}, 417, 4), "Read=0|Valid=0|Rate=0"},
        // An ID3v2 size of about 2 MB, past the end of the file.
        {ID3v2(20).replace(8, 1, "\x7F") + Frames({}, 417, 5), "Read=0|Samples=0"},
        // A cut frame whose header is there still counts; a cut header does not.
        {Three + Frames({}, 417).substr(0, 200), "Frames=4"},
        {Three + Frames({}, 417).substr(0, 3), "Frames=3"},
        {Frames({}, 417).substr(0, 30), "Read=1|Valid=0"},
        {"", "Read=0"},
        {BE32(Word({})).substr(0, 3), "Read=0"},
        {Frames(free, 300) + Frames(reserved, 300) + Three, "Valid=1|Frames=3"},
        {Three + Frames(badLayer, 417) + Three, "Frames=3"},
        // The bit rate is the rounded mean, halves to even: 520 / 16 = 32.5, 648 / 16 = 40.5.
        {Frames(at32, 104, 15) + Frames(at40, 130), "BitRate=32"},
        {Frames(at40, 130, 15) + Frames(at48, 156), "BitRate=40"},
        // The last header decides the channel mode.
        {Frames({}, 417, 2) + Frames(mono, 417), "Channels=1|Mode=Mono"},
        {Frames(low, 26, 5), "Valid=1|BitRate=8|Samples=2880|Version=MPEG 2"},
        {Marked("Xing", "LAME3.90."), "Type=VBR|Encoder=LAME3.90|Frames=4|Samples=4608"},
        {Marked("Info", "LAME3.100"), "Type=CBR|Encoder=LAME3.10"}, // no VBR header
        {Marked("Xing"), "Type=VBR|Encoder=Xing"},
        {Marked("VBRI"), "Type=VBR|Encoder=FhG"},
        {Marked("Xing", "", mono2, 208, 13), "Type=VBR"}, // MPEG 2 mono: offset 13
        // 52-byte frames: no room for a LAME tag.
        {Marked("Xing", "", short2, 52, 21), "Type=VBR|Encoder=Xing"},
        // The encoder guessed from the last header's flags.
        {Frames({.Crc = true, .Original = true}, 417, 3), "Encoder=LAME"},
        {Frames(stereo, 417, 3), "Encoder=Blade"},
        {Frames({.BitRateIndex = 10, .Mode = 0}, 522, 3), "Encoder=Blade"},
        {Frames({.BitRateIndex = 11, .Mode = 0}, 626, 3), "Encoder=FhG"},
        {Frames({.Crc = true, .Copyright = true, .Original = true}, 417, 3), "Encoder=Xing"},
        {Frames({.Original = true}, 417, 3, '\0'), "Encoder=Xing"}, // the body starts empty
        {Frames(layer2, 626, 3), "Encoder=QDesign|Layer=Layer II|Join Mode=bands 12 to 31"},
        {Frames({.Mode = 2, .Crc = true}, 417, 3), "Encoder=Shine"},
        {Marked("GOGO", "", {}, 417, 100), "Encoder=GoGo"},
        {Frames({.ModeExtension = 3}, 417, 2), "Join Mode=stereo Intensity+MS"},
        {Frames({.Layer = 2, .BitRateIndex = 10, .ModeExtension = 0}, 626, 2),
         "Join Mode=bands 4 to 31"},
        {Frames({.Emphasis = 1}, 417, 2), "Emphasis=50/15 ms"},
        {Frames({.Emphasis = 3}, 417, 2), "Emphasis=CCIT J.17"},
        {Three + ID3v1, "Frames=3"},
    };
    for (const auto& [bytes, want] : rows)
        ExpectFields(ReadSummary(CreateMPEG, bytes), want);
    // No join mode line: plain stereo, or no extension bit.
    for (const std::string& bytes : {Frames({.ModeExtension = 0}, 417, 2),
                                     Frames({.Layer = 2, .BitRateIndex = 10, .Mode = 0}, 626, 2)})
        EXPECT_EQ(ReadSummary(CreateMPEG, bytes).find("Join Mode"), std::string::npos);
}

TEST(MpegStream, WholeRecordOfThreeFrames) {
    TAudioRef r;
    ReadSummary(CreateMPEG, Three, &r);
    EXPECT_EQ(AudioReportText(*r, "a.mp3"),
              "File: a.mp3\r\nFile type: MPEG\r\nFile size: 1251\r\nBits: 16\r\nSampleRate: "
              "44100\r\nSamples: 3456\r\nBitrate: 128\r\nBitrateType: CBR\r\nDuration: "
              "0:00.078\r\nRatio: 9\r\nChannelMode: Joint Stereo\r\nChannels: 2\r\n"
              "Version=MPEG 1\r\nLayer=Layer III\r\nEncoder=FhG\r\nEmphasis=None\r\nFrames=3\r\n"
              "Join Mode=stereo MS\r\n");
    ExpectFields(Summary(true, *r), "Ratio=9.04948"); // 1251 bytes for 3456 stereo samples
    // The tags at both ends fill their slots; a file that is not MPEG audio costs no tag read.
    ReadSummary(CreateMPEG, ID3v2(246) + Three + ID3v1, &r);
    EXPECT_EQ(r->GetTag(tkID3v2)->Size, 256);
    EXPECT_EQ(r->GetTag(tkID3v1)->GetField(tfTitle), "Title");
    EXPECT_FALSE(r->GetTag(tkAPE)->Valid);
    ReadSummary(CreateMPEG, ID3v2(246) + std::string(2000, 0x11) + Three, &r);
    EXPECT_FALSE(r->GetTag(tkID3v2)->Valid);
    EXPECT_EQ(r->Info->Count(), 0);
}

TEST(MpegStream, BytesThatNeverFormAHeaderEndQuickly) {
    const auto begin = std::chrono::steady_clock::now();
    ExpectFields(ReadSummary(CreateMPEG, std::string(200000, '\xFF')), "Read=0");
    ExpectFields(ReadSummary(CreateMPEG, Zeros(200000)), "Read=0");
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(2));
}

// ---- Real encoder output: ffprobe gives one packet per frame, less the LAME/Xing header frame.

namespace {

struct TEncodedRow {
    const char* Command; // %s: the source, %o: the output
    int Rate, Channels, FrameSamples, HeaderFrames;
    std::string Want; // %L: the eight bytes of lame's version text ("LAME3.100" is "LAME3.10")
};

std::string Encode(const TTempDir& dir, const std::string& command, int rate, int channels,
                   double seconds, const std::string& name) {
    const std::string wav = dir.Path("source.wav"), out = dir.Path(name);
    EXPECT_EQ(testsupport::Run("ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=" +
                               std::to_string(rate) + ":duration=" + std::to_string(seconds) +
                               " -ac " + std::to_string(channels) + " -c:a pcm_s16le " +
                               Quote(wav)),
              0);
    EXPECT_EQ(testsupport::Run(command + " " + Quote(wav) + " " + Quote(out) + " >/dev/null 2>&1"),
              0)
        << command;
    return out;
}

std::string LameText() {
    std::string out;
    testsupport::Run("lame --version", &out);
    const size_t at = out.find("version ");
    return ("LAME" + out.substr(at + 8, out.find(' ', at + 8) - at - 8)).substr(0, 8);
}

} // namespace

TEST(MpegEncoded, FramesAgreeWithFfprobe) {
    REQUIRE_TOOL("lame");
    REQUIRE_TOOL("ffprobe");
    const TEncodedRow rows[] = {
        {"lame --quiet -b 128", 44100, 2, 1152, 1,
         "BitRate=128|Type=CBR|Version=MPEG 1|Layer=Layer III|Encoder=%L"},
        {"lame --quiet -V 2", 44100, 2, 1152, 1, "Type=VBR|Encoder=%L"},
        {"lame --quiet -b 64", 22050, 1, 576, 1, "Mode=Mono|BitRate=64|Version=MPEG 2"},
        {"lame --quiet -b 32", 8000, 1, 576, 1, "Version=MPEG 2.5"},
        {"f() { ffmpeg -v error -y -i \"$1\" -c:a mp2 -b:a 192k -f mp2 \"$2\"; }; f", 48000, 2,
         1152, 0, "BitRate=192|Type=CBR|Layer=Layer II|Encoder=QDesign"},
    };
    TTempDir dir;
    for (TEncodedRow row : rows) {
        SCOPED_TRACE(row.Command);
        const std::string file = Encode(dir, row.Command, row.Rate, row.Channels, 3.0, "a.mp3");
        std::string packets;
        testsupport::Run("ffprobe -v error -select_streams a:0 -show_entries packet=pos -of csv " +
                             Quote(file) + " | grep -c packet",
                         &packets);
        const int64_t frames = std::stoll(packets) + row.HeaderFrames;
        if (size_t at = row.Want.find("%L"); at != std::string::npos)
            row.Want.replace(at, 2, LameText());
        TAudioRef r;
        ExpectFields(ReadSummary(CreateMPEG, ReadFile(file), &r),
                     row.Want + "|Valid=1|Rate=" + std::to_string(row.Rate) + "|Channels=" +
                         std::to_string(row.Channels) + "|Frames=" + std::to_string(frames) +
                         "|Samples=" + std::to_string(frames * row.FrameSamples));
        const double probed = std::stod(Probe(file, "stream", "duration"));
        EXPECT_NEAR(r->Duration, probed + row.HeaderFrames * row.FrameSamples / double(row.Rate),
                    0.001);
    }
}

TEST(MpegEncoded, TagsOfLameAndMutagenAndTheVerifyReport) {
    REQUIRE_TOOL("lame");
    REQUIRE_TOOL("/usr/bin/python3");
    TTempDir dir;
    const std::string file = Encode(dir, "lame --quiet -b 128 --tt title --ta artist --add-id3v2",
                                    44100, 2, 2.0, "song.mp3");
    TAudioRef r(CreateMPEG());
    ASSERT_TRUE(r->Read(file));
    EXPECT_EQ(r->GetTag(tkID3v1)->GetField(tfTitle), "title");
    EXPECT_EQ(r->GetTag(tkID3v2)->GetField(tfArtist), "artist");
    // The command line shows the audio report (with bare line feeds), then the tag reports.
    std::string out, audio = AudioReportText(*r, file);
    for (size_t at; (at = audio.find("\r\n")) != std::string::npos;)
        audio.replace(at, 2, "\n");
    EXPECT_EQ(testsupport::Run(std::string(AUDIOLENS_CLI) + " --verify " + Quote(file), &out), 0);
    ASSERT_EQ(out.rfind(audio, 0), 0u) << out;
    EXPECT_NE(out.find("Tag type: ID3v1", audio.size()), std::string::npos);
    EXPECT_NE(out.find("Tag type: ID3v2", audio.size()), std::string::npos);
    // An APE tag that mutagen puts in front of the ID3v1 tag ends the frames there too.
    const std::string frames = r->Info->Get(4);
    ASSERT_EQ(testsupport::Run("/usr/bin/python3 -c \"import sys, mutagen.apev2 as a; "
                               "t = a.APEv2(); t['Title'] = 'Ape title'; t.save(sys.argv[1])\" " +
                               Quote(file)),
              0);
    ASSERT_TRUE(r->Read(file));
    EXPECT_EQ(r->GetTag(tkAPE)->GetField(tfTitle), "Ape title");
    EXPECT_EQ(r->Info->Get(4), frames);
    const std::string v1 =
        Encode(dir, "lame --quiet -b 128 --ta artist --id3v1-only", 44100, 2, 1.0, "v1.mp3");
    ASSERT_TRUE(r->Read(v1));
    EXPECT_EQ(r->GetTag(tkID3v1)->GetField(tfArtist), "artist");
    EXPECT_FALSE(r->GetTag(tkID3v2)->Valid);
}
