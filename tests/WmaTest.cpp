// ASF/WMA: header objects built byte by byte (one description object or the other, attribute
// types, damaged sizes, headers a save must refuse) and real ffmpeg files against mutagen and
// ffprobe, before and after our Save and Remove. Rate, channels and duration of real files are
// rows of the conformance table.
#include "ReaderSupport.h"
#include "TestSupport.h"
#include "formats/AudioWMA.h"
#include "framework/Registry.h"
#include "tags/TagWMA.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace audiolens;
using namespace testsupport;

namespace {

// The one ASF object builder: GUID, 64-bit size, payload.
std::string Object(const TAsfGuid& guid, const std::string& payload) {
    return std::string(guid.begin(), guid.end()) + LE32(24 + payload.size()) + LE32(0) + payload;
}

std::string Wide(const std::string& ascii) {
    std::string out;
    for (char c : ascii)
        out += std::string{c, '\0'};
    return out + Zeros(2);
}

std::string Description(const std::string& title, const std::string& author) {
    const std::string texts[5] = {Wide(title), Wide(author), "", Wide("Remark"), ""};
    std::string lengths, bytes;
    for (const std::string& t : texts) {
        lengths += LE16(t.size());
        bytes += t;
    }
    return Object(AsfContentDescriptionGuid, lengths + bytes);
}

std::string Attribute(const std::string& name, uint16_t type, const std::string& value) {
    return LE16(Wide(name).size()) + Wide(name) + LE16(type) + LE16(value.size()) + value;
}

std::string Extended(const std::vector<std::string>& attributes) {
    std::string body = LE16(attributes.size());
    for (const std::string& a : attributes)
        body += a;
    return Object(AsfExtendedContentDescriptionGuid, body);
}

std::string FileProperties() {
    return Object(AsfFilePropertiesGuid, Zeros(16) + Zeros(24) + LE32(31000000) + LE32(0) +
                                             Zeros(8) + LE32(3100) + LE32(0) + Zeros(12) +
                                             LE32(64000));
}

std::string AudioStream(uint16_t channels, uint32_t rate) {
    return Object(AsfStreamPropertiesGuid,
                  std::string(AsfAudioMediaGuid.begin(), AsfAudioMediaGuid.end()) + Zeros(38) +
                      LE16(0x161) + LE16(channels) + LE32(rate) + LE32(8000) + Zeros(8));
}

// A header of the objects, then (after gap) a data object of 400 bytes.
std::string Asf(const std::vector<std::string>& objects, const std::string& gap = "") {
    std::string children;
    for (const std::string& o : objects)
        children += o;
    std::string data = Object(AsfDataGuid, Zeros(26) + std::string(374, '\x5A'));
    return std::string(AsfHeaderGuid.begin(), AsfHeaderGuid.end()) + LE32(30 + children.size()) +
           LE32(0) + LE32(objects.size()) + "\x01\x02" + children + gap + data;
}

std::string DataBytes(const std::string& file) {
    const std::string bytes = ReadFile(file);
    const size_t at = bytes.find(std::string(AsfDataGuid.begin(), AsfDataGuid.end()));
    return at == std::string::npos ? std::string() : bytes.substr(at);
}

// Valid, title and comment of the description; valid, album and title of the extended one.
std::string TagFields(const std::string& bytes) {
    TFileViewRef file = TFileView::FromBytes(bytes);
    TRef<TTagBase> wma = CreateTag(tkWMA), ex = CreateTag(tkExWMA);
    EXPECT_TRUE(wma->Read(*file) && ex->Read(*file));
    return std::to_string(wma->Valid) + "|" + wma->GetField(tfTitle) + "|" +
           wma->GetField(tfComment) + "|" + std::to_string(ex->Valid) + "|" +
           ex->GetField(tfAlbum) + "|" + ex->GetField(tfTitle);
}

} // namespace

TEST(WmaTag, EachKindReadsOnlyItsObject) {
    const std::string album = Extended({Attribute("WM/AlbumTitle", 0, Wide("Record"))});
    const std::pair<std::vector<std::string>, const char*> rows[] = {
        {{FileProperties(), Description("Song", "Band")}, "1|Song|Remark|0||"},
        {{FileProperties(), album}, "0|||1|Record|"}, // only WM/Title would show as its title
        {{album, Description("Song", "Band")}, "1|Song|Remark|1|Record|"},
        {{FileProperties(), AudioStream(2, 44100)}, "0|||0||"},
        // An object of size 0 ends the walk.
        {{std::string(AsfFilePropertiesGuid.begin(), AsfFilePropertiesGuid.end()) + Zeros(8),
          Description("Song", "Band")},
         "0|||0||"},
    };
    for (const auto& [objects, want] : rows)
        EXPECT_EQ(TagFields(Asf(objects)), want);
}

