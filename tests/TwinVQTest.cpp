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

// 12000 bytes behind the header: 1 s at 96 kbit/s. A size given stands in the header's size field.
std::string Vqf(const std::vector<std::string>& chunks, uint32_t size = 0,
                const std::string& audio = "DATA" + std::string(11996, '\x5A')) {
    const std::string header = std::accumulate(chunks.begin(), chunks.end(), std::string());
    return "TWIN97012000" + BE32(size ? size : uint32_t(header.size())) + header + audio;
}

TEST(TwinVQ, HeaderGivesTheStreamAndTextChunksTheTag) {
    const std::string vqf = Vqf({Comm(1, 96, 44)});
    // The read's fields, then the tag's summary: the version stands without a text chunk.
    const char* none = "Read=1|Valid=0|Size=0|Version=97012000|";
    const std::tuple<std::string, const char*, const char*> rows[] = {
        {vqf, "Read=1|Valid=1|Rate=44100|Channels=2|BitRate=96|Duration=1|", none},
        {Vqf({Comm(0, 8, 8)}), "Valid=1|Rate=8000|Channels=1|BitRate=8|Duration=12|", none},
        {Vqf({Comm(0, 24, 22)}), "Valid=1|Rate=22050|Channels=1|BitRate=24|Duration=4|", none},
        {Vqf({Comm(1, 96, 48)}), "Valid=0|Rate=48000|Channels=2|Duration=1|", none}, // too high
        {Vqf({Comm(1, 0, 44)}), "Valid=0|Rate=44100|BitRate=0|Duration=-1|", none},
        {"TWIX" + vqf.substr(4), "Read=0", "Read=0|Valid=0|Size=0|"},
        // Unknown chunks are stepped over. Size: six text chunks, 8-byte heads, 38 bytes of text.
        {Vqf({Comm(1, 96, 44), Chunk("NAME", "Song"), Chunk("DSIZ", BE32(11996)),
              Chunk("XTRA", std::string(7, 'x')), Chunk("AUTH", "Band"), Chunk("EMPT", ""),
              Chunk("COMT", "Fine"), Chunk("(c) ", "2001 Someone"), Chunk("FILE", "song.wav"),
              Chunk("ALBM", "Record")}),
         "Valid=1",
         "Read=1|Valid=1|Size=86|Title=Song|Artist=Band|Album=Record|Comment=Fine|"
         "Copyright=2001 Someone|OriginalFile=song.wav|Version=97012000|"},
        // A chunk whose size runs past the file ends the walk; what came before stays.
        {Vqf({Comm(1, 96, 44), Chunk("NAME", "Song"), "AUTH" + BE32(0x7FFFFFF0)}, 0, ""), "",
         "Read=1|Valid=1|Size=12|Title=Song|Version=97012000|"},
    };
    for (const auto& [bytes, read, tagged] : rows) {
        ExpectFields(ReadSummary(CreateTwinVQ, bytes), read);
        TRef<TTagBase> tag = CreateTag(tkTwinVQ);
        EXPECT_EQ(TagSummary(tag->Read(*TFileView::FromBytes(bytes)), *tag), tagged);
    }
}

TEST(TTwinVQWrite, SaveAndRemoveKeepEveryOtherChunkAndTouchNoOtherFile) {
    TTempDir dir;
    const std::string path = dir.Path("song.vqf");
    auto save = [&](const std::string& bytes, std::map<int, std::string> set, bool remove = false) {
        WriteFile(path, bytes);
        TRef<TTagBase> tag = CreateTag(tkTwinVQ);
        for (const auto& [field, value] : set)
            tag->SetField(field, value);
        return remove ? tag->Remove(path) : tag->Save(path);
    };
    const std::string comm = Comm(1, 96, 44), dsiz = Chunk("DSIZ", BE32(11996)),
                      extra = Chunk("XTRA", "kept as it is");
    // The chunks the tag does not own stay in their order; the text chunks follow them in the
    // order NAME, COMT, AUTH, (c), FILE, ALBM; the header size counts them all.
    ASSERT_TRUE(save(
        Vqf({comm, Chunk("NAME", "Old"), dsiz, Chunk("COMT", "Gone"), extra, Chunk("AUTH", "Me")}),
        {{tfTitle, "New title"}, {tfAlbum, "Album"}, {tfArtist, "Me"}, {tfYear, "x"}}));
    EXPECT_TRUE(ReadFile(path) == Vqf({comm, dsiz, extra, Chunk("NAME", "New title"),
                                       Chunk("AUTH", "Me"), Chunk("ALBM", "Album")}));
    ASSERT_TRUE(save(ReadFile(path), {}, true));
    EXPECT_TRUE(ReadFile(path) == Vqf({comm, dsiz, extra}));
    EXPECT_FALSE(FileExists(path + "~"));

    // A header size past the end of the file (of 12040 bytes), one that ends inside the NAME chunk.
    for (const std::string& file : {"ID3" + Vqf({comm}), Vqf({comm}, 12040),
                                    Vqf({comm, Chunk("NAME", "Song")}, 30), std::string("TWIN")}) {
        EXPECT_FALSE(save(file, {{tfTitle, "Title"}}));
        EXPECT_FALSE(save(file, {}, true));
        EXPECT_TRUE(ReadFile(path) == file);
        EXPECT_FALSE(FileExists(path + "~"));
    }
}

} // namespace
