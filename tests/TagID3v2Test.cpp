// ID3v2: byte-built 2.2/2.3/2.4 tags read and saved; ours, lame's and ffmpeg's read by mutagen.
#include "tags/TagID3v2.h"
#include "TagFileFixture.h"

#include <filesystem>
#include <tuple>

using namespace audiolens;
using namespace testsupport;
using namespace std::string_literals;

namespace {

auto F2 = [](std::string id, std::string d) { return ID3v2Frame(2, id, d); };
auto F3 = [](std::string id, std::string d, uint16_t f = 0) { return ID3v2Frame(3, id, d, f); };
auto F4 = [](std::string id, std::string d, uint16_t f = 0) { return ID3v2Frame(4, id, d, f); };

std::string Mutagen(const std::string& f, const std::string& e) {
    return Python("import mutagen.id3 as m; t = m.ID3(sys.argv[1]); print(" + e + ", end='')", f);
}

auto T3 = [](std::string frames, size_t padding = 0) { return ID3v2Tag(3, frames, padding); };
const std::string Song3 = F3("TIT2", "\0Song"s), Song4 = F4("TIT2", "\0Song"s);
// 2.4 frames of UTF-8 text, an unknown id and a grouped frame (its group byte first).
const std::string V4Frames = F4("TIT2", "\3Grüße"s) + F4("COMM", "\3engdé\0naïve"s) +
                             F4("XYZW", "\7opaque bytes\xFF"s) +
                             F4("TXXX", "\5\3key\0välue"s, 0x0040);
// FF FE written as FF 00 FE; the frame size counts the bytes before unsynchronisation.
const std::string Unsynchronised = "TIT2" + BE32(7) + BE16(0) + "\x01\xFF\x00\xFEO\0k\0"s;
// Compressed and encrypted frames (2.3, 2.4), and a 2.4 frame unsynchronised by itself.
const std::string Opaque3 = F3("APIC", "xxxxxxxx", 0x0080) + F3("PRIV", "\1yyyyyy", 0x0040);
const std::string Opaque4 =
    F4("APIC", "zzzzzz", 0x0008) + F4("PRIV", "zzzzzz", 0x0004) + F4("TPE1", "\0A\xFF\0"s, 0x0002);

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

// Each row: a tag before audio, the fields read from it and the ids of its frames.
TEST_F(TID3v2Fixture, Reading) {
    struct TRow {
        std::string Tag, Fields, Frames;
        uint8_t DuplicateMode = 2;
    };
    const std::string dup = F3("TIT2", "\0"s) + F3("TIT2", "\0Second"s), big(199, 't');
    const std::string aeEuro = "Title=A\xC3\xA9\xE2\x82\xAC|", bad = "\xEF\xBF\xBD"; // U+FFFD
    auto t4 = [](std::string id, std::string d) { return ID3v2Tag(4, F4(id, d)); };
    auto sized = [](uint32_t size, std::string before = "") {
        return ID3v2Tag(3, before + "TIT2" + BE32(size) + BE16(0) + "\0T"s, 20);
    };
    // clang-format off
    const TRow rows[] = {
        {"ID3\x03\x00\x00\x00\x00\x02\x01"s + Zeros(257), "", ""}, // 2 * 128 + 1 bytes of body
        {ID3v2Tag(4, Song4, 20, 0x10) + Zeros(10), "Title=Song|", "TIT2,"}, // a footer
        {ID3v2Tag(5, Song3), "", ""}, {ID3v2Tag(1, Song3), "", ""}, // versions it does not know
        {T3(F3("WXXX", "\0d\0http://u"s) + F3("TCOM", "\0C"s) + F3("TOPE", "\0O"s), 100),
         "Composer=C|Url=http://u|OriginalArtist=O|", "WXXX,TCOM,TOPE,"}, // URL after description
        {ID3v2Tag(2, F2("TT2", "\0Old"s) + F2("TP1", "\0Band"s) + F2("XYZ", "\0o"s) +
                  F2("COM", "\0eng\0Note"s)), // 2.2 ids translated, unknown ones: XYZ is XYZZ
         "Title=Old|Artist=Band|Comment=Note|", "TIT2,TPE1,XYZZ,COMM,"},
        {T3(dup), "Title=Second|", "TIT2,TIT2,"}, // all kept: a field reads the first with text
        {T3(Song3 + dup), "Title=Song|", "TIT2,TIT2,TIT2,"}, // then the first only, first with text
        {T3(dup), "", "TIT2,", 0}, {T3(dup), "Title=Second|", "TIT2,", 1},
        {T3(F3("TCON", "\0(17)"s)), "Genre=Rock|", "TCON,"}, // a number names the ID3v1 genre
        {t4("TCON", "\x03" "32"s), "Genre=Classical|", "TCON,"},
        {T3(F3("TCON", "\0(13)Pop"s)), "Genre=Pop|", "TCON,"}, // but a name after it wins
        {t4("TDRC", "\x03" "2019-05-04"s), "Year=2019|", "TDRC,"}, // 2.4 keeps the year in TDRC
        {T3(F3("TDRC", "\0" "2001"s) + F3("TYER", "\0" "1999"s)), "Year=1999|", "TDRC,TYER,"},
        {T3(F3("TIT2", "\x01\xFF\xFE" "A\0\xE9\0\xAC\x20"s)), aeEuro, "TIT2,"}, // UTF-16: its mark
        {T3(F3("TIT2", "\x01\xFE\xFF\0A\0\xE9\x20\xAC"s)), aeEuro, "TIT2,"},
        {T3(F3("TIT2", "\x01\xFF\xFE\x3D\xD8\x00\xDE\x3D\xD8" "A\0"s)), // a pair, one unpaired
         "Title=\xF0\x9F\x98\x80" + bad + "A|", "TIT2,"},
        {T3(F3("TIT2", "\x01\xFF\xFEH\0i"s) + F3("TPE1", "\0Caf\xE9"s)), // odd length; Latin-1
         "Title=H|Artist=Caf\xC3\xA9|", "TIT2,TPE1,"},
        {t4("TIT2", "\x03Gr\xC3\xBC\xC3\x9F" "e\0"s), "Title=Gr\xC3\xBC\xC3\x9F" "e|", "TIT2,"},
        {t4("TALB", "\x03" "bad \xC3(\xFF"s), "Album=bad " + bad + "(" + bad + "|", "TALB,"},
        {t4("TPE1", "\x02\0B\0\xE4\x6C\x34"s), "Artist=B\xC3\xA4\xE6\xB0\xB4|", "TPE1,"}, // 16BE
        {T3(F3("COMM", "\0engdesc\0Text"s) + F3("USLT", "\0eng\0Hi"s)), // language, description
         "Comment=Text|Lyrics=Hi|", "COMM,USLT,"},
        {T3(F3("COMM", "\x01" "eng\xFF\xFE" "d\0\0\0\xFF\xFEH\0i\0"s)), "Comment=Hi|", "COMM,"},
        {ID3v2Tag(4, F4("TIT2", "\0"s + big) + F4("TPE1", "\0Band"s), 50), // 2.4 sizes are syncsafe
         "Title=" + big + "|Artist=Band|", "TIT2,TPE1,"}, // 200: 328 if taken plainly
        // extended headers are skipped, unless larger than the tag
        {ID3v2Tag(4, SyncSafe(6) + "\x01\x00"s + Song4, 10, 0x40), "Title=Song|", "TIT2,"},
        {ID3v2Tag(3, BE32(6) + Zeros(2) + BE32(10) + Song3, 10, 0x40), "Title=Song|", "TIT2,"},
        {ID3v2Tag(3, BE32(0xFFFFFFF0u) + Song3, 0, 0x40), "", ""},
        {T3(F3("TIT2", "") + F3("TPE1", "\0Band"s), 20), "", ""}, // a zero size ends the walk
        {sized(1000, F3("TPE1", "\0Band"s)), "Artist=Band|", "TPE1,"}, // so does one past the end
        {sized(0xFFFFFFFFu), "", ""}, {sized(0x80000000u), "", ""}, {sized(0x7FFFFFFFu), "", ""},
        {ID3v2Tag(3, Unsynchronised, 10, 0x80), "Title=Ok|", "TIT2,"},
        {T3(Song3 + Opaque3 + F3("TALB", "g\0Al"s, 0x0020)), "Title=Song|Album=Al|", // grouped
         "TIT2,APIC*,PRIV*,TALB,"},
        {ID3v2Tag(4, Song4 + Opaque4 + F4("TALB", "\0\0\0\3\0Al"s, 0x0001)),
         "Title=Song|Artist=A\xC3\xBF|Album=Al|", "TIT2,APIC*,PRIV*,TPE1,TALB,"},
    };
    // clang-format on
    int32_t size = -1;
    std::string header;
    for (const auto& [tag, fields, frames, mode] : rows) {
        Tag->DuplicateMode = mode;
        EXPECT_EQ(Frames(ReadBytes(tag + Noise(64))),
                  "Read=1|Valid=1|Size=" + std::to_string(tag.size()) + "|" + fields +
                      "Version=" + std::to_string(tag[3]) + "|Frames=" + frames + "|");
        EXPECT_TRUE(TTagID3v2::ReadHeader(File, size, header) && size == Tag->Size);
        EXPECT_TRUE(GetID3v2Size(File) == size && header == tag.substr(0, 10));
    }
    // a tag larger than the file has no frames; no tag, a header cut short, no file
    EXPECT_EQ(Frames(ReadBytes(ID3v2Header(3, 100000) + Song3 + Noise(64))),
              "Read=1|Valid=1|Size=0|Version=3|Frames=|");
    EXPECT_EQ(GetID3v2Size(File), 0);
    EXPECT_EQ(Frames(ReadBytes(Noise(64))), "Read=1|Valid=0|Size=0|Frames=|");
    EXPECT_EQ(Frames(ReadBytes("ID3\x03")), "Read=0|Valid=0|Size=0|Frames=|");
    EXPECT_EQ(GetID3v2Size(File), 0);
    EXPECT_EQ(Frames(Tag->Read(Dir.Path("missing.mp3"))), "Read=0|Valid=0|Size=0|Frames=|");
    EXPECT_EQ(GetID3v2Size(Dir.Path("missing.mp3")), 0);
}

// Every row reads the file, sets the fields and saves: the whole file is compared ("": refused).
TEST_F(TID3v2Fixture, Saving) {
    const std::string n179 = "\0"s + std::string(179, 'n'), x4979 = "\0"s + std::string(4979, 'x');
    const std::string other3 = F3("TIT2", "\0Other"s), other4 = F4("TIT2", "\0Other"s);
    // clang-format off
    const std::tuple<std::string, std::vector<std::pair<int, std::string>>, std::string> rows[] = {
        {"", {{tfTitle, x4979.substr(1)}}, T3(F3("TIT2", x4979))}, // no padding past 4096 bytes
        {T3(F3("TIT2", x4979)), {{tfTitle, n179.substr(1)}}, T3(F3("TIT2", n179), 4990 - 190)},
        // a new tag is padded to 4096 bytes; an empty comment and URL stay frames
        {"", {{tfTitle, "T"}, {tfComment, ""}, {tfUrl, ""}, {tfArtist, ""}, {-1, "x"},
              {15, "x"}, {tfVersion, "x"}, {200, "x"}},
         T3(F3("TIT2", "\0T"s) + F3("COMM", "\0lng\0"s) + F3("WXXX", "\0\0"s), 4047)},
        {T3(F3("TIT2", "\0T"s) + F3("TPE1", "\0A"s), 10), {{tfTitle, ""}},
         T3(F3("TPE1", "\0A"s), 22)},
        {ID3v2Tag(2, F2("TT2", "\0Old"s) + F2("TP1", "\0Band"s)), {{tfTitle, "New"}}, // to 2.3
         T3(F3("TIT2", "\0New"s) + F3("TPE1", "\0Band"s), 4057)},
        {ID3v2Tag(4, V4Frames, 20), {{tfArtist, "Band"}}, // other frames kept byte for byte
         ID3v2Tag(4, V4Frames + F4("TPE1", "\0Band"s), 5)},
        {T3(Song3 + Opaque3, 10), {{tfTitle, "Other"}}, T3(other3 + Opaque3, 9)},
        {ID3v2Tag(4, Song4 + Opaque4, 10), {{tfTitle, "Other"}}, ID3v2Tag(4, other4 + Opaque4, 9)},
        {ID3v2Tag(3, Unsynchronised, 10, 0x80), {{tfArtist, "New"}}, ""}, // refused
        {ID3v2Tag(5, Song3), {{tfTitle, "New"}}, ""}, {ID3v2Tag(1, Song3), {{tfTitle, "New"}}, ""},
        {ID3v2Header(3, 100000) + Song3, {{tfTitle, "New"}}, ""},
    };
    // clang-format on
    const std::string audio = Noise(4000);
    for (const auto& [before, fields, after] : rows) {
        ASSERT_TRUE(ReadBytes(before + audio));
        Set(fields);
        EXPECT_EQ(Tag->Save(File), !after.empty());
        EXPECT_TRUE(ReadFile(File) == (after.empty() ? before : after) + audio);
        if (!after.empty()) {
            EXPECT_EQ(Tag->Size, static_cast<int32_t>(after.size()));
        }
    }
    // a tag larger than the file is not cut either; no file or no tag: nothing to cut
    EXPECT_FALSE(Tag->Remove(File) || Tag->Remove(Dir.Path("missing.mp3")));
    EXPECT_TRUE(ReadFile(File) == ID3v2Header(3, 100000) + Song3 + audio);
    WriteFile(File, ID3v2Tag(4, Song4, 300, 0x10) + Zeros(10) + audio); // a footer
    EXPECT_TRUE(Tag->Remove(File) && ReadFile(File) == audio && !Tag->Remove(File));
    EXPECT_TRUE(ReadFile(File) == audio && !std::filesystem::exists(File + "~"));
}

TEST_F(TID3v2Fixture, FrameEditing) {
    const int32_t index = Tag->AddFrame("TXXX", 0x1234);
    EXPECT_EQ(Tag->FindFrame("txxx"), Tag->Frame(index));
    EXPECT_TRUE(Tag->Frame(index)->Flags == 0x1234 && Tag->Frame(index)->Size() == 0);
    EXPECT_TRUE(!Tag->FindFrame("TIT2") && !Tag->FindFrame("TXX"));
    EXPECT_EQ(TTagID3v2::FrameText(nullptr), "");
    Tag->DeleteFrame(index);
    Tag->DeleteFrame(7);
    EXPECT_EQ(Tag->FrameCount(), 0);
}

// Tags of this writer, and of lame (Latin-1, UTF-16) and ffmpeg (2.3, 2.4), read like mutagen
// reads them; ffmpeg's saved again keep its other frames and the audio.
TEST_F(TID3v2Fixture, MutagenLameAndFfmpeg) {
    REQUIRE_TOOL("/usr/bin/python3");
    const std::string audio = Noise(900), title = "Grüße 日本 😀", name = "Café Ω 水";
    WriteFile(File, audio);
    // The artist fits ISO-8859-1, the comment needs UTF-16.
    Set({{tfTitle, title}, {tfArtist, "Café"}, {tfComment, "ça €"}, {tfLyrics, "La la"}});
    Set({{tfUrl, "http://example.org/"}, {tfTrack, "7"}});
    ASSERT_TRUE(Tag->Save(File));
    EXPECT_EQ(Mutagen(File, "[t.size, t['TPE1'].encoding, t['WXXX:'].url] + [str(t[k]) for k in "
                            "('TIT2', 'TPE1', 'COMM::lng', 'USLT::lng', 'TRCK')]"),
              "[4096, <Encoding.LATIN1: 0>, 'http://example.org/', '" + title +
                  "', 'Café', 'ça €', 'La la', '7']");

    WriteFile(Dir.Path("in.wav"), PcmWav(1, 44100, 16, 13230));
    const std::string tags = " --quiet --id3v2-only --tt 'Lame Title' --ta 'Lame Artist' --tl "
                             "'The Album' --ty 1999 --tn 4 --tc 'A remark' --tg Rock in.wav t.mp3";
    const std::string ffmpeg = "ffmpeg -v error -y -i in.wav -c:a libmp3lame -metadata title='" +
                               name + "' -metadata artist=Someone -metadata album=Disc -b:a 64k " +
                               "-write_xing 0 -id3v2_version ";
    for (const std::string& run : {"lame --id3v2-latin1" + tags, "lame --id3v2-utf16" + tags,
                                   ffmpeg + "3 t.mp3", ffmpeg + "4 t.mp3"}) {
        SCOPED_TRACE(run);
        const bool lame = run[0] == 'l';
        if (!HaveTool(lame ? "lame" : "ffmpeg")) continue;
        ASSERT_EQ(testsupport::Run("cd " + Quote(Dir.Root()) + " && " + run), 0);
        // mutagen shows a 2.3 TYER frame as TDRC.
        EXPECT_EQ(TagSummary(Tag->Read(File), *Tag),
                  "Read=1|Valid=1|Size=" + Mutagen(File, "t.size") + "|" +
                      (lame ? "Track=4|Title=Lame Title|Artist=Lame Artist|Album=The Album|Year=" +
                                  Mutagen(File, "t['TDRC'].text[0]") +
                                  "|Comment=A remark|Genre=Rock|"
                            : "Title=" + name + "|Artist=Someone|Album=Disc|") +
                      "Version=" + Mutagen(File, "t.version[1]") + "|");
        if (lame) continue;
        const std::string rest = ReadFile(File).substr(static_cast<size_t>(Tag->Size));
        Tag->SetField(tfAlbum, "Other disc");
        ASSERT_TRUE(Tag->Save(File));
        EXPECT_EQ(Mutagen(File, "[t['TIT2'].text[0], t['TALB'].text[0], t['TSSE'].text[0][:4]]"),
                  "['" + name + "', 'Other disc', 'Lavf']");
        ASSERT_TRUE(Tag->Remove(File));
        EXPECT_TRUE(ReadFile(File) == rest);
    }
}
