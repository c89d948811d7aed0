// MP4: byte-built atom layouts and "esds" descriptors, and ffmpeg's files (read only).
#include "ReaderSupport.h"
#include "formats/AudioMP4.h"
#include "tags/TagMp4.h"

#include <cmath>
#include <filesystem>

using namespace audiolens;
using namespace testsupport;

namespace {

// The one atom builder: a 32-bit size, a 64-bit size (size field 1) or size 0 ("to the end").
enum TForm { Plain, Wide, ToEnd };
std::string Atom(const std::string& type, const std::string& payload, TForm form = Plain) {
    if (form == Wide) return BE32(1) + type + BE32(0) + BE32(16 + payload.size()) + payload;
    return BE32(form == ToEnd ? 0 : 8 + payload.size()) + type + payload;
}

const std::string Ftyp = Atom("ftyp", "M4A " + BE32(512) + "M4A isom");
const std::string Handler = Atom("hdlr", Zeros(8) + "mdir" + Zeros(13));
std::string Items(const std::string& title) {
    return Atom("ilst", Atom("\251nam", Atom("data", BE32(1) + BE32(0) + title)) +
                            Atom("trkn", Atom("data", Zeros(10) + BE16(4) + BE16(0))));
}
std::string Moov(const std::string& ilst, TForm form = Plain) {
    return Atom("moov", Atom("udta", Atom("meta", Zeros(4) + Handler + ilst)), form);
}

TEST(Mp4Walk, StaysInsideEveryParentAndFindsTheItems) {
    std::string deep = Items("Deep");
    for (int i = 0; i < 200; ++i)
        deep = Atom("udta", deep);
    // Valid, title and track (a total of 0 shows no "/") of each layout.
    const std::pair<std::string, const char*> rows[] = {
        {Ftyp + Atom("uuid", std::string(20, 'u')) + Atom("free", "") + Moov(Items("Song"), ToEnd),
         "1|Song|4"},
        // QuickTime's "meta" without version and flags, in a "moov" of 64-bit size.
        {Ftyp + Atom("moov", Atom("udta", Atom("meta", Handler + Items("Song"))), Wide),
         "1|Song|4"},
        {Ftyp +
             Moov(Atom("ilst", BE32(4000) + "\251nam" + Atom("data", BE32(1) + BE32(0) + "Song"))),
         "1|Song|"},
        // An atom smaller than its header ends the level.
        {Ftyp + Moov(Items("Song")) + BE32(4) + "junk" + Moov(Items("Other")), "1|Song|4"},
        // A 64-bit size of 0 ends the walk.
        {Ftyp + Atom("free", "", Wide).substr(0, 8) + Zeros(8) + Moov(Items("Song")), "0||"},
        {Ftyp + Moov(Atom("ilst", Atom("\251nam", Atom("data", "ab")))), "1||"},
        {Ftyp + Atom("moov", Atom("udta", "")), "0||"},
        {Ftyp + Atom("moov", deep), "0||"}, // nested beyond the depth cap
    };
    for (const auto& [bytes, want] : rows) {
        TFileViewRef file = TFileView::FromBytes(bytes);
        const auto size = static_cast<int64_t>(file->Size());
        TMp4AtomList atoms;
        BuildAtomList(*file, atoms, -1, 0, size);
        ASSERT_FALSE(atoms.empty());
        EXPECT_LE(atoms.size(), MaxAtomCount);
        for (const TMp4Atom& atom : atoms) {
            const TMp4Atom* up = atom.Parent < 0 ? nullptr : &atoms[size_t(atom.Parent)];
            for (int32_t p = atom.Parent, depth = 1; p >= 0; p = atoms[size_t(p)].Parent, ++depth)
                EXPECT_LT(depth, MaxAtomDepth);
            EXPECT_GE(atom.Position, up ? up->PayloadOffset() : 0);
            EXPECT_GE(atom.Size, int64_t{atom.HeaderSize});
            EXPECT_LE(atom.Position + atom.Size, up ? up->Position + up->Size : size);
        }
        TRef<TTagMp4> tag(new TTagMp4);
        EXPECT_TRUE(tag->Read(*file));
        EXPECT_EQ(std::to_string(tag->Valid) + "|" + tag->GetField(tfTitle) + "|" +
                      tag->GetField(tfTrack),
                  want);
    }
}

TEST(Mp4Reader, HandlerOutsideTrackAndMediaIsNoSoundTrack) {
    ExpectFields(
        ReadSummary(CreateMP4,
                    Ftyp + Atom("moov", Atom("trak", Atom("hdlr", Zeros(8) + "soun" + Zeros(12))))),
        "Read=1|Valid=1|Channels=0|Version=M4A  rev.512 (Apple AAC audio)|");
    ExpectFields(ReadSummary(CreateMP4, Atom("moov", "") + Ftyp), "Read=0");
}

// "esds": the ES, decoder configuration and decoder-specific descriptors, lengths of 1 or 4 bytes.
std::string Esds(bool longLengths, const std::string& specific, uint32_t claimedConfig = 0) {
    auto descriptor = [&](uint8_t tag, const std::string& body, uint32_t claim = 0) {
        const char n = static_cast<char>(claim ? claim : body.size());
        return static_cast<char>(tag) +
               (longLengths ? std::string{'\x80', '\x80', '\x80', n} : std::string(1, n)) + body;
    };
    const std::string config = std::string{'\x40', '\x15'} + Zeros(3) + BE32(128000) + BE32(96000) +
                               descriptor(5, specific);
    return Atom("esds", Zeros(4) + descriptor(3, Zeros(3) + descriptor(4, config, claimedConfig)));
}

TEST(Mp4Esds, DescriptorsOfEitherLengthFormAndDamagedLengths) {
    const std::pair<std::string, const char*> rows[] = {
        {Esds(true, "\x12\x10"), "1|96000|2|2"},            // AAC LC, 44.1 kHz, stereo
        {Esds(false, "\x11\xB0"), "1|96000|2|6"},           // AAC LC, 48 kHz, 5.1
        {Esds(false, "\x12"), "1|96000|0|0"},               // a configuration of one byte
        {Esds(true, "\x12\x10", 5), "0|0|0|0"},             // a configuration too short
        {Esds(false, "\x12\x10").substr(0, 30), "0|0|0|0"}, // cut in the configuration
    };
    for (const auto& [bytes, want] : rows) {
        TEsdsInfo info;
        const bool read = ParseEsds(TByteView(bytes), info);
        EXPECT_EQ(std::to_string(read) + "|" + std::to_string(info.AverageBitRate) + "|" +
                      std::to_string(info.AudioObjectType) + "|" + std::to_string(info.Channels),
                  want);
    }
}

// ffmpeg's files read as mutagen reads them; nothing is ever written, not even an atom dump.
TEST(Mp4File, ItemsReadLikeMutagenAndNeverWritten) {
    for (const char* tool : {"ffmpeg", "/usr/bin/python3"})
        REQUIRE_TOOL(tool);
    TTempDir dir;
    const std::string file = dir.Path("t.m4a");
    const std::string make =
        "ffmpeg -v error -y -f lavfi -i sine=sample_rate=44100:duration=1.5 -ac 2 -metadata "
        "title=Tøne -metadata artist=Someone -metadata album=Record -metadata date=2021 -metadata "
        "genre=Jazz -metadata track=3/12 -metadata comment=Nice -metadata composer=Writer -c:a ";
    for (const std::string codec : {"aac", "alac"}) {
        ASSERT_EQ(testsupport::Run(make + codec + " " + Quote(file)), 0);
        const auto mutagen = MutagenTags(file);
        TAudioRef record(CreateMP4());
        ASSERT_TRUE(record->Read(file) && record->Valid) << codec;
        TTagBase& tag = *record->GetTag(tkMp4);
        std::string items = std::to_string(tag.Valid);
        for (int field : {tfTitle, tfArtist, tfAlbum, tfYear, tfComment, tfGenre, tfComposer,
                          tfTrack, tfEncoder})
            items += "|" + tag.GetField(field);
        // The values given to ffmpeg; mutagen's name of the encoder ("©" is the byte 0xA9).
        EXPECT_EQ(items, "1|Tøne|Someone|Record|2021|Nice|Jazz|Writer|3/12|" + mutagen.at("©too"));
        // Samples and duration by the track's clock, as mutagen times the track.
        const double length = std::stod(mutagen.at("length"));
        EXPECT_NEAR(record->Duration, length, 1e-6);
        ExpectFields(Summary(true, *record),
                     "Samples=" + std::to_string(std::llround(length * 44100)) +
                         "|Version=M4A  rev." + Probe(file, "format_tags", "minor_version") +
                         " (Apple AAC audio)");

        // Read only: a write reports false and changes nothing, by the library or the command.
        const std::string before = ReadFile(file);
        tag.SetField(tfTitle, "Other");
        EXPECT_FALSE(tag.Save(file) || tag.Remove(file));
        std::string out;
        EXPECT_NE(testsupport::Run("cd " + Quote(dir.Root()) +
                                       " && (" AUDIOLENS_CLI " --verify t.m4a && " AUDIOLENS_CLI
                                       " --tag Mp4 t.m4a; " AUDIOLENS_CLI
                                       " --tag Mp4 --set Title=X t.m4a 2>&1)",
                                   &out),
                  0);
        EXPECT_NE(out.find("Title: Tøne"), std::string::npos) << out;
        EXPECT_NE(out.find("MP4 tags are read-only"), std::string::npos) << out;
        EXPECT_TRUE(ReadFile(file) == before);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Root()),
                                std::filesystem::directory_iterator()),
                  1);
    }
}

} // namespace
