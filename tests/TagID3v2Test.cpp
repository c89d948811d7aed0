// ID3v2 tag: byte-built 2.2/2.3/2.4 tags (sizes, extended headers, encodings, duplicates,
// damaged sizes), in-place and rebuilding saves, refusals, and cross-checks against tags written
// by lame and ffmpeg and read back by mutagen.
#include "tags/TagID3v2.h"
#include "TagFileFixture.h"
#include "TestSupport.h"
#include "core/FileStream.h"
#include "framework/Reports.h"

#include <gtest/gtest.h>

using namespace audiolens;
using namespace testsupport;
using namespace std::string_literals;

namespace {

std::string SyncSafe(uint32_t v) {
    std::string out;
    for (int shift = 21; shift >= 0; shift -= 7)
        out += static_cast<char>((v >> shift) & 0x7F);
    return out;
}

std::string Header(uint8_t major, uint32_t bodySize, uint8_t flags = 0) {
    return "ID3"s + static_cast<char>(major) + '\0' + static_cast<char>(flags) + SyncSafe(bodySize);
}

std::string Frame3(const std::string& id, const std::string& data, uint16_t flags = 0) {
    return id + BE32(static_cast<uint32_t>(data.size())) + BE16(flags) + data;
}
std::string Frame4(const std::string& id, const std::string& data, uint16_t flags = 0) {
    return id + SyncSafe(static_cast<uint32_t>(data.size())) + BE16(flags) + data;
}
std::string Frame2(const std::string& id, const std::string& data) {
    return id + BE24(static_cast<uint32_t>(data.size())) + data;
}

std::string TagBytes(uint8_t major, const std::string& frames, size_t padding = 0,
                     uint8_t flags = 0) {
    return Header(major, static_cast<uint32_t>(frames.size() + padding), flags) + frames +
           Zeros(padding);
}

// Bytes that stand in for audio: no "ID3" and no frame-like zeros at the start.
std::string Audio(size_t n) {
    std::string bytes(n, '\0');
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<char>(0xFF - (i * 37 + 11) % 200);
    return bytes;
}

// mutagen's reading of the file: version, then one line per expression result.
std::string Mutagen(const std::string& file, const std::string& expression) {
    std::string out;
    testsupport::Run("/usr/bin/python3 -c \"import sys, mutagen.id3 as m; t = m.ID3(sys.argv[1]); "
                     "sys.stdout.buffer.write(str(" +
                         expression + ").encode('utf-8'))\" " + Quote(file) + " 2>&1",
                     &out);
    return out;
}

using TID3v2Fixture = TTagFileFixture<TTagID3v2>;

} // namespace

// ---- the header ----

TEST_F(TID3v2Fixture, SizeFromTheSyncSafeHeader) {
    ASSERT_TRUE(ReadBytes("ID3\x03\x00\x00\x00\x00\x02\x01"s + Zeros(257) + Audio(100)));
    EXPECT_TRUE(Tag->Valid);
    EXPECT_EQ(Tag->Size, 267);
    EXPECT_EQ(Field(tfVersion), "3");
    EXPECT_EQ(GetID3v2Size(File), 267);
    int32_t size = -1;
    std::string header;
    ASSERT_TRUE(TTagID3v2::ReadHeader(File, size, header));
    EXPECT_EQ(size, 267);
    EXPECT_EQ(header.substr(0, 3), "ID3");
}

TEST_F(TID3v2Fixture, FooterAddsTenBytes) {
    ASSERT_TRUE(
        ReadBytes(TagBytes(4, Frame4("TIT2", "\0Song"s), 20, 0x10) + Zeros(10) + Audio(50)));
    EXPECT_EQ(Tag->Size, 10 + 15 + 20 + 10); // header, frame, padding, footer
    EXPECT_EQ(Field(tfTitle), "Song");
}

TEST_F(TID3v2Fixture, UnknownVersionsAreValidWithoutFrames) {
    for (uint8_t major : {uint8_t{5}, uint8_t{1}}) {
        ASSERT_TRUE(ReadBytes(TagBytes(major, Frame3("TIT2", "\0Song"s)) + Audio(20)));
        EXPECT_TRUE(Tag->Valid);
        EXPECT_EQ(Field(tfVersion), std::to_string(major));
        EXPECT_EQ(Tag->FrameCount(), 0);
        EXPECT_EQ(Field(tfTitle), "");
        // Frames it cannot find it cannot keep: no save over such a tag.
        const std::string bytes = ReadFile(File);
        Tag->SetField(tfTitle, "New");
        EXPECT_FALSE(Tag->Save(File));
        EXPECT_TRUE(ReadFile(File) == bytes);
    }
}

