// APE tag: byte-built v1/v2 tags, damaged sizes, in-place writing in front of ID3v1/Lyrics3,
// and cross-checks against mutagen and wavpack.
#include "tags/TagAPE.h"
#include "TagFileFixture.h"
#include "TestSupport.h"
#include "framework/Registry.h"
#include "framework/Reports.h"
#include "platform/FileService.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

using namespace audiolens;
using namespace testsupport;
using namespace std::string_literals;

namespace {

constexpr uint32_t HeaderPresent = 0x80000000u;
constexpr uint32_t IsHeader = 0x20000000u;

std::string Item(const std::string& key, const std::string& value, uint32_t flags = 0) {
    return LE32(static_cast<uint32_t>(value.size())) + LE32(flags) + key + '\0' + value;
}

std::string Footer(uint32_t version, uint32_t tagSize, uint32_t count, uint32_t flags = 0) {
    return "APETAGEX" + LE32(version) + LE32(tagSize) + LE32(count) + LE32(flags) + Zeros(8);
}

// A well-formed tag; the header, when asked for, carries the same sizes as the footer.
std::string ApeTag(uint32_t version, const std::vector<std::string>& items, bool header = false) {
    std::string body;
    for (const auto& item : items)
        body += item;
    auto size = static_cast<uint32_t>(body.size() + 32);
    auto count = static_cast<uint32_t>(items.size());
    uint32_t flags = header ? HeaderPresent : 0;
    return (header ? Footer(version, size, count, flags | IsHeader) : "") + body +
           Footer(version, size, count, flags);
}

std::string ID3v1(const std::string& title) {
    std::string tag = "TAG" + title;
    tag.resize(127, '\0');
    return tag + '\x0C';
}

std::string FormatDigits(size_t value, size_t width) {
    std::string digits = std::to_string(value);
    return std::string(width - digits.size(), '0') + digits;
}

// A Lyrics3 v2.00 block of total bytes: "LYRICSBEGIN", one LYR field, six size digits and
// "LYRICS200".
std::string Lyrics3(size_t total) {
    size_t text = total - 15 - 11 - 8;
    std::string field = "LYR" + FormatDigits(text, 5) + std::string(text, 'l');
    std::string content = "LYRICSBEGIN" + field;
    return content + FormatDigits(content.size(), 6) + "LYRICS200";
}

std::string Audio(size_t n) {
    std::string bytes(n, '\0');
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<char>((i * 37 + 11) & 0xFF);
    return bytes;
}

using TAPEFixture = TTagFileFixture<TTagAPE>;

} // namespace

// ---- reading ----

TEST_F(TAPEFixture, VersionTwoWithHeaderAndFooter) {
    std::string tag =
        ApeTag(2000,
               {Item("Title", "Song"), Item("ARTIST", "Band"), Item("album", "Record"),
                Item("Track", "3/12"), Item("Year", "1999"), Item("Genre", "Rock"),
                Item("Comment", "Nice"), Item("Copyright", "(c) Me"), Item("Composer", "ignored")},
               true);
    ASSERT_TRUE(ReadBytes(Audio(1000) + tag));
    EXPECT_TRUE(Tag->Valid);
    EXPECT_EQ(Tag->Kind, tkAPE);
    EXPECT_EQ(Tag->Size, static_cast<int32_t>(tag.size() - 32)); // the header is not counted
    EXPECT_EQ(Field(tfVersion), "2000");
    EXPECT_EQ(Field(tfTitle), "Song");
    EXPECT_EQ(Field(tfArtist), "Band");
    EXPECT_EQ(Field(tfAlbum), "Record");
    EXPECT_EQ(Field(tfTrack), "3");
    EXPECT_EQ(Field(tfYear), "1999");
    EXPECT_EQ(Field(tfGenre), "Rock");
    EXPECT_EQ(Field(tfComment), "Nice");
    EXPECT_EQ(Field(tfCopyright), "(c) Me");
    EXPECT_EQ(Field(tfComposer), "");
    EXPECT_EQ(TagReportText(*Tag, "a.mp3"),
              "File: a.mp3\r\nTag type: APE\r\nTag size: " + std::to_string(tag.size() - 32) +
                  "\r\nVersion: 2000\r\nTrack: 3\r\nTitle: Song\r\nArtist: Band\r\nAlbum: "
                  "Record\r\nYear: 1999\r\nComment: Nice\r\nGenre: Rock\r\n");
}

