// ID3v1 tag: byte-built tags in both layouts, the genre table, writing and removing in place
// with the audio untouched, damaged tails, and mutagen's and ffprobe's reading of what we wrote.
#include "tags/TagID3v1.h"
#include "TagFileFixture.h"
#include "TestSupport.h"
#include "TrailingTagSupport.h"
#include "framework/Registry.h"
#include "framework/Reports.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace audiolens;
using namespace testsupport;
using namespace std::string_literals;

namespace {

struct TID3v1Fixture : TTagFileFixture<TTagID3v1> {
    const std::string Audio = AudioBytes(1000);
};

} // namespace

TEST_F(TID3v1Fixture, BothLayoutsTrimmingAndGenreBytes) {
    struct TRow {
        const char* Name;
        std::string Tag;
        const char *Version, *Track, *Title, *Comment, *Genre;
    };
    const std::string c30 = "abcdefghijklmnopqrstuvwxyz0123", c28 = c30.substr(0, 28);
    const TRow rows[] = {
        {"1.0 keeps all thirty comment bytes",
         ID3v1Tag("Title", "Artist", "Album", "1999", c30, 17), "1", "", "Title", c30.c_str(),
         "Rock"},
        {"a zero mark and zero track is 1.0", ID3v1Tag("T", "", "", "", "short comment", 0), "1",
         "", "T", "short comment", "Blues"},
        {"1.1: a track and 28 comment bytes", ID3v11Tag("T", c28, 12, 147), "2", "12", "T",
         c28.c_str(), "Synthpop"},
        {"track 255 is a track, genre 255 none", ID3v11Tag("T", "c", 255, 255), "2", "255", "T",
         "c", ""},
        {"genre 148 is none", ID3v1Tag("T", "", "", "", "", 148), "1", "", "T", "", ""},
        {"a space mark before a non-space is 1.1",
         ID3v1Tag("T", "", "", "", std::string(28, 'c') + " 7", 1), "2", "55", "T",
         "cccccccccccccccccccccccccccc", "Classic Rock"},
        {"space padding all the way is 1.0", ID3v1Tag("T", "", "", "", Padded("cc", 30, ' '), 1),
         "1", "", "T", "cc", "Classic Rock"},
        {"trailing padding and control bytes go, leading spaces stay",
         ID3v1Tag(Padded("  Lead \t\x01 \0 \0"s, 30, ' '), "", "", "", "", 0), "1", "", "  Lead",
         "", "Blues"},
        {"a zero ends a field", ID3v1Tag("Abc\0x"s, "", "", "", "", 0), "1", "", "Abc", "",
         "Blues"},
        {"Latin-1 becomes UTF-8", ID3v1Tag("Caf\xE9", "", "", "", "", 0), "1", "", "Caf\xC3\xA9",
         "", "Blues"},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        ASSERT_TRUE(ReadBytes(Audio + row.Tag));
        EXPECT_TRUE(Tag->Valid);
        EXPECT_EQ(Tag->Size, 128);
        EXPECT_EQ(Tag->GetField(tfVersion), row.Version);
        EXPECT_EQ(Tag->GetField(tfTrack), row.Track);
        EXPECT_EQ(Tag->GetField(tfTitle), row.Title);
        EXPECT_EQ(Tag->GetField(tfComment), row.Comment);
        EXPECT_EQ(Tag->GetField(tfGenre), row.Genre);
    }
}

TEST_F(TID3v1Fixture, Latin1BytesReadAsUtf8AndWriteBack) {
    ASSERT_TRUE(ReadBytes(Audio + ID3v1Tag("Caf\xE9", "Bj\xF6rk", "", "", "", 0)));
    EXPECT_EQ(Tag->GetField(tfTitle), "Caf\xC3\xA9");
    EXPECT_EQ(Tag->GetField(tfArtist), "Bj\xC3\xB6rk");
    ASSERT_TRUE(Tag->Save(File));
    std::string bytes = ReadFile(File);
    EXPECT_EQ(bytes.substr(bytes.size() - 128 + 3, 5), std::string("Caf\xE9\0", 5));
    EXPECT_EQ(bytes.substr(bytes.size() - 128 + 33, 6), std::string("Bj\xF6rk\0", 6));
}

