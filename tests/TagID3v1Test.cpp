// The tags that end a file: the 128-byte ID3v1 tag in both layouts and the Lyrics3 v2.00 block
// before it. Byte-built tails read (with the bytes they take and what removing them leaves),
// writes compared byte for byte with the layout, and mutagen's and ffprobe's reading of a tag we
// wrote.
#include "tags/TagID3v1.h"
#include "TagFileFixture.h"
#include "framework/Reports.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <tuple>

using namespace audiolens;
using namespace testsupport;
using namespace std::string_literals;

namespace {

struct TTrailingFixture : TTagFileFixture<TTagID3v1> {
    const std::string Audio = AudioBytes(1000);
    // The ID3v1 tag and, when there, the Lyrics3 block it owns.
    std::string Summary(bool read) const {
        std::string s = TagSummary(read, *Tag);
        if (Tag->LyricsTag()->Valid) s += "Lyrics:" + TagSummary(true, *Tag->LyricsTag()).substr(7);
        return s;
    }
};

const std::string V1 = ID3v1Tag("V1", "", "", "", "", 255);
const std::string V1Read = "Read=1|Valid=1|Size=128|Title=V1|Version=1|";
const std::string NoV1 = "Read=1|Valid=0|Size=0|";
// 200 content bytes: marker 11, IND 10, 20 + 8 and 143 + 8.
const std::string Block200 = LyricsBlock("IND0000200" + LyricsField("EAR", std::string(20, 'a')) +
                                         LyricsField("ETT", std::string(143, 't')));
const std::string C30 = "abcdefghijklmnopqrstuvwxyz0123", C28 = C30.substr(0, 28);

} // namespace