TEST_F(TAPEFixture, NoTagIsNoFailure) {
    ASSERT_TRUE(ReadBytes(Audio(5000)));
    EXPECT_FALSE(Tag->Valid);
    EXPECT_EQ(Tag->Size, 0);
    ASSERT_TRUE(ReadBytes("short"));
    EXPECT_FALSE(Tag->Valid);
    EXPECT_FALSE(Tag->Read(Dir.Path("missing.mp3")));
}

TEST_F(TAPEFixture, FooterSitsBeforeLyricsAndID3v1) {
    std::string lyrics = Lyrics3(300);
    ASSERT_EQ(lyrics.size(), 300u);
    std::string bytes =
        Audio(2000) + ApeTag(2000, {Item("Title", "Behind")}) + lyrics + ID3v1("V1");
    ASSERT_TRUE(ReadBytes(bytes));
    EXPECT_TRUE(Tag->Valid);
    EXPECT_EQ(Field(tfTitle), "Behind");
    TTagRec rec;
    ASSERT_TRUE(ReadFooter(File, rec));
    EXPECT_EQ(rec.DataShift, 428u);
    EXPECT_EQ(rec.TagID, "APETAGEX");
    EXPECT_EQ(bytes.substr(bytes.size() - 428 - 32, 8), "APETAGEX");
}

TEST_F(TAPEFixture, ItemsOfEveryShape) {
    struct TRow {
        const char* Name;
        std::string Bytes;
        std::vector<std::pair<TTagField, std::string>> Fields; // all others empty
    };
    const std::string longValue = std::string(249, 'a') + "b\xC3\xA9" + std::string(4000, 'c');
    const std::string body3 = Item("Title", "One") + Item("Artist", "Two");
    auto sized = [](const std::string& body, uint32_t count) {
        return body + Footer(2000, static_cast<uint32_t>(body.size() + 32), count);
    };
    const TRow rows[] = {
        {"version 1000, footer only",
         Audio(100) + ApeTag(1000, {Item("Title", "Old"), Item("Track", "7")}),
         {{tfVersion, "1000"}, {tfTitle, "Old"}, {tfTrack, "7"}}},
        {"values are read whole",
         ApeTag(2000, {Item("Comment", longValue), Item("Title", "Next")}),
         {{tfVersion, "2000"}, {tfComment, longValue}, {tfTitle, "Next"}}},
        {"2000 is UTF-8, bad bytes become U+FFFD",
         ApeTag(2000, {Item("Title", "caf\xC3\xA9"), Item("Artist", "bad\xE9")}),
         {{tfVersion, "2000"}, {tfTitle, "caf\xC3\xA9"}, {tfArtist, "bad\xEF\xBF\xBD"}}},
        {"1000 is taken as it is",
         ApeTag(1000, {Item("Title", "\xC3\xA9"), Item("Artist", "x\xE9")}),
         {{tfVersion, "1000"}, {tfTitle, "\xC3\xA9"}, {tfArtist, "x\xE9"}}},
        {"keys and values trimmed, values end at zero, a later item wins",
         ApeTag(2000, {Item(" title\t", "  Two\0Values  "s), Item("Album", "  A  "),
                       Item("Album", "Later")}),
         {{tfVersion, "2000"}, {tfTitle, "Two"}, {tfAlbum, "Later"}}},
        {"item flags are not interpreted",
         ApeTag(2000, {Item("Title", "Bin", 0x00000002), Item("Year", "2001", 1)}),
         {{tfVersion, "2000"}, {tfTitle, "Bin"}, {tfYear, "2001"}}},
        {"a huge count stops at the footer",
         Audio(64) + sized(body3, 0x7FFFFFFF),
         {{tfVersion, "2000"}, {tfTitle, "One"}, {tfArtist, "Two"}}},
        {"a negative count reads no item",
         sized(Item("Title", "One"), 0xFFFFFFFF),
         {{tfVersion, "2000"}}},
        {"a value claiming more than the tag ends the walk",
         Audio(32) + sized(Item("Artist", "First") + LE32(0x80000000u) + LE32(0) + "Title" + '\0' +
                               "Short" + Item("Album", "Never"),
                           3),
         {{tfVersion, "2000"}, {tfArtist, "First"}}},
        {"a key without its zero stops at the tag end",
         sized(Item("Title", "Kept") + LE32(4) + LE32(0) + std::string(600, 'K'), 2),
         {{tfVersion, "2000"}, {tfTitle, "Kept"}}},
        {"a tag reaching the file start",
         ApeTag(2000, {Item("Title", "Whole")}),
         {{tfVersion, "2000"}, {tfTitle, "Whole"}}},
        {"something between footer and ID3v1 hides the tag",
         Audio(100) + ApeTag(2000, {Item("Title", "X")}) + "junk" + ID3v1("V1"),
         {}},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        ASSERT_TRUE(ReadBytes(Audio(10) + ApeTag(2000, {Item("Genre", "Earlier file")})));
        ASSERT_TRUE(ReadBytes(row.Bytes));
        EXPECT_EQ(Tag->Valid, !row.Fields.empty());
        for (int field = 0; field < TagFieldCount; ++field) {
            std::string expected;
            for (const auto& [id, value] : row.Fields)
                if (id == field) expected = value;
            EXPECT_EQ(Field(field), expected) << TagFieldName(field);
        }
    }
}

