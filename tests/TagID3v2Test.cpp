// ID3v2 tag: byte-built 2.2/2.3/2.4 tags read into one summary per row (sizes, extended headers,
// encodings, duplicates, damaged sizes), saves compared byte for byte with the layout, refusals,
// and tags written by lame and ffmpeg, and by this writer, read by mutagen.
#include "tags/TagID3v2.h"
#include "TagFileFixture.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace audiolens;
using namespace testsupport;
using namespace std::string_literals;

namespace {

std::string F2(const std::string& id, const std::string& data) {
    return ID3v2Frame(2, id, data);
}
std::string F3(const std::string& id, const std::string& data, uint16_t flags = 0) {
    return ID3v2Frame(3, id, data, flags);
}
std::string F4(const std::string& id, const std::string& data, uint16_t flags = 0) {
    return ID3v2Frame(4, id, data, flags);
}

// mutagen's reading of the file: the expression's value as text.
std::string Mutagen(const std::string& file, const std::string& expression) {
    std::string out;
    testsupport::Run("/usr/bin/python3 -c \"import sys, mutagen.id3 as m; t = m.ID3(sys.argv[1]); "
                     "sys.stdout.buffer.write(str(" +
                         expression + ").encode('utf-8'))\" " + Quote(file) + " 2>&1",
                     &out);
    return out;
}

// 2.4 frames of UTF-8 text, an unknown id and a grouped frame (its group byte first).
const std::string V4Frames = F4("TIT2", "\3Grüße"s) + F4("COMM", "\3engdé\0naïve"s) +
                             F4("XYZW", "\7opaque bytes\xFF"s) +
                             F4("TXXX", "\5\3key\0välue"s, 0x0040);

struct TID3v2Fixture : TTagFileFixture<TTagID3v2> {
    // The tag's summary and the ids of its frames ('*' for those whose text cannot be read).
    std::string Frames(bool read) const {
        std::string s = TagSummary(read, *Tag) + "Frames=";
        for (int32_t i = 0; i < Tag->FrameCount(); ++i)
            s += Tag->Frame(i)->Id + (Tag->Frame(i)->Opaque ? "*," : ",");
        return s + "|";
    }
};

} // namespace

TEST_F(TID3v2Fixture, WholeFiles) {
    const std::string audio = AudioBytes(100);
    // clang-format off
    const std::pair<std::string, std::string> rows[] = {
        {"ID3\x03\x00\x00\x00\x00\x02\x01"s + Zeros(257) + audio, // 2 * 128 + 1 bytes of body
         "Read=1|Valid=1|Size=267|Version=3|Frames=|"},
        {ID3v2Tag(4, F4("TIT2", "\0Song"s), 20, 0x10) + Zeros(10) + audio, // a footer
         "Read=1|Valid=1|Size=55|Title=Song|Version=4|Frames=TIT2,|"},
        // versions it does not know, and a tag larger than the file, have no frames
        {ID3v2Tag(5, F3("TIT2", "\0Song"s)) + audio, "Read=1|Valid=1|Size=25|Version=5|Frames=|"},
        {ID3v2Tag(1, F3("TIT2", "\0Song"s)) + audio, "Read=1|Valid=1|Size=25|Version=1|Frames=|"},
        {ID3v2Header(3, 100000) + F3("TIT2", "\0Song"s),
         "Read=1|Valid=1|Size=0|Version=3|Frames=|"},
        {audio, "Read=1|Valid=0|Size=0|Frames=|"},
        {"ID3\x03", "Read=0|Valid=0|Size=0|Frames=|"},
    };
    // clang-format on
    for (const auto& [bytes, expected] : rows) {
        EXPECT_EQ(Frames(ReadBytes(bytes)), expected);
        EXPECT_EQ(GetID3v2Size(File), Tag->Size);
    }
    int32_t size = -1;
    std::string header;
    WriteFile(File, rows[0].first);
    ASSERT_TRUE(TTagID3v2::ReadHeader(File, size, header));
    EXPECT_EQ(size, 267);
    EXPECT_EQ(header, rows[0].first.substr(0, 10));
    EXPECT_EQ(Frames(Tag->Read(Dir.Path("missing.mp3"))), "Read=0|Valid=0|Size=0|Frames=|");
    EXPECT_EQ(GetID3v2Size(Dir.Path("missing.mp3")), 0);
}

