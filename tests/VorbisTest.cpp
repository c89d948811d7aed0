// Vorbis comments in FLAC and Ogg. Real encoder files (flac, oggenc, ffmpeg, speexenc, opusenc,
// with a cover added by mutagen) are read and rewritten, and checked with metaflac, vorbiscomment,
// mutagen, flac -t, ogginfo and the decoded audio; byte-built metadata blocks and pages cover
// the faults the encoders do not make.
#include "TestSupport.h"
#include "formats/AudioFLAC.h"
#include "formats/AudioOgg.h"
#include "framework/Registry.h"
#include "tags/TagVorbis.h"
#include "tags/VorbisLayout.h"

#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

using namespace audiolens;
using namespace testsupport;
using namespace std::string_literals;

namespace {

// ---- Byte builders: FLAC metadata blocks, comment bodies and Ogg pages.

std::string FlacBlock(uint8_t type, const std::string& data, bool last = false) {
    std::string block = BE32(static_cast<uint32_t>(data.size())) + data;
    block[0] = static_cast<char>(type | (last ? 0x80 : 0));
    return block;
}

// STREAMINFO with bit fields packed as the format has them; size below 34 cuts it.
std::string StreamInfo(uint32_t rate, uint32_t channels, uint32_t bits, uint64_t samples,
                       size_t size = 34) {
    std::string d = Zeros(10);
    d += static_cast<char>(rate >> 12);
    d += static_cast<char>(rate >> 4);
    d += static_cast<char>(((rate & 15) << 4) | ((channels - 1) << 1) | ((bits - 1) >> 4));
    d += static_cast<char>((((bits - 1) & 15) << 4) | ((samples >> 32) & 15));
    d += BE32(static_cast<uint32_t>(samples)) + Zeros(16);
    return d.substr(0, size);
}

std::string Comments(const std::string& vendor, const std::vector<std::string>& items,
                     uint32_t count = UINT32_MAX) {
    std::string body = LE32(static_cast<uint32_t>(vendor.size())) + vendor;
    body += LE32(count == UINT32_MAX ? static_cast<uint32_t>(items.size()) : count);
    for (const auto& item : items)
        body += LE32(static_cast<uint32_t>(item.size())) + item;
    return body;
}

// One page; the lacing values measure the segments given (each below 256 bytes, only the last
// of a packet below 255). The checksum stays 0: the readers do not check it.
std::string OggPage(uint8_t flags, int64_t granule, uint32_t serial, uint32_t sequence,
                    const std::vector<std::string>& segments) {
    std::string page = "OggS\0"s + static_cast<char>(flags) + LE32(static_cast<uint32_t>(granule)) +
                       LE32(static_cast<uint32_t>(static_cast<uint64_t>(granule) >> 32)) +
                       LE32(serial) + LE32(sequence) + LE32(0) + static_cast<char>(segments.size());
    std::string data;
    for (const auto& s : segments) {
        page += static_cast<char>(s.size());
        data += s;
    }
    return page + data;
}

// A packet cut into page segments.
std::vector<std::string> Segments(const std::string& packet) {
    std::vector<std::string> out;
    for (size_t at = 0; at <= packet.size(); at += 255) {
        out.push_back(packet.substr(at, 255));
        if (out.back().size() < 255) break;
    }
    return out;
}

std::string VorbisId(uint8_t channels, uint32_t rate, uint32_t maximum, uint32_t nominal,
                     uint32_t minimum) {
    return "\x01vorbis"s + LE32(0) + static_cast<char>(channels) + LE32(rate) + LE32(maximum) +
           LE32(nominal) + LE32(minimum) + "\xB8\x01";
}

constexpr uint32_t Serial = 0x1234;

// An Ogg Vorbis stream: identification page, comment and setup packets on the second page, then
// the audio pages given as (granule, data bytes).
std::string VorbisStream(const std::string& id, const std::vector<std::string>& items,
                         const std::vector<std::pair<int64_t, size_t>>& audio) {
    std::string file = OggPage(OggFirstPage, 0, Serial, 0, {id});
    std::vector<std::string> header = Segments("\x03vorbis" + Comments("v", items) + "\x01");
    for (const auto& s : Segments("\x05vorbis setup"))
        header.push_back(s);
    file += OggPage(0, 0, Serial, 1, header);
    uint32_t sequence = 2;
    for (auto [granule, bytes] : audio) {
        std::vector<std::string> segments(bytes / 255, std::string(255, 'a'));
        segments.push_back(std::string(bytes % 255, 'a'));
        file += OggPage(0, granule, Serial, sequence++, segments);
    }
    return file;
}

TRef<TAudioFile> ReadBytes(TAudioFile* record, const std::string& bytes) {
    TRef<TAudioFile> r(record);
    EXPECT_TRUE(r->Read(*TFileView::FromBytes(bytes, "built")));
    return r;
}

TTagVorbis& VorbisTag(const TRef<TAudioFile>& r) {
    return *r->Tag<TTagVorbis>(tkVorbis);
}

std::vector<std::string> ItemsOf(const TTagVorbis& tag) {
    std::vector<std::string> items;
    for (int32_t i = 0; i < tag.Count(); ++i)
        items.push_back(tag.Items->Get(i));
    return items;
}

// ---- FLAC values.

struct TStreamInfoCase {
    const char* Name;
    uint32_t Rate, Channels, Bits;
    uint64_t Samples;
    size_t AudioBytes;
    int64_t WantSamples;
    double WantDuration;
    int32_t WantBitRate;
    double WantRatio;
};

TEST(FlacReader, StreamInfoFieldsCountFromTheLeastSignificantBit) {
    const TStreamInfoCase cases[] = {
        {"CdStereo", 44100, 2, 16, 441000, 1000000, 441000, 10.0, 800, 1000000 / 1764000.0 * 100},
        // 36-bit count: above 2^32 samples.
        {"Huge8ch24bit", 96000, 8, 24, (uint64_t{1} << 33) + 96000, 1000,
         (int64_t{1} << 33) + 96000, ((uint64_t{1} << 33) + 96000) / 96000.0, 0, -2},
        // 0 samples: the encoder wrote to a pipe and never knew the length.
        {"UnknownLength", 8000, 1, 8, 0, 5000, 0, -1.0, 0, -1.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string file =
            "fLaC" +
            FlacBlock(FlacStreamInfo, StreamInfo(c.Rate, c.Channels, c.Bits, c.Samples), true) +
            std::string(c.AudioBytes, '\xFF');
        TRef<TAudioFile> r = ReadBytes(CreateFLAC(), file);
        EXPECT_TRUE(r->Valid);
        EXPECT_EQ(r->SampleRate, static_cast<int32_t>(c.Rate));
        EXPECT_EQ(r->Channels, c.Channels);
        EXPECT_EQ(r->BitsPerSample, c.Bits);
        EXPECT_EQ(r->Samples, c.WantSamples);
        EXPECT_DOUBLE_EQ(r->Duration, c.WantDuration);
        if (c.WantRatio != -2) {
            EXPECT_EQ(r->BitRate, c.WantBitRate);
            EXPECT_NEAR(r->Ratio, c.WantRatio, 1e-9);
        }
    }
}

TEST(FlacReader, DamagedMetadataIsNoValues) {
    // STREAMINFO of 20 bytes: the PADDING block after it must not be read as its values.
    const std::string shortInfo =
        "fLaC" + FlacBlock(FlacStreamInfo, StreamInfo(44100, 2, 16, 441000, 20)) +
        FlacBlock(FlacPadding, "\x11\x22\x33\x44\x55\x66\x77\x88\x99", true);
    EXPECT_FALSE(ReadBytes(CreateFLAC(), shortInfo)->Valid);
    const std::string zeroRate =
        "fLaC" + FlacBlock(FlacStreamInfo, StreamInfo(0, 2, 16, 100), true);
    EXPECT_FALSE(ReadBytes(CreateFLAC(), zeroRate)->Valid);

    // Audio that happens to look like a comment block after the last block is not read as one,
    // and a comment block cut by the end of the file is no tag.
    const std::string comment = FlacBlock(FlacVorbisComment, Comments("v", {"TITLE=Audio"}));
    TRef<TAudioFile> r = ReadBytes(
        CreateFLAC(),
        "fLaC" + FlacBlock(FlacStreamInfo, StreamInfo(44100, 2, 16, 441), true) + comment);
    EXPECT_TRUE(r->Valid);
    EXPECT_FALSE(VorbisTag(r).Valid);
    EXPECT_EQ(r->BitRate, static_cast<int32_t>(std::nearbyint(comment.size() * 8 / 0.01 / 1000)));
    r = ReadBytes(CreateFLAC(), "fLaC" +
                                    FlacBlock(FlacStreamInfo, StreamInfo(44100, 2, 16, 44100)) +
                                    comment.substr(0, comment.size() - 3));
    EXPECT_FALSE(VorbisTag(r).Valid);
}

TEST(VorbisComments, CountsAndLengthsAreBoundedByTheBlock) {
    const std::string info = "fLaC" + FlacBlock(FlacStreamInfo, StreamInfo(44100, 2, 16, 44100));
    struct {
        std::string Body;
        std::vector<std::string> Items;
    } cases[] = {
        {Comments("v", {"A=1", "B=2"}, 0xFFFFFFF0), {"A=1", "B=2"}}, // a count far beyond the bytes
        {Comments("v", {"A=1"}, 2) + LE32(1000) + "short",
         {"A=1", "short"}},                // a length beyond them
        {LE32(0xFFFFFFF0) + "vendor", {}}, // a vendor beyond them
    };
    for (const auto& c : cases) {
        TRef<TAudioFile> r =
            ReadBytes(CreateFLAC(), info + FlacBlock(FlacVorbisComment, c.Body, true));
        EXPECT_TRUE(r->Valid);
        EXPECT_FALSE(VorbisTag(r).Valid);
        std::vector<std::string> items = ItemsOf(VorbisTag(r));
        items.resize(std::min(items.size(), c.Items.size()));
        EXPECT_EQ(items, c.Items);
    }
}

TEST(VorbisComments, NamesFoldCaseAndOlderNamesAreRead) {
    TRef<TTagVorbis> tag(new TTagVorbis);
    tag->Items->Clear();
    for (const char* item : {"title=Lower", "TITLE=Second", "AUTHOR=Old composer",
                             "DESCRIPTION=From ffmpeg", "NOEQUALS"})
        tag->Items->Add(item);
    EXPECT_EQ(tag->GetField(tfTitle), "Lower");
    EXPECT_EQ(tag->GetField(tfComposer), "Old composer");
    EXPECT_EQ(tag->GetField(tfComment), "From ffmpeg");
    EXPECT_EQ(tag->GetName(4), "NOEQUALS");
    EXPECT_EQ(tag->GetValue(4), "NOEQUALS");
    tag->SetField(tfTitle, "Changed");
    tag->SetField(tfComposer, "Bach");
    EXPECT_EQ(tag->Items->Get(0), "title=Changed");
    EXPECT_EQ(tag->Items->Get(5), "COMPOSER=Bach");
    EXPECT_EQ(tag->GetField(tfComposer), "Bach");
    tag->SetField(tfTitle, "");
    EXPECT_EQ(tag->GetField(tfTitle), "Second");
}

// ---- FLAC writing.

class TFlacWrite : public ::testing::Test {
  protected:
    TTempDir Dir;
    std::string File = Dir.Path("t.flac");
    const std::string Info = FlacBlock(FlacStreamInfo, StreamInfo(44100, 2, 16, 44100));
    const std::string Application = FlacBlock(2, "abcd" + std::string(40, 'x'));
    const std::string SeekTable = FlacBlock(3, std::string(18, 's'));
    const std::string Picture = FlacBlock(6, std::string(300, 'p'));
    const std::string Audio = "\xFF\xF8 audio frames " + std::string(500, 'f');
    const std::vector<std::string> Items = {"TITLE=Old", "BIN=a\0b"s, "REPLAYGAIN_TRACK_GAIN=-1 dB",
                                            "MUSICBRAINZ_TRACKID=4f1e", "Unknown=kept"};

    std::string Tagged(size_t padding) const {
        return "fLaC" + Info + Application + SeekTable +
               FlacBlock(FlacVorbisComment, Comments("vendor", Items)) + Picture +
               FlacBlock(FlacPadding, Zeros(padding), true) + Audio;
    }
    TRef<TTagVorbis> ReadTag() const {
        TRef<TTagVorbis> tag(new TTagVorbis);
        EXPECT_TRUE(tag->Read(File));
        return tag;
    }
    // Every block other than the comment and the padding, in order, and the audio, unchanged.
    void ExpectKept(const std::string& after) const {
        EXPECT_EQ(after.find(Info + Application + SeekTable), 4u);
        EXPECT_NE(after.find(Picture), std::string::npos);
        EXPECT_EQ(after.substr(after.size() - Audio.size()), Audio);
    }
};

TEST_F(TFlacWrite, PaddingTakesUpTheChangeAndEveryOtherByteIsKept) {
    WriteFile(File, Tagged(200));
    TRef<TTagVorbis> tag = ReadTag();
    tag->SetField(tfTitle, "New");
    tag->SetField(tfArtist, "Someone");
    ASSERT_TRUE(tag->Save(File));
    const std::string after = ReadFile(File);
    EXPECT_EQ(after.size(), Tagged(200).size()) << "the audio moved";
    ExpectKept(after);
    EXPECT_NE(after.find("BIN=a\0b"s), std::string::npos) << "a zero byte cut the comment";
    std::vector<std::string> want = Items;
    want[0] = "TITLE=New";
    want[1] = "BIN=a"; // as the list shows it
    want.push_back("ARTIST=Someone");
    EXPECT_EQ(ItemsOf(*ReadTag()), want);
    EXPECT_EQ(ReadTag()->Vendor, "vendor");

    // Remove gives the block's bytes to the padding.
    ASSERT_TRUE(TRef<TTagVorbis>(new TTagVorbis)->Remove(File));
    EXPECT_EQ(ReadFile(File).size(), Tagged(200).size());
    ExpectKept(ReadFile(File));
    EXPECT_FALSE(ReadTag()->Valid);
}

TEST_F(TFlacWrite, RefusesWhatCannotBeWrittenSafely) {
    // A comment block longer than its 24-bit length field can say.
    WriteFile(File, Tagged(200));
    TRef<TTagVorbis> tag = ReadTag();
    tag->SetFieldByName("HUGE", std::string(FlacMaxBlockLength, 'h'));
    EXPECT_FALSE(tag->Save(File));
    EXPECT_TRUE(ReadFile(File) == Tagged(200));
    // Metadata without a last block: no safe place for the audio.
    const std::string open = "fLaC" + Info + FlacBlock(FlacVorbisComment, Comments("v", {}));
    WriteFile(File, open);
    EXPECT_FALSE(ReadTag()->Save(File));
    EXPECT_TRUE(ReadFile(File) == open);
}

// ---- Ogg values and writing.

TEST(OggReader, LastPageSearchAndValues) {
    const std::string id = VorbisId(1, 44100, 0, 64000, 0);
    // A last page of 60000 bytes starts far outside the last 12 KB.
    TRef<TAudioFile> r =
        ReadBytes(CreateOgg(), VorbisStream(id, {"TITLE=t"}, {{1000, 500}, {441000, 60000}}));
    EXPECT_TRUE(r->Valid);
    EXPECT_DOUBLE_EQ(r->Duration, 10.0);
    EXPECT_EQ(r->BitRateType, brVBR); // 0, nominal, 0 as encoders write it
    // A page of another stream at the end does not count.
    r = ReadBytes(CreateOgg(),
                  VorbisStream(id, {}, {{441000, 500}}) + OggPage(0, 999999999, 77, 5, {"x"}));
    EXPECT_DOUBLE_EQ(r->Duration, 10.0);
    // No page that ends a packet: the length comes from the nominal rate (mono, no halving).
    const std::string noGranule = VorbisStream(id, {}, {{-1, 8000}});
    r = ReadBytes(CreateOgg(), noGranule);
    const size_t commentEnd = noGranule.find("\x05vorbis setup");
    EXPECT_DOUBLE_EQ(r->Duration, (noGranule.size() - commentEnd) * 8 / 64000.0);
    // Equal maximum, minimum and nominal rates are a fixed rate.
    r = ReadBytes(CreateOgg(),
                  VorbisStream(VorbisId(2, 48000, 128000, 128000, 128000), {}, {{48000, 500}}));
    EXPECT_EQ(r->BitRateType, brCBR);
    // An identification packet too short for its fields gives no values.
    r = ReadBytes(CreateOgg(), VorbisStream(id.substr(0, 20), {}, {{441000, 500}}));
    EXPECT_FALSE(r->Valid);
}

TEST(OggReader, ID3v2InFrontCountsOnceInTheAudioSize) {
    const std::string id3 = "ID3\x03\x00\x00\x00\x00\x03\x76"s + Zeros(502); // 512 bytes in all
    const std::string stream =
        VorbisStream(VorbisId(2, 44100, 0, 128000, 0), {"A=b"}, {{441000, 4000}});
    TRef<TAudioFile> r = ReadBytes(CreateOgg(), id3 + stream);
    ASSERT_TRUE(r->Valid);
    const TTagVorbis& tag = VorbisTag(r);
    // The comment packet ends where the second page's setup packet starts.
    const size_t commentEnd = id3.size() + stream.find("\x05vorbis setup");
    EXPECT_EQ(tag.Size, static_cast<int32_t>(commentEnd));
    const double audio = static_cast<double>(id3.size() + stream.size() - commentEnd);
    EXPECT_EQ(r->BitRate, static_cast<int32_t>(std::nearbyint(audio * 8 / 10.0 / 1000)));
    EXPECT_NEAR(r->Ratio, audio / (441000.0 * 2 * 2 + 44) * 100, 1e-9);
}

TEST(OggWrite, RefusesACommentPacketCutByTheEndOfTheFile) {
    TTempDir dir;
    const std::string file = dir.Path("t.ogg");
    const std::string whole =
        OggPage(OggFirstPage, 0, Serial, 0, {VorbisId(1, 44100, 0, 64000, 0)}) +
        OggPage(0, 0, Serial, 1, Segments("\x03vorbis" + Comments("v", {"TITLE=t"}) + "\x01"));
    const std::string cut = whole.substr(0, whole.find("TITLE=t") + 3);
    WriteFile(file, cut);
    TRef<TTagVorbis> tag(new TTagVorbis);
    tag->SetField(tfTitle, "New");
    EXPECT_FALSE(tag->Save(file));
    EXPECT_TRUE(ReadFile(file) == cut);
}

// ---- Real encoder files.

struct TRealCase {
    const char* Name;
    const char* Tool;
    const char* Extension;
    // %s the source WAV, %o the output, %p a small PNG picture.
    const char* Make;
    bool Cover;          // mutagen adds a 30 KB front cover
    const char* Check;   // the container's own integrity check
    const char* Lister;  // a second tool that lists the comments, NAME=value per line
    const char* Encoder; // the reader's "Encoder=" line, empty for FLAC
    bool UnknownLength = false;
};

const TRealCase RealCases[] = {
    {"FlacTagsAndCover", "flac", ".flac",
     "flac -s -f -T TITLE=Tone -T ARTIST=Me -T 'REPLAYGAIN_TRACK_GAIN=-1.50 dB' "
     "-T MUSICBRAINZ_TRACKID=4f1e -T author=Someone %s -o %o",
     true, "flac -t -s %o", "metaflac --export-tags-to=- %o", ""},
    {"FlacBehindID3v2", "flac", ".flac",
     "flac -s -f -T TITLE=Tone %s -o %o && /usr/bin/python3 -c \"import sys, mutagen.id3 as i; "
     "t = i.ID3(); t.add(i.TIT2(encoding=3, text='Id3')); t.save(sys.argv[1])\" %o",
     false, "flac -t -s %o", "metaflac --export-tags-to=- %o", ""},
    {"Flac24bitMono", "flac", ".flac",
     "ffmpeg -v error -i %s -ac 1 -c:a pcm_s24le -f wav - | flac -s -f -T TITLE=Deep - -o %o",
     false, "flac -t -s %o", "metaflac --export-tags-to=- %o", ""},
    {"FlacFromPipe", "ffmpeg", ".flac",
     "ffmpeg -v error -i %s -metadata title=Piped -c:a flac -f flac - > %o", false,
     "flac -t -s %o 2>/dev/null", "metaflac --export-tags-to=- %o", "", true},
    {"VorbisTagsAndCover", "oggenc", ".ogg", "oggenc -Q -t Tone -a Me -c COMPOSER=Bach %s -o %o",
     true, "ogginfo %o", "vorbiscomment -l %o", "Encoder=Vorbis"},
    {"VorbisFfmpeg", "ffmpeg", ".ogg",
     "ffmpeg -v error -i %s -c:a libvorbis -metadata title=Tone -metadata description=Notes %o",
     false, "ogginfo %o", "vorbiscomment -l %o", "Encoder=Vorbis"},
    {"Speex", "speexenc", ".spx", "speexenc --quiet --title Tone --author Me %s %o", false,
     "ogginfo %o", "", "Encoder=Speex"},
    {"OpusWithPicture", "opusenc", ".opus",
     "opusenc --quiet --title Tone --artist Me --comment R128_TRACK_GAIN=-10 --picture %p %s %o",
     false, "ogginfo %o", "", "Encoder=Opus"},
    {"OggFlac", "flac", ".oga", "flac -s -f --ogg -T TITLE=Tone -T ARTIST=Me %s -o %o", false,
     "ogginfo %o", "", "Encoder=FLAC"},
};

std::string Substitute(std::string command, const std::map<std::string, std::string>& values) {
    for (const auto& [key, value] : values)
        for (size_t at; (at = command.find(key)) != std::string::npos;)
            command.replace(at, key.size(), Quote(value));
    return command;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class TRealFileTest : public ::testing::TestWithParam<TRealCase> {
  protected:
    void SetUp() override {
        const TRealCase& c = GetParam();
        REQUIRE_TOOL("ffmpeg");
        REQUIRE_TOOL(c.Tool);
        REQUIRE_TOOL("/usr/bin/python3");
        REQUIRE_TOOL(std::string(c.Check).substr(0, std::string(c.Check).find(' ')));
        File = Dir.Path(std::string("coded") + c.Extension);
        const std::string source = Dir.Path("source.wav"), png = Dir.Path("cover.png");
        ASSERT_EQ(
            testsupport::Run("ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=44100:"
                             "duration=1.3 -ac 2 -c:a pcm_s16le -bitexact " +
                             Quote(source) +
                             " && ffmpeg -v error -y -f lavfi -i color=red:size=8x8 -frames:v 1 " +
                             Quote(png)),
            0);
        ASSERT_EQ(testsupport::Run("(" +
                                   Substitute(c.Make, {{"%s", source}, {"%o", File}, {"%p", png}}) +
                                   ") >/dev/null 2>&1"),
                  0)
            << c.Make;
        if (c.Cover) {
            ASSERT_EQ(testsupport::Run("/usr/bin/python3 - " + Quote(File) +
                                       " <<'PY'\n"
                                       "import sys, base64, mutagen, mutagen.flac as fl\n"
                                       "p = fl.Picture(); p.type = 3; p.mime = 'image/png'\n"
                                       "p.data = b'\\x89PNG' + bytes(range(256)) * 117\n"
                                       "f = mutagen.File(sys.argv[1])\n"
                                       "if isinstance(f, fl.FLAC): f.add_picture(p)\n"
                                       "else: f['METADATA_BLOCK_PICTURE'] = "
                                       "[base64.b64encode(p.write()).decode()]\n"
                                       "f.save()\nPY"),
                      0);
        }
    }
    // Every comment as NAME=value, in file order, by mutagen and by the container's own tool.
    std::vector<std::string> Listed(bool byTool) const {
        std::string out;
        const std::string command =
            byTool ? Substitute(GetParam().Lister, {{"%o", File}})
                   : "/usr/bin/python3 -c \"import sys, mutagen; f = mutagen.File(sys.argv[1]); "
                     "[print(k + '=' + v) for k, v in list.__iter__(f.tags or [])]\" " +
                         Quote(File);
        EXPECT_EQ(testsupport::Run(command + " 2>/dev/null", &out), 0) << command;
        return Lines(out);
    }
    void ExpectListed(const std::vector<std::string>& want, const std::string& when) const {
        EXPECT_EQ(Listed(false), want) << "mutagen, " << when;
        if (*GetParam().Lister) {
            EXPECT_EQ(Listed(true), want) << GetParam().Lister << ", " << when;
        }
    }
    // The digests of the pictures mutagen finds (FLAC PICTURE blocks).
    std::string Pictures() const {
        std::string out;
        testsupport::Run(
            "/usr/bin/python3 -c \"import sys, hashlib, mutagen; f = mutagen.File(sys.argv[1]); "
            "print([hashlib.md5(p.data).hexdigest() for p in getattr(f, 'pictures', [])])\" " +
                Quote(File),
            &out);
        return out;
    }
    std::string DecodedAudio() const {
        std::string md5;
        testsupport::Run("ffmpeg -v error -i " + Quote(File) + " -map 0:a -f md5 - 2>/dev/null",
                         &md5);
        return md5;
    }
    bool Sound() const {
        return testsupport::Run(Substitute(GetParam().Check, {{"%o", File}}) + " >/dev/null") == 0;
    }
    TTempDir Dir;
    std::string File;
};

TEST_P(TRealFileTest, ReadsChangesAndRemovesEveryComment) {
    const TRealCase& c = GetParam();
    const std::vector<std::string> before = Listed(false);
    const std::string audio = DecodedAudio(), pictures = Pictures();
    ASSERT_FALSE(audio.empty());

    TRef<TAudioVerify> verify(new TAudioVerify);
    ASSERT_TRUE(verify->Verify(File));
    TAudioFile& record = *verify->Audio();
    EXPECT_EQ(record.Format, *c.Encoder ? afOGG : afFLAC);
    if (*c.Encoder) {
        EXPECT_EQ(record.Info->Get(0), c.Encoder);
    }
    if (std::string(c.Encoder) == "Encoder=Vorbis") {
        EXPECT_EQ(record.BitRateType, brVBR);
    }
    EXPECT_EQ(record.Duration < 0, c.UnknownLength);
    TTagVorbis& tag = *record.Tag<TTagVorbis>(tkVorbis);
    ASSERT_TRUE(tag.Valid);
    EXPECT_EQ(ItemsOf(tag), before);

    // A changed title and a field far larger than a page: the rest comes back byte for byte.
    std::vector<std::string> want = before;
    for (auto& item : want)
        if (item.substr(0, 6) == "TITLE=" || item.substr(0, 6) == "title=") {
            item = item.substr(0, 6) + "Nouveau titre é";
            break;
        }
    want.push_back("LONGFIELD=" + std::string(70000, 'x'));
    tag.SetField(tfTitle, "Nouveau titre é");
    tag.SetFieldByName("LongField", std::string(70000, 'x'));
    ASSERT_TRUE(tag.Save(File));
    EXPECT_TRUE(Sound()) << c.Check << " fails after Save";
    ExpectListed(want, "after Save");
    EXPECT_EQ(DecodedAudio(), audio);
    EXPECT_EQ(Pictures(), pictures);

    ASSERT_TRUE(tag.Remove(File));
    EXPECT_TRUE(Sound()) << c.Check << " fails after Remove";
    ExpectListed({}, "after Remove");
    EXPECT_EQ(DecodedAudio(), audio);
    EXPECT_EQ(Pictures(), pictures);
}

std::string RealName(const ::testing::TestParamInfo<TRealCase>& info) {
    return info.param.Name;
}

INSTANTIATE_TEST_SUITE_P(Encoders, TRealFileTest, ::testing::ValuesIn(RealCases), RealName);

} // namespace