TEST(WmaTag, AttributeTypesTrackAndYear) {
    const std::string genre(5000, 'g');
    const struct {
        std::vector<std::string> Attributes;
        int Field;
        std::string Shown;
    } cases[] = {
        {{Attribute("WM/Track", 3, LE32(4))}, tfTrack, "5"}, // zero-based
        {{Attribute("WM/Track", 3, LE32(4)), Attribute("WM/TrackNumber", 3, LE32(9))},
         tfTrack,
         "9"},
        {{Attribute("WM/TrackNumber", 0, Wide("3/12"))}, tfTrack, "3/12"},
        {{Attribute("date", 0, Wide("1999"))}, tfYear, "1999"},
        {{Attribute("date", 0, Wide("1999")), Attribute("WM/Year", 0, Wide("2001"))},
         tfYear,
         "2001"},
        {{Attribute("wm/genre", 0, Wide("Jazz"))}, tfGenre, "Jazz"},
        {{Attribute("WM/Composer", 2, LE32(1))}, tfComposer, ""}, // BOOL shows no text
        {{Attribute("WM/Rating", 3, LE32(0xFFFFFFFF))}, tfRating, "4294967295"},
        {{Attribute("WMFSDKVersion", 0, Wide("12.0"))}, tfVersion, "12.0"},
        {{Attribute("WM/Genre", 0, Wide(genre))}, tfGenre, genre.substr(0, 4095)},
    };
    for (const auto& c : cases) {
        TRef<TTagBase> ex = CreateTag(tkExWMA);
        ASSERT_TRUE(ex->Read(*TFileView::FromBytes(Asf({Extended(c.Attributes)}))));
        EXPECT_EQ(ex->GetField(c.Field), c.Shown);
    }
}

TEST(WmaReader, OnlyTheAudioStreamAndTheFirstAudioCodecCount) {
    const std::string video = Object(AsfStreamPropertiesGuid, Zeros(16) + Zeros(38) + LE16(0) +
                                                                  LE16(0) + LE32(120) + Zeros(12));
    const std::string codecs =
        Object(AsfCodecListGuid, Zeros(16) + LE32(2) + LE16(1) + LE16(5) + Wide("wmv2") + LE16(0) +
                                     LE16(4) + "WMV2" + LE16(2) + LE16(4) + Wide("WMA") + LE16(3) +
                                     Wide("v9") + LE16(2) + "ab");
    ExpectFields(
        ReadSummary(CreateWMA, Asf({FileProperties(), video, AudioStream(2, 32000), codecs})),
        "Valid=1|Rate=32000|Channels=2|BitRate=64|Duration=0|Version=WMA|"
        "StreamProperty=v9|");
}

class TWmaFileTest : public ::testing::Test {
  protected:
    TTempDir Dir;
    std::string File = Dir.Path("t.wma");
};

TEST_F(TWmaFileTest, SaveRefusesHeadersItCannotRebuild) {
    const std::string cases[] = {
        Asf({Description("Song", "Band")}),                              // no file properties
        Asf({FileProperties(), Description("Song", "Band")}, Zeros(40)), // data not after header
        Asf({FileProperties(), Description("Song", "Band")}).substr(0, 150), // cut in the header
    };
    for (const std::string& bytes : cases)
        for (int kind : {tkWMA, tkExWMA}) {
            WriteFile(File, bytes);
            TRef<TTagBase> tag = CreateTag(kind);
            tag->Read(File);
            tag->SetField(tfTitle, "New");
            EXPECT_FALSE(tag->Save(File));
            EXPECT_TRUE(ReadFile(File) == bytes);
            EXPECT_FALSE(std::filesystem::exists(File + "~"));
        }
}

