// The 128-byte ID3v1 tag (1.0, 1.1) and the Lyrics3 v2.00 block before it; mutagen reads ours.
#include "tags/TagID3v1.h"
#include "TagFileFixture.h"

#include <filesystem>
#include <tuple>

using namespace audiolens;
using namespace testsupport;
using namespace std::string_literals;

namespace {

struct TTrailingFixture : TTagFileFixture<TTagID3v1> {
    const std::string Audio = Noise(1000);
    // The ID3v1 tag and, when there, the fields of the Lyrics3 block it owns.
    std::string Summary(bool read) const {
        const std::string s = TagSummary(read, *Tag), l = TagSummary(true, *Tag->LyricsTag());
        return s + (Tag->LyricsTag()->Valid ? "Lyrics:" + l.substr(l.find('|', 20) + 1) : "");
    }
};

const std::string V1 = ID3v1Tag("V1", "", "", "", "", 255);
const std::string V1Read = "Read=1|Valid=1|Size=128|Title=V1|Version=1|";
const std::string NoV1 = "Read=1|Valid=0|Size=0|";
const std::string Block = LyricsBlock("IND0000200EAR00002ArETT00001T"); // an artist, a title

} // namespace

// Every row: bytes kept, the tail GetID3v1Size counts and Remove cuts, and the summary read.
TEST_F(TTrailingFixture, ReadingSizingAndRemoving) {
    const std::string A = Audio, B = "Read=1|Valid=1|Size=128|", cc(28, 'c');
    const std::string blockV1 = V1Read + "Lyrics:"; // a Lyrics3 block before the ID3v1 tag
    const std::string c30 = "abcdefghijklmnopqrstuvwxyz0123", c28 = c30.substr(0, 28);
    // clang-format off
    std::vector<std::tuple<std::string, std::string, std::string>> rows = {
        {A, "", NoV1}, {"", "", NoV1}, {"LYRICS200", "", NoV1}, {"000020LYRICS200", "", NoV1},
        {ID3v1Tag("T").substr(0, 127), "", NoV1}, // too short to be a tag
        {"", ID3v1Tag("Only", "", "", "", "", 255), B + "Title=Only|Version=1|"},
        // 1.0 keeps all thirty comment bytes; a zero mark before a zero track is 1.0 too
        {A, ID3v1Tag("Ti", "Ar", "Al", "1999", c30, 17),
         B + "Title=Ti|Artist=Ar|Album=Al|Year=1999|Comment=" + c30 + "|Genre=Rock|Version=1|"},
        {A, ID3v1Tag("T", "", "", "", "short"), B + "Title=T|Comment=short|Genre=Blues|Version=1|"},
        // 1.1: a track and 28 comment bytes; track 255 is a track, genres 255 and 148 none
        {A, ID3v1Tag("T", "", "", "", c28, 147, 12),
         B + "Track=12|Title=T|Comment=" + c28 + "|Genre=Synthpop|Version=2|"},
        {A, ID3v1Tag("T", "", "", "", "c", 255, 255), B + "Track=255|Title=T|Comment=c|Version=2|"},
        // a space mark before a non-space is 1.1 ('7' is track 55); spaces all the way are 1.0
        {A, ID3v1Tag("T", "", "", "", cc + " 7", 1),
         B + "Track=55|Title=T|Comment=" + cc + "|Genre=Classic Rock|Version=2|"},
        {A, ID3v1Tag("T", "", "", "", Padded("cc", 30, ' '), 148),
         B + "Title=T|Comment=cc|Version=1|"},
        // trailing padding and control bytes go, leading spaces stay, a zero ends a field; Latin-1
        {A, ID3v1Tag(Padded("  Lead \t\x01 \0 \0"s, 30, ' '), "Bj\xF6rk\0x"s, "Caf\xE9"),
         B + "Title=  Lead|Artist=Bj\xC3\xB6rk|Album=Caf\xC3\xA9|Genre=Blues|Version=1|"},
        // Lyrics3 blocks: every field id, trimmed, line breaks made CR LF, the image as it is
        {"", LyricsBlock("EAL00001x"), NoV1 + "Lyrics:Album=x|"},
        {A, LyricsBlock(LyricsField("IND", "11") + LyricsField("EAL", " Album ") +
             LyricsField("EAR", "\tArtist\r\n") + LyricsField("ETT", "  T\xFC") +
             LyricsField("INF", "Info  ") + LyricsField("AUT", " Writer") +
             LyricsField("LYR", "\r\n[00:01]a\rb\r\n\nc\n\rd\r\n") +
             LyricsField("IMG", " a.jpg||pic||[00:00] ")) + V1,
         blockV1 + "Title=T\xC3\xBC|Artist=Artist|Album=Album|Comment=Info|Composer=Writer|"
         "Lyrics=[00:01]a\r\nb\r\nc\n\r\nd|Image= a.jpg||pic||[00:00] |"},
        // an empty field is passed over; an unknown id, a size past the block or a header cut
        // short ends the walk; signs and spaces in a size are 0, trimmed size digits a size
        {A, LyricsBlock("ETT00000" + LyricsField("EAR", "Before") + LyricsField("XYZ", "junk") +
                        LyricsField("EAL", "x")) + V1, blockV1 + "Artist=Before|"},
        {A, LyricsBlock("EAR00004KeptETT99999short") + V1, blockV1 + "Artist=Kept|"},
        {A, LyricsBlock(LyricsField("EAL", "x") + "ETT00") + V1, blockV1 + "Album=x|"},
        {A, LyricsBlock("ETT 0004EAR-0004" + LyricsField("EAL", "ok")) + V1, blockV1 + "Album=ok|"},
        {A, "LYRICSBEGINETT00001T   20 LYRICS200", NoV1 + "Lyrics:Title=T|"},
    };
    // Damaged blocks are no block: neither read nor cut with the ID3v1 tag.
    for (const char* block : {
             "LYRICSBEGINETT00001T000999LYRICS200", "LYRICSBEGINETT00001T000030LYRICS200",
             "LYRICSBEGINETT00001T00002xLYRICS200", "LYRICSBEGINETT00001T000010LYRICS200",
             "LYRICSBEGIXETT00001T000020LYRICS200", "LYRICSBEGINETT00001T000020LYRICS201"})
        rows.push_back({Noise(20) + block, V1, V1Read});
    // clang-format on
    for (const auto& [kept, tail, expected] : rows) {
        SCOPED_TRACE(expected);
        EXPECT_EQ(Summary(ReadBytes(kept + tail)), expected);
        EXPECT_EQ(GetID3v1Size(File), static_cast<int32_t>(tail.size()));
        EXPECT_EQ(Tag->Size + Tag->LyricsTag()->Size, static_cast<int32_t>(tail.size()));
        EXPECT_TRUE(Tag->Remove(File) && ReadFile(File) == kept);
        EXPECT_EQ(Summary(Tag->Read(File)), NoV1);
    }
    const std::string missing = Dir.Path("missing.mp3");
    EXPECT_EQ(Summary(Tag->Read(missing)), "Read=0|Valid=0|Size=0|");
    EXPECT_EQ(GetID3v1Size(missing), 0);
    EXPECT_FALSE(Tag->Save(missing) || Tag->Remove(missing) || std::filesystem::exists(missing));
}