// Each row is a tag before audio: its summary after "Read=1|Valid=1|Size=<the tag's bytes>|".
TEST_F(TID3v2Fixture, FramesOfEveryEncodingAndLayout) {
    struct TRow {
        std::string Tag, Expected;
        uint8_t DuplicateMode = 2;
    };
    const char* ids[] = {"TRCK", "TIT2", "TPE1", "TALB", "TYER", "COMM", "TCON", "TCOM",
                         "TENC", "TCOP", "WXXX", "TIT1", "TLAN", "USLT", "TOPE"};
    std::string all, allIds;
    for (int f = 0; f < 15; ++f) {
        const std::string text = "value " + std::to_string(f);
        const bool commentLayout = f == tfComment || f == tfLyrics;
        all += F3(ids[f], (commentLayout ? "\0eng\0"s : f == tfUrl ? "\0\0"s : "\0"s) + text);
        allIds += ids[f] + ","s;
    }
    const std::string emptyFirst = F3("TIT2", "\0"s) + F3("TIT2", "\0Second"s);
    std::string unsynchronised = F3("TIT2", "\x01\xFF\x00\xFEO\0k\0"s); // FF FE as FF 00 FE
    unsynchronised.replace(4, 4, BE32(7)); // the size counts the bytes before unsynchronisation
    const std::string bigFrame = "\0"s + std::string(199, 't'); // 200: 328 if taken plainly
    // clang-format off
    const TRow rows[] = {
        {ID3v2Tag(3, all, 100), "Track=value 0|Title=value 1|Artist=value 2|Album=value 3|"
            "Year=value 4|Comment=value 5|Genre=value 6|Composer=value 7|Encoder=value 8|"
            "Copyright=value 9|Url=value 10|ContentGroup=value 11|Language=value 12|"
            "Lyrics=value 13|OriginalArtist=value 14|Version=3|Frames=" + allIds + "|"},
        // 2.2 ids are translated; unknown ones repeat their third character
        {ID3v2Tag(2, F2("TT2", "\0Old"s) + F2("TP1", "\0Band"s) + F2("XYZ", "\0o"s) +
                         F2("COM", "\0eng\0Note"s)),
         "Title=Old|Artist=Band|Comment=Note|Version=2|Frames=TIT2,TPE1,XYZZ,COMM,|"},
        // duplicates: all kept (a field reads the first with text), the first, the first with text
        {ID3v2Tag(3, emptyFirst), "Title=Second|Version=3|Frames=TIT2,TIT2,|"},
        {ID3v2Tag(3, F3("TIT2", "\0First"s) + F3("TIT2", "\0Second"s)),
         "Title=First|Version=3|Frames=TIT2,TIT2,|"},
        {ID3v2Tag(3, emptyFirst), "Version=3|Frames=TIT2,|", 0},
        {ID3v2Tag(3, emptyFirst), "Title=Second|Version=3|Frames=TIT2,|", 1},
        // a genre number names the ID3v1 genre, a number before a name gives the name
        {ID3v2Tag(3, F3("TCON", "\0(17)"s)), "Genre=Rock|Version=3|Frames=TCON,|"},
        {ID3v2Tag(4, F4("TCON", "\x03" "32"s)), "Genre=Classical|Version=4|Frames=TCON,|"},
        {ID3v2Tag(3, F3("TCON", "\0(13)Pop"s)), "Genre=Pop|Version=3|Frames=TCON,|"},
        // the year: 2.4 in TDRC; TYER before TDRC
        {ID3v2Tag(4, F4("TDRC", "\x03" "2019-05-04"s)), "Year=2019|Version=4|Frames=TDRC,|"},
        {ID3v2Tag(3, F3("TDRC", "\0" "2001"s) + F3("TYER", "\0" "1999"s)),
         "Year=1999|Version=3|Frames=TDRC,TYER,|"},
        // UTF-16 by its mark, surrogates (one unpaired), an odd length
        {ID3v2Tag(3, F3("TIT2", "\x01\xFF\xFE" "A\0\xE9\0\xAC\x20"s)),
         "Title=A\xC3\xA9\xE2\x82\xAC|Version=3|Frames=TIT2,|"},
        {ID3v2Tag(3, F3("TIT2", "\x01\xFE\xFF\0A\0\xE9\x20\xAC"s)),
         "Title=A\xC3\xA9\xE2\x82\xAC|Version=3|Frames=TIT2,|"},
        {ID3v2Tag(3, F3("TIT2", "\x01\xFF\xFE\x3D\xD8\x00\xDE\x3D\xD8" "A\0"s)),
         "Title=\xF0\x9F\x98\x80\xEF\xBF\xBD" "A|Version=3|Frames=TIT2,|"},
        {ID3v2Tag(3, F3("TIT2", "\x01\xFF\xFEH\0i"s) + F3("TPE1", "\0B"s)),
         "Title=H|Artist=B|Version=3|Frames=TIT2,TPE1,|"},
        // 2.4: UTF-8 (bad bytes become U+FFFD), UTF-16 big-endian without a mark; Latin-1
        {ID3v2Tag(4, F4("TIT2", "\x03Gr\xC3\xBC\xC3\x9F" "e\0"s)),
         "Title=Gr\xC3\xBC\xC3\x9F" "e|Version=4|Frames=TIT2,|"},
        {ID3v2Tag(4, F4("TALB", "\x03" "bad \xC3(\xFF"s)),
         "Album=bad \xEF\xBF\xBD(\xEF\xBF\xBD|Version=4|Frames=TALB,|"},
        {ID3v2Tag(4, F4("TPE1", "\x02\0B\0\xE4\x6C\x34"s)),
         "Artist=B\xC3\xA4\xE6\xB0\xB4|Version=4|Frames=TPE1,|"},
        {ID3v2Tag(3, F3("TIT2", "\0Caf\xE9"s)), "Title=Caf\xC3\xA9|Version=3|Frames=TIT2,|"},
        // comments and lyrics skip language and description (a UTF-16 one with zero bytes)
        {ID3v2Tag(3, F3("COMM", "\0engdesc\0Text"s) + F3("USLT", "\0eng\0Hi"s)),
         "Comment=Text|Lyrics=Hi|Version=3|Frames=COMM,USLT,|"},
        {ID3v2Tag(3, F3("COMM", "\x01" "eng\xFF\xFE" "d\0\0\0\xFF\xFEH\0i\0"s)),
         "Comment=Hi|Version=3|Frames=COMM,|"},
        // 2.4 sizes are syncsafe; extended headers are skipped, unless larger than the tag
        {ID3v2Tag(4, F4("TIT2", bigFrame) + F4("TPE1", "\0Band"s), 50),
         "Title=" + bigFrame.substr(1) + "|Artist=Band|Version=4|Frames=TIT2,TPE1,|"},
        {ID3v2Tag(4, SyncSafe(6) + "\x01\x00"s + F4("TIT2", "\0Four"s), 10, 0x40),
         "Title=Four|Version=4|Frames=TIT2,|"},
        {ID3v2Tag(3, BE32(6) + Zeros(2) + BE32(10) + F3("TIT2", "\0Three"s), 10, 0x40),
         "Title=Three|Version=3|Frames=TIT2,|"},
        {ID3v2Tag(3, BE32(0xFFFFFFF0u) + F3("TIT2", "\0X"s), 0, 0x40), "Version=3|Frames=|"},
        // a zero size, or one past the tag's end, ends the walk
        {ID3v2Tag(3, F3("TIT2", "") + F3("TPE1", "\0Band"s), 20), "Version=3|Frames=|"},
        {ID3v2Tag(3, F3("TPE1", "\0Band"s) + "TIT2" + BE32(1000) + BE16(0) + "\0Title"s, 20),
         "Artist=Band|Version=3|Frames=TPE1,|"},
        {ID3v2Tag(3, "TIT2" + BE32(0xFFFFFFFFu) + BE16(0) + "\0T"s, 20), "Version=3|Frames=|"},
        {ID3v2Tag(3, "TIT2" + BE32(0x80000000u) + BE16(0) + "\0T"s, 20), "Version=3|Frames=|"},
        {ID3v2Tag(3, "TIT2" + BE32(0x7FFFFFFFu) + BE16(0) + "\0T"s, 20), "Version=3|Frames=|"},
        {ID3v2Tag(3, unsynchronised, 10, 0x80), "Title=Ok|Version=3|Frames=TIT2,|"},
        // compressed and encrypted frames cannot be read; grouped and unsynchronised ones can
        {ID3v2Tag(3, F3("TIT2", "\0Song"s) + F3("APIC", "xxxxxxxx", 0x0080) +
                         F3("PRIV", "\1yyyyyy", 0x0040) + F3("TALB", "g\0Al"s, 0x0020)),
         "Title=Song|Album=Al|Version=3|Frames=TIT2,APIC*,PRIV*,TALB,|"},
        {ID3v2Tag(4, F4("TIT2", "\0Song"s) + F4("APIC", "zzzzzz", 0x0008) +
                         F4("PRIV", "zzzzzz", 0x0004) + F4("TPE1", "\0A\xFF\0"s, 0x0002) +
                         F4("TALB", "\0\0\0\3\0Al"s, 0x0001)),
         "Title=Song|Artist=A\xC3\xBF|Album=Al|Version=4|Frames=TIT2,APIC*,PRIV*,TPE1,TALB,|"},
    };
    // clang-format on
    for (const TRow& row : rows) {
        Tag->DuplicateMode = row.DuplicateMode;
        EXPECT_EQ(Frames(ReadBytes(row.Tag + AudioBytes(64))),
                  "Read=1|Valid=1|Size=" + std::to_string(row.Tag.size()) + "|" + row.Expected);
    }
}