TEST_F(TID3v2Fixture, NoTagAndShortFiles) {
    ASSERT_TRUE(ReadBytes(Audio(500)));
    EXPECT_FALSE(Tag->Valid);
    EXPECT_EQ(Tag->Size, 0);
    EXPECT_EQ(Field(tfVersion), "");
    EXPECT_FALSE(ReadBytes("ID3\x03"));
    EXPECT_FALSE(Tag->Read(Dir.Path("missing.mp3")));
    EXPECT_EQ(GetID3v2Size(Dir.Path("missing.mp3")), 0);
}

TEST_F(TID3v2Fixture, TagLargerThanTheFileHasNoSize) {
    ASSERT_TRUE(ReadBytes(Header(3, 100000) + Frame3("TIT2", "\0Song"s)));
    EXPECT_TRUE(Tag->Valid);
    EXPECT_EQ(Tag->Size, 0);
    EXPECT_EQ(Tag->FrameCount(), 0);
}

// ---- frames ----

TEST_F(TID3v2Fixture, AllFifteenFieldsOfVersion3) {
    const char* ids[] = {"TRCK", "TIT2", "TPE1", "TALB", "TYER", "COMM", "TCON", "TCOM",
                         "TENC", "TCOP", "WXXX", "TIT1", "TLAN", "USLT", "TOPE"};
    std::string frames;
    for (int f = 0; f < 15; ++f) {
        std::string text = "value " + std::to_string(f);
        if (f == tfComment || f == tfLyrics)
            frames += Frame3(ids[f], "\0eng\0"s + text);
        else if (f == tfUrl)
            frames += Frame3(ids[f], "\0\0"s + text);
        else
            frames += Frame3(ids[f], "\0"s + text);
    }
    ASSERT_TRUE(ReadBytes(TagBytes(3, frames, 100) + Audio(100)));
    for (int f = 0; f < 15; ++f)
        EXPECT_EQ(Field(TTagField(f)), "value " + std::to_string(f));
    EXPECT_EQ(Field(tfImage), "");
    EXPECT_EQ(Field(tfRating), "");
    EXPECT_EQ(TagReportText(*Tag, "a.mp3"),
              "File: a.mp3\r\nTag type: ID3v2\r\nTag size: " + std::to_string(Tag->Size) +
                  "\r\nVersion: 3\r\nTrack: value 0\r\nTitle: value 1\r\nArtist: value 2\r\n"
                  "Album: value 3\r\nYear: value 4\r\nComment: value 5\r\nGenre: value 6\r\n");
}

TEST_F(TID3v2Fixture, Version2FramesAreTranslated) {
    ASSERT_TRUE(
        ReadBytes(TagBytes(2, Frame2("TT2", "\0Old title"s) + Frame2("TP1", "\0Band"s) +
                                  Frame2("XYZ", "\0other"s) + Frame2("COM", "\0eng\0Note"s)) +
                  Audio(40)));
    EXPECT_EQ(Field(tfVersion), "2");
    EXPECT_EQ(Field(tfTitle), "Old title");
    EXPECT_EQ(Field(tfArtist), "Band");
    EXPECT_EQ(Field(tfComment), "Note");
    ASSERT_NE(Tag->FindFrame("xyzz"), nullptr); // unknown ids repeat their third character
    EXPECT_EQ(Tag->FindFrame("TIT2")->Flags, 0);
}

TEST_F(TID3v2Fixture, DuplicateFrames) {
    std::string emptyFirst = Frame3("TIT2", "\0"s) + Frame3("TIT2", "\0Second"s);
    std::string bothFull = Frame3("TIT2", "\0First"s) + Frame3("TIT2", "\0Second"s);
    // Every frame is kept; a field reads the first frame of its id that has text.
    ASSERT_TRUE(ReadBytes(TagBytes(3, emptyFirst)));
    EXPECT_EQ(Field(tfTitle), "Second");
    EXPECT_EQ(Tag->FrameCount(), 2);
    ASSERT_TRUE(ReadBytes(TagBytes(3, bothFull)));
    EXPECT_EQ(Field(tfTitle), "First");
    EXPECT_EQ(Tag->FrameCount(), 2);
    Tag->DuplicateMode = 0;
    ASSERT_TRUE(ReadBytes(TagBytes(3, emptyFirst)));
    EXPECT_EQ(Field(tfTitle), "");
    EXPECT_EQ(Tag->FrameCount(), 1);
    Tag->DuplicateMode = 1;
    ASSERT_TRUE(ReadBytes(TagBytes(3, emptyFirst)));
    EXPECT_EQ(Field(tfTitle), "Second");
    EXPECT_EQ(Tag->FrameCount(), 1);
}