// Every row: the read, the bytes GetID3v1Size gives, and removing the ID3v1 tag (with its block)
// cuts exactly those bytes.
TEST_F(TTrailingFixture, ReadingSizingAndRemovingTails) {
    struct TRow {
        std::string Bytes;
        size_t TagBytes;
        std::string Expected;
    };
    const std::string A = Audio, B = "Read=1|Valid=1|Size=128|";
    // clang-format off
    std::vector<TRow> rows = {
        {A, 0, NoV1},
        // 1.0 keeps all thirty comment bytes; a zero mark before a zero track is 1.0 too
        {A + ID3v1Tag("Ti", "Ar", "Al", "1999", C30, 17), 128,
         B + "Title=Ti|Artist=Ar|Album=Al|Year=1999|Comment=" + C30 + "|Genre=Rock|Version=1|"},
        {A + ID3v1Tag("T", "", "", "", "short", 0), 128,
         B + "Title=T|Comment=short|Genre=Blues|Version=1|"},
        // 1.1: a track and 28 comment bytes; track 255 is a track, genres 255 and 148 none
        {A + ID3v11Tag("T", C28, 12, 147), 128,
         B + "Track=12|Title=T|Comment=" + C28 + "|Genre=Synthpop|Version=2|"},
        {A + ID3v11Tag("T", "c", 255, 255), 128, B + "Track=255|Title=T|Comment=c|Version=2|"},
        {A + ID3v1Tag("T", "", "", "", "", 148), 128, B + "Title=T|Version=1|"},
        // a space mark before a non-space is 1.1 ('7' is track 55); spaces all the way are 1.0
        {A + ID3v1Tag("T", "", "", "", std::string(28, 'c') + " 7", 1), 128,
         B + "Track=55|Title=T|Comment=" + std::string(28, 'c') + "|Genre=Classic Rock|Version=2|"},
        {A + ID3v1Tag("T", "", "", "", Padded("cc", 30, ' '), 1), 128,
         B + "Title=T|Comment=cc|Genre=Classic Rock|Version=1|"},
        // trailing padding and control bytes go, leading spaces stay, a zero ends a field
        {A + ID3v1Tag(Padded("  Lead \t\x01 \0 \0"s, 30, ' '), "Abc\0x"s, "", "", "", 255), 128,
         B + "Title=  Lead|Artist=Abc|Version=1|"},
        {A + ID3v1Tag("Caf\xE9", "Bj\xF6rk", "", "", "", 255), 128,
         B + "Title=Caf\xC3\xA9|Artist=Bj\xC3\xB6rk|Version=1|"},
        // 127 bytes beginning with TAG are too short; 128 are a tag and nothing else
        {ID3v1Tag("T").substr(0, 127), 0, NoV1},
        {"", 0, NoV1},
        {ID3v1Tag("Only", "", "", "", "", 255), 128, B + "Title=Only|Version=1|"},
        {"LYRICS200", 0, NoV1},
        {"000020LYRICS200", 0, NoV1},
    };
    // Blocks after the audio, with or without an ID3v1 tag behind them, and their fields.
    const std::tuple<std::string, bool, std::string> blocks[] = {
        {Block200, true,
         "Title=" + std::string(143, 't') + "|Artist=" + std::string(20, 'a') + "|"},
        {LyricsBlock(LyricsField("EAL", "Album") + LyricsField("AUT", "Writer")), false,
         "Album=Album|Composer=Writer|"},
        // every field id, trimmed; line breaks made CR LF; the image kept as it is
        {LyricsBlock(LyricsField("IND", "11") + LyricsField("EAL", " Album ") +
                     LyricsField("EAR", "\tArtist\r\n") + LyricsField("ETT", "  T\xFC") +
                     LyricsField("INF", "Info  ") + LyricsField("AUT", " Writer") +
                     LyricsField("LYR", "\r\n[00:01]a\rb\r\n\nc\n\rd\r\n") +
                     LyricsField("IMG", " a.jpg||pic||[00:00] ")), true,
         "Title=T\xC3\xBC|Artist=Artist|Album=Album|Comment=Info|Composer=Writer|"
         "Lyrics=[00:01]a\r\nb\r\nc\n\r\nd|Image= a.jpg||pic||[00:00] |"},
        // an empty field is passed over, an unknown id ends the walk, and so does a size past
        // the block (nothing behind it is data) or a header cut short; signs and spaces are 0
        {LyricsBlock("ETT00000" + LyricsField("EAR", "Before") + LyricsField("XYZ", "junk") +
                     LyricsField("EAL", "After")), true, "Artist=Before|"},
        {LyricsBlock(LyricsField("EAR", "Kept") + "ETT99999short"), true, "Artist=Kept|"},
        {LyricsBlock(LyricsField("EAL", "x") + "ETT00"), true, "Album=x|"},
        {LyricsBlock("ETT 0004EAR-0004" + LyricsField("EAL", "ok")), true, "Album=ok|"},
        // trimmed size digits are still a size
        {"LYRICSBEGINETT00001T   20 LYRICS200", false, "Title=T|"},
    };
    // clang-format on
    for (const auto& [block, v1, fields] : blocks)
        rows.push_back({Audio + block + (v1 ? V1 : ""), block.size() + (v1 ? 128 : 0),
                        (v1 ? V1Read : NoV1) +
                            "Lyrics:Valid=1|Size=" + std::to_string(block.size()) + "|" + fields});
    const std::string only = LyricsBlock(LyricsField("EAL", "x"));
    rows.push_back({only, only.size(),
                    NoV1 + "Lyrics:Valid=1|Size=" + std::to_string(only.size()) + "|Album=x|"});
    // Damaged blocks are no block: neither read nor cut with the ID3v1 tag.
    // clang-format off
    for (const char* block : {
             "LYRICSBEGINETT00001T999999LYRICS200", "LYRICSBEGINETT00001T000999LYRICS200",
             "LYRICSBEGINETT00001T000030LYRICS200", "LYRICSBEGINETT00001T00002xLYRICS200",
             "LYRICSBEGINETT00001T000000LYRICS200", "LYRICSBEGINETT00001T000010LYRICS200",
             "LYRICSBEGINETT00001T00-020LYRICS200", "LYRICSBEGINETT00001T0x0020LYRICS200",
             "LYRICSBEGIXETT00001T000020LYRICS200", "LYRICSBEGINETT00001T000020LYRICS201"})
        rows.push_back({AudioBytes(20) + block + V1, 128, V1Read});
    // clang-format on
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Bytes.substr(row.Bytes.size() > 200 ? row.Bytes.size() - 200 : 0));
        const bool read = ReadBytes(row.Bytes);
        EXPECT_EQ(Summary(read), row.Expected);
        EXPECT_EQ(GetID3v1Size(File), static_cast<int32_t>(row.TagBytes));
        EXPECT_TRUE(Tag->Remove(File));
        EXPECT_EQ(ReadFile(File), row.Bytes.substr(0, row.Bytes.size() - row.TagBytes));
        EXPECT_EQ(Reread(), NoV1);
    }
    const std::string missing = Dir.Path("missing.mp3");
    EXPECT_EQ(Summary(Tag->Read(missing)), "Read=0|Valid=0|Size=0|");
    EXPECT_EQ(GetID3v1Size(missing), 0);
    EXPECT_FALSE(Tag->Save(missing));
    EXPECT_FALSE(Tag->Remove(missing));
    EXPECT_FALSE(std::filesystem::exists(missing));
}