TEST_F(TID3v1Fixture, GenreTable) {
    const std::pair<int, const char*> names[] = {{0, "Blues"},
                                                 {67, "Psychadelic"},
                                                 {85, "Bebob"},
                                                 {92, "Progessive Rock"},
                                                 {93, "Psychedelic Rock"},
                                                 {123, "A capella"},
                                                 {136, "Christian Gangsta Rap"},
                                                 {144, "Trash Metal"},
                                                 {147, "Synthpop"}};
    for (auto [index, name] : names) {
        Tag->GenreIndex = static_cast<uint8_t>(index);
        EXPECT_EQ(Tag->GetField(tfGenre), name) << index;
    }
    for (int index : {148, 200, 254, 255}) {
        Tag->GenreIndex = static_cast<uint8_t>(index);
        EXPECT_EQ(Tag->GetField(tfGenre), "") << index;
    }
    Tag->SetField(tfGenre, "rock & roll");
    EXPECT_EQ(Tag->GenreIndex, 78);
    Tag->SetField(tfGenre, "SYNTHPOP");
    EXPECT_EQ(Tag->GenreIndex, 147);
    Tag->SetField(tfGenre, "17"); // a number of the list
    EXPECT_EQ(Tag->GenreIndex, 17);
    Tag->SetField(tfGenre, "Polka Metal");
    EXPECT_EQ(Tag->GenreIndex, 255);
    Tag->SetField(tfGenre, "148");
    EXPECT_EQ(Tag->GenreIndex, 255);
    Tag->SetField(tfGenre, "");
    EXPECT_EQ(Tag->GenreIndex, 255);
}

TEST_F(TID3v1Fixture, NoTagIsNoFailure) {
    ASSERT_TRUE(ReadBytes(Audio));
    EXPECT_FALSE(Tag->Valid);
    EXPECT_EQ(Tag->Size, 0);
    EXPECT_EQ(GetID3v1Size(File), 0);
}

TEST_F(TID3v1Fixture, FilesShorterThanATagHaveNone) {
    // 127 bytes that begin with "TAG": too short to hold a tag.
    ASSERT_TRUE(ReadBytes(ID3v1Tag("T", "", "", "", "", 1).substr(0, 127)));
    EXPECT_FALSE(Tag->Valid);
    ASSERT_TRUE(ReadBytes(""));
    EXPECT_FALSE(Tag->Valid);
    ASSERT_TRUE(Tag->Remove(File));
    EXPECT_EQ(ReadFile(File), "");
    // Exactly 128 bytes is a tag and nothing else.
    ASSERT_TRUE(ReadBytes(ID3v1Tag("Only", "", "", "", "", 1)));
    EXPECT_TRUE(Tag->Valid);
    EXPECT_EQ(Tag->GetField(tfTitle), "Only");
    ASSERT_TRUE(Tag->Remove(File));
    EXPECT_EQ(ReadFile(File), "");
}

TEST_F(TID3v1Fixture, MissingFile) {
    EXPECT_FALSE(Tag->Read(Dir.Path("missing.mp3")));
    EXPECT_EQ(GetID3v1Size(Dir.Path("missing.mp3")), 0);
    EXPECT_FALSE(Tag->Save(Dir.Path("missing.mp3")));
    EXPECT_FALSE(Tag->Remove(Dir.Path("missing.mp3")));
    EXPECT_FALSE(std::filesystem::exists(Dir.Path("missing.mp3")));
}

