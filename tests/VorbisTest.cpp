// FLAC and Ogg streams and their Vorbis comments: byte-built faults, and real encoders' files.
#include "ReaderSupport.h"
#include "formats/AudioFLAC.h"
#include "formats/AudioOgg.h"
#include "tags/TagVorbis.h"

#include <regex>

using namespace audiolens;
using namespace testsupport;
using namespace std::string_literals;

namespace {

std::string FlacBlock(uint8_t type, const std::string& data, bool last = false) {
    return static_cast<char>(type | (last ? 0x80 : 0)) + BE24(uint32_t(data.size())) + data;
}

// STREAMINFO as the format packs it; size below 34 cuts it.
std::string StreamInfo(int rate, int channels, int bits, uint64_t samples, size_t size = 34) {
    TBitWriter fields;
    fields.Put(rate, 20).Put(channels - 1, 3).Put(bits - 1, 5).Put(samples, 36);
    return (Zeros(10) + fields.Bytes() + Zeros(16)).substr(0, size);
}

std::string Comments(const std::string& vendor, const std::vector<std::string>& items,
                     uint32_t count = UINT32_MAX) {
    std::string body = LE32(uint32_t(vendor.size())) + vendor +
                       LE32(count == UINT32_MAX ? uint32_t(items.size()) : count);
    for (const auto& item : items)
        body += LE32(uint32_t(item.size())) + item;
    return body;
}

// One page of whole packets (checksum 0: the readers do not check it).
std::string OggPage(uint8_t flags, int64_t granule, uint32_t sequence,
                    const std::vector<std::string>& packets, uint32_t serial = 0x1234) {
    std::string lacing, data;
    for (const auto& packet : packets) {
        lacing += std::string(packet.size() / 255, '\xFF') + char(packet.size() % 255);
        data += packet;
    }
    return "OggS\0"s + char(flags) + LE32(uint32_t(granule)) + LE32(uint32_t(granule >> 32)) +
           LE32(serial) + LE32(sequence) + LE32(0) + char(lacing.size()) + lacing + data;
}

std::string VorbisId(int channels, uint32_t rate, uint32_t max, uint32_t nominal, uint32_t min) {
    return "\x01vorbis"s + LE32(0) + char(channels) + LE32(rate) + LE32(max) + LE32(nominal) +
           LE32(min) + "\xB8\x01";
}

// Identification page, comment and setup page, then audio pages of (granule, data bytes).
std::string VorbisStream(const std::string& id, const std::vector<std::string>& items,
                         const std::vector<std::pair<int64_t, size_t>>& audio) {
    std::string file =
        OggPage(OggFirstPage, 0, 0, {id}) +
        OggPage(0, 0, 1, {"\x03vorbis" + Comments("v", items) + "\x01", "\x05vorbis setup"});
    uint32_t sequence = 2;
    for (auto [granule, bytes] : audio)
        file += OggPage(0, granule, sequence++, {std::string(bytes, 'a')});
    return file;
}

std::string Joined(const TTagVorbis& tag, const char* separator) {
    return std::regex_replace(tag.Items->GetText(), std::regex("\r\n"), separator);
}

std::string ReadWithTag(TAudioConstructor make, const std::string& bytes) {
    TAudioRef r;
    const std::string summary = ReadSummary(make, bytes, &r);
    const TTagVorbis& tag = *r->Tag<TTagVorbis>(tkVorbis);
    return summary + "Tag=" + std::to_string(tag.Valid) + "|TagSize=" + std::to_string(tag.Size) +
           "|Items=" + Joined(tag, ";") + "|";
}

TEST(FlacReader, StreamInfoAndDamagedMetadata) {
    auto flac = [](const std::string& info, size_t audio, const std::string& more = "") {
        return "fLaC" + FlacBlock(FlacStreamInfo, info, more.empty()) + more +
               std::string(audio, '\xFF');
    };
    const std::string info = StreamInfo(44100, 2, 16, 441);
    const std::string comment = FlacBlock(FlacVorbisComment, Comments("v", {"TITLE=Audio"}));
    auto tagged = [&](const std::string& body) {
        return flac(info, 0, FlacBlock(FlacVorbisComment, body, true));
    };
    const std::pair<std::string, std::string> rows[] = {
        // 1,000,000 bytes for 10 s of CD audio (1,764,000 bytes as PCM).
        {flac(StreamInfo(44100, 2, 16, 441000), 1000000),
         "Valid=1|Samples=441000|Rate=44100|Channels=2|Bits=16|BitRate=800|Duration=10|"
         "Ratio=56.6893|"},
        {flac(StreamInfo(96000, 8, 24, (uint64_t{1} << 33) + 96000), 1000), // a 36-bit count
         "Valid=1|Samples=8590030592|Rate=96000|Channels=8|Bits=24|Duration=89479.5|"},
        // STREAMINFO of 20 bytes: the PADDING block after it must not be read as its values.
        {flac(StreamInfo(44100, 2, 16, 441000, 20), 0,
              FlacBlock(FlacPadding, "\x11\x22\x33\x44\x55\x66\x77\x88\x99", true)),
         "Valid=0"},
        {flac(StreamInfo(0, 2, 16, 100), 0), "Valid=0"},
        // Audio that looks like a comment block after the last block is audio: 28 bytes in
        // 0.01 s; a comment block cut by the end of the file is no tag.
        {flac(info, 0) + comment, "Valid=1|BitRate=22|Tag=0|"},
        {flac(info, 0, comment.substr(0, comment.size() - 3)), "Tag=0|"},
        // Counts and lengths beyond the block: what fits is read, but it is no tag.
        {tagged(Comments("v", {"A=1", "B=2"}, 0xFFFFFFF0)), "Valid=1|Tag=0|Items=A=1;B=2;|"},
        {tagged(Comments("v", {"A=1"}, 2) + LE32(1000) + "short"),
         "Valid=1|Tag=0|Items=A=1;short;|"},
        {tagged(LE32(0xFFFFFFF0) + "vendor"), "Valid=1|Tag=0|"},
    };
    for (const auto& [bytes, want] : rows)
        ExpectFields(ReadWithTag(CreateFLAC, bytes), want);
}

TEST(TFlacWrite, PaddingTakesUpTheChangeEveryOtherByteIsKeptAndUnsafeWritesAreRefused) {
    TTempDir dir;
    const std::string file = dir.Path("t.flac");
    const std::string info = FlacBlock(FlacStreamInfo, StreamInfo(44100, 2, 16, 44100));
    const std::string head = "fLaC" + info + FlacBlock(2, "abcd" + std::string(40, 'x')) +
                             FlacBlock(3, std::string(18, 's'));
    const std::string picture = FlacBlock(6, std::string(300, 'p'));
    const std::string audio = "\xFF\xF8 audio frames " + std::string(500, 'f');
    const std::vector<std::string> items = {
        "title=Old", "BIN=a\0b"s, "TITLE=Second", "AUTHOR=Old composer", "DESCRIPTION=From ffmpeg",
        "NOEQUALS"};
    const std::string tagged = head + FlacBlock(FlacVorbisComment, Comments("vendor", items)) +
                               picture + FlacBlock(FlacPadding, Zeros(200), true) + audio;
    // Every block but the comment and the padding, in order, and the audio: unchanged.
    auto kept = [&](const std::string& after) {
        return after.size() == tagged.size() && after.starts_with(head) &&
               after.find(picture) != std::string::npos && after.ends_with(audio);
    };
    WriteFile(file, tagged);
    TRef<TTagVorbis> tag(new TTagVorbis), again(new TTagVorbis);
    ASSERT_TRUE(tag->Read(file));
    // Names fold case, the first of two counts, older names are read.
    EXPECT_EQ(tag->GetField(tfTitle) + "|" + tag->GetField(tfComposer) + "|" +
                  tag->GetField(tfComment) + "|" + tag->GetName(5) + "|" + tag->GetValue(5),
              "Old|Old composer|From ffmpeg|NOEQUALS|NOEQUALS");
    tag->SetField(tfTitle, "New");
    tag->SetField(tfComposer, "Bach");
    ASSERT_TRUE(tag->Save(file));
    EXPECT_TRUE(kept(ReadFile(file)));
    EXPECT_NE(ReadFile(file).find("BIN=a\0b"s), std::string::npos) << "a zero byte cut the comment";
    ASSERT_TRUE(again->Read(file));
    EXPECT_EQ(again->Vendor + "|" + Joined(*again, ";"), // the list shows BIN up to its zero byte
              "vendor|title=New;BIN=a;TITLE=Second;AUTHOR=Old composer;DESCRIPTION=From ffmpeg;"
              "NOEQUALS;COMPOSER=Bach;");
    again->SetField(tfTitle, "");
    EXPECT_EQ(again->GetField(tfTitle) + "|" + again->GetField(tfComposer), "Second|Bach");
    // Remove gives the block's bytes to the padding.
    ASSERT_TRUE(TRef<TTagVorbis>(new TTagVorbis)->Remove(file));
    EXPECT_TRUE(kept(ReadFile(file)));
    EXPECT_TRUE(again->Read(file) && !again->Valid);

    // A comment block longer than its 24-bit length field can say; metadata without a last
    // block (no safe place for the audio); an Ogg comment packet cut by the end of the file.
    const std::string ogg = VorbisStream(VorbisId(1, 44100, 0, 64000, 0), {"TITLE=t"}, {});
    const std::pair<std::string, std::string> refused[] = {
        {file, tagged},
        {file, "fLaC" + info + FlacBlock(FlacVorbisComment, Comments("v", {}))},
        {dir.Path("t.ogg"), ogg.substr(0, ogg.find("TITLE=t") + 3)},
    };
    for (const auto& [path, bytes] : refused) {
        WriteFile(path, bytes);
        tag = TRef<TTagVorbis>(new TTagVorbis);
        tag->SetField(tfTitle, bytes == tagged ? std::string(FlacMaxBlockLength, 'h') : "New");
        EXPECT_FALSE(tag->Save(path));
        EXPECT_TRUE(ReadFile(path) == bytes);
    }
}

TEST(OggReader, LastPageSearchAndValues) {
    const std::string id = VorbisId(1, 44100, 0, 64000, 0);
    // 512 bytes of ID3v2, then a stream whose comment packet ends at 111 and 4056 bytes of audio
    // for 10 s of 16-bit stereo (1764000 bytes, 44 more as WAV).
    const std::string id3 = "ID3\x03\x00\x00\x00\x00\x03\x76"s + Zeros(502);
    const std::pair<std::string, std::string> rows[] = {
        // A last page of 60000 bytes far outside the last 12 KB, a page of another stream after
        // it that does not count; rates of 0, nominal, 0 (as encoders write them) are variable.
        {VorbisStream(id, {"TITLE=t"}, {{1000, 500}, {441000, 60000}}) +
             OggPage(0, 999999999, 5, {"x"}, 77),
         "Valid=1|Duration=10|Type=VBR|Tag=1|Items=TITLE=t;|"},
        // No page that ends a packet: (8176 - 104 bytes) * 8 / 64000 b/s (mono, no halving).
        {VorbisStream(id, {}, {{-1, 8000}}), "Duration=1.009"},
        // Equal maximum, minimum and nominal rates are a fixed rate.
        {VorbisStream(VorbisId(2, 48000, 128000, 128000, 128000), {}, {{48000, 500}}), "Type=CBR"},
        {VorbisStream(id.substr(0, 20), {}, {{441000, 500}}), "Valid=0"}, // a cut identification
        {id3 + VorbisStream(VorbisId(2, 44100, 0, 128000, 0), {"A=b"}, {{441000, 4000}}),
         "Valid=1|BitRate=3|Ratio=0.229926|Tag=1|TagSize=623|"},
    };
    for (const auto& [bytes, want] : rows)
        ExpectFields(ReadWithTag(CreateOgg, bytes), want);
}

struct TRealCase {
    const char *Name, *Extension, *Make; // Make: in a directory with s.wav and p.png, $o the file
    const char* Values = "Valid=1";      // of the read's summary
};

// mutagen adds a 30 KB front cover.
#define COVER                                                                                      \
    " && /usr/bin/python3 -c \"import sys, base64, mutagen, mutagen.flac as fl; p = "              \
    "fl.Picture(); p.type = 3; p.mime = 'image/png'; p.data = b'\\x89PNG' + bytes(range(256)) * "  \
    "117; f = mutagen.File(sys.argv[1]); f.add_picture(p) if isinstance(f, fl.FLAC) else "         \
    "f.__setitem__('METADATA_BLOCK_PICTURE', [base64.b64encode(p.write()).decode()]); "            \
    "f.save()\" $o"

const TRealCase RealCases[] = {
    {"FlacTagsAndCover", ".flac",
     "flac -s -f -T TITLE=Tone -T ARTIST=Me -T 'REPLAYGAIN_TRACK_GAIN=-1.50 dB' "
     "-T MUSICBRAINZ_TRACKID=4f1e -T author=Someone s.wav -o $o" COVER},
    {"FlacBehindID3v2", ".flac",
     "flac -s -f -T TITLE=Tone s.wav -o $o && /usr/bin/python3 -c \"import sys, mutagen.id3 as i; "
     "t = i.ID3(); t.add(i.TIT2(encoding=3, text='Id3')); t.save(sys.argv[1])\" $o"},
    {"Flac24bitMono", ".flac",
     "ffmpeg -v error -i s.wav -ac 1 -c:a pcm_s24le -f wav - | flac -s -f -T TITLE=Deep - -o $o"},
    {"FlacFromPipe", ".flac", "ffmpeg -i s.wav -metadata title=Piped -c:a flac -f flac - > $o",
     "Samples=0|BitRate=0|Duration=-1|Ratio=-1"}, // through a pipe: no length known
    {"VorbisTagsAndCover", ".ogg", "oggenc -Q -t Tone -a Me -c COMPOSER=Bach s.wav -o $o" COVER,
     "Encoder=Vorbis|Type=VBR"},
    {"VorbisFfmpeg", ".ogg",
     "ffmpeg -v error -i s.wav -c:a libvorbis -metadata title=Tone -metadata description=Notes $o",
     "Encoder=Vorbis|Type=VBR"},
    {"Speex", ".spx", "speexenc --quiet --title Tone --author Me s.wav $o", "Encoder=Speex"},
    {"OpusWithPicture", ".opus",
     "opusenc --title Tone --artist Me --comment R128_TRACK_GAIN=-10 --picture p.png s.wav $o",
     "Encoder=Opus"},
    {"OggFlac", ".oga", "flac -s -f --ogg -T TITLE=Tone -T ARTIST=Me s.wav -o $o", "Encoder=FLAC"},
};

class TRealFileTest : public ::testing::TestWithParam<TRealCase> {};

TEST_P(TRealFileTest, ReadsChangesAndRemovesEveryComment) {
    const TRealCase& c = GetParam();
    // The container's own check, then the comments as its lister (FLAC, Vorbis) shows them.
    const std::string check =
        c.Extension == ".flac"s  ? "flac -t -s $o >/dev/null && metaflac --export-tags-to=- $o"
        : c.Extension == ".ogg"s ? "ogginfo $o >/dev/null && vorbiscomment -l $o"
                                 : "ogginfo $o >/dev/null";
    for (const char* tool : {"/usr/bin/python3", "ffmpeg", "flac", "metaflac", "oggenc", "ogginfo",
                             "vorbiscomment", "speexenc", "opusenc"})
        REQUIRE_TOOL(tool);
    const TTempDir dir;
    const std::string file = dir.Path("coded"s + c.Extension);
    const std::string in = "cd " + Quote(dir.Root()) + " && o=coded" + c.Extension + " && (";
    auto shell = [&](const std::string& command, std::string* out = nullptr) {
        return testsupport::Run(in + command + ") 2>/dev/null", out);
    };
    ASSERT_FALSE(
        shell("ffmpeg -f lavfi -i sine=sample_rate=44100:duration=1.3 -ac 2 -c:a pcm_s16le "
              "-bitexact s.wav && ffmpeg -f lavfi -i color=red:size=8x8 -frames:v 1 p.png") ||
        shell(c.Make))
        << c.Make;
    // Every comment (NAME=value in file order) by mutagen; the digests of the pictures and audio.
    auto observed = [&] {
        std::string out;
        shell("/usr/bin/python3 -c \"import sys, hashlib, mutagen; f = mutagen.File(sys.argv[1]); "
              "[print(k + '=' + v) for k, v in list.__iter__(f.tags or [])]; "
              "print([hashlib.md5(p.data).hexdigest() for p in getattr(f, 'pictures', [])])\" $o "
              "&& ffmpeg -i $o -map 0:a -f md5 -",
              &out);
        const size_t last = out.rfind('\n', out.rfind('\n', out.size() - 2) - 1) + 1;
        return std::pair(out.substr(0, last), out.substr(last));
    };
    // After a write: the check passes; the lister and mutagen see the comments, the rest is kept.
    auto expectWritten = [&](const std::string& comments, const std::string& kept) {
        std::string listed;
        EXPECT_EQ(shell(check, &listed), 0);
        EXPECT_EQ(listed, check.find("&&") == std::string::npos ? "" : comments) << check;
        EXPECT_EQ(observed(), std::pair(comments, kept));
    };
    const auto [before, kept] = observed();
    ASSERT_NE(kept.find("MD5="), std::string::npos);

    TRef<TAudioVerify> verify(new TAudioVerify);
    ASSERT_TRUE(verify->Verify(file));
    TAudioFile& record = *verify->Audio();
    ExpectFields(Summary(true, record), c.Values);
    TTagVorbis& tag = *record.Tag<TTagVorbis>(tkVorbis);
    ASSERT_TRUE(tag.Valid);
    EXPECT_EQ(Joined(tag, "\n"), before);

    // A changed title and a field far larger than a page: the rest comes back byte for byte.
    const std::string want =
        std::regex_replace(before, std::regex("(^|\n)(title|TITLE)=[^\n]*"), "$1$2=Nouveau titre é",
                           std::regex_constants::format_first_only);
    ASSERT_NE(want, before);
    tag.SetField(tfTitle, "Nouveau titre é");
    tag.SetFieldByName("LongField", std::string(70000, 'x'));
    ASSERT_TRUE(tag.Save(file));
    expectWritten(want + "LONGFIELD=" + std::string(70000, 'x') + "\n", kept);
    ASSERT_TRUE(tag.Remove(file));
    expectWritten("", kept);
}

INSTANTIATE_TEST_SUITE_P(Encoders, TRealFileTest, ::testing::ValuesIn(RealCases),
                         [](const auto& row) { return std::string(row.param.Name); });

} // namespace