// Every row reads the file, sets the fields and saves: the whole file is compared.
TEST_F(TID3v2Fixture, Saving) {
    struct TRow {
        std::string Before;
        std::vector<std::pair<int, std::string>> Fields;
        std::string After; // "" when the save is refused and the file stays as it was
    };
    // clang-format off
    const std::string n179 = "\0"s + std::string(179, 'n'), x4979 = "\0"s + std::string(4979, 'x');
    const std::string song = F3("TIT2", "\0Song"s), other = F3("TIT2", "\0Other"s);
    const std::string kept3 = F3("APIC", "xxxxxxxx", 0x0080) + F3("PRIV", "\1yyyyyy", 0x0040);
    const std::string kept4 = F4("APIC", "zzzzzz", 0x0008) + F4("PRIV", "zzzzzz", 0x0004) +
                              F4("TPE1", "\0A\xFF\0"s, 0x0002);
    std::string unsynchronised = F3("TIT2", "\x01\xFF\x00\xFEO\0k\0"s);
    unsynchronised.replace(4, 4, BE32(7));
    const TRow rows[] = {
        // a smaller tag is written in place, padded to the old size
        {ID3v2Tag(3, F3("TIT2", "\0Old"s), 2976), {{tfTitle, n179.substr(1)}},
         ID3v2Tag(3, F3("TIT2", n179), 2800)},
        // a new tag of 5000 bytes has no padding; a short one over it keeps the size
        {"", {{tfTitle, x4979.substr(1)}}, ID3v2Tag(3, F3("TIT2", x4979))},
        {ID3v2Tag(3, F3("TIT2", x4979)), {{tfTitle, "short"}},
         ID3v2Tag(3, F3("TIT2", "\0short"s), 5000 - 10 - 16)},
        // a small new tag is padded to 4096 bytes; an empty comment and URL stay frames
        {"", {{tfTitle, "T"}, {tfComment, ""}, {tfUrl, ""}, {tfArtist, ""}, {-1, "x"},
              {15, "x"}, {tfVersion, "x"}, {200, "x"}},
         ID3v2Tag(3, F3("TIT2", "\0T"s) + F3("COMM", "\0lng\0"s) + F3("WXXX", "\0\0"s), 4047)},
        // an empty text deletes its frame
        {ID3v2Tag(3, F3("TIT2", "\0T"s) + F3("TPE1", "\0A"s), 10), {{tfTitle, ""}},
         ID3v2Tag(3, F3("TPE1", "\0A"s), 22)},
        // 2.2 becomes 2.3
        {ID3v2Tag(2, F2("TT2", "\0Old"s) + F2("TP1", "\0Band"s)), {{tfTitle, "New"}},
         ID3v2Tag(3, F3("TIT2", "\0New"s) + F3("TPE1", "\0Band"s), 4057)},
        // 2.4 stays 2.4, every other frame byte for byte, a grouped one with its flag
        {ID3v2Tag(4, V4Frames, 20), {{tfArtist, "Band"}},
         ID3v2Tag(4, V4Frames + F4("TPE1", "\0Band"s), 5)},
        // compressed and encrypted frames are kept, and one unsynchronised by itself
        {ID3v2Tag(3, song + kept3, 10), {{tfTitle, "Other"}}, ID3v2Tag(3, other + kept3, 9)},
        {ID3v2Tag(4, F4("TIT2", "\0Song"s) + kept4, 10), {{tfTitle, "Other"}},
         ID3v2Tag(4, F4("TIT2", "\0Other"s) + kept4, 9)},
        // an unsynchronised tag is not rewritten, nor one whose frames could not be found: of
        // a version it does not know, or larger than the file
        {ID3v2Tag(3, unsynchronised, 10, 0x80), {{tfArtist, "New"}}, ""},
        {ID3v2Tag(5, song), {{tfTitle, "New"}}, ""},
        {ID3v2Tag(1, song), {{tfTitle, "New"}}, ""},
        {ID3v2Header(3, 100000) + song, {{tfTitle, "New"}}, ""},
    };
    // clang-format on
    const std::string audio = AudioBytes(4000);
    for (const TRow& row : rows) {
        ASSERT_TRUE(ReadBytes(row.Before + audio));
        Set(row.Fields);
        EXPECT_EQ(Tag->Save(File), !row.After.empty());
        EXPECT_TRUE(ReadFile(File) == (row.After.empty() ? row.Before : row.After) + audio);
        if (!row.After.empty()) {
            EXPECT_EQ(Tag->Size, static_cast<int32_t>(row.After.size()));
        }
    }
    const std::string large = ReadFile(File);
    EXPECT_FALSE(Tag->Remove(File)); // a tag larger than the file is not cut either
    EXPECT_TRUE(ReadFile(File) == large);
    EXPECT_FALSE(Tag->Remove(Dir.Path("missing.mp3")));
    WriteFile(File, ID3v2Tag(4, F4("TIT2", "\0Song"s), 300, 0x10) + Zeros(10) + audio); // footer
    ASSERT_TRUE(Tag->Remove(File));
    EXPECT_TRUE(ReadFile(File) == audio);
    EXPECT_FALSE(Tag->Remove(File)); // no tag: nothing to cut
    EXPECT_TRUE(ReadFile(File) == audio);
    EXPECT_FALSE(std::filesystem::exists(File + "~"));
}