// ---- damaged sizes ----

TEST_F(TAPEFixture, TagSizeBeyondTheFileIsNoTag) {
    std::string body = Item("Title", "X");
    for (uint32_t size :
         {0x7FFFFFF0u, 0xFFFFFFF0u, static_cast<uint32_t>(body.size() + 33), 31u, 0u}) {
        std::string bytes = body + Footer(2000, size, 1);
        ASSERT_TRUE(ReadBytes(bytes)) << size;
        EXPECT_FALSE(Tag->Valid) << size;
        EXPECT_EQ(Tag->Size, 0);
        // Neither writer may cut by a size the file cannot confirm.
        EXPECT_FALSE(Tag->Remove(File));
        EXPECT_EQ(ReadFile(File), bytes);
        Tag->SetField(tfTitle, "New");
        EXPECT_FALSE(Tag->Save(File));
        EXPECT_EQ(ReadFile(File), bytes);
    }
}

TEST_F(TAPEFixture, TagReachingTheFileStartIsRead) {
    std::string tag = ApeTag(2000, {Item("Title", "Whole")});
    ASSERT_TRUE(ReadBytes(tag));
    EXPECT_TRUE(Tag->Valid);
    EXPECT_EQ(Field(tfTitle), "Whole");
    EXPECT_TRUE(Tag->Remove(File));
    EXPECT_EQ(ReadFile(File), "");
}

TEST_F(TAPEFixture, AnnouncedHeaderThatIsMissingBlocksWriting) {
    std::string body = Item("Title", "X");
    std::string bytes =
        Audio(200) + body + Footer(2000, static_cast<uint32_t>(body.size() + 32), 1, HeaderPresent);
    ASSERT_TRUE(ReadBytes(bytes));
    EXPECT_TRUE(Tag->Valid);
    EXPECT_EQ(Field(tfTitle), "X");
    EXPECT_FALSE(Tag->Remove(File)); // 32 bytes of audio would go with the missing header
    EXPECT_EQ(ReadFile(File), bytes);
}