// Every row reads audio and a tail, sets the fields (L + field: on the block the ID3v1 object
// owns, or on a stand-alone Lyrics3 object if all are) and saves the tail; "": refused.
TEST_F(TTrailingFixture, Writing) {
    constexpr int L = 100;
    const std::string abc = "LYRICSBEGININD0000200ETT00003Abc000032LYRICS200";
    const std::string c30 = "123456789012345678901234567890", x99999(99999, 'x');
    auto v1 = [](auto c, uint8_t g, int t = -1) { return ID3v1Tag("", "", "", "", c, g, t); };
    const std::string block210 =
        LyricsBlock("IND0000210" + LyricsField("EAR", "Someone") + LyricsField("LYR", "la\r\nla"));
    // clang-format off
    const std::tuple<std::string, std::vector<std::pair<int, std::string>>, std::string> rows[] = {
        // with a track the comment is cut to 28 bytes, the rest to their room; Latin-1
        {"", {{tfTitle, "A title that is longer than thirty bytes"}, {tfYear, "20241"},
              {tfArtist, "Bj\xC3\xB6rk"}, {tfAlbum, "Caf\xC3\xA9"}, {tfComment, c30},
              {tfTrack, "12"}, {tfGenre, "Jazz"}},
         ID3v1Tag("A title that is longer than th", "Bj\xF6rk", "Caf\xE9", "2024", c30, 8, 12)},
        // letters or 256 are no track, 7/12 is 7, -1 its low byte; genres by name or number
        {"", {{tfComment, c30}, {tfTrack, "abc"}, {tfGenre, "rock & roll"}}, v1(c30, 78)},
        {"", {{tfComment, c30}, {tfTrack, "256"}, {tfGenre, "17"}}, v1(c30, 17)},
        {v1("", 17), {{tfTrack, "7/12"}, {tfGenre, "Polka Metal"}}, v1("", 255, 7)},
        {v1("", 17), {{tfTrack, "-1"}, {tfGenre, "148"}}, v1("", 255, 255)},
        // a changed field replaces the tag, the others stay; so does an unchanged block
        {ID3v1Tag("Old", "Old", "Old", "1990", "old", 3), {{tfTitle, "New"}},
         ID3v1Tag("New", "Old", "Old", "1990", "old", 3)},
        {block210 + ID3v1Tag("T"), {{tfTitle, "Changed"}}, block210 + ID3v1Tag("Changed")},
        // the block the ID3v1 object holds is written before its tag
        {"", {{tfTitle, "T"}, {L + tfTitle, "Abc"}}, abc + ID3v1Tag("T", "", "", "", "", 255)},
        {V1, {{L + tfTitle, "Abc"}}, abc + V1},
        {"", {{L + tfTitle, "Abc"}}, abc},
        // in the order of writing, not trimmed; the year is no Lyrics3 field
        {V1, {{L + tfTitle, " T "}, {L + tfComposer, "Au"}, {L + tfLyrics, "l1\r\nl2"},
              {L + tfImage, "p.jpg||x||"}, {L + tfYear, "2000"}},
         LyricsBlock("IND0000210" + LyricsField("ETT", " T ") + LyricsField("AUT", "Au") +
                     LyricsField("LYR", "l1\r\nl2") + LyricsField("IMG", "p.jpg||x||")) + V1},
        // blank fields write no block; Latin-1 is written back as it was read
        {Block + V1, {{L + tfTitle, ""}, {L + tfArtist, ""}, {L + tfLyrics, " \r\n "}}, V1},
        {LyricsBlock(LyricsField("ETT", "Gr\xFC\xDF")) + V1, {{L + tfComment, ""}},
         LyricsBlock("IND0000200" + LyricsField("ETT", "Gr\xFC\xDF")) + V1},
        // 99999 bytes is the largest value: a longer one is refused
        {Block + V1, {{L + tfArtist, ""}, {L + tfTitle, ""}, {L + tfLyrics, x99999}},
         LyricsBlock("IND0000210" + LyricsField("LYR", x99999)) + V1},
        {Block + V1, {{L + tfLyrics, x99999 + "x"}}, ""},
        {V1, {{tfTitle, "T"}, {L + tfLyrics, x99999 + "x"}}, ""},
    };
    // clang-format on
    for (const auto& [before, fields, after] : rows) {
        SCOPED_TRACE(before.size());
        WriteFile(File, Audio + before);
        const bool alone = std::ranges::all_of(fields, [](auto& f) { return f.first >= L; });
        TRef<TTagBase> stand = CreateTag(tkID3v1Lyrics);
        TTagBase *tag = alone ? stand.Get() : Tag.Get(), *lyrics = alone ? tag : Tag->LyricsTag();
        ASSERT_TRUE(tag->Read(File));
        for (const auto& [id, value] : fields)
            (id >= L ? lyrics : tag)->SetField(id % L, value);
        EXPECT_EQ(tag->Save(File), !after.empty());
        EXPECT_TRUE(ReadFile(File) == Audio + (after.empty() ? before : after));
        // The block object now stands for the block written: all of the tail but an ID3v1 tag.
        if (after.empty()) continue;
        const size_t end = after.size() < 128 ? 0 : after.size() - 128;
        EXPECT_EQ(size_t(lyrics->Size), after.find("TAG", end) == end ? end : after.size());
    }
    // The stand-alone object removes its block alone, and the ID3v1 tag stays.
    TRef<TTagBase> lyrics = CreateTag(tkID3v1Lyrics);
    WriteFile(File, Audio + Block + V1);
    ASSERT_TRUE(lyrics->Read(File) && lyrics->Remove(File));
    EXPECT_TRUE(!lyrics->Valid && lyrics->Remove(File));
    EXPECT_EQ(ReadFile(File), Audio + V1);
}

// mutagen's reading of a tag written over audio; Remove leaves the audio.
TEST_F(TTrailingFixture, MutagenReadsWhatWeWrote) {
    REQUIRE_TOOL("/usr/bin/python3");
    const std::string tag =
        ID3v1Tag("Caf\xE9 Song", "The Artist", "An Album", "2003", "A comment", 8, 9);
    WriteFile(File, Audio);
    Tag->ParseTag(tag);
    ASSERT_TRUE(Tag->Save(File));
    EXPECT_TRUE(ReadFile(File) == Audio + tag);
    EXPECT_EQ(Python("import mutagen.id3 as i; t = i.ID3(sys.argv[1]); print(*(t[k] for k in "
                     "'TIT2,TPE1,TALB,TDRC,COMM:ID3v1 Comment:eng,TRCK,TCON'.split(',')), sep='|')",
                     File),
              "Café Song|The Artist|An Album|2003|A comment|9|Jazz\n");
    ASSERT_TRUE(Tag->Remove(File));
    EXPECT_TRUE(ReadFile(File) == Audio);
}
