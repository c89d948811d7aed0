// APE 1000/2000 tags built byte by byte: read, removed, damaged, saved; mutagen's and ours swapped.
#include "tags/TagAPE.h"
#include "TagFileFixture.h"

#include <random>
#include <tuple>

using namespace audiolens;
using namespace testsupport;
using namespace std::string_literals;

namespace {

using TAPEFixture = TTagFileFixture<TTagAPE>;

std::string Sized(const std::string& body, uint32_t count, uint32_t flags = 0) {
    return body + APEFooter(2000, static_cast<uint32_t>(body.size() + 32), count, flags);
}

const std::string V1 = ID3v1Tag("V1");
const std::string Lyrics300 = LyricsBlock(LyricsField("LYR", std::string(300 - 34, 'l')));

} // namespace

// Every row: a tag, the bytes around it that Remove leaves, its fields; Refused: Remove and Save.
TEST_F(TAPEFixture, ReadingAndRemoving) {
    struct TRow {
        std::string Before, Tag, After, Fields;
        bool Refused = false;
    };
    const std::string A = Noise(1000), missing = Dir.Path("missing.mp3");
    // clang-format off
    const std::string full = APETag(2000, {APEItem("Title", "Song"), APEItem("ARTIST", "Band"),
        APEItem("album", "Record"), APEItem("Track", "3/12"), APEItem("Year", "1999"),
        APEItem("Genre", "Rock"), APEItem("Comment", "Nice"), APEItem("Copyright", "(c) Me"),
        APEItem("Composer", "x")}, true), x = APEItem("Title", "X");
    const std::string behind = APETag(2000, {APEItem("Title", "Behind")});
    const std::string longValue = std::string(249, 'a') + "b\xC3\xA9" + std::string(4000, 'c');
    const std::string two = APEItem("Title", "One") + APEItem("Artist", "Two");
    std::vector<TRow> rows = {
        {A, "", "", ""}, {"short", "", "", ""},
        // 2000 with header and footer, keys in any case, in front of an ID3v1 tag
        {A, full, V1, "Track=3|Title=Song|Artist=Band|Album=Record|Year=1999|Comment=Nice|"
                      "Genre=Rock|Copyright=(c) Me|Version=2000|"},
        {A, behind, Lyrics300 + V1, "Title=Behind|Version=2000|"},
        // values are read whole; 2000 is UTF-8 (bad bytes become U+FFFD), 1000 taken as it is
        {"", APETag(2000, {APEItem("Comment", longValue), APEItem("Title", "caf\xC3\xA9"),
                           APEItem("Artist", "bad\xE9")}), "",
         "Title=caf\xC3\xA9|Artist=bad\xEF\xBF\xBD|Comment=" + longValue + "|Version=2000|"},
        {A, APETag(1000, {APEItem("Title", "\xC3\xA9"), APEItem("Track", "7"),
                          APEItem("Artist", "x\xE9")}), "",
         "Track=7|Title=\xC3\xA9|Artist=x\xE9|Version=1000|"},
        // keys and values trimmed, values end at zero, a later item wins, flags not interpreted
        {"", APETag(2000, {APEItem(" title\t", "  Two\0Values  "s), APEItem("Album", "  A  "),
                           APEItem("Album", "Later"), APEItem("Year", "2001", 1)}), "",
         "Title=Two|Album=Later|Year=2001|Version=2000|"},
        // a count too large stops at the footer, a negative one reads none; so does an item past it
        {A, Sized(two, 0x7FFFFFFF), "", "Title=One|Artist=Two|Version=2000|"},
        {"", Sized(two, 0xFFFFFFFF), "", "Version=2000|"},
        {A, Sized(APEItem("Artist", "First") + LE32(0x80000000u) + LE32(0) + "Title\0Short"s +
                  APEItem("Album", "Never"), 3), "", "Artist=First|Version=2000|"},
        {"", Sized(APEItem("Title", "Kept") + LE32(4) + LE32(0) + std::string(600, 'K'), 2), "",
         "Title=Kept|Version=2000|"},
        {A + behind + "junk" + V1, "", "", ""}, // something between footer and ID3v1 hides the tag
        {A, Sized(x, 1, APEHasHeader), "", "Title=X|Version=2000|", true}, // header missing
    };
    // clang-format on
    for (uint32_t size : {0x7FFFFFF0u, 0xFFFFFFF0u, static_cast<uint32_t>(x.size() + 33), 31u, 0u})
        rows.push_back({x + APEFooter(2000, size, 1), "", "", "", true}); // sizes past the file
    for (const auto& [before, tag, after, fields, refused] : rows) {
        SCOPED_TRACE(fields);
        const std::string bytes = before + tag + after;
        const size_t size = tag.size() - (tag.starts_with("APETAGEX") ? 32 : 0); // no header
        ASSERT_TRUE(ReadBytes(Noise(10) + APETag(2000, {APEItem("Genre", "Earlier")})));
        EXPECT_EQ(TagSummary(ReadBytes(bytes), *Tag), "Read=1|Valid=" + std::to_string(size > 0) +
                                                          "|Size=" + std::to_string(size) + "|" +
                                                          fields);
        EXPECT_EQ(Tag->Remove(File), !refused);
        EXPECT_TRUE(ReadFile(File) == (refused ? bytes : before + after));
        if (!refused) continue;
        Tag->SetField(tfTitle, "New");
        EXPECT_TRUE(!Tag->Save(File) && ReadFile(File) == bytes);
    }
    EXPECT_FALSE(Tag->Read(missing) || Tag->Remove(missing) || Tag->Save(missing));
    TTagRec rec;
    WriteFile(File, A + behind + Lyrics300 + V1); // Lyrics3 (300) and ID3v1 (128) behind the tag
    EXPECT_TRUE(ReadFooter(File, rec) && rec.TagID == "APETAGEX" && rec.DataShift == 300u + 128u);
}