TEST_F(TID3v2Fixture, FieldTextOfEveryEncodingAndLayout) {
    struct TRow {
        const char* Name;
        std::string Tag;
        TTagField Field;
        std::string Expected;
    };
    const std::string t200 = "\0"s + std::string(199, 't');
    const TRow rows[] = {
        {"a genre number alone names the ID3v1 genre", TagBytes(3, Frame3("TCON", "\0(17)"s)),
         tfGenre, "Rock"},
        {"so does a bare 2.4 number",
         TagBytes(4, Frame4("TCON", "\x03"
                                    "32"s)),
         tfGenre, "Classical"},
        {"a number before a name gives the name", TagBytes(3, Frame3("TCON", "\0(13)Pop"s)),
         tfGenre, "Pop"},
        {"a plain genre", TagBytes(3, Frame3("TCON", "\0Jazz"s)), tfGenre, "Jazz"},
        {"2.4 keeps its year in TDRC",
         TagBytes(4, Frame4("TDRC", "\x03"
                                    "2019-05-04"s)),
         tfYear, "2019"},
        {"TYER before TDRC",
         TagBytes(3, Frame3("TDRC", "\0"
                                    "2001"s) +
                         Frame3("TYER", "\0"
                                        "1999"s)),
         tfYear, "1999"},
        {"UTF-16 little-endian",
         TagBytes(3, Frame3("TIT2", "\x01\xFF\xFE"
                                    "A\0\xE9\0\xAC\x20"s)),
         tfTitle, "A\xC3\xA9\xE2\x82\xAC"},
        {"UTF-16 big-endian by its mark",
         TagBytes(3, Frame3("TIT2", "\x01\xFE\xFF\0A\0\xE9\x20\xAC"s)), tfTitle,
         "A\xC3\xA9\xE2\x82\xAC"},
        {"a surrogate pair and an unpaired surrogate",
         TagBytes(3, Frame3("TIT2", "\x01\xFF\xFE\x3D\xD8\x00\xDE\x3D\xD8"
                                    "A\0"s)),
         tfTitle,
         "\xF0\x9F\x98\x80\xEF\xBF\xBD"
         "A"},
        {"odd-length UTF-16 drops the last byte",
         TagBytes(3, Frame3("TIT2", "\x01\xFF\xFEH\0i"s) + Frame3("TPE1", "\0B"s)), tfTitle, "H"},
        {"2.4 UTF-8",
         TagBytes(4, Frame4("TIT2", "\x03Gr\xC3\xBC\xC3\x9F"
                                    "e\0"s)),
         tfTitle,
         "Gr\xC3\xBC\xC3\x9F"
         "e"},
        {"2.4 UTF-16 big-endian without a mark",
         TagBytes(4, Frame4("TPE1", "\x02\0B\0\xE4\x6C\x34"s)), tfArtist, "B\xC3\xA4\xE6\xB0\xB4"},
        {"bad UTF-8 becomes U+FFFD",
         TagBytes(4, Frame4("TALB", "\x03"
                                    "bad \xC3(\xFF"s)),
         tfAlbum, "bad \xEF\xBF\xBD(\xEF\xBF\xBD"},
        {"Latin-1 is converted", TagBytes(3, Frame3("TIT2", "\0Caf\xE9"s)), tfTitle, "Caf\xC3\xA9"},
        {"a comment skips language and empty description",
         TagBytes(3, Frame3("COMM", "\0eng\0Hi"s)), tfComment, "Hi"},
        {"a comment skips its description", TagBytes(3, Frame3("COMM", "\0engdesc\0Text"s)),
         tfComment, "Text"},
        {"a UTF-16 description with zero bytes of its own",
         TagBytes(3, Frame3("COMM", "\x01"
                                    "eng\xFF\xFE"
                                    "d\0\0\0\xFF\xFEH\0i\0"s)),
         tfComment, "Hi"},
        {"2.4 sizes are syncsafe (200 would be 328 taken plainly)",
         TagBytes(4, Frame4("TIT2", t200) + Frame4("TPE1", "\0Band"s), 50), tfArtist, "Band"},
        {"a 2.4 extended header is skipped",
         TagBytes(4, SyncSafe(6) + "\x01\x00"s + Frame4("TIT2", "\0Four"s), 10, 0x40), tfTitle,
         "Four"},
        {"a 2.3 extended header is skipped",
         TagBytes(3, BE32(6) + Zeros(2) + BE32(10) + Frame3("TIT2", "\0Three"s), 10, 0x40), tfTitle,
         "Three"},
        {"an extended header larger than the tag leaves no frames",
         TagBytes(3, BE32(0xFFFFFFF0u) + Frame3("TIT2", "\0X"s), 0, 0x40), tfTitle, ""},
    };
    for (const TRow& row : rows) {
        ASSERT_TRUE(ReadBytes(row.Tag + Audio(64))) << row.Name;
        EXPECT_TRUE(Tag->Valid) << row.Name;
        EXPECT_EQ(Field(row.Field), row.Expected) << row.Name;
    }
}