// Every row reads the file, sets the fields (L + field: on the block the ID3v1 object owns),
// saves and gives the whole tail; an empty After: the save is refused and nothing changes.
TEST_F(TTrailingFixture, WritingTails) {
    constexpr int L = 100; // LyricsOf + field
    struct TRow {
        bool LyricsAlone; // a stand-alone Lyrics3 object instead of the ID3v1 one
        std::string Before;
        std::vector<std::pair<int, std::string>> Fields;
        std::string After;
    };
    const std::string abc = "LYRICSBEGININD0000200ETT00003Abc000032LYRICS200";
    const std::string c30 = "123456789012345678901234567890", x99999(99999, 'x');
    auto genre = [](uint8_t g) { return ID3v1Tag("", "", "", "", "", g); };
    const std::string block210 =
        LyricsBlock("IND0000210" + LyricsField("EAR", "Someone") + LyricsField("LYR", "la\r\nla"));
    // clang-format off
    const TRow rows[] = {
        // with a track the comment is cut to 28 bytes, the rest to their room
        {false, "", {{tfTitle, "A title that is longer than thirty bytes"}, {tfArtist, "Artist"},
                     {tfYear, "20241"}, {tfComment, c30}, {tfTrack, "12"}, {tfGenre, "Jazz"}},
         ID3v1Tag("A title that is longer than th", "Artist", "", "2024",
                  c30.substr(0, 28) + '\0' + '\x0C', 8)},
        // track 0, letters or 256 write the first layout; 7/12 is 7; 268 and -1 keep the low byte
        {false, "", {{tfComment, c30}, {tfTrack, "0"}}, ID3v1Tag("", "", "", "", c30, 255)},
        {false, "", {{tfComment, c30}, {tfTrack, "abc"}}, ID3v1Tag("", "", "", "", c30, 255)},
        {false, "", {{tfComment, c30}, {tfTrack, "256"}}, ID3v1Tag("", "", "", "", c30, 255)},
        {false, "", {{tfTrack, "7/12"}}, ID3v11Tag("", "", 7, 255)},
        {false, "", {{tfTrack, "268"}}, ID3v11Tag("", "", 12, 255)},
        {false, "", {{tfTrack, "-1"}}, ID3v11Tag("", "", 255, 255)},
        {false, "", {{tfTitle, "Caf\xC3\xA9"}, {tfArtist, "Bj\xC3\xB6rk"}},
         ID3v1Tag("Caf\xE9", "Bj\xF6rk", "", "", "", 255)},
        // a genre is a name in any case or a number; anything else is none
        {false, "", {{tfGenre, "rock & roll"}}, genre(78)},
        {false, "", {{tfGenre, "SYNTHPOP"}}, genre(147)},
        {false, "", {{tfGenre, "17"}}, genre(17)},
        {false, genre(17), {{tfGenre, "Polka Metal"}}, genre(255)},
        {false, genre(17), {{tfGenre, "148"}}, genre(255)},
        {false, genre(17), {{tfGenre, ""}}, genre(255)},
        // a changed field replaces the tag, the others stay; so does an unchanged block
        {false, ID3v1Tag("Old", "Old", "Old", "1990", "old", 3), {{tfTitle, "New"}},
         ID3v1Tag("New", "Old", "Old", "1990", "old", 3)},
        {false, block210 + ID3v1Tag("T"), {{tfTitle, "Changed"}}, block210 + ID3v1Tag("Changed")},
        // the block the ID3v1 object holds is written before its tag
        {false, "", {{tfTitle, "T"}, {L + tfTitle, "Abc"}},
         abc + ID3v1Tag("T", "", "", "", "", 255)},
        {true, V1, {{tfTitle, "Abc"}}, abc + V1},
        {true, "", {{tfTitle, "Abc"}}, abc},
        // every field in the order of writing, not trimmed; the year is no Lyrics3 field
        {true, Block200 + V1, {{tfTitle, " T "}, {tfArtist, "Ar"}, {tfAlbum, "Al"},
                               {tfComment, "Co"}, {tfComposer, "Au"}, {tfLyrics, "l1\r\nl2"},
                               {tfImage, "p.jpg||x||"}, {tfYear, "2000"}},
         LyricsBlock("IND0000210" + LyricsField("EAL", "Al") + LyricsField("EAR", "Ar") +
                     LyricsField("ETT", " T ") + LyricsField("INF", "Co") +
                     LyricsField("AUT", "Au") + LyricsField("LYR", "l1\r\nl2") +
                     LyricsField("IMG", "p.jpg||x||")) + V1},
        // blank fields write no block; Latin-1 is written back as it was read
        {true, Block200 + V1, {{tfTitle, ""}, {tfArtist, ""}, {tfLyrics, "  \r\n "}}, V1},
        {true, LyricsBlock(LyricsField("ETT", "Gr\xFC\xDF")) + V1, {{tfComment, ""}},
         LyricsBlock("IND0000200" + LyricsField("ETT", "Gr\xFC\xDF")) + V1},
        // 99999 bytes is the largest value: a longer one is refused
        {true, Block200 + V1, {{tfArtist, ""}, {tfTitle, ""}, {tfLyrics, x99999}},
         LyricsBlock("IND0000210" + LyricsField("LYR", x99999)) + V1},
        {true, Block200 + V1, {{tfLyrics, x99999 + "x"}}, ""},
        {false, V1, {{L + tfLyrics, x99999 + "x"}}, ""},
    };
    // clang-format on
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Before.size());
        WriteFile(File, Audio + row.Before);
        TRef<TTagBase> alone = CreateTag(tkID3v1Lyrics);
        TTagBase* tag = row.LyricsAlone ? alone.Get() : Tag.Get();
        TTagBase* lyrics = row.LyricsAlone ? tag : Tag->LyricsTag();
        ASSERT_TRUE(tag->Read(File));
        for (const auto& [id, value] : row.Fields)
            (id >= L ? lyrics : tag)->SetField(id % L, value);
        EXPECT_EQ(tag->Save(File), !row.After.empty());
        EXPECT_TRUE(ReadFile(File) == Audio + (row.After.empty() ? row.Before : row.After));
        // The block object now stands for the block written: all of the tail but an ID3v1 tag.
        const size_t end = row.After.size() < 128 ? 0 : row.After.size() - 128;
        if (!row.After.empty()) {
            EXPECT_EQ(
                lyrics->Size,
                static_cast<int32_t>(row.After.find("TAG", end) == end ? end : row.After.size()));
        }
    }
    // The stand-alone object removes its block alone, and the ID3v1 tag stays.
    TRef<TTagBase> lyrics = CreateTag(tkID3v1Lyrics);
    WriteFile(File, Audio + Block200 + V1);
    ASSERT_TRUE(lyrics->Read(File));
    ASSERT_TRUE(lyrics->Remove(File));
    EXPECT_FALSE(lyrics->Valid);
    EXPECT_EQ(ReadFile(File), Audio + V1);
    EXPECT_TRUE(lyrics->Remove(File));
    EXPECT_EQ(ReadFile(File), Audio + V1);
}