TEST_F(TID3v1Fixture, ResetClearsEverythingOfTheLastFile) {
    ASSERT_TRUE(
        ReadBytes(Audio + LyricsBlock(LyricsField("ETT", "L")) + ID3v11Tag("T", "c", 3, 4)));
    ASSERT_TRUE(Tag->LyricsTag()->Valid);
    ASSERT_TRUE(ReadBytes(Audio));
    EXPECT_FALSE(Tag->Valid);
    EXPECT_FALSE(Tag->LyricsTag()->Valid);
    EXPECT_EQ(Tag->LyricsTag()->GetField(tfTitle), "");
    for (int id = 0; id < TagFieldCount; ++id)
        EXPECT_EQ(Tag->GetField(id), "") << id;
    EXPECT_EQ(Tag->GenreIndex, 255);
}

TEST_F(TID3v1Fixture, SaveWithTrackCutsTheCommentToTwentyEight) {
    WriteFile(File, Audio);
    std::string comment30 = "123456789012345678901234567890";
    Tag->SetField(tfTitle, "A title that is longer than thirty bytes");
    Tag->SetField(tfArtist, "Artist");
    Tag->SetField(tfYear, "20241");
    Tag->SetField(tfComment, comment30);
    Tag->SetField(tfTrack, "12");
    Tag->SetField(tfGenre, "Jazz");
    ASSERT_TRUE(Tag->Save(File));
    EXPECT_TRUE(Tag->Valid);
    std::string bytes = ReadFile(File);
    ASSERT_EQ(bytes.size(), Audio.size() + 128);
    EXPECT_EQ(bytes.substr(0, Audio.size()), Audio);
    std::string expected = ID3v1Tag("A title that is longer than th", "Artist", "", "2024",
                                    comment30.substr(0, 28) + '\0' + '\x0C', 8);
    EXPECT_EQ(bytes.substr(Audio.size()), expected);
}

TEST_F(TID3v1Fixture, TrackZeroEmptyOrLettersWritesTheFirstLayout) {
    std::string comment30 = "123456789012345678901234567890";
    for (const char* track : {"0", "", "abc", "256"}) {
        WriteFile(File, Audio);
        Tag->Reset();
        Tag->SetField(tfComment, comment30);
        Tag->SetField(tfTrack, track);
        ASSERT_TRUE(Tag->Save(File)) << track;
        std::string bytes = ReadFile(File);
        EXPECT_EQ(bytes.substr(Audio.size() + 97, 30), comment30) << track;
        ASSERT_TRUE(Tag->Read(File));
        EXPECT_EQ(Tag->GetField(tfVersion), "1") << track;
        EXPECT_EQ(Tag->GetField(tfComment), comment30) << track;
    }
}

TEST_F(TID3v1Fixture, TrackTextIsReadLenientlyAndKeepsTheLowByte) {
    const std::pair<const char*, char> cases[] = {{"7/12", 7}, {"268", 12}, {"-1", '\xFF'}};
    for (auto [text, byte] : cases) {
        WriteFile(File, Audio);
        Tag->Reset();
        Tag->SetField(tfTrack, text);
        ASSERT_TRUE(Tag->Save(File));
        std::string bytes = ReadFile(File);
        EXPECT_EQ(bytes[bytes.size() - 3], '\0') << text;
        EXPECT_EQ(bytes[bytes.size() - 2], byte) << text;
    }
}

TEST_F(TID3v1Fixture, SaveReplacesTheOldTagAndRemoveRestoresTheAudio) {
    WriteFile(File, Audio + ID3v1Tag("Old", "Old", "Old", "1990", "old", 3));
    ASSERT_TRUE(Tag->Read(File));
    Tag->SetField(tfTitle, "New");
    ASSERT_TRUE(Tag->Save(File));
    ASSERT_TRUE(Tag->Save(File)); // twice: still one tag
    std::string bytes = ReadFile(File);
    ASSERT_EQ(bytes.size(), Audio.size() + 128);
    EXPECT_EQ(bytes.substr(0, Audio.size()), Audio);
    ASSERT_TRUE(Tag->Read(File));
    EXPECT_EQ(Tag->GetField(tfTitle), "New");
    EXPECT_EQ(Tag->GetField(tfArtist), "Old");
    EXPECT_EQ(Tag->GetField(tfGenre), "Dance");
    ASSERT_TRUE(Tag->Remove(File));
    EXPECT_FALSE(Tag->Valid);
    EXPECT_EQ(ReadFile(File), Audio);
    // Removing again finds nothing and changes nothing.
    ASSERT_TRUE(Tag->Remove(File));
    EXPECT_EQ(ReadFile(File), Audio);
}