TEST_F(TID3v2Fixture, ZeroSizeFrameEndsTheWalk) {
    ASSERT_TRUE(ReadBytes(TagBytes(3, Frame3("TIT2", "") + Frame3("TPE1", "\0Band"s), 20)));
    EXPECT_TRUE(Tag->Valid);
    EXPECT_EQ(Tag->FrameCount(), 0);
    EXPECT_EQ(Field(tfArtist), "");
}

TEST_F(TID3v2Fixture, FrameSizePastTheTagEndStops) {
    std::string frames = Frame3("TPE1", "\0Band"s) + "TIT2" + BE32(1000) + BE16(0) + "\0Title"s;
    ASSERT_TRUE(ReadBytes(TagBytes(3, frames, 20) + Audio(2000)));
    EXPECT_EQ(Field(tfArtist), "Band");
    EXPECT_EQ(Field(tfTitle), "");
    EXPECT_EQ(Tag->FrameCount(), 1);
    for (uint32_t size : {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu}) {
        ASSERT_TRUE(ReadBytes(TagBytes(3, "TIT2" + BE32(size) + BE16(0) + "\0T"s, 20)));
        EXPECT_EQ(Tag->FrameCount(), 0);
    }
}

TEST_F(TID3v2Fixture, UnsynchronisedTagIsReadAndNotRewritten) {
    // FF FE becomes FF 00 FE in an unsynchronised tag.
    std::string frames = Frame3("TIT2", "\x01\xFF\x00\xFEO\0k\0"s);
    frames.replace(4, 4, BE32(7)); // the frame size counts the bytes before unsynchronisation
    const std::string bytes = TagBytes(3, frames, 10, 0x80) + Audio(300);
    ASSERT_TRUE(ReadBytes(bytes));
    EXPECT_EQ(Field(tfTitle), "Ok");
    EXPECT_FALSE(Tag->Rewritable);
    Tag->SetField(tfArtist, "New");
    EXPECT_FALSE(Tag->Save(File));
    EXPECT_TRUE(ReadFile(File) == bytes);
}

TEST_F(TID3v2Fixture, CompressedOrEncryptedFramesAreKeptByteForByte) {
    const std::string cases[] = {
        TagBytes(3, Frame3("TIT2", "\0Song"s) + Frame3("APIC", "xxxxxxxx", 0x0080), 10),
        TagBytes(3, Frame3("TIT2", "\0Song"s) + Frame3("PRIV", "\1yyyyyy", 0x0040), 10),
        TagBytes(4, Frame4("TIT2", "\0Song"s) + Frame4("APIC", "zzzzzz", 0x0008), 10),
        TagBytes(4, Frame4("TIT2", "\0Song"s) + Frame4("PRIV", "zzzzzz", 0x0004), 10),
        TagBytes(4, Frame4("TIT2", "\0Song"s) + Frame4("TPE1", "\0A\xFF\0"s, 0x0002), 10)};
    for (const std::string& tag : cases) {
        const std::string bytes = tag + Audio(500);
        ASSERT_TRUE(ReadBytes(bytes));
        EXPECT_EQ(Field(tfTitle), "Song");
        Tag->SetField(tfTitle, "Other");
        ASSERT_TRUE(Tag->Save(File));
        const std::string after = ReadFile(File);
        const std::string second = tag.substr(10 + 15, 10 + 6); // the frame after "TIT2"
        EXPECT_NE(after.find(second), std::string::npos);
        EXPECT_TRUE(after.substr(after.size() - 500) == Audio(500));
        ASSERT_TRUE(Tag->Read(File));
        EXPECT_EQ(Field(tfTitle), "Other");
    }
}