TEST_F(TWmaFileTest, UntouchedAttributesKeepTheirBytes) {
    const std::vector<std::string> kept = {
        Attribute("WM/Picture", 1, "\x03image/png" + std::string(3000, '\x89')),
        Attribute("IsVBR", 2, LE32(1)),
        Attribute("WM/Track", 3, LE32(6)),
        Attribute("Duration", 4, LE32(7) + LE32(1)),
        Attribute("WM/Mood", 5, LE16(3)),
        Attribute("WM/Lyrics", 0, Wide(std::string(5000, 'l'))),
    };
    const std::string description = Description("Song", "Band");
    WriteFile(File, Asf({FileProperties(), description, Extended(kept)}));
    const std::string audio = DataBytes(File);
    TRef<TTagBase> ex = CreateTag(tkExWMA);
    ASSERT_TRUE(ex->Read(File) && ex->Valid);
    ex->SetField(tfAlbum, "Record");
    ASSERT_TRUE(ex->Save(File));
    const std::string saved = ReadFile(File);
    size_t at = saved.find(description);
    EXPECT_NE(at, std::string::npos) << "the other kind's object changed";
    for (const std::string& a : kept) {
        const size_t next = saved.find(a);
        EXPECT_TRUE(next != std::string::npos && next > at) << a.substr(2, 20);
        at = next;
    }
    EXPECT_TRUE(DataBytes(File) == audio);
    TRef<TTagBase> again = CreateTag(tkExWMA);
    ASSERT_TRUE(again->Read(File));
    EXPECT_EQ(again->GetField(tfAlbum) + "|" + again->GetField(tfTrack), "Record|7");
}

// ffmpeg's own metadata, then ours over it: ffprobe and mutagen see the new values and every
// attribute we did not touch; the audio bytes do not move.
TEST_F(TWmaFileTest, SaveAndRemoveReadBackByMutagenAndFfprobe) {
    REQUIRE_TOOL("ffmpeg");
    REQUIRE_TOOL("/usr/bin/python3");
    ASSERT_EQ(testsupport::Run("ffmpeg -v error -y -f lavfi -i sine=sample_rate=44100:duration=2 "
                               "-c:a wmav2 -metadata title=Tone -metadata artist=Someone "
                               "-metadata album=Record -metadata date=2021 -metadata genre=Jazz "
                               "-metadata track=3/12 -metadata comment=Nice " +
                               Quote(File)),
              0);
    const auto before = MutagenTags(File);
    const std::string audio = DataBytes(File);
    ASSERT_FALSE(audio.empty());

    TAudioRef record(CreateWMA());
    ASSERT_TRUE(record->Read(File) && record->Valid);
    TTagBase& wma = *record->GetTag(tkWMA);
    TTagBase& ex = *record->GetTag(tkExWMA);
    EXPECT_EQ(
        wma.GetField(tfTitle) + "|" + wma.GetField(tfArtist) + "|" + ex.GetField(tfAlbum) + "|" +
            ex.GetField(tfGenre) + "|" + ex.GetField(tfYear) + "|" + ex.GetField(tfTrack),
        before.at("Title") + "|" + before.at("Author") + "|" + before.at("WM/AlbumTitle") + "|" +
            before.at("WM/Genre") + "|" + before.at("date") + "|" + before.at("WM/TrackNumber"));

    ex.SetField(tfAlbum, "Другой альбом");
    ex.SetField(tfTrack, "7");
    ASSERT_TRUE(ex.Save(File));
    wma.SetField(tfTitle, "New title");
    ASSERT_TRUE(wma.Save(File));

    auto after = before;
    after["WM/AlbumTitle"] = "Другой альбом", after["WM/TrackNumber"] = "7";
    after["Title"] = "New title";
    EXPECT_EQ(MutagenTags(File), after);
    EXPECT_EQ(Probe(File, "format_tags", "album"), "Другой альбом");
    EXPECT_EQ(Probe(File, "format_tags", "genre"), "Jazz");
    EXPECT_EQ(Probe(File, "stream", "sample_rate"), "44100");
    EXPECT_EQ(Probe(File, "format", "size"), std::to_string(ReadFile(File).size()));
    EXPECT_TRUE(DataBytes(File) == audio);

    // Removing the extended description leaves the content description and the audio.
    ASSERT_TRUE(CreateTag(tkExWMA)->Remove(File));
    after = MutagenTags(File);
    EXPECT_EQ(after.count("WM/AlbumTitle"), 0u);
    EXPECT_EQ(after.at("Title"), "New title");
    EXPECT_EQ(after.at("length"), before.at("length"));
    EXPECT_TRUE(DataBytes(File) == audio);
}
