// APE tag: byte-built v1/v2 tags read into one summary per row together with what removing them
// leaves (damaged sizes, ID3v1 and Lyrics3 behind them), writes compared byte for byte with the
// layout, and tags of mutagen, wavpack and mpcenc.
#include "tags/TagAPE.h"
#include "TagFileFixture.h"

#include <gtest/gtest.h>
#include <random>
#include <tuple>

using namespace audiolens;
using namespace testsupport;
using namespace std::string_literals;

namespace {

using TAPEFixture = TTagFileFixture<TTagAPE>;
using TFields = std::vector<std::pair<int, std::string>>;

std::string Size(const std::string& tag, bool header = false) {
    return "Size=" + std::to_string(tag.size() - (header ? 32 : 0)) + "|";
}

const std::string V1 = ID3v1Tag("V1");
// A Lyrics3 block of 300 bytes.
const std::string Lyrics300 = LyricsBlock(LyricsField("LYR", std::string(300 - 34, 'l')));

} // namespace

// Every row: the read, then Remove: the file without the tag, unchanged where there is none, and
// unchanged and refused (Save too) where sizes or header do not hold.
TEST_F(TAPEFixture, ReadingAndRemoving) {
    struct TRow {
        std::string Bytes, Expected;
        std::string Removed;  // the file after Remove
        bool Refused = false; // Remove and Save refuse; the file stays as it was
    };
    const std::string A = AudioBytes(1000), B = "Read=1|Valid=1|", None = "Read=1|Valid=0|Size=0|";
    // clang-format off
    const std::string full = APETag(2000, {APEItem("Title", "Song"), APEItem("ARTIST", "Band"),
        APEItem("album", "Record"), APEItem("Track", "3/12"), APEItem("Year", "1999"),
        APEItem("Genre", "Rock"), APEItem("Comment", "Nice"), APEItem("Copyright", "(c) Me"),
        APEItem("Composer", "x")}, true);
    const std::string behind = APETag(2000, {APEItem("Title", "Behind")});
    const std::string old = APETag(1000, {APEItem("Title", "Old"), APEItem("Track", "7")});
    const std::string longValue = std::string(249, 'a') + "b\xC3\xA9" + std::string(4000, 'c');
    const std::string whole = APETag(2000, {APEItem("Comment", longValue), APEItem("Title", "N")});
    const std::string utf8 =
        APETag(2000, {APEItem("Title", "caf\xC3\xA9"), APEItem("Artist", "bad\xE9")});
    const std::string asIs =
        APETag(1000, {APEItem("Title", "\xC3\xA9"), APEItem("Artist", "x\xE9")});
    const std::string trimmed = APETag(2000, {APEItem(" title\t", "  Two\0Values  "s),
        APEItem("Album", "  A  "), APEItem("Album", "Later"), APEItem("Year", "2001", 1)});
    auto sized = [](const std::string& body, uint32_t count, uint32_t flags = 0) {
        return body + APEFooter(2000, static_cast<uint32_t>(body.size() + 32), count, flags);
    };
    const std::string two = APEItem("Title", "One") + APEItem("Artist", "Two");
    const std::string hugeCount = sized(two, 0x7FFFFFFF), negativeCount = sized(two, 0xFFFFFFFF);
    const std::string longItem = sized(APEItem("Artist", "First") + LE32(0x80000000u) + LE32(0) +
                                       "Title\0Short"s + APEItem("Album", "Never"), 3);
    const std::string noZero =
        sized(APEItem("Title", "Kept") + LE32(4) + LE32(0) + std::string(600, 'K'), 2);
    const std::string noHeader = sized(APEItem("Title", "X"), 1, APEHasHeader);
    std::vector<TRow> rows = {
        {A, None, A},
        {"short", None, "short"},
        // 2000 with header and footer, keys in any case, in front of an ID3v1 tag
        {A + full + V1, B + Size(full, true) + "Track=3|Title=Song|Artist=Band|Album=Record|"
         "Year=1999|Comment=Nice|Genre=Rock|Copyright=(c) Me|Version=2000|", A + V1},
        {A + behind + Lyrics300 + V1, B + Size(behind) + "Title=Behind|Version=2000|",
         A + Lyrics300 + V1},
        {A + old, B + Size(old) + "Track=7|Title=Old|Version=1000|", A},
        // values are read whole; 2000 is UTF-8 (bad bytes become U+FFFD), 1000 taken as it is
        {whole, B + Size(whole) + "Title=N|Comment=" + longValue + "|Version=2000|", ""},
        {utf8, B + Size(utf8) + "Title=caf\xC3\xA9|Artist=bad\xEF\xBF\xBD|Version=2000|", ""},
        {asIs, B + Size(asIs) + "Title=\xC3\xA9|Artist=x\xE9|Version=1000|", ""},
        // keys and values trimmed, values end at zero, a later item wins, flags not interpreted
        {trimmed, B + Size(trimmed) + "Title=Two|Album=Later|Year=2001|Version=2000|", ""},
        // a count too large stops at the footer, a negative one reads no item; a value or a key
        // running past the tag ends the walk
        {A + hugeCount, B + Size(hugeCount) + "Title=One|Artist=Two|Version=2000|", A},
        {negativeCount, B + Size(negativeCount) + "Version=2000|", ""},
        {A + longItem, B + Size(longItem) + "Artist=First|Version=2000|", A},
        {noZero, B + Size(noZero) + "Title=Kept|Version=2000|", ""},
        // something between footer and ID3v1 hides the tag
        {A + behind + "junk" + V1, None, A + behind + "junk" + V1},
        // an announced header that is missing: 32 bytes of audio would go with it
        {A + noHeader, B + Size(noHeader) + "Title=X|Version=2000|", "", true},
    };
    // clang-format on
    const std::string x = APEItem("Title", "X"); // sizes the file cannot confirm
    for (uint32_t size : {0x7FFFFFF0u, 0xFFFFFFF0u, static_cast<uint32_t>(x.size() + 33), 31u, 0u})
        rows.push_back({x + APEFooter(2000, size, 1), None, "", true});
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Expected);
        ASSERT_TRUE(ReadBytes(AudioBytes(10) + APETag(2000, {APEItem("Genre", "Earlier")})));
        EXPECT_EQ(Summary(row.Bytes), row.Expected);
        EXPECT_EQ(Tag->Remove(File), !row.Refused);
        EXPECT_TRUE(ReadFile(File) == (row.Refused ? row.Bytes : row.Removed));
        if (!row.Refused) continue;
        Tag->SetField(tfTitle, "New");
        EXPECT_FALSE(Tag->Save(File));
        EXPECT_TRUE(ReadFile(File) == row.Bytes);
    }
    EXPECT_FALSE(Tag->Read(Dir.Path("missing.mp3")));
    EXPECT_FALSE(Tag->Remove(Dir.Path("missing.mp3")));
    EXPECT_FALSE(Tag->Save(Dir.Path("missing.mp3")));
    TTagRec rec;
    WriteFile(File, A + behind + Lyrics300 + V1);
    ASSERT_TRUE(ReadFooter(File, rec));
    EXPECT_EQ(rec.DataShift, 428u);
    EXPECT_EQ(rec.TagID, "APETAGEX");
}

