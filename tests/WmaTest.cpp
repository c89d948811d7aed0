// ASF/WMA: byte-built header objects, and ffmpeg's files before and after our Save and Remove.
#include "ReaderSupport.h"
#include "formats/AudioWMA.h"
#include "tags/TagWMA.h"

#include <filesystem>
#include <numeric>

using namespace audiolens;
using namespace testsupport;

namespace {

std::string Bytes(const TAsfGuid& guid) {
    return std::string(guid.begin(), guid.end());
}

std::string Object(const TAsfGuid& guid, const std::string& payload) {
    return Bytes(guid) + LE32(24 + payload.size()) + LE32(0) + payload;
}

std::string Wide(const std::string& ascii) {
    return std::accumulate(ascii.begin(), ascii.end(), std::string(),
                           [](const std::string& s, char c) { return s + c + '\0'; }) +
           Zeros(2);
}

// Title "Song", author "Band", no copyright, description "Remark", no rating.
const std::string Description =
    Object(AsfContentDescriptionGuid, LE16(10) + LE16(10) + LE16(0) + LE16(14) + LE16(0) +
                                          Wide("Song") + Wide("Band") + Wide("Remark"));

// An attribute of the extended description: a text (type 0, given in ASCII) or stored bytes.
std::string Attribute(const std::string& name, const std::string& value, uint16_t type = 0) {
    const std::string bytes = type == 0 ? Wide(value) : value;
    return LE16(Wide(name).size()) + Wide(name) + LE16(type) + LE16(bytes.size()) + bytes;
}

std::string Extended(const std::vector<std::string>& attributes) {
    return Object(AsfExtendedContentDescriptionGuid,
                  std::accumulate(attributes.begin(), attributes.end(), LE16(attributes.size())));
}

const std::string FileProperties =
    Object(AsfFilePropertiesGuid, Zeros(40) + LE32(31000000) + LE32(0) + Zeros(8) + LE32(3100) +
                                      LE32(0) + Zeros(12) + LE32(64000));

// A header of the objects, then (after gap) a data object of 400 bytes.
std::string Asf(const std::vector<std::string>& objects, const std::string& gap = "") {
    const std::string children = std::accumulate(objects.begin(), objects.end(), std::string());
    return Bytes(AsfHeaderGuid) + LE32(30 + children.size()) + LE32(0) + LE32(objects.size()) +
           "\x01\x02" + children + gap + Object(AsfDataGuid, Zeros(26) + std::string(374, '\x5A'));
}

std::string DataBytes(const std::string& file) {
    const std::string bytes = ReadFile(file);
    return bytes.substr(std::min(bytes.find(Bytes(AsfDataGuid)), bytes.size()));
}

// Each kind's validity (the description's, then the extended one's) and the fields it shows.
std::string TagFields(const std::string& bytes) {
    std::string out;
    for (int kind : {tkWMA, tkExWMA}) {
        TRef<TTagBase> tag = CreateTag(kind);
        EXPECT_TRUE(tag->Read(*TFileView::FromBytes(bytes)));
        out += std::to_string(tag->Valid) + ":";
        for (int f = 0; f < TagFieldCount; ++f)
            if (!tag->GetField(f).empty()) out += TagFieldName(f) + "=" + tag->GetField(f) + "|";
    }
    return out;
}

} // namespace

TEST(WmaTag, EachKindReadsOnlyItsObjectAndEachAttributeType) {
    const std::string album =
        Extended({Attribute("WM/AlbumTitle", "Record"), Attribute("WM/TrackNumber", "3/12")});
    const std::string description = "1:Title=Song|Artist=Band|Comment=Remark|", genre(5000, 'g');
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{FileProperties, Description}, description + "0:"},
        {{album, Description}, description + "1:Track=3/12|Album=Record|"},
        {{Bytes(AsfFilePropertiesGuid) + Zeros(8), Description}, "0:0:"}, // size 0 ends the walk
        // WM/Track counts from 0, WM/TrackNumber (first) from 1; WM/Year before "date"; names fold
        // case; a BOOL shows no text; texts are cut to 4095 characters.
        {{Extended({Attribute("WM/Track", LE32(4), 3), Attribute("date", "1999"),
                    Attribute("wm/genre", "Jazz"), Attribute("WM/Composer", LE32(1), 2),
                    Attribute("WM/Rating", LE32(0xFFFFFFFF), 3),
                    Attribute("WMFSDKVersion", "12.0")})},
         "0:1:Track=5|Year=1999|Genre=Jazz|Rating=4294967295|Version=12.0|"},
        {{Extended({Attribute("WM/Track", LE32(4), 3), Attribute("WM/TrackNumber", LE32(9), 3),
                    Attribute("date", "1999"), Attribute("WM/Year", "2001"),
                    Attribute("WM/Genre", genre)})},
         "0:1:Track=9|Year=2001|Genre=" + genre.substr(0, 4095) + "|"},
    };
    for (const auto& [objects, want] : rows)
        EXPECT_EQ(TagFields(Asf(objects)), want);
}

