// Vorbis comments in FLAC and Ogg. Real encoder files (flac, oggenc, ffmpeg, speexenc, opusenc,
// with a cover added by mutagen) are read and rewritten, and checked with metaflac, vorbiscomment,
// mutagen, flac -t, ogginfo and the decoded audio; byte-built metadata blocks and pages cover
// the faults the encoders do not make.
#include "ReaderSupport.h"
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

TEST(FlacReader, StreamInfoAndDamagedMetadata) {
    auto flac = [](const std::string& info, size_t audio, const std::string& more = "") {
        return "fLaC" + FlacBlock(FlacStreamInfo, info, more.empty()) + more +
               std::string(audio, '\xFF');
    };
    const std::pair<std::string, const char*> rows[] = {
        // 1,000,000 bytes for 10 s of CD audio (1,764,000 bytes as PCM).
        {flac(StreamInfo(44100, 2, 16, 441000), 1000000),
         "Valid=1|Samples=441000|Rate=44100|Channels=2|Bits=16|BitRate=800|Duration=10|"
         "Ratio=56.6893|"},
        // A 36-bit count: above 2^32 samples.
        {flac(StreamInfo(96000, 8, 24, (uint64_t{1} << 33) + 96000), 1000),
         "Valid=1|Samples=8590030592|Rate=96000|Channels=8|Bits=24|Duration=89479.5|"},
        // 0 samples: the encoder wrote to a pipe and never knew the length.
        {flac(StreamInfo(8000, 1, 8, 0), 5000),
         "Valid=1|Samples=0|Rate=8000|Channels=1|Bits=8|BitRate=0|Duration=-1|Ratio=-1|"},
        // STREAMINFO of 20 bytes: the PADDING block after it must not be read as its values.
        {flac(StreamInfo(44100, 2, 16, 441000, 20), 0,
              FlacBlock(FlacPadding, "\x11\x22\x33\x44\x55\x66\x77\x88\x99", true)),
         "Valid=0"},
        {flac(StreamInfo(0, 2, 16, 100), 0), "Valid=0"},
    };
    for (const auto& [bytes, want] : rows)
        ExpectFields(ReadSummary(CreateFLAC, bytes), want);

    // Audio that happens to look like a comment block after the last block is not read as one,
    // and a comment block cut by the end of the file is no tag.
    const std::string comment = FlacBlock(FlacVorbisComment, Comments("v", {"TITLE=Audio"}));
    TRef<TAudioFile> r = ReadBytes(CreateFLAC(), flac(StreamInfo(44100, 2, 16, 441), 0) + comment);
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
    EXPECT_EQ(tag->GetField(tfTitle) + "|" + tag->GetField(tfComposer) + "|" +
                  tag->GetField(tfComment) + "|" + tag->GetName(4) + "|" + tag->GetValue(4),
              "Lower|Old composer|From ffmpeg|NOEQUALS|NOEQUALS");
    tag->SetField(tfTitle, "Changed");
    tag->SetField(tfComposer, "Bach");
    EXPECT_EQ(tag->Items->Get(0) + "|" + tag->Items->Get(5) + "|" + tag->GetField(tfComposer),
              "title=Changed|COMPOSER=Bach|Bach");
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
    // Metadata without a last block: no safe place for the audio; an Ogg comment packet cut by
    // the end of the file.
    const std::string ogg =
        OggPage(OggFirstPage, 0, Serial, 0, {VorbisId(1, 44100, 0, 64000, 0)}) +
        OggPage(0, 0, Serial, 1, Segments("\x03vorbis" + Comments("v", {"TITLE=t"}) + "\x01"));
    const std::pair<std::string, std::string> refused[] = {
        {File, "fLaC" + Info + FlacBlock(FlacVorbisComment, Comments("v", {}))},
        {Dir.Path("t.ogg"), ogg.substr(0, ogg.find("TITLE=t") + 3)},
    };
    for (const auto& [path, bytes] : refused) {
        WriteFile(path, bytes);
        tag = TRef<TTagVorbis>(new TTagVorbis);
        tag->SetField(tfTitle, "New");
        EXPECT_FALSE(tag->Save(path));
        EXPECT_TRUE(ReadFile(path) == bytes);
    }
}

// ---- Ogg values and writing.