TEST_F(TID3v2Fixture, FrameEditing) {
    const int32_t index = Tag->AddFrame("TXXX", 0x1234);
    EXPECT_EQ(Tag->FindFrame("txxx"), Tag->Frame(index));
    EXPECT_EQ(Tag->FindFrame("txxx")->Flags, 0x1234);
    EXPECT_EQ(Tag->Frame(index)->Size(), 0);
    EXPECT_EQ(Tag->FindFrame("TIT2"), nullptr);
    EXPECT_EQ(Tag->FindFrame("TXX"), nullptr);
    EXPECT_EQ(TTagID3v2::FrameText(nullptr), "");
    Tag->DeleteFrame(index);
    Tag->DeleteFrame(7);
    EXPECT_EQ(Tag->FrameCount(), 0);
}

TEST_F(TID3v2Fixture, MutagenReadsWhatWeWrite) {
    REQUIRE_TOOL("/usr/bin/python3");
    const std::string audio = AudioBytes(900);
    WriteFile(File, audio);
    const std::string title = "Grüße 日本 😀";
    // The artist fits ISO-8859-1, the comment needs UTF-16.
    Set({{tfTitle, title},
         {tfArtist, "Café"},
         {tfComment, "ça €"},
         {tfLyrics, "La la"},
         {tfUrl, "http://example.org/"},
         {tfTrack, "7"}});
    ASSERT_TRUE(Tag->Save(File));
    EXPECT_EQ(Mutagen(File,
                      "[t.size, t['TIT2'].text[0], t['TPE1'].text[0], t['TPE1'].encoding, "
                      "t.getall('COMM')[0].text[0], t.getall('COMM')[0].lang, "
                      "t.getall('USLT')[0].text, t.getall('WXXX')[0].url, t['TRCK'].text[0]]"),
              "[4096, '" + title +
                  "', 'Café', <Encoding.LATIN1: 0>, 'ça €', 'lng', 'La la', "
                  "'http://example.org/', '7']");
    EXPECT_EQ(Reread(), "Read=1|Valid=1|Size=4096|Track=7|Title=" + title +
                            "|Artist=Café|Comment=ça €|Url=http://example.org/|Lyrics=La la|"
                            "Version=3|");
    EXPECT_TRUE(ReadFile(File).substr(4096) == audio);
    // A 2.4 tag saved again: mutagen reads the new frame and the UTF-8 ones kept (it passes
    // over grouped frames).
    ASSERT_TRUE(ReadBytes(ID3v2Tag(4, V4Frames, 20) + audio));
    Tag->SetField(tfArtist, "Band");
    ASSERT_TRUE(Tag->Save(File));
    EXPECT_EQ(Mutagen(File, "[t.version, t['TIT2'].text[0], t['TIT2'].encoding, "
                            "t.getall('COMM')[0].desc, t.getall('COMM')[0].text[0], "
                            "t['TPE1'].text[0]]"),
              "[(2, 4, 0), 'Grüße', <Encoding.UTF8: 3>, 'dé', 'naïve', 'Band']");
}