TEST_F(TAPEFixture, RandomDamageNeverCutsTheAudio) {
    const std::string audio = Audio(300);
    const std::string v1 = ID3v1("v1");
    const std::string tag =
        ApeTag(2000, {Item("Title", "Random"), Item("Artist", "Damage"), Item("Year", "1")}, true);
    std::mt19937 random(20240607);
    for (int round = 0; round < 200; ++round) {
        std::string damaged = tag;
        const int hits = 1 + static_cast<int>(random() % 4);
        for (int h = 0; h < hits; ++h) {
            // Mostly the size fields of header and footer, sometimes any byte.
            size_t at =
                random() % 2 ? random() % damaged.size() : damaged.size() - 32 + 8 + random() % 16;
            damaged[at] = static_cast<char>(random());
        }
        WriteFile(File, audio + damaged + v1);
        Tag->Read(File);
        bool removed = Tag->Remove(File);
        const std::string after = ReadFile(File);
        ASSERT_EQ(after.substr(0, audio.size()), audio) << round;
        if (removed) {
            ASSERT_GE(after.size(), audio.size() + v1.size()) << round;
            ASSERT_EQ(after.substr(after.size() - v1.size()), v1) << round;
        } else {
            ASSERT_EQ(after, audio + damaged + v1) << round;
        }
    }
}

// ---- writing ----

TEST_F(TAPEFixture, SavingOneTitleWritesOneItem) {
    std::string audio = Audio(777);
    WriteFile(File, audio);
    Tag->SetField(tfTitle, "Abc");
    ASSERT_TRUE(Tag->Save(File));
    // Version 2000 with header and footer; the value has no closing zero.
    EXPECT_EQ(ReadFile(File), audio + ApeTag(2000, {Item("Title", "Abc")}, true));
}

TEST_F(TAPEFixture, SaveRoundTripsEveryField) {
    WriteFile(File, Audio(300));
    Tag->SetField(tfTitle, "T");
    Tag->SetField(tfArtist, "Ar");
    Tag->SetField(tfAlbum, "Al");
    Tag->SetField(tfTrack, "3/12");
    Tag->SetField(tfYear, "2024");
    Tag->SetField(tfGenre, "Jazz");
    Tag->SetField(tfComment, "C");
    Tag->SetField(tfCopyright, "Cr");
    ASSERT_TRUE(Tag->Save(File));
    TRef<TTagAPE> back(new TTagAPE);
    ASSERT_TRUE(back->Read(File));
    EXPECT_TRUE(back->Valid);
    EXPECT_EQ(back->GetField(tfVersion), "2000");
    EXPECT_EQ(back->GetField(tfTrack), "3");
    EXPECT_EQ(back->GetField(tfCopyright), "Cr");
    EXPECT_EQ(back->GetField(tfGenre), "Jazz");
    // Items in table order: Title Artist Album Track Year Genre Comment Copyright.
    std::string bytes = ReadFile(File);
    EXPECT_LT(bytes.find("Title"), bytes.find("Artist"));
    EXPECT_LT(bytes.find("Genre"), bytes.find("Comment"));
    EXPECT_LT(bytes.find("Comment"), bytes.find("Copyright"));
    EXPECT_EQ(back->Size, 32 + (5 + 1 + 9) + (6 + 2 + 9) + (5 + 2 + 9) + (5 + 4 + 9) + (4 + 4 + 9) +
                              (5 + 4 + 9) + (7 + 1 + 9) + (9 + 2 + 9));
}

TEST_F(TAPEFixture, SaveReplacesTheTagInFrontOfLyricsAndID3v1) {
    std::string audio = Audio(4096);
    std::string trailing = Lyrics3(300) + ID3v1("Keep me");
    std::string old =
        ApeTag(2000, {Item("Title", std::string(500, 'o')), Item("Artist", "Old")}, true);
    WriteFile(File, audio + old + trailing);
    Tag->SetField(tfTitle, "New");
    ASSERT_TRUE(Tag->Save(File)); // a shorter tag; the item not changed stays as it was
    std::string fresh = ApeTag(2000, {Item("Title", "New"), Item("Artist", "Old")}, true);
    EXPECT_EQ(ReadFile(File), audio + fresh + trailing);

    Tag->SetField(tfComment, std::string(2000, 'c'));
    ASSERT_TRUE(Tag->Save(File)); // a longer tag: the file grows
    std::string bytes = ReadFile(File);
    EXPECT_EQ(bytes.substr(0, audio.size()), audio);
    EXPECT_EQ(bytes.substr(bytes.size() - trailing.size()), trailing);
    TRef<TTagAPE> back(new TTagAPE);
    ASSERT_TRUE(back->Read(File));
    EXPECT_EQ(back->GetField(tfTitle), "New");
    EXPECT_EQ(back->GetField(tfComment), std::string(2000, 'c'));
    EXPECT_EQ(back->GetField(tfArtist), "Old");
}

