// Lyrics3 v2.00 block: byte-built blocks with and without an ID3v1 tag behind them, the field
// walk and its limits, the exact bytes written, and removal that keeps the audio and the ID3v1 tag.
#include "TagFileFixture.h"
#include "TestSupport.h"
#include "TrailingTagSupport.h"
#include "framework/Reports.h"
#include "tags/TagID3v1Lyrics.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace audiolens;
using namespace testsupport;

namespace {

struct TLyrics3Fixture : TTagFileFixture<TTagLyrics3> {
    const std::string Audio = AudioBytes(2000);
    const std::string ID3v1 = ID3v1Tag("Title", "Artist", "", "", "", 12);
};

// 200 content bytes: marker 11, IND 10, 20 + 8 and 143 + 8.
std::string Block200() {
    return LyricsBlock("IND0000200" + LyricsField("EAR", std::string(20, 'a')) +
                       LyricsField("ETT", std::string(143, 't')));
}

} // namespace

TEST_F(TLyrics3Fixture, BlockBeforeAnID3v1Tag) {
    std::string block = Block200();
    ASSERT_EQ(block.size(), 215u);
    ASSERT_TRUE(ReadBytes(Audio + block + ID3v1));
    EXPECT_TRUE(Tag->Valid);
    EXPECT_EQ(Tag->Size, 215);
    EXPECT_EQ(Tag->GetField(tfArtist), std::string(20, 'a'));
    EXPECT_EQ(Tag->GetField(tfTitle), std::string(143, 't'));
    ASSERT_TRUE(Tag->Remove(File));
    EXPECT_FALSE(Tag->Valid);
    EXPECT_EQ(ReadFile(File), Audio + ID3v1);
}

TEST_F(TLyrics3Fixture, BlockAtTheVeryEnd) {
    std::string block = LyricsBlock(LyricsField("EAL", "Album") + LyricsField("AUT", "Writer"));
    ASSERT_TRUE(ReadBytes(Audio + block));
    EXPECT_TRUE(Tag->Valid);
    EXPECT_EQ(Tag->Size, static_cast<int32_t>(block.size()));
    EXPECT_EQ(Tag->GetField(tfAlbum), "Album");
    EXPECT_EQ(Tag->GetField(tfComposer), "Writer");
    ASSERT_TRUE(Tag->Remove(File));
    EXPECT_EQ(ReadFile(File), Audio);
    // A file that is nothing but a block.
    ASSERT_TRUE(ReadBytes(block));
    EXPECT_TRUE(Tag->Valid);
    ASSERT_TRUE(Tag->Remove(File));
    EXPECT_EQ(ReadFile(File), "");
}

TEST_F(TLyrics3Fixture, EveryFieldIdAndItsTrimming) {
    std::string fields = LyricsField("IND", "11") + LyricsField("EAL", " Album ") +
                         LyricsField("EAR", "\tArtist\r\n") + LyricsField("ETT", "  Title") +
                         LyricsField("INF", "Info  ") + LyricsField("AUT", " Writer") +
                         LyricsField("LYR", "\r\n[00:01]la\r\n") +
                         LyricsField("IMG", " a.jpg||pic||[00:00] ");
    ASSERT_TRUE(ReadBytes(Audio + LyricsBlock(fields) + ID3v1));
    EXPECT_EQ(Tag->GetField(tfAlbum), "Album");
    EXPECT_EQ(Tag->GetField(tfArtist), "Artist");
    EXPECT_EQ(Tag->GetField(tfTitle), "Title");
    EXPECT_EQ(Tag->GetField(tfComment), "Info");
    EXPECT_EQ(Tag->GetField(tfComposer), "Writer");
    EXPECT_EQ(Tag->GetField(tfLyrics), "[00:01]la");
    EXPECT_EQ(Tag->GetField(tfImage), " a.jpg||pic||[00:00] ");
}

TEST_F(TLyrics3Fixture, LyricsLineBreaksBecomeCarriageReturnLineFeed) {
    ASSERT_TRUE(ReadBytes(Audio + LyricsBlock(LyricsField("LYR", "one\r\ntwo\r\nthree")) + ID3v1));
    EXPECT_EQ(Tag->GetField(tfLyrics), "one\r\ntwo\r\nthree");
    ASSERT_TRUE(ReadBytes(Audio + LyricsBlock(LyricsField("LYR", "one\rtwo\rthree")) + ID3v1));
    EXPECT_EQ(Tag->GetField(tfLyrics), "one\r\ntwo\r\nthree");
    EXPECT_EQ(NormaliseLyricsLineBreaks("a\r\n\nb\n\rc"), "a\r\nb\n\r\nc");
}