TEST_F(TID3v2Fixture, FrameEditing) {
    int32_t index = Tag->AddFrame("TXXX", 0x1234);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(Tag->Frame(index)->Size(), 0);
    EXPECT_EQ(Tag->FindFrame("txxx"), Tag->Frame(index));
    EXPECT_EQ(TTagID3v2::FrameText(nullptr), "");
    Tag->DeleteFrame(index);
    EXPECT_EQ(Tag->FrameCount(), 0);
    Tag->SetField(tfTitle, "T");
    Tag->SetField(tfComment, "");
    Tag->SetField(tfUrl, "");
    Tag->SetField(tfArtist, "");
    for (int id : {-1, 15, 16, 17, 18, 19, 200})
        Tag->SetField(id, "ignored");
    EXPECT_EQ(Tag->FrameCount(), 3); // an empty comment and URL stay as frames
    EXPECT_EQ(Field(tfComment), "");
    Tag->SetField(tfTitle, "");
    EXPECT_EQ(Tag->FindFrame("TIT2"), nullptr);
}

// ---- writing ----

TEST_F(TID3v2Fixture, SmallerTagIsWrittenInPlace) {
    const std::string audio = Audio(4000);
    ASSERT_TRUE(ReadBytes(TagBytes(3, Frame3("TIT2", "\0Old"s), 2990 - 14) + audio));
    ASSERT_EQ(Tag->Size, 3000);
    Tag->Reset();
    Tag->SetField(tfTitle, std::string(179, 'n')); // 10 + 10 + 180 = 200 bytes of tag
    ASSERT_TRUE(Tag->Save(File));
    const std::string bytes = ReadFile(File);
    ASSERT_EQ(bytes.size(), 3000 + audio.size());
    EXPECT_EQ(bytes.substr(0, 10), "ID3\x03\x00\x00"s + SyncSafe(2990));
    EXPECT_EQ(bytes.substr(10, 10), "TIT2" + BE32(180) + BE16(0));
    EXPECT_EQ(bytes.substr(200, 2800), Zeros(2800));
    EXPECT_TRUE(bytes.substr(3000) == audio);
    ASSERT_TRUE(Tag->Read(File));
    EXPECT_EQ(Field(tfTitle), std::string(179, 'n'));
}

TEST_F(TID3v2Fixture, LargeTagRebuildsWithoutPadding) {
    const std::string audio = Audio(3000);
    WriteFile(File, audio);
    Tag->SetField(tfTitle, std::string(4979, 'x')); // 10 + 10 + 4980 = 5000
    ASSERT_TRUE(Tag->Save(File));
    const std::string bytes = ReadFile(File);
    ASSERT_EQ(bytes.size(), 5000 + audio.size());
    EXPECT_EQ(bytes.substr(0, 10), "ID3\x03\x00\x00"s + SyncSafe(4990));
    EXPECT_TRUE(bytes.substr(5000) == audio);
    EXPECT_FALSE(audiolens::FileExists(File + "~"));
    // A small new tag over the 5000-byte one keeps its size, padded.
    Tag->SetField(tfTitle, "short");
    ASSERT_TRUE(Tag->Save(File));
    const std::string again = ReadFile(File);
    ASSERT_EQ(again.size(), 5000 + audio.size());
    EXPECT_TRUE(again.substr(5000) == audio);
    EXPECT_EQ(GetID3v2Size(File), 5000);
}

TEST_F(TID3v2Fixture, RemoveCutsOnlyTheTag) {
    const std::string audio = Audio(1000);
    WriteFile(File, audio);
    EXPECT_FALSE(Tag->Remove(File));
    EXPECT_TRUE(ReadFile(File) == audio);
    EXPECT_FALSE(Tag->Remove(Dir.Path("missing.mp3")));
    WriteFile(File, TagBytes(4, Frame4("TIT2", "\0Song"s), 300, 0x10) + Zeros(10) + audio);
    ASSERT_TRUE(Tag->Remove(File));
    EXPECT_TRUE(ReadFile(File) == audio);
    EXPECT_FALSE(audiolens::FileExists(File + "~"));
}