// Random damage to the sizes of header and footer (sometimes any byte): Remove either refuses
// and changes nothing or leaves the audio in front and the ID3v1 tag behind whole.
TEST_F(TAPEFixture, RandomDamageNeverCutsTheAudio) {
    const std::string audio = Noise(300);
    const std::string tag = APETag(
        2000, {APEItem("Title", "Random"), APEItem("Artist", "Damage"), APEItem("Year", "1")},
        true);
    std::mt19937 random(20240607);
    for (int round = 0; round < 200; ++round) {
        std::string damaged = tag;
        for (int hits = 1 + static_cast<int>(random() % 4); hits > 0; --hits)
            damaged[random() % 2 ? random() % damaged.size()
                                 : damaged.size() - 24 + random() % 16] =
                static_cast<char>(random());
        WriteFile(File, audio + damaged + V1);
        Tag->Read(File);
        const bool removed = Tag->Remove(File);
        const std::string after = ReadFile(File);
        ASSERT_TRUE(after.starts_with(audio) &&
                    (removed ? after.size() >= audio.size() + V1.size() && after.ends_with(V1)
                             : after == audio + damaged + V1))
            << round;
    }
}

TEST_F(TAPEFixture, Saving) {
    const std::string A = Noise(4096), trailing = Lyrics300 + V1, c2000(2000, 'c');
    auto v2 = [](std::vector<std::string> items, bool h = true) { return APETag(2000, items, h); };
    // clang-format off
    const std::tuple<std::string, std::vector<std::pair<int, std::string>>, std::string> rows[] = {
        // version 2000, header and footer, no closing zero, items in the order of the keys
        {"", {{tfCopyright, "Cr"}, {tfComment, "C"}, {tfGenre, "Jazz"}, {tfYear, "2024"},
              {tfTrack, "3/12"}, {tfAlbum, "Al"}, {tfArtist, "Ar"}, {tfTitle, "T"},
              {tfComposer, "not an APE field"}},
         v2({APEItem("Title", "T"), APEItem("Artist", "Ar"), APEItem("Album", "Al"),
             APEItem("Track", "3/12"), APEItem("Year", "2024"), APEItem("Genre", "Jazz"),
             APEItem("Comment", "C"), APEItem("Copyright", "Cr")})},
        // a shorter tag in front of Lyrics3 and ID3v1; the item not changed stays as it was
        {v2({APEItem("Title", std::string(500, 'o')), APEItem("ARTIST", "Old\0x"s)}, false) +
             trailing, {{tfTitle, "New"}},
         v2({APEItem("Title", "New"), APEItem("ARTIST", "Old\0x"s)}) + trailing},
        // a longer one: the file grows; an emptied field loses all its items
        {v2({APEItem("Title", "T"), APEItem("Artist", "Old"), APEItem("title", "2")}) + trailing,
         {{tfComment, c2000}, {tfTitle, ""}},
         v2({APEItem("Artist", "Old"), APEItem("Comment", c2000)}) + trailing},
        // a duplicate item of a changed field goes; no field: no tag
        {v2({APEItem("Title", "T"), APEItem("Artist", "A"), APEItem("TITLE", "2")}, false),
         {{tfTitle, "New"}}, v2({APEItem("Title", "New"), APEItem("Artist", "A")})},
        {v2({APEItem("Title", "T")}) + V1, {{tfTitle, ""}}, V1},
    };
    // clang-format on
    for (const auto& [before, fields, after] : rows) {
        ASSERT_TRUE(ReadBytes(A + before));
        Set(fields);
        ASSERT_TRUE(Tag->Save(File));
        EXPECT_TRUE(ReadFile(File) == A + after);
    }
}

TEST_F(TAPEFixture, ReadsWhatMutagenWritesAndMutagenReadsWhatWeWrite) {
    REQUIRE_TOOL("/usr/bin/python3");
    const std::string audio = Noise(5000);
    WriteFile(File, audio);
    Python("import mutagen.apev2 as a; t = a.APEv2(); t['Title'] = '\\u00c9t\\u00e9 \\u266b'\n"
           "t['Artist'] = 'Bj\\u00f6rk'; t['Track'] = '4/9'; t['Year'] = '2003'\n"
           "t['Cover Art (Front)'] = a.APEValue(b'x' * 1000, a.BINARY); t.save(sys.argv[1])",
           File);
    EXPECT_EQ(TagSummary(Tag->Read(File), *Tag),
              "Read=1|Valid=1|Size=" + std::to_string(ReadFile(File).size() - 5000 - 32) +
                  "|Track=4|Title=Été ♫|Artist=Björk|Year=2003|Version=2000|");
    ASSERT_TRUE(Tag->Remove(File));
    EXPECT_TRUE(ReadFile(File) == audio);
    WriteFile(File, audio + V1);
    Tag->Reset();
    Set({{tfTitle, "Café ♫"}, {tfAlbum, "Ålbum"}, {tfTrack, "5"}});
    ASSERT_TRUE(Tag->Save(File));
    EXPECT_EQ(Python("import mutagen.apev2 as a\n"
                     "print(sorted((k, str(v)) for k, v in a.APEv2(sys.argv[1]).items()))",
                     File),
              "[('Album', 'Ålbum'), ('Title', 'Café ♫'), ('Track', '5')]\n");
}