TEST_F(TAPEFixture, RandomDamageNeverCutsTheAudio) {
    const std::string audio = AudioBytes(300);
    const std::string tag = APETag(
        2000, {APEItem("Title", "Random"), APEItem("Artist", "Damage"), APEItem("Year", "1")},
        true);
    std::mt19937 random(20240607);
    for (int round = 0; round < 200; ++round) {
        std::string damaged = tag;
        for (int hits = 1 + static_cast<int>(random() % 4); hits > 0; --hits) {
            // Mostly the size fields of header and footer, sometimes any byte.
            const size_t at =
                random() % 2 ? random() % damaged.size() : damaged.size() - 32 + 8 + random() % 16;
            damaged[at] = static_cast<char>(random());
        }
        WriteFile(File, audio + damaged + V1);
        Tag->Read(File);
        const bool removed = Tag->Remove(File);
        const std::string after = ReadFile(File);
        ASSERT_EQ(after.substr(0, audio.size()), audio) << round;
        if (removed) {
            ASSERT_GE(after.size(), audio.size() + V1.size()) << round;
            ASSERT_EQ(after.substr(after.size() - V1.size()), V1) << round;
        } else {
            ASSERT_EQ(after, audio + damaged + V1) << round;
        }
    }
}

// Every row reads the file, sets the fields and saves: the whole file is compared.
TEST_F(TAPEFixture, Saving) {
    const std::string A = AudioBytes(4096), trailing = Lyrics300 + V1;
    const std::string c2000(2000, 'c');
    // clang-format off
    const std::tuple<std::string, TFields, std::string> rows[] = {
        // one title: version 2000, header and footer, no closing zero
        {A, {{tfTitle, "Abc"}}, A + APETag(2000, {APEItem("Title", "Abc")}, true)},
        // every field: items in the order of the keys
        {A, {{tfCopyright, "Cr"}, {tfComment, "C"}, {tfGenre, "Jazz"}, {tfYear, "2024"},
             {tfTrack, "3/12"}, {tfAlbum, "Al"}, {tfArtist, "Ar"}, {tfTitle, "T"},
             {tfComposer, "not an APE field"}},
         A + APETag(2000, {APEItem("Title", "T"), APEItem("Artist", "Ar"), APEItem("Album", "Al"),
                           APEItem("Track", "3/12"), APEItem("Year", "2024"),
                           APEItem("Genre", "Jazz"), APEItem("Comment", "C"),
                           APEItem("Copyright", "Cr")}, true)},
        // a shorter tag in front of Lyrics3 and ID3v1; the item not changed stays as it was
        {A + APETag(2000, {APEItem("Title", std::string(500, 'o')), APEItem("ARTIST", "Old\0x"s)}) +
             trailing, {{tfTitle, "New"}},
         A + APETag(2000, {APEItem("Title", "New"), APEItem("ARTIST", "Old\0x"s)}, true) +
             trailing},
        // a longer one: the file grows; an emptied field loses all its items
        {A + APETag(2000, {APEItem("Title", "T"), APEItem("Artist", "Old"), APEItem("title", "2")},
                    true) + trailing, {{tfComment, c2000}, {tfTitle, ""}},
         A + APETag(2000, {APEItem("Artist", "Old"), APEItem("Comment", c2000)}, true) + trailing},
        // a duplicate item of a changed field goes
        {A + APETag(2000, {APEItem("Title", "T"), APEItem("Artist", "A"), APEItem("TITLE", "2")}),
         {{tfTitle, "New"}},
         A + APETag(2000, {APEItem("Title", "New"), APEItem("Artist", "A")}, true)},
        // no field: no tag
        {A + APETag(2000, {APEItem("Title", "T")}, true) + V1, {{tfTitle, ""}}, A + V1},
    };
    // clang-format on
    for (const auto& [before, fields, after] : rows) {
        ASSERT_TRUE(ReadBytes(before));
        Set(fields);
        ASSERT_TRUE(Tag->Save(File));
        EXPECT_TRUE(ReadFile(File) == after);
    }
}