TEST_F(TID3v2Fixture, Version4TagStaysVersion4WithEveryFrame) {
    REQUIRE_TOOL("/usr/bin/python3");
    const std::string audio = Audio(700);
    // The TXXX frame is grouped: it is written back with its flag and group byte.
    const std::string frames = Frame4("TIT2", "\x03Gr\xC3\xBC\xC3\x9F"
                                              "e"s) +
                               Frame4("COMM", "\x03"
                                              "engd\xC3\xA9\0na\xC3\xAFve"s) +
                               Frame4("XYZW", "\x07opaque bytes\xFF"s) +
                               Frame4("TXXX",
                                      "\x05\x03"
                                      "key\0v\xC3\xA4lue"s,
                                      0x0040);
    ASSERT_TRUE(ReadBytes(TagBytes(4, frames, 20) + audio));
    Tag->SetField(tfArtist, "Band");
    ASSERT_TRUE(Tag->Save(File));
    const std::string bytes = ReadFile(File);
    EXPECT_EQ(bytes[3], '\x04');
    EXPECT_NE(bytes.find(frames), std::string::npos); // unchanged frames, unchanged bytes
    EXPECT_TRUE(bytes.substr(bytes.size() - audio.size()) == audio);
    EXPECT_EQ(Mutagen(File, "t.version"), "(2, 4, 0)");
    EXPECT_EQ(Mutagen(File, "t['TIT2'].text[0] + '|' + str(t['TIT2'].encoding)"),
              "Gr\xC3\xBC\xC3\x9F"
              "e|Encoding.UTF8");
    EXPECT_EQ(Mutagen(File, "t.getall('COMM')[0].desc + '|' + t.getall('COMM')[0].text[0]"),
              "d\xC3\xA9|na\xC3\xAFve");
    // mutagen skips grouped frames; the grouped TXXX is among the unchanged bytes above.
    EXPECT_EQ(Mutagen(File, "t['TPE1'].text[0]"), "Band");
}

TEST_F(TID3v2Fixture, NonAsciiRoundTripThroughMutagen) {
    REQUIRE_TOOL("/usr/bin/python3");
    const std::string audio = Audio(900);
    WriteFile(File, audio);
    const std::string title = "Gr\xC3\xBC\xC3\x9F"
                              "e \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80";
    Tag->SetField(tfTitle, title);
    Tag->SetField(tfArtist, "Caf\xC3\xA9"); // fits ISO-8859-1
    Tag->SetField(tfComment, "\xC3\xA7"
                             "a \xE2\x82\xAC"); // needs UTF-16
    Tag->SetField(tfLyrics, "La la");
    Tag->SetField(tfUrl, "http://example.org/");
    Tag->SetField(tfTrack, "7");
    ASSERT_TRUE(Tag->Save(File));
    EXPECT_EQ(Mutagen(File, "t['TIT2'].text[0]"), title);
    EXPECT_EQ(Mutagen(File, "t['TPE1'].text[0] + '|' + str(t['TPE1'].encoding)"),
              "Caf\xC3\xA9|Encoding.LATIN1");
    EXPECT_EQ(Mutagen(File, "t.getall('COMM')[0].text[0] + '|' + t.getall('COMM')[0].lang"),
              "\xC3\xA7"
              "a \xE2\x82\xAC|lng");
    EXPECT_EQ(Mutagen(File, "t.getall('USLT')[0].text"), "La la");
    EXPECT_EQ(Mutagen(File, "t.getall('WXXX')[0].url"), "http://example.org/");
    EXPECT_EQ(Mutagen(File, "t['TRCK'].text[0]"), "7");
    EXPECT_EQ(Mutagen(File, "t.size"), "4096");
    TRef<TTagID3v2> fresh(new TTagID3v2);
    ASSERT_TRUE(fresh->Read(File));
    EXPECT_EQ(fresh->GetField(tfTitle), title);
    EXPECT_EQ(fresh->GetField(tfComment), "\xC3\xA7"
                                          "a \xE2\x82\xAC");
    EXPECT_EQ(fresh->GetField(tfLyrics), "La la");
    EXPECT_EQ(fresh->GetField(tfUrl), "http://example.org/");
    EXPECT_TRUE(ReadFile(File).substr(4096) == audio);
}

