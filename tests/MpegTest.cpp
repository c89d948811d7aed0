// MPEG audio reader: frame headers and streams built byte by byte, frame lengths worked out from
// the tables of ISO/IEC 11172-3 and 13818-3, and lame and ffmpeg output against ffprobe.
#include "ReaderSupport.h"
#include "TagFileFixture.h"
#include "formats/AudioMPEG.h"
#include "formats/MPEGFrame.h"

#include <chrono>

using namespace audiolens;
using namespace testsupport;
using namespace std::string_literals;

namespace {

// The header's fields; BitRate and Rate are table indexes.
struct TBits { // by default MPEG 1 layer III, 128k, 44.1 kHz, joint stereo with MS
    uint32_t Version = 3, Layer = 1, BitRate = 9, Rate = 0, Padding = 0;
    uint32_t Mode = 1, ModeExtension = 2, Crc = 0, Copyright = 0, Original = 0, Emphasis = 0;
};

uint32_t Word(const TBits& b) {
    return 0xFFE00000u | b.Version << 19 | b.Layer << 17 | (b.Crc ? 0u : 1u) << 16 |
           b.BitRate << 12 | b.Rate << 10 | b.Padding << 9 | b.Mode << 6 | b.ModeExtension << 4 |
           b.Copyright << 3 | b.Original << 2 | b.Emphasis;
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

const std::string Three = Frames({}, 417, 3), Tag256 = ID3v2Tag(3, "", 246),
                  ID3v1 = ID3v1Tag("Title", "", "", "", "", 12);

} // namespace

TEST(MpegHeader, LengthsFromTheStandardsTables) {
    // Length, samples, rate, bit rate.
    const std::pair<TBits, std::string> rows[] = {
        {{.Padding = true}, "418 1152 44100 128"}, // 144 * 128000 / 44100 = 417.96, padded
        {{.Rate = 2}, "576 1152 32000 128"},
        // (12 * 32000 / 16000 + 1) * 4
        {{.Version = 2, .Layer = 3, .BitRate = 1, .Rate = 2, .Padding = true}, "100 384 16000 32"},
        // Layer II of MPEG 2.5 at 160k and 8 kHz: the longest frame any header gives.
        {{.Version = 0, .Layer = 2, .BitRate = 14, .Rate = 2, .Padding = true},
         "2881 1152 8000 160"},
        // Layer I counts whole 4-byte slots: 12 * 448000 / 44100 = 121.9, so 121 slots.
        {{.Layer = 3, .BitRate = 14}, "484 384 44100 448"},
        {{.Layer = 3, .BitRate = 14, .Padding = true}, "488 384 44100 448"},
        {{.Layer = 2, .BitRate = 14}, "1253 1152 44100 384"},
        {{.BitRate = 14}, "1044 1152 44100 320"},
    };
    TMPEGHeader h;
    for (const auto& [bits, want] : rows) {
        ASSERT_TRUE(ParseFrameHeader(Word(bits), h)) << want;
        EXPECT_EQ(std::to_string(h.FrameLength) + " " + std::to_string(h.Samples) + " " +
                      std::to_string(h.SampleRate) + " " + std::to_string(h.BitRate),
                  want);
    }
    EXPECT_GE(MPEGMaxFrameLength, 2881u);
    // Reserved version, layer, bit rate, rate and emphasis; free format; one sync bit off.
    for (uint32_t word :
         {Word({.Version = 1}), Word({.Layer = 0}), Word({.BitRate = 15}), Word({.Rate = 3}),
          Word({.Emphasis = 2}), Word({.BitRate = 0}), Word({}) & ~0x00200000u})
        EXPECT_FALSE(ParseFrameHeader(word, h)) << word;
}

TEST(MpegStream, ByteBuiltStreamsTagsAndTheVerifyReport) {
    const auto begin = std::chrono::steady_clock::now();
    const std::pair<std::string, std::string> rows[] = {
        // Bytes that never form a header end the search quickly.
        {std::string(200000, '\xFF'), "Read=0"},
        {Zeros(200000), "Read=0"},
        {Frames({}, 417, 2), "Valid=1|Frames=2"},
        {Frames({}, 417), "Read=1|Valid=0|Frames=1"},
        // The search for the first frame runs to 2048 bytes past the ID3v2 tag.
        {Tag256 + std::string(1729, 0x11) + Frames({}, 417, 4), "Valid=1|Frames=4|Samples=4608"},
        {Tag256 + std::string(1730, 0x11) + Frames({}, 417, 4), "Read=0|Valid=0|Rate=0"},
        // An ID3v2 size of about 2 MB, past the end of the file.
        {"ID3\x03\0\0\0\x7F\0\x14"s + Zeros(20) + Frames({}, 417, 5), "Read=0|Samples=0"},
        // A cut frame whose header is there still counts; a cut header does not.
        {Three + Frames({}, 417).substr(0, 200), "Frames=4"},
        {Three + Frames({}, 417).substr(0, 3), "Frames=3"},
        {BE32(Word({})).substr(0, 3), "Read=0"},
        {Frames({.BitRate = 0}, 300) + Frames({.Rate = 3}, 300) + Three, "Valid=1|Frames=3"},
        {Three + Frames({.Layer = 0}, 417) + Three, "Frames=3"},
        // The bit rate is the rounded mean, halves to even: 520 / 16 = 32.5.
        {Frames({.BitRate = 1}, 104, 15) + Frames({.BitRate = 2}, 130), "BitRate=32"},
        // The last header decides the channel mode.
        {Frames({}, 417, 2) + Frames({.Mode = 3}, 417), "Channels=1|Mode=Mono"},
        {Frames({.Version = 2, .BitRate = 1}, 26, 5), "BitRate=8|Samples=2880|Version=MPEG 2"},
        {Marked("Xing", "LAME3.90."), "Type=VBR|Encoder=LAME3.90|Frames=4|Samples=4608"},
        {Marked("Info", "LAME3.100"), "Type=CBR|Encoder=LAME3.10"}, // no VBR header
        {Marked("Xing"), "Type=VBR|Encoder=Xing"},
        {Marked("VBRI"), "Type=VBR|Encoder=FhG"},
        {Marked("Xing", "", {.Version = 2, .BitRate = 8, .Mode = 3}, 208, 13),
         "Type=VBR"}, // MPEG 2 mono: offset 13
        // 52-byte frames: no room for a LAME tag.
        {Marked("Xing", "", {.Version = 2, .BitRate = 2}, 52, 21), "Type=VBR|Encoder=Xing"},
        // The encoder guessed from the last header's flags.
        {Frames({.ModeExtension = 3, .Crc = true, .Original = true, .Emphasis = 1}, 417, 3),
         "Encoder=LAME|Join Mode=stereo Intensity+MS|Emphasis=50/15 ms"},
        {Frames({.BitRate = 10, .Mode = 0}, 522, 3), "Encoder=Blade"}, // 160 kbit/s and less
        {Frames({.BitRate = 11, .Mode = 0}, 626, 3), "Encoder=FhG"},
        {Frames({.Crc = true, .Copyright = true, .Original = true}, 417, 3), "Encoder=Xing"},
        {Frames({.Original = true}, 417, 3, '\0'), "Encoder=Xing"}, // the body starts empty
        {Frames({.Layer = 2, .BitRate = 10}, 626, 3),
         "Encoder=QDesign|Layer=Layer II|Join Mode=bands 12 to 31"},
        {Frames({.Mode = 2, .Crc = true}, 417, 3), "Encoder=Shine"},
        {Marked("GOGO", "", {}, 417, 100), "Encoder=GoGo"},
        {Frames({.Layer = 2, .BitRate = 10, .ModeExtension = 0, .Emphasis = 3}, 626, 2),
         "Join Mode=bands 4 to 31|Emphasis=CCIT J.17"},
    };
    for (const auto& [bytes, want] : rows)
        ExpectFields(ReadSummary(CreateMPEG, bytes), want);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(2));
    // No join mode line: plain stereo, or no extension bit.
    for (const std::string& bytes : {Frames({.ModeExtension = 0}, 417, 2),
                                     Frames({.Layer = 2, .BitRate = 10, .Mode = 0}, 626, 2)})
        EXPECT_EQ(ReadSummary(CreateMPEG, bytes).find("Join Mode"), std::string::npos);
    // 1251 bytes for 3456 stereo samples: 9.05 %.
    EXPECT_EQ(
        ReadSummary(CreateMPEG, Three),
        "Read=1|Valid=1|Samples=3456|Rate=44100|Channels=2|Bits=16|BitRate=128|"
        "Duration=0.0783673|Ratio=9.04948|Size=1251|Type=CBR|Mode=Joint Stereo|Version=MPEG 1|"
        "Layer=Layer III|Encoder=FhG|Emphasis=None|Frames=3|Join Mode=stereo MS|");
    // The tags at both ends fill their slots, and the command line adds the reports of the valid
    // ones. A file that is not MPEG audio costs no tag read.
    TAudioRef r;
    ExpectFields(ReadSummary(CreateMPEG, Tag256 + Three + ID3v1, &r), "Frames=3");
    EXPECT_EQ(r->GetTag(tkID3v2)->Size, 256);
    EXPECT_EQ(r->GetTag(tkID3v1)->GetField(tfTitle), "Title");
    EXPECT_FALSE(r->GetTag(tkAPE)->Valid);
#ifndef _WIN32 // through the shell; tests/windows/same_reports.sh runs the Windows program
    const TTempDir dir;
    const std::string file = dir.Path("t.mp3");
    WriteFile(file, Tag256 + Three + ID3v1);
    std::string out;
    EXPECT_EQ(testsupport::Run(std::string(AUDIOLENS_CLI) + " --verify " + Quote(file), &out), 0);
    EXPECT_EQ(out.find("Tag type: APE"), std::string::npos);
    EXPECT_NE(out.find("Tag type: ID3v1"), std::string::npos) << out;
    EXPECT_NE(out.find("Tag type: ID3v2"), std::string::npos);
#endif
    ReadSummary(CreateMPEG, Tag256 + std::string(2000, 0x11) + Three, &r);
    EXPECT_FALSE(r->GetTag(tkID3v2)->Valid);
    EXPECT_EQ(r->Info->Count(), 0);
}