// ---- other tools

TEST_F(TAPEFixture, ReadsWhatMutagenWritesAndMutagenReadsWhatWeWrite) {
    REQUIRE_TOOL("/usr/bin/python3");
    const std::string audio = AudioBytes(5000);
    WriteFile(File, audio);
    WriteFile(Dir.Path("w.py"), "import sys, mutagen.apev2 as a\n"
                                "t = a.APEv2()\n"
                                "t['Title'] = '\\u00c9t\\u00e9 \\u266b'\n"
                                "t['Artist'] = 'Bj\\u00f6rk'\n"
                                "t['Track'] = '4/9'\n"
                                "t['Cover Art (Front)'] = a.APEValue(b'x' * 1000, a.BINARY)\n"
                                "t['Year'] = '2003'\n"
                                "t.save(sys.argv[1])\n");
    ASSERT_EQ(testsupport::Run("/usr/bin/python3 " + Quote(Dir.Path("w.py")) + " " + Quote(File)),
              0);
    const std::string tagged = ReadFile(File);
    EXPECT_EQ(Summary(tagged), "Read=1|Valid=1|Size=" + std::to_string(tagged.size() - 5000 - 32) +
                                   "|Track=4|Title=Été ♫|Artist=Björk|Year=2003|Version=2000|");
    // mutagen writes a header and a binary item; the whole tag goes.
    ASSERT_TRUE(Tag->Remove(File));
    EXPECT_TRUE(ReadFile(File) == audio);

    WriteFile(File, audio + V1);
    Tag->Reset();
    Set({{tfTitle, "Café ♫"}, {tfAlbum, "Ålbum"}, {tfTrack, "5"}});
    ASSERT_TRUE(Tag->Save(File));
    std::string out;
    testsupport::Run("PYTHONIOENCODING=utf-8 /usr/bin/python3 -c \"import sys, mutagen.apev2 as a; "
                     "print(sorted((k, str(v)) for k, v in a.APEv2(sys.argv[1]).items()))\" " +
                         Quote(File),
                     &out);
    EXPECT_EQ(out, "[('Album', 'Ålbum'), ('Title', 'Café ♫'), ('Track', '5')]\n");
}