// ---- files from real encoders

struct TEncodedFixture : TID3v2Fixture {
    std::string Wav = Dir.Path("in.wav");
    void SetUp() override {
        REQUIRE_TOOL("ffmpeg");
        REQUIRE_TOOL("/usr/bin/python3");
        ASSERT_EQ(
            testsupport::Run("ffmpeg -v error -y -f lavfi -i sine=frequency=500:sample_rate=44100:"
                             "duration=0.3 -ac 1 " +
                             Quote(Wav)),
            0);
    }
};

TEST_F(TEncodedFixture, LameAndFfmpegTags) {
    const std::string title = "Café Ω 水";
    for (const std::string option : {"--id3v2-latin1", "--id3v2-utf16", "3", "4"}) {
        SCOPED_TRACE(option);
        const bool lame = option[0] == '-';
        if (lame && !HaveTool("lame")) continue;
        const std::string run =
            lame ? "lame --quiet --id3v2-only " + option +
                       " --tt 'Lame Title' --ta 'Lame Artist' --tl 'The Album' --ty 1999 --tn 4 "
                       "--tc 'A remark' --tg Rock " +
                       Quote(Wav) + " " + Quote(File)
                 : "ffmpeg -v error -y -i " + Quote(Wav) +
                       " -c:a libmp3lame -b:a 64k -write_xing 0 -id3v2_version " + option +
                       " -metadata title=" + Quote(title) +
                       " -metadata artist=Someone -metadata album=Disc " + Quote(File);
        ASSERT_EQ(testsupport::Run(run), 0);
        const std::string original = ReadFile(File);
        const bool read = Tag->Read(File);
        // mutagen shows a 2.3 TYER frame as TDRC.
        EXPECT_EQ(TagSummary(read, *Tag),
                  "Read=1|Valid=1|Size=" + Mutagen(File, "t.size") + "|" +
                      (lame ? "Track=4|Title=Lame Title|Artist=Lame Artist|Album=The Album|Year=" +
                                  Mutagen(File, "t['TDRC'].text[0]") +
                                  "|Comment=A remark|Genre=Rock|"
                            : "Title=" + title + "|Artist=Someone|Album=Disc|") +
                      "Version=" + Mutagen(File, "t.version[1]") + "|");
        if (lame) continue;
        // Saved again: ffmpeg's own frames (TSSE) survive, the audio is untouched.
        const std::string audio = original.substr(static_cast<size_t>(Tag->Size));
        Tag->SetField(tfAlbum, "Other disc");
        ASSERT_TRUE(Tag->Save(File));
        EXPECT_EQ(Mutagen(File, "[t['TIT2'].text[0], t['TALB'].text[0], t['TSSE'].text[0][:4]]"),
                  "['" + title + "', 'Other disc', 'Lavf']");
        EXPECT_TRUE(ReadFile(File).substr(static_cast<size_t>(GetID3v2Size(File))) == audio);
        ASSERT_TRUE(Tag->Remove(File));
        EXPECT_TRUE(ReadFile(File) == audio);
    }
}