TEST_F(TAPEFixture, RemoveCutsHeaderItemsAndFooterAndKeepsID3v1) {
    std::string audio = Audio(1500);
    std::string v1 = ID3v1("Stays");
    WriteFile(File, audio + ApeTag(2000, {Item("Title", "Gone")}, true) + v1);
    ASSERT_TRUE(Tag->Remove(File));
    EXPECT_EQ(ReadFile(File), audio + v1);
    ASSERT_TRUE(Tag->Read(File));
    EXPECT_FALSE(Tag->Valid);
}

TEST_F(TAPEFixture, RemoveWithoutTagChangesNothing) {
    std::string bytes = Audio(900) + ID3v1("Only");
    WriteFile(File, bytes);
    EXPECT_TRUE(Tag->Remove(File));
    EXPECT_EQ(ReadFile(File), bytes);
    EXPECT_FALSE(Tag->Remove(Dir.Path("missing.mp3")));
    EXPECT_FALSE(Tag->Save(Dir.Path("missing.mp3")));
}

// ---- registry ----

TEST(TagAPERegistry, ConstructorTableBuildsTheTag) {
    TRef<TTagBase> tag = CreateTag(tkAPE);
    ASSERT_TRUE(tag);
    EXPECT_EQ(tag->Kind, tkAPE);
    EXPECT_EQ(tag->SupportedFields, FieldRange(0, 6) | FieldBit(tfCopyright) | FieldBit(tfVersion));
}

// ---- other tools ----

namespace {

const char* const Python = "/usr/bin/python3";

bool HaveMutagen() {
    return testsupport::Run(std::string(Python) + " -c 'import mutagen.apev2' 2>/dev/null") == 0;
}

} // namespace

TEST_F(TAPEFixture, ReadsWhatMutagenWrites) {
    if (!HaveMutagen()) GTEST_SKIP() << "mutagen not installed";
    std::string audio = Audio(5000);
    WriteFile(File, audio);
    std::string script = "import mutagen.apev2 as a\n"
                         "t = a.APEv2()\n"
                         "t['Title'] = '\\u00c9t\\u00e9 \\u266b'\n"
                         "t['Artist'] = 'Bj\\u00f6rk'\n"
                         "t['Track'] = '4/9'\n"
                         "t['Cover Art (Front)'] = a.APEValue(b'x' * 1000, a.BINARY)\n"
                         "t['Year'] = '2003'\n"
                         "t.save(" +
                         Quote(File) + ")\n";
    WriteFile(Dir.Path("w.py"), script);
    ASSERT_EQ(testsupport::Run(std::string(Python) + " " + Quote(Dir.Path("w.py"))), 0);
    ASSERT_TRUE(Tag->Read(File));
    EXPECT_TRUE(Tag->Valid);
    EXPECT_EQ(Field(tfVersion), "2000");
    EXPECT_EQ(Field(tfTitle), "\xC3\x89t\xC3\xA9 \xE2\x99\xAB");
    EXPECT_EQ(Field(tfArtist), "Bj\xC3\xB6rk");
    EXPECT_EQ(Field(tfTrack), "4");
    EXPECT_EQ(Field(tfYear), "2003");
    // mutagen writes a header and a binary item; the whole tag goes.
    ASSERT_TRUE(Tag->Remove(File));
    EXPECT_EQ(ReadFile(File), audio);
}