TEST_F(TID3v1Fixture, SaveAndRemoveTakeTheLyricsBlockAlong) {
    // As this writer lays it out, so that saving it again takes the same bytes.
    std::string block =
        LyricsBlock("IND0000210" + LyricsField("EAR", "Someone") + LyricsField("LYR", "la\r\nla"));
    WriteFile(File, Audio + block + ID3v1Tag("T", "", "", "", "", 0));
    EXPECT_EQ(GetID3v1Size(File), static_cast<int32_t>(128 + block.size()));
    ASSERT_TRUE(Tag->Read(File));
    ASSERT_TRUE(Tag->LyricsTag()->Valid);
    Tag->SetField(tfTitle, "Changed");
    ASSERT_TRUE(Tag->Save(File));
    std::string bytes = ReadFile(File);
    ASSERT_EQ(bytes.size(), Audio.size() + block.size() + 128);
    EXPECT_EQ(bytes.substr(0, Audio.size()), Audio);
    EXPECT_EQ(bytes.substr(Audio.size(), block.size()), block);
    ASSERT_TRUE(Tag->Read(File));
    EXPECT_EQ(Tag->GetField(tfTitle), "Changed");
    EXPECT_EQ(Tag->LyricsTag()->GetField(tfArtist), "Someone");
    EXPECT_EQ(Tag->LyricsTag()->GetField(tfLyrics), "la\r\nla");
    ASSERT_TRUE(Tag->Remove(File));
    EXPECT_FALSE(Tag->LyricsTag()->Valid);
    EXPECT_EQ(ReadFile(File), Audio);
}

TEST_F(TID3v1Fixture, SaveWritesTheLyricsFieldsTheObjectHolds) {
    WriteFile(File, Audio);
    Tag->SetField(tfTitle, "T");
    Tag->LyricsTag()->SetField(tfTitle, "Abc");
    ASSERT_TRUE(Tag->Save(File));
    std::string block = "LYRICSBEGININD0000200ETT00003Abc000032LYRICS200";
    std::string bytes = ReadFile(File);
    EXPECT_EQ(bytes.substr(Audio.size(), block.size()), block);
    EXPECT_EQ(bytes.substr(Audio.size() + block.size(), 3), "TAG");
    EXPECT_EQ(GetID3v1Size(File), static_cast<int32_t>(128 + block.size()));
    EXPECT_EQ(Tag->LyricsTag()->Size, static_cast<int32_t>(block.size()));
}

TEST_F(TID3v1Fixture, GetID3v1SizeCountsTheLyricsBlock) {
    // 200 content bytes: marker 11, IND 10, and a 171-byte title field (8 + 171 = 179).
    std::string block = LyricsBlock("IND0000200" + LyricsField("ETT", std::string(171, 'x')));
    ASSERT_EQ(block.size(), 215u);
    WriteFile(File, Audio + block + ID3v1Tag("T", "", "", "", "", 0));
    EXPECT_EQ(GetID3v1Size(File), 343);
    WriteFile(File, Audio + block);
    EXPECT_EQ(GetID3v1Size(File), 215);
}

TEST_F(TID3v1Fixture, DamagedLyricsSizeNeverCutsIntoTheAudio) {
    std::string tag = ID3v1Tag("T", "", "", "", "", 0);
    // Size fields that point past the start of the file, at audio, or are not numbers.
    for (const char* size : {"999999", "000500", "000000", "00-032", "0x0020", "000005"}) {
        std::string bytes = Audio + "LYRICSBEGINETT00001x" + size + "LYRICS200" + tag;
        WriteFile(File, bytes);
        ASSERT_TRUE(Tag->Read(File)) << size;
        EXPECT_TRUE(Tag->Valid);
        EXPECT_FALSE(Tag->LyricsTag()->Valid) << size;
        EXPECT_EQ(GetID3v1Size(File), 128) << size;
        ASSERT_TRUE(Tag->Remove(File)) << size;
        EXPECT_EQ(ReadFile(File), bytes.substr(0, bytes.size() - 128)) << size;
    }
}