// A video stream first and a codec list (video, then two audio codecs): only the audio stream and
// the first audio codec count. The save keeps every object and attribute it does not change.
TEST(TWmaFileTest, ReadAndSaveKeepUntouchedAttributesAndRefuseHeadersItCannotRebuild) {
    const TTempDir dir;
    const std::string file = dir.Path("t.wma");
    const std::string video = Object(AsfStreamPropertiesGuid, Zeros(58) + LE32(120) + Zeros(12));
    const std::string codecs =
        Object(AsfCodecListGuid, Zeros(16) + LE32(2) + LE16(1) + LE16(5) + Wide("wmv2") + LE16(0) +
                                     LE16(4) + "WMV2" + LE16(2) + LE16(4) + Wide("WMA") + LE16(3) +
                                     Wide("v9") + LE16(2) + "ab");
    const std::vector<std::string> kept = {
        Attribute("WM/Picture", "\x03image/png" + std::string(3000, '\x89'), 1),
        Attribute("IsVBR", LE32(1), 2),
        Attribute("WM/Track", LE32(6), 3),
        Attribute("Duration", LE32(7) + LE32(1), 4),
        Attribute("WM/Mood", LE16(3), 5),
        Attribute("WM/Lyrics", std::string(5000, 'l'))};
    const std::string stream =
        Object(AsfStreamPropertiesGuid, Bytes(AsfAudioMediaGuid) + Zeros(38) + LE16(0x161) +
                                            LE16(2) + LE32(32000) + LE32(8000) + Zeros(8));
    WriteFile(file, Asf({FileProperties, video, stream, codecs, Description, Extended(kept)}));
    ExpectFields(
        ReadSummary(CreateWMA, ReadFile(file)),
        "Valid=1|Rate=32000|Channels=2|BitRate=64|Duration=0|Version=WMA|StreamProperty=v9|");
    const std::string audio = DataBytes(file);
    TRef<TTagBase> ex = CreateTag(tkExWMA);
    ASSERT_TRUE(ex->Read(file) && ex->Valid);
    ex->SetField(tfAlbum, "Record");
    ASSERT_TRUE(ex->Save(file));
    const std::string saved = ReadFile(file);
    size_t at = saved.find(video + stream + codecs + Description);
    EXPECT_NE(at, std::string::npos) << "the other objects changed";
    for (const std::string& a : kept) {
        const size_t next = saved.find(a);
        EXPECT_TRUE(next != std::string::npos && next > at) << a.substr(2, 20);
        at = next;
    }
    EXPECT_TRUE(DataBytes(file) == audio);
    EXPECT_EQ(TagFields(ReadFile(file)),
              "1:Title=Song|Artist=Band|Comment=Remark|1:Track=7|Album=Record|Lyrics=" +
                  std::string(4095, 'l') + "|");

    const std::string refused[] = {
        Asf({Description}),                                // no file properties
        Asf({FileProperties, Description}, Zeros(40)),     // data not after the header
        Asf({FileProperties, Description}).substr(0, 150), // cut in the header
    };
    for (const std::string& bytes : refused)
        for (int kind : {tkWMA, tkExWMA}) {
            WriteFile(file, bytes);
            TRef<TTagBase> tag = CreateTag(kind);
            tag->Read(file);
            tag->SetField(tfTitle, "New");
            EXPECT_FALSE(tag->Save(file));
            EXPECT_TRUE(ReadFile(file) == bytes);
            EXPECT_FALSE(std::filesystem::exists(file + "~"));
        }
}

// ffmpeg's tags, then ours over them: mutagen and ffprobe see the changes and every other tag.
TEST(TWmaFileTest, SaveAndRemoveReadBackByMutagenAndFfprobe) {
    for (const char* tool : {"ffmpeg", "/usr/bin/python3"})
        REQUIRE_TOOL(tool);
    const TTempDir dir;
    const std::string file = dir.Path("t.wma");
    ASSERT_FALSE(testsupport::Run("ffmpeg -v error -f lavfi -i sine=sample_rate=44100:duration=2 "
                                  "-c:a wmav2 -metadata title=Tone -metadata artist=Someone "
                                  "-metadata album=Record -metadata date=2021 -metadata genre=Jazz "
                                  "-metadata track=3/12 -metadata comment=Nice " +
                                  Quote(file)));
    const auto before = MutagenTags(file);
    const std::string audio = DataBytes(file);
    ASSERT_FALSE(audio.empty());

    TAudioRef record(CreateWMA());
    ASSERT_TRUE(record->Read(file) && record->Valid);
    TTagBase& wma = *record->GetTag(tkWMA);
    TTagBase& ex = *record->GetTag(tkExWMA);
    EXPECT_EQ(wma.GetField(tfTitle) + "|" + wma.GetField(tfArtist) + "|" + ex.GetField(tfAlbum) +
                  "|" + ex.GetField(tfGenre) + "|" + ex.GetField(tfYear) + "|" +
                  ex.GetField(tfTrack),
              "Tone|Someone|Record|Jazz|2021|3/12");

    ex.SetField(tfAlbum, "Другой альбом");
    ex.SetField(tfTrack, "7");
    ASSERT_TRUE(ex.Save(file));
    wma.SetField(tfTitle, "New title");
    ASSERT_TRUE(wma.Save(file));
    auto after = before;
    after["WM/AlbumTitle"] = "Другой альбом", after["WM/TrackNumber"] = "7";
    after["Title"] = "New title";
    EXPECT_EQ(MutagenTags(file), after);
    EXPECT_EQ(Probe(file, "format_tags", "album") + "|" + Probe(file, "format_tags", "genre") +
                  "|" + Probe(file, "stream", "sample_rate") + "|" + Probe(file, "format", "size"),
              "Другой альбом|Jazz|44100|" + std::to_string(ReadFile(file).size()));
    EXPECT_TRUE(DataBytes(file) == audio);

    // Removing the extended description leaves the content description and the audio.
    ASSERT_TRUE(CreateTag(tkExWMA)->Remove(file));
    after = MutagenTags(file);
    EXPECT_EQ(after.count("WM/AlbumTitle"), 0u);
    EXPECT_EQ(after.at("Title") + "|" + after.at("length"), "New title|" + before.at("length"));
    EXPECT_TRUE(DataBytes(file) == audio);
}