TEST_F(TAPEFixture, MutagenReadsWhatWeWrite) {
    if (!HaveMutagen()) GTEST_SKIP() << "mutagen not installed";
    std::string audio = Audio(2500);
    std::string v1 = ID3v1("v1");
    WriteFile(File, audio + v1);
    Tag->SetField(tfTitle, "Caf\xC3\xA9 \xE2\x99\xAB");
    Tag->SetField(tfAlbum, "\xC3\x85lbum");
    Tag->SetField(tfTrack, "5");
    ASSERT_TRUE(Tag->Save(File));
    std::string script = "import mutagen.apev2 as a\n"
                         "t = a.APEv2(" +
                         Quote(File) +
                         ")\n"
                         "print(sorted(t.keys()))\n"
                         "print(str(t['Title']).encode('utf-8').hex())\n"
                         "print(str(t['Album']).encode('utf-8').hex())\n"
                         "print(str(t['Track']))\n";
    WriteFile(Dir.Path("r.py"), script);
    std::string out;
    ASSERT_EQ(testsupport::Run(std::string(Python) + " " + Quote(Dir.Path("r.py")), &out), 0);
    EXPECT_EQ(out, "['Album', 'Title', 'Track']\n"
                   "436166c3a920e299ab\n"
                   "c3856c62756d\n"
                   "5\n");
}

TEST_F(TAPEFixture, WavPackTagAndAudioSurviveOurWriting) {
    REQUIRE_TOOL("wavpack");
    REQUIRE_TOOL("wvunpack");
    WriteFile(Dir.Path("in.wav"), PcmWav(2, 44100, 16, 22050));
    std::string wv = Dir.Path("in.wv");
    ASSERT_EQ(testsupport::Run("wavpack -q -y -w 'Title=Wave Title' -w 'Artist=Wave Artist' " +
                               Quote(Dir.Path("in.wav")) + " -o " + Quote(wv) + " 2>/dev/null"),
              0);
    ASSERT_TRUE(Tag->Read(wv));
    EXPECT_TRUE(Tag->Valid);
    EXPECT_EQ(Tag->GetField(tfTitle), "Wave Title");
    EXPECT_EQ(Tag->GetField(tfArtist), "Wave Artist");
    EXPECT_EQ(Tag->GetField(tfVersion), "2000");

    Tag->SetField(tfTitle, "Ours");
    ASSERT_TRUE(Tag->Save(wv));
    TRef<TTagAPE> back(new TTagAPE);
    ASSERT_TRUE(back->Read(wv));
    EXPECT_EQ(back->GetField(tfTitle), "Ours");
    EXPECT_EQ(back->GetField(tfArtist), "Wave Artist");
    EXPECT_EQ(back->GetField(tfVersion), "2000");
    ASSERT_EQ(testsupport::Run("wvunpack -q -v " + Quote(wv) + " 2>/dev/null"),
              0); // audio checksums hold
    ASSERT_TRUE(Tag->Remove(wv));
    ASSERT_EQ(testsupport::Run("wvunpack -q -v " + Quote(wv) + " 2>/dev/null"), 0);
    ASSERT_TRUE(Tag->Read(wv));
    EXPECT_FALSE(Tag->Valid);
}

TEST_F(TAPEFixture, ReadsWhatMpcencWrites) {
    REQUIRE_TOOL("mpcenc");
    WriteFile(Dir.Path("in.wav"), PcmWav(2, 44100, 16, 44100));
    std::string mpc = Dir.Path("in.mpc");
    ASSERT_EQ(testsupport::Run("mpcenc --silent --overwrite --artist 'Mpc Artist' --title "
                               "'Mpc Title' --tag 'Year=2011' --track 2/5 " +
                               Quote(Dir.Path("in.wav")) + " " + Quote(mpc) + " 2>/dev/null"),
              0);
    ASSERT_TRUE(Tag->Read(mpc));
    EXPECT_TRUE(Tag->Valid);
    EXPECT_EQ(Tag->GetField(tfVersion), "2000");
    EXPECT_EQ(Tag->GetField(tfTitle), "Mpc Title");
    EXPECT_EQ(Tag->GetField(tfArtist), "Mpc Artist");
    EXPECT_EQ(Tag->GetField(tfYear), "2011");
    EXPECT_EQ(Tag->GetField(tfTrack), "2");
    const std::string before = ReadFile(mpc);
    const auto tagSize = static_cast<size_t>(Tag->Size);
    ASSERT_TRUE(Tag->Remove(mpc));
    // The tag had a header: header + items + footer went, the stream before it is untouched.
    const std::string after = ReadFile(mpc);
    EXPECT_EQ(after.size(), before.size() - tagSize - 32);
    EXPECT_EQ(before.substr(0, after.size()), after);
}
