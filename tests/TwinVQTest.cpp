// TwinVQ (VQF): no encoder is packaged, so every file is byte-built and every value worked out.
#include "ReaderSupport.h"
#include "TagFileFixture.h"
#include "core/FileStream.h"
#include "formats/AudioTwinVQ.h"

#include <numeric>

using namespace audiolens;
using namespace testsupport;

namespace {

std::string Chunk(const std::string& id, const std::string& data) {
    return id + BE32(static_cast<uint32_t>(data.size())) + data;
}

// Channel mode (channels - 1), kbit/s and the rate code in kHz.
std::string Comm(uint32_t mode, uint32_t kbps, uint32_t rateCode) {
    return Chunk("COMM", BE32(mode) + BE32(kbps) + BE32(rateCode) + BE32(0));
}

// 12000 bytes behind the header: 1 s at 96 kbit/s.
std::string Vqf(const std::vector<std::string>& chunks,
                const std::string& audio = "DATA" + std::string(11996, '\x5A')) {
    const std::string header = std::accumulate(chunks.begin(), chunks.end(), std::string());
    return "TWIN97012000" + BE32(static_cast<uint32_t>(header.size())) + header + audio;
}

std::string TagFields(const std::string& bytes) {
    TRef<TTagBase> tag = CreateTag(tkTwinVQ);
    const bool read = tag->Read(*TFileView::FromBytes(bytes));
    return TagSummary(read, *tag);
}

TEST(TwinVQ, HeaderGivesTheStreamAndTextChunksTheTag) {
    const std::string vqf = Vqf({Comm(1, 96, 44)});
    const std::pair<std::string, const char*> rows[] = {
        {vqf, "Read=1|Valid=1|Rate=44100|Channels=2|BitRate=96|Duration=1|"},
        {Vqf({Comm(0, 8, 8)}), "Valid=1|Rate=8000|Channels=1|BitRate=8|Duration=12|"},
        {Vqf({Comm(0, 24, 22)}), "Valid=1|Rate=22050|Channels=1|BitRate=24|Duration=4|"},
        {Vqf({Comm(1, 96, 48)}), "Valid=0|Rate=48000|Channels=2|Duration=1|"}, // outside range
        {Vqf({Comm(1, 0, 44)}), "Valid=0|Rate=44100|BitRate=0|Duration=-1|"},
        {"TWIX" + vqf.substr(4), "Read=0"},
    };
    for (const auto& [bytes, want] : rows)
        ExpectFields(ReadSummary(CreateTwinVQ, bytes), want);

    // Chunks the tag does not know stand between the text chunks; the walk steps over them.
    // Size: the six text chunks, 38 bytes of text and 8 of head each.
    EXPECT_EQ(
        TagFields(Vqf({Comm(1, 96, 44), Chunk("NAME", "Song"), Chunk("DSIZ", BE32(11996)),
                       Chunk("XTRA", std::string(7, 'x')), Chunk("AUTH", "Band"), Chunk("EMPT", ""),
                       Chunk("COMT", "Fine"), Chunk("(c) ", "2001 Someone"),
                       Chunk("FILE", "song.wav"), Chunk("ALBM", "Record")})),
        "Read=1|Valid=1|Size=86|Title=Song|Artist=Band|Album=Record|Comment=Fine|"
        "Copyright=2001 Someone|OriginalFile=song.wav|Version=97012000|");
    // The version stands without any text chunk, but there is no tag.
    ExpectFields(TagFields(vqf), "Read=1|Valid=0|Version=97012000");
    // A chunk whose size runs past the file ends the walk; what came before stays.
    EXPECT_EQ(
        TagFields(Vqf({Comm(1, 96, 44), Chunk("NAME", "Song"), "AUTH" + BE32(0x7FFFFFF0)}, "")),
        "Read=1|Valid=1|Size=12|Title=Song|Version=97012000|");
    ExpectFields(TagFields("TWIX" + vqf.substr(4)), "Read=0");
}

TEST(TTwinVQWrite, SaveAndRemoveKeepEveryOtherChunkAndTouchNoOtherFile) {
    TTempDir dir;
    const std::string path = dir.Path("song.vqf");
    // Writes the file, sets the fields on a fresh tag and saves (or removes) it.
    auto save = [&](const std::string& file,
                    const std::vector<std::pair<TTagField, std::string>>& set,
                    bool remove = false) {
        WriteFile(path, file);
        TRef<TTagBase> tag = CreateTag(tkTwinVQ);
        for (const auto& [field, value] : set)
            tag->SetField(field, value);
        return remove ? tag->Remove(path) : tag->Save(path);
    };
    const std::string comm = Comm(1, 96, 44), dsiz = Chunk("DSIZ", BE32(11996)),
                      extra = Chunk("XTRA", "kept as it is");
    const std::string tagged =
        Vqf({comm, Chunk("NAME", "Old"), dsiz, Chunk("COMT", "Gone"), extra, Chunk("AUTH", "Me")});
    // The chunks the tag does not own stay in their order; the text chunks follow them in the
    // order NAME, COMT, AUTH, (c), FILE, ALBM; the header size counts them all.
    ASSERT_TRUE(save(
        tagged, {{tfTitle, "New title"}, {tfAlbum, "Album"}, {tfArtist, "Me"}, {tfYear, "x"}}));
    EXPECT_TRUE(ReadFile(path) == Vqf({comm, dsiz, extra, Chunk("NAME", "New title"),
                                       Chunk("AUTH", "Me"), Chunk("ALBM", "Album")}));
    ASSERT_TRUE(save(ReadFile(path), {}, true));
    EXPECT_TRUE(ReadFile(path) == Vqf({comm, dsiz, extra}));
    EXPECT_FALSE(FileExists(path + "~"));

    std::string outside = Vqf({comm}); // a header size that points past the end of the file
    outside.replace(12, 4, BE32(static_cast<uint32_t>(outside.size())));
    std::string crossing = Vqf({comm, Chunk("NAME", "Song")});
    crossing.replace(12, 4, BE32(30)); // the header ends inside the NAME chunk
    for (const std::string& file : {"ID3" + Vqf({comm}), outside, crossing, std::string("TWIN")}) {
        EXPECT_FALSE(save(file, {{tfTitle, "Title"}}));
        EXPECT_FALSE(save(file, {}, true));
        EXPECT_TRUE(ReadFile(path) == file);
        EXPECT_FALSE(FileExists(path + "~"));
    }
}

} // namespace