TEST_F(TLyrics3Fixture, EmptyFieldIsSkippedAndUnknownIdEndsTheWalk) {
    std::string fields = "ETT00000" + LyricsField("EAR", "Before") + LyricsField("XYZ", "junk") +
                         LyricsField("EAL", "After");
    ASSERT_TRUE(ReadBytes(Audio + LyricsBlock(fields) + ID3v1));
    EXPECT_TRUE(Tag->Valid);
    EXPECT_EQ(Tag->GetField(tfTitle), "");
    EXPECT_EQ(Tag->GetField(tfArtist), "Before");
    EXPECT_EQ(Tag->GetField(tfAlbum), "");
}

TEST_F(TLyrics3Fixture, FieldSizesAreBoundedByTheBlock) {
    // A data size running past the block ends the walk: the bytes behind the block (the size
    // field, the end marker and the ID3v1 tag) are never taken as data.
    std::string fields = LyricsField("EAR", "Kept") + "ETT99999" + "short";
    ASSERT_TRUE(ReadBytes(Audio + LyricsBlock(fields) + ID3v1));
    EXPECT_TRUE(Tag->Valid);
    EXPECT_EQ(Tag->GetField(tfArtist), "Kept");
    EXPECT_EQ(Tag->GetField(tfTitle), "");
    // Sizes with spaces or signs count as 0 and read nothing.
    fields = "ETT 0004" + std::string("EAR-0004") + LyricsField("EAL", "ok");
    ASSERT_TRUE(ReadBytes(Audio + LyricsBlock(fields) + ID3v1));
    EXPECT_EQ(Tag->GetField(tfTitle), "");
    EXPECT_EQ(Tag->GetField(tfAlbum), "ok");
    // A header cut short at the end of the block.
    ASSERT_TRUE(ReadBytes(Audio + LyricsBlock(LyricsField("EAL", "x") + "ETT00") + ID3v1));
    EXPECT_EQ(Tag->GetField(tfAlbum), "x");
}

TEST_F(TLyrics3Fixture, DamagedBlocksAreNoBlock) {
    std::string good = LyricsBlock(LyricsField("ETT", "T"));
    const std::string cases[] = {
        "LYRICSBEGINETT00001T" + std::string("000999") + "LYRICS200", // past the file start
        "LYRICSBEGINETT00001T" + std::string("000030") + "LYRICS200", // points at audio
        "LYRICSBEGINETT00001T" + std::string("00002x") + "LYRICS200", // not a number
        "LYRICSBEGINETT00001T" + std::string("000000") + "LYRICS200", // zero
        "LYRICSBEGINETT00001T" + std::string("000010") + "LYRICS200", // smaller than the marker
        "LYRICSBEGIXETT00001T" + std::string("000020") + "LYRICS200", // damaged start marker
        "LYRICSBEGINETT00001T" + std::string("000020") + "LYRICS201", // other version
    };
    for (const std::string& block : cases) {
        std::string bytes = AudioBytes(20) + block + ID3v1;
        ASSERT_TRUE(ReadBytes(bytes)) << block;
        EXPECT_FALSE(Tag->Valid) << block;
        EXPECT_EQ(Tag->Size, 0) << block;
        ASSERT_TRUE(Tag->Remove(File));
        EXPECT_EQ(ReadFile(File), bytes) << block;
    }
    // Trimmed size digits are still a size.
    ASSERT_TRUE(ReadBytes(Audio + "LYRICSBEGINETT00001T" + "   20 " + "LYRICS200"));
    EXPECT_TRUE(Tag->Valid);
    EXPECT_EQ(Tag->Size, 35);
}

TEST_F(TLyrics3Fixture, ShortFiles) {
    ASSERT_TRUE(ReadBytes("LYRICS200"));
    EXPECT_FALSE(Tag->Valid);
    ASSERT_TRUE(ReadBytes(""));
    EXPECT_FALSE(Tag->Valid);
    ASSERT_TRUE(ReadBytes("000020LYRICS200"));
    EXPECT_FALSE(Tag->Valid);
    EXPECT_FALSE(Tag->Read(Dir.Path("missing.mp3")));
}