TEST_F(TTrailingFixture, TagReport) {
    ASSERT_TRUE(ReadBytes(Audio + ID3v11Tag("Song", "Note", 5, 13)));
    EXPECT_EQ(TagReportText(*Tag, "a.mp3"),
              "File: a.mp3\r\nTag type: ID3v1\r\nTag size: 128\r\nVersion: 2\r\nTrack: "
              "5\r\nTitle: Song\r\nArtist: \r\nAlbum: \r\nYear: \r\nComment: Note\r\nGenre: "
              "Pop\r\n");
    TStringOutput none;
    WriteFile(File, Audio);
    EXPECT_FALSE(ShowTagReport(none, *Tag, File, true));
    EXPECT_EQ(none.Text, "");
}

TEST_F(TTrailingFixture, MutagenAndFfprobeReadWhatWeWrote) {
    REQUIRE_TOOL("lame");
    REQUIRE_TOOL("ffprobe");
    std::string wav = Dir.Path("s.wav");
    WriteFile(wav, PcmWav(1, 44100, 16, 44100));
    ASSERT_EQ(testsupport::Run("lame --silent -b 128 " + Quote(wav) + " " + Quote(File)), 0);
    const std::string audio = ReadFile(File);
    const std::string tag = ID3v1Tag("Caf\xE9 Song", "The Artist", "An Album", "2003",
                                     Padded("A comment", 28) + '\0' + '\x09', 8);
    Tag->ParseTag(tag);
    ASSERT_TRUE(Tag->Save(File));
    EXPECT_TRUE(ReadFile(File) == audio + tag);
    std::string out;
    std::string script = "import mutagen.id3 as i; t = i.ID3(" + Quote(File) +
                         "); print('|'.join(str(t[k]) for k in "
                         "('TIT2','TPE1','TALB','TDRC','COMM:ID3v1 Comment:eng','TRCK','TCON')))";
    ASSERT_EQ(testsupport::Run("/usr/bin/python3 -c " + Quote(script), &out), 0);
    EXPECT_EQ(out, "Café Song|The Artist|An Album|2003|A comment|9|Jazz\n");
    // ffprobe passes ID3v1 bytes through as UTF-8, so only ASCII fields are compared with it.
    EXPECT_EQ(Probe(File, "format_tags", "album") + Probe(File, "format_tags", "artist") +
                  Probe(File, "format_tags", "track") + Probe(File, "format_tags", "genre"),
              "An AlbumThe Artist9Jazz");
    ASSERT_TRUE(Tag->Remove(File));
    EXPECT_TRUE(ReadFile(File) == audio);
}