// Tags of encoders: read whole; our title saved over theirs keeps their other items and the
// audio (wvunpack checks its checksums); removed, the stream before the tag is what is left.
TEST_F(TAPEFixture, TagsOfWavPackAndMpcenc) {
    REQUIRE_TOOL("wvunpack");
    const std::string wav = Quote(Dir.Path("in.wav")), wv = Dir.Path("a.wv");
    WriteFile(Dir.Path("in.wav"), PcmWav(2, 44100, 16, 44100));
    // clang-format off
    const std::tuple<const char*, std::string, std::string, std::string, std::string> rows[] = {
        {"wavpack", "wavpack -q -y -w 'Title=Wave Title' -w 'Artist=Wave Artist' " + wav + " -o " +
             Quote(wv), wv, "|", "|Artist=Wave Artist|"},
        {"mpcenc", "mpcenc --silent --overwrite --artist 'Mpc Artist' --title 'Mpc Title' --tag "
             "'Year=2011' --track 2/5 " + wav + " " + Quote(Dir.Path("a.mpc")), Dir.Path("a.mpc"),
         "|Track=2|", "|Artist=Mpc Artist|Year=2011|"},
    };
    // clang-format on
    for (const auto& [tool, make, file, before, after] : rows) {
        if (!HaveTool(tool)) continue;
        ASSERT_EQ(testsupport::Run(make + " 2>/dev/null"), 0);
        const std::string bytes = ReadFile(File = file);
        const auto summary = [&](const std::string& title, int32_t size) {
            return "Read=1|Valid=1|Size=" + std::to_string(size) + before + "Title=" + title +
                   after + "Version=2000|";
        };
        ASSERT_TRUE(Tag->Read(File));
        const int32_t size = Tag->Size;
        EXPECT_EQ(TagSummary(true, *Tag),
                  summary(tool == "wavpack"s ? "Wave Title" : "Mpc Title", size));
        Tag->SetField(tfTitle, "Ours");
        ASSERT_TRUE(Tag->Save(File));
        EXPECT_EQ(Reread(), summary("Ours", size + 4 - (tool == "wavpack"s ? 10 : 9)));
        EXPECT_EQ(testsupport::Run("wvunpack -q -v " + Quote(wv) + " 2>/dev/null"), 0);
        ASSERT_TRUE(Tag->Remove(File));
        // Both tools write a header: header, items and footer go.
        EXPECT_TRUE(ReadFile(File) == bytes.substr(0, bytes.size() - size - 32));
    }
}