TEST_F(TLyrics3Fixture, WritingATitleOnly) {
    WriteFile(File, Audio + ID3v1);
    Tag->SetField(tfTitle, "Abc");
    ASSERT_TRUE(Tag->Save(File));
    EXPECT_TRUE(Tag->Valid);
    EXPECT_EQ(ReadFile(File), Audio + "LYRICSBEGININD0000200ETT00003Abc000032LYRICS200" + ID3v1);
    // Without an ID3v1 tag the block ends the file.
    WriteFile(File, Audio);
    ASSERT_TRUE(Tag->Save(File));
    EXPECT_EQ(ReadFile(File), Audio + "LYRICSBEGININD0000200ETT00003Abc000032LYRICS200");
}

TEST_F(TLyrics3Fixture, WritingAllFieldsInOrderAndReadingThemBack) {
    WriteFile(File, Audio + Block200() + ID3v1);
    Tag->SetField(tfTitle, " T ");
    Tag->SetField(tfArtist, "Ar");
    Tag->SetField(tfAlbum, "Al");
    Tag->SetField(tfComment, "Co");
    Tag->SetField(tfComposer, "Au");
    Tag->SetField(tfLyrics, "l1\r\nl2");
    Tag->SetField(tfImage, "p.jpg||x||");
    Tag->SetField(tfYear, "2000"); // not a Lyrics3 field
    ASSERT_TRUE(Tag->Save(File));
    std::string fields = "IND0000210" + LyricsField("EAL", "Al") + LyricsField("EAR", "Ar") +
                         LyricsField("ETT", " T ") + LyricsField("INF", "Co") +
                         LyricsField("AUT", "Au") + LyricsField("LYR", "l1\r\nl2") +
                         LyricsField("IMG", "p.jpg||x||");
    EXPECT_EQ(ReadFile(File), Audio + LyricsBlock(fields) + ID3v1);
    EXPECT_EQ(Tag->Size, static_cast<int32_t>(LyricsBlock(fields).size()));
    ASSERT_TRUE(Tag->Read(File));
    EXPECT_EQ(Tag->GetField(tfTitle), "T");
    EXPECT_EQ(Tag->GetField(tfLyrics), "l1\r\nl2");
    EXPECT_EQ(Tag->GetField(tfImage), "p.jpg||x||");
}

TEST_F(TLyrics3Fixture, BlankFieldsWriteNoBlock) {
    WriteFile(File, Audio + Block200() + ID3v1);
    Tag->SetField(tfLyrics, "  \r\n ");
    ASSERT_TRUE(Tag->Save(File));
    EXPECT_FALSE(Tag->Valid);
    EXPECT_EQ(ReadFile(File), Audio + ID3v1);
}

TEST_F(TLyrics3Fixture, Latin1Text) {
    ASSERT_TRUE(ReadBytes(Audio + LyricsBlock(LyricsField("ETT", "Gr\xFC\xDF")) + ID3v1));
    EXPECT_EQ(Tag->GetField(tfTitle), "Gr\xC3\xBC\xC3\x9F");
    ASSERT_TRUE(Tag->Save(File));
    std::string bytes = ReadFile(File);
    EXPECT_EQ(bytes.substr(Audio.size()),
              LyricsBlock("IND0000200" + LyricsField("ETT", "Gr\xFC\xDF")) + ID3v1);
}

TEST_F(TLyrics3Fixture, ValueTooLongForTheFormatIsRefused) {
    std::string bytes = Audio + Block200() + ID3v1;
    WriteFile(File, bytes);
    Tag->SetField(tfLyrics, std::string(100000, 'x'));
    EXPECT_FALSE(Tag->Save(File));
    EXPECT_EQ(ReadFile(File), bytes);
    // 99999 bytes is the largest value that fits.
    Tag->SetField(tfLyrics, std::string(99999, 'x'));
    ASSERT_TRUE(Tag->Save(File));
    ASSERT_TRUE(Tag->Read(File));
    EXPECT_EQ(Tag->GetField(tfLyrics).size(), 99999u);
    EXPECT_EQ(Tag->Size, 11 + 10 + 8 + 99999 + 15);
}

TEST_F(TLyrics3Fixture, TagReport) {
    ASSERT_TRUE(ReadBytes(Audio +
                          LyricsBlock(LyricsField("ETT", "Song") + LyricsField("EAR", "Band") +
                                      LyricsField("INF", "Note")) +
                          ID3v1));
    EXPECT_EQ(TagReportText(*Tag, "a.mp3"),
              "File: a.mp3\r\nTag type: ID3v1 Lyrics\r\nTag size: 62\r\nVersion: \r\nTrack: "
              "\r\nTitle: Song\r\nArtist: Band\r\nAlbum: \r\nYear: \r\nComment: Note\r\nGenre: "
              "\r\n");
}