TEST(OggReader, LastPageSearchAndValues) {
    const std::string id = VorbisId(1, 44100, 0, 64000, 0);
    // No page that ends a packet: the length comes from the nominal rate (mono, no halving).
    const std::string noGranule = VorbisStream(id, {}, {{-1, 8000}});
    char duration[64];
    std::snprintf(duration, sizeof duration, "Duration=%.6g",
                  (noGranule.size() - noGranule.find("\x05vorbis setup")) * 8 / 64000.0);
    const std::pair<std::string, std::string> rows[] = {
        // A last page of 60000 bytes starts far outside the last 12 KB; 0, nominal, 0 rates
        // as encoders write them are a variable rate.
        {VorbisStream(id, {"TITLE=t"}, {{1000, 500}, {441000, 60000}}),
         "Valid=1|Duration=10|Type=VBR"},
        // A page of another stream at the end does not count.
        {VorbisStream(id, {}, {{441000, 500}}) + OggPage(0, 999999999, 77, 5, {"x"}),
         "Duration=10"},
        {noGranule, duration},
        // Equal maximum, minimum and nominal rates are a fixed rate.
        {VorbisStream(VorbisId(2, 48000, 128000, 128000, 128000), {}, {{48000, 500}}), "Type=CBR"},
        // An identification packet too short for its fields gives no values.
        {VorbisStream(id.substr(0, 20), {}, {{441000, 500}}), "Valid=0"},
    };
    for (const auto& [bytes, want] : rows)
        ExpectFields(ReadSummary(CreateOgg, bytes), want);
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

// ---- Real encoder files.

struct TRealCase {
    const char* Name;
    const char* Tools; // every program the row runs
    const char* Extension;
    const char* Make;    // %s the source WAV, %o the output, %p a small PNG picture
    bool Cover;          // mutagen adds a 30 KB front cover
    const char* Check;   // the container's own integrity check
    const char* Lister;  // a second tool that lists the comments, NAME=value per line
    const char* Encoder; // the reader's "Encoder=" line, empty for FLAC
    bool UnknownLength = false;
};

const TRealCase RealCases[] = {
    {"FlacTagsAndCover", "flac metaflac", ".flac",
     "flac -s -f -T TITLE=Tone -T ARTIST=Me -T 'REPLAYGAIN_TRACK_GAIN=-1.50 dB' "
     "-T MUSICBRAINZ_TRACKID=4f1e -T author=Someone %s -o %o",
     true, "flac -t -s %o", "metaflac --export-tags-to=- %o", ""},
    {"FlacBehindID3v2", "flac metaflac", ".flac",
     "flac -s -f -T TITLE=Tone %s -o %o && /usr/bin/python3 -c \"import sys, mutagen.id3 as i; "
     "t = i.ID3(); t.add(i.TIT2(encoding=3, text='Id3')); t.save(sys.argv[1])\" %o",
     false, "flac -t -s %o", "metaflac --export-tags-to=- %o", ""},
    {"Flac24bitMono", "flac metaflac", ".flac",
     "ffmpeg -v error -i %s -ac 1 -c:a pcm_s24le -f wav - | flac -s -f -T TITLE=Deep - -o %o",
     false, "flac -t -s %o", "metaflac --export-tags-to=- %o", ""},
    {"FlacFromPipe", "flac metaflac", ".flac",
     "ffmpeg -v error -i %s -metadata title=Piped -c:a flac -f flac - > %o", false,
     "flac -t -s %o 2>/dev/null", "metaflac --export-tags-to=- %o", "", true},
    {"VorbisTagsAndCover", "oggenc ogginfo vorbiscomment", ".ogg",
     "oggenc -Q -t Tone -a Me -c COMPOSER=Bach %s -o %o", true, "ogginfo %o", "vorbiscomment -l %o",
     "Encoder=Vorbis"},
    {"VorbisFfmpeg", "ogginfo vorbiscomment", ".ogg",
     "ffmpeg -v error -i %s -c:a libvorbis -metadata title=Tone -metadata description=Notes %o",
     false, "ogginfo %o", "vorbiscomment -l %o", "Encoder=Vorbis"},
    {"Speex", "speexenc ogginfo", ".spx", "speexenc --quiet --title Tone --author Me %s %o", false,
     "ogginfo %o", "", "Encoder=Speex"},
    {"OpusWithPicture", "opusenc ogginfo", ".opus",
     "opusenc --quiet --title Tone --artist Me --comment R128_TRACK_GAIN=-10 --picture %p %s %o",
     false, "ogginfo %o", "", "Encoder=Opus"},
    {"OggFlac", "flac ogginfo", ".oga", "flac -s -f --ogg -T TITLE=Tone -T ARTIST=Me %s -o %o",
     false, "ogginfo %o", "", "Encoder=FLAC"},
};

std::string Substitute(std::string command, const std::map<std::string, std::string>& values) {
    for (const auto& [key, value] : values)
        for (size_t at; (at = command.find(key)) != std::string::npos;)
            command.replace(at, key.size(), Quote(value));
    return command;
}

std::string Joined(const std::vector<std::string>& items) {
    std::string text;
    for (const auto& item : items)
        text += item + "\n";
    return text;
}

class TRealFileTest : public ::testing::TestWithParam<TRealCase> {
  protected:
    void SetUp() override {
        const TRealCase& c = GetParam();
        std::istringstream tools(std::string("ffmpeg /usr/bin/python3 ") + c.Tools);
        for (std::string tool; tools >> tool;)
            REQUIRE_TOOL(tool);
        File = Dir.Path(std::string("coded") + c.Extension);
        const std::string source = Dir.Path("source.wav"), png = Dir.Path("cover.png");
        ASSERT_EQ(testsupport::Run(
                      "ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=44100:"
                      "duration=1.3 -ac 2 -c:a pcm_s16le -bitexact " +
                      Quote(source) + " && ffmpeg -v error -y -f lavfi -i color=red:size=8x8 " +
                      "-frames:v 1 " + Quote(png) + " && (" +
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
    // Every comment as NAME=value in file order by mutagen; then the digests of the pictures
    // mutagen finds (FLAC PICTURE blocks) and of the decoded audio.
    std::pair<std::string, std::string> Observed() const {
        std::string comments, audio;
        testsupport::Run(
            "/usr/bin/python3 -c \"import sys, hashlib, mutagen; f = mutagen.File(sys.argv[1]); "
            "[print(k + '=' + v) for k, v in list.__iter__(f.tags or [])]; "
            "print([hashlib.md5(p.data).hexdigest() for p in getattr(f, 'pictures', [])])\" " +
                Quote(File) + " 2>/dev/null",
            &comments);
        testsupport::Run("ffmpeg -v error -i " + Quote(File) + " -map 0:a -f md5 - 2>/dev/null",
                         &audio);
        const size_t last = comments.rfind('\n', comments.size() - 2) + 1;
        return {comments.substr(0, last), comments.substr(last) + audio};
    }
    // After a write: the container's own check passes, mutagen and the container's lister see
    // the comments, the pictures and the audio are those of before.
    void ExpectWritten(const std::string& comments, const std::string& kept) const {
        EXPECT_EQ(testsupport::Run(Substitute(GetParam().Check, {{"%o", File}}) + " >/dev/null"),
                  0);
        EXPECT_EQ(Observed(), std::make_pair(comments, kept));
        std::string listed;
        if (*GetParam().Lister) {
            testsupport::Run(Substitute(GetParam().Lister, {{"%o", File}}) + " 2>/dev/null",
                             &listed);
            EXPECT_EQ(listed, comments) << GetParam().Lister;
        }
    }
    TTempDir Dir;
    std::string File;
};

TEST_P(TRealFileTest, ReadsChangesAndRemovesEveryComment) {
    const TRealCase& c = GetParam();
    const auto [before, kept] = Observed();
    ASSERT_NE(kept.find("MD5="), std::string::npos);

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
    EXPECT_EQ(Joined(ItemsOf(tag)), before);

    // A changed title and a field far larger than a page: the rest comes back byte for byte.
    std::string want = before;
    const size_t title = ("\n" + want).find("\nTITLE="), lower = ("\n" + want).find("\ntitle=");
    const size_t at = std::min(title, lower);
    ASSERT_NE(at, std::string::npos);
    want.replace(at + 6, want.find('\n', at) - at - 6, "Nouveau titre é");
    want += "LONGFIELD=" + std::string(70000, 'x') + "\n";
    tag.SetField(tfTitle, "Nouveau titre é");
    tag.SetFieldByName("LongField", std::string(70000, 'x'));
    ASSERT_TRUE(tag.Save(File));
    ExpectWritten(want, kept);

    ASSERT_TRUE(tag.Remove(File));
    ExpectWritten("", kept);
}

INSTANTIATE_TEST_SUITE_P(Encoders, TRealFileTest, ::testing::ValuesIn(RealCases),
                         [](const auto& row) { return std::string(row.param.Name); });

} // namespace