TEST_F(TID3v1Fixture, TagReport) {
    ASSERT_TRUE(ReadBytes(Audio + ID3v11Tag("Song", "Note", 5, 13)));
    EXPECT_EQ(TagReportText(*Tag, "a.mp3"),
              "File: a.mp3\r\nTag type: ID3v1\r\nTag size: 128\r\nVersion: 2\r\nTrack: "
              "5\r\nTitle: Song\r\nArtist: \r\nAlbum: \r\nYear: \r\nComment: Note\r\nGenre: "
              "Pop\r\n");
    TStringOutput out;
    EXPECT_TRUE(ShowTagReport(out, *Tag, File, true));
    WriteFile(File, Audio);
    TStringOutput none;
    EXPECT_FALSE(ShowTagReport(none, *Tag, File, true));
    EXPECT_EQ(none.Text, "");
}

TEST(ID3v1Registry, OpenTagObjects) {
    TRef<TTagBase> id3 = CreateTag(tkID3v1);
    ASSERT_TRUE(id3);
    EXPECT_EQ(id3->Kind, tkID3v1);
    EXPECT_EQ(id3->SupportedFields, FieldRange(0, 6) | FieldBit(tfVersion));
    TRef<TTagBase> lyrics = CreateTag(tkID3v1Lyrics);
    ASSERT_TRUE(lyrics);
    EXPECT_EQ(lyrics->Kind, tkID3v1Lyrics);
}

TEST_F(TID3v1Fixture, MutagenAndFfprobeReadWhatWeWrote) {
    REQUIRE_TOOL("lame");
    REQUIRE_TOOL("ffprobe");
    std::string wav = Dir.Path("s.wav");
    WriteFile(wav, PcmWav(1, 44100, 16, 44100));
    ASSERT_EQ(testsupport::Run("lame --silent -b 128 " + Quote(wav) + " " + Quote(File)), 0);
    const std::string audio = ReadFile(File);
    ASSERT_GT(audio.size(), 1000u);
    Tag->SetField(tfTitle, "Caf\xC3\xA9 Song");
    Tag->SetField(tfArtist, "The Artist");
    Tag->SetField(tfAlbum, "An Album");
    Tag->SetField(tfYear, "2003");
    Tag->SetField(tfComment, "A comment");
    Tag->SetField(tfTrack, "9");
    Tag->SetField(tfGenre, "Jazz");
    ASSERT_TRUE(Tag->Save(File));
    EXPECT_EQ(ReadFile(File).substr(0, audio.size()), audio);

    std::string out;
    std::string script = "import mutagen.id3 as i; t = i.ID3(" + Quote(File) +
                         "); print('|'.join(str(t[k]) for k in "
                         "('TIT2','TPE1','TALB','TDRC','COMM:ID3v1 Comment:eng','TRCK','TCON')))";
    ASSERT_EQ(testsupport::Run("/usr/bin/python3 -c " + Quote(script), &out), 0);
    EXPECT_EQ(out, "Caf\xC3\xA9 Song|The Artist|An Album|2003|A comment|9|Jazz\n");

    // ffprobe passes ID3v1 bytes through as UTF-8, so only ASCII fields are compared with it.
    EXPECT_EQ(Probe(File, "format_tags", "album"), "An Album");
    EXPECT_EQ(Probe(File, "format_tags", "artist"), "The Artist");
    EXPECT_EQ(Probe(File, "format_tags", "track"), "9");
    EXPECT_EQ(Probe(File, "format_tags", "genre"), "Jazz");

    ASSERT_TRUE(Tag->Remove(File));
    EXPECT_EQ(ReadFile(File), audio);
}