// ---- files from real encoders ----

struct TEncodedFixture : TID3v2Fixture {
    std::string Wav = Dir.Path("in.wav");
    void SetUp() override {
        REQUIRE_TOOL("ffmpeg");
        ASSERT_EQ(
            testsupport::Run("ffmpeg -v error -y -f lavfi -i sine=frequency=500:sample_rate=44100:"
                             "duration=0.3 -ac 1 " +
                             Quote(Wav)),
            0);
    }
};

TEST_F(TEncodedFixture, LameTags) {
    REQUIRE_TOOL("lame");
    REQUIRE_TOOL("/usr/bin/python3");
    for (const char* version : {"--id3v2-latin1", "--id3v2-utf16"}) {
        ASSERT_EQ(
            testsupport::Run("lame --quiet --id3v2-only " + std::string(version) +
                             " --tt 'Lame Title' --ta 'Lame Artist' --tl 'The Album' --ty 1999 "
                             "--tn 4 --tc 'A remark' --tg Rock " +
                             Quote(Wav) + " " + Quote(File)),
            0);
        ASSERT_TRUE(Tag->Read(File));
        EXPECT_TRUE(Tag->Valid);
        EXPECT_EQ(Field(tfVersion), Mutagen(File, "t.version[1]")) << version;
        EXPECT_EQ(std::to_string(Tag->Size), Mutagen(File, "t.size")) << version;
        EXPECT_EQ(Field(tfTitle), "Lame Title") << version;
        EXPECT_EQ(Field(tfArtist), "Lame Artist");
        EXPECT_EQ(Field(tfAlbum), "The Album");
        EXPECT_EQ(Field(tfTrack), "4");
        EXPECT_EQ(Field(tfComment), "A remark");
        EXPECT_EQ(Field(tfGenre), "Rock");
        // mutagen shows the 2.3 TYER frame as TDRC.
        EXPECT_EQ(Field(tfYear), Mutagen(File, "str(t['TDRC'].text[0])"));
    }
}

TEST_F(TEncodedFixture, FfmpegTagsOfBothVersionsAndTheirAudio) {
    REQUIRE_TOOL("/usr/bin/python3");
    const std::string title = "Caf\xC3\xA9 \xCE\xA9 \xE6\xB0\xB4";
    for (const char* version : {"3", "4"}) {
        ASSERT_EQ(
            testsupport::Run("ffmpeg -v error -y -i " + Quote(Wav) + " -c:a libmp3lame -b:a 64k " +
                             "-metadata title=" + Quote(title) + " -metadata artist=Someone " +
                             "-metadata album=Disc -id3v2_version " + version + " -write_xing 0 " +
                             Quote(File)),
            0);
        const std::string original = ReadFile(File);
        ASSERT_TRUE(Tag->Read(File));
        EXPECT_EQ(Field(tfVersion), version);
        EXPECT_EQ(std::to_string(Tag->Size), Mutagen(File, "t.size"));
        EXPECT_EQ(Field(tfTitle), title) << version;
        EXPECT_EQ(Field(tfArtist), "Someone");
        EXPECT_EQ(Field(tfAlbum), "Disc");
        EXPECT_EQ(Field(tfEncoder), ""); // ffmpeg names itself in TSSE, not TENC
        const std::string audio = original.substr(static_cast<size_t>(Tag->Size));
        // Rewritten as 2.3: the encoder frame survives, the audio is untouched.
        Tag->SetField(tfAlbum, "Other disc");
        ASSERT_TRUE(Tag->Save(File));
        EXPECT_EQ(Mutagen(File, "t['TIT2'].text[0]"), title);
        EXPECT_EQ(Mutagen(File, "t['TALB'].text[0]"), "Other disc");
        EXPECT_EQ(Mutagen(File, "t['TSSE'].text[0][:4]"), "Lavf");
        const std::string saved = ReadFile(File);
        const auto size = static_cast<size_t>(GetID3v2Size(File));
        EXPECT_TRUE(saved.substr(size) == audio) << version;
        ASSERT_TRUE(Tag->Remove(File));
        EXPECT_TRUE(ReadFile(File) == audio) << version;
    }
}