// Real encoder output: the frames are ffprobe's packets and the LAME/Xing header frame; the
// rest is what lame, ffmpeg and mutagen wrote. %L: the eight bytes of lame's version text.
TEST(MpegEncoded, LameFfmpegAndMutagenFiles) {
    REQUIRE_TOOL("lame");
    REQUIRE_TOOL("ffprobe");
    REQUIRE_TOOL("/usr/bin/python3");
    // The command (followed by the source and the output), rate, channels, samples per frame,
    // frames before the audio, and the fields.
    const std::tuple<std::string, int, int, int, int, std::string> rows[] = {
        {"lame --quiet -b 128", 44100, 2, 1152, 1,
         "BitRate=128|Type=CBR|Version=MPEG 1|Layer=Layer III|Encoder=%L|APE=|V1="},
        {"lame --quiet -V 2", 44100, 2, 1152, 1, "Type=VBR|Encoder=%L"},
        {"lame --quiet -b 64", 22050, 1, 576, 1, "Mode=Mono|BitRate=64|Version=MPEG 2"},
        {"lame --quiet -b 32", 8000, 1, 576, 1, "Version=MPEG 2.5"},
        {"f() { ffmpeg -v error -y -i \"$1\" -c:a mp2 -b:a 192k -f mp2 \"$2\"; }; f", 48000, 2,
         1152, 0, "BitRate=192|Type=CBR|Layer=Layer II|Encoder=QDesign"},
        {"lame --quiet -b 128 --tt T --id3v1-only", 44100, 2, 1152, 1, "APE=|V1=T"},
        // An APE tag of mutagen's (whose writer drops an ID3v1 tag) ends the frames too.
        {"f() { lame --quiet -b 128 \"$1\" \"$2\" && /usr/bin/python3 -c \"import mutagen.apev2"
         " as a, sys; t = a.APEv2(); t['Title'] = 'Ape'; t.save(sys.argv[1])\" \"$2\"; }; f",
         44100, 2, 1152, 1, "APE=Ape|V1="},
    };
    TTempDir dir;
    const std::string wav = dir.Path("source.wav"), file = dir.Path("a.mp3");
    std::string lame;
    testsupport::Run("lame --version", &lame);
    lame = ("LAME" + lame.substr(lame.find("version ") + 8)).substr(0, 8);
    for (auto [command, rate, channels, frameSamples, headerFrames, want] : rows) {
        SCOPED_TRACE(command);
        ASSERT_EQ(testsupport::Run(
                      "ffmpeg -v error -y -f lavfi -i sine=sample_rate=" + std::to_string(rate) +
                      ":duration=3 -ac " + std::to_string(channels) + " " + Quote(wav) + " && " +
                      command + " " + Quote(wav) + " " + Quote(file) + " >/dev/null 2>&1"),
                  0);
        const int64_t frames =
            std::stoll(Probe(file, "stream", "nb_read_packets", "-count_packets")) + headerFrames;
        if (size_t at = want.find("%L"); at != std::string::npos) want.replace(at, 2, lame);
        TAudioRef r;
        std::string summary = ReadSummary(CreateMPEG, ReadFile(file), &r);
        summary += "APE=" + r->GetTag(tkAPE)->GetField(tfTitle) +
                   "|V1=" + r->GetTag(tkID3v1)->GetField(tfTitle) + "|";
        ExpectFields(summary, want + "|Valid=1|Rate=" + std::to_string(rate) + "|Channels=" +
                                  std::to_string(channels) + "|Frames=" + std::to_string(frames) +
                                  "|Samples=" + std::to_string(frames * frameSamples));
    }
}
