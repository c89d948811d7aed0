// TwinVQ (VQF) files built from the format's layout: the 16-byte head, the header chunks with
// "COMM" first, then the "DATA" chunk. No encoder of the format is packaged, so every file here
// is byte-built and every expected value worked out from the layout.
#include "ReaderSupport.h"
#include "TestSupport.h"
#include "core/FileStream.h"
#include "formats/AudioTwinVQ.h"
#include "framework/Registry.h"

#include <gtest/gtest.h>
#include <vector>

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
const std::string Audio = "DATA" + std::string(11996, '\x5A');

std::string Vqf(const std::vector<std::string>& chunks, const std::string& audio = Audio) {
    std::string header;
    for (const std::string& chunk : chunks)
        header += chunk;
    return "TWIN97012000" + BE32(static_cast<uint32_t>(header.size())) + header + audio;
}

TEST(TwinVQ, HeaderGivesTheStream) {
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
    const TFileViewRef notVqf = TFileView::FromBytes("TWIX" + vqf.substr(4));
    EXPECT_FALSE(CreateAudioFile(afTwinVQ)->Read(*notVqf) || CreateTag(tkTwinVQ)->Read(*notVqf));
}

// Valid, version, title, artist, comment, copyright, original file, album and size of the tag.
std::string TagFields(const std::string& bytes) {
    TRef<TTagBase> tag = CreateTag(tkTwinVQ);
    EXPECT_TRUE(tag->Read(*TFileView::FromBytes(bytes)));
    std::string fields = std::to_string(tag->Valid);
    for (int field :
         {tfVersion, tfTitle, tfArtist, tfComment, tfCopyright, tfOriginalFile, tfAlbum})
        fields += "|" + tag->GetField(field);
    return fields + "|" + std::to_string(tag->Size);
}

TEST(TwinVQ, TextChunksAnywhereInTheHeader) {
    const std::string comm = Comm(1, 96, 44);
    // Chunks the tag does not know stand between the text chunks; the walk steps over them.
    EXPECT_EQ(
        TagFields(Vqf({comm, Chunk("NAME", "Song"), Chunk("DSIZ", BE32(11996)),
                       Chunk("XTRA", std::string(7, 'x')), Chunk("AUTH", "Band"), Chunk("EMPT", ""),
                       Chunk("COMT", "Fine"), Chunk("(c) ", "2001 Someone"),
                       Chunk("FILE", "song.wav"), Chunk("ALBM", "Record")})),
        "1|97012000|Song|Band|Fine|2001 Someone|song.wav|Record|" +
            std::to_string(4 + 4 + 4 + 12 + 8 + 6 + 6 * 8));
    // The version stands without any text chunk, but there is no tag.
    EXPECT_EQ(TagFields(Vqf({comm})).substr(0, 11), "0|97012000|");
    // A chunk whose size runs past the file ends the walk; what came before stays.
    EXPECT_EQ(TagFields(Vqf({comm, Chunk("NAME", "Song"), "AUTH" + BE32(0x7FFFFFF0)}, "")),
              "1|97012000|Song||||||12");
}

class TTwinVQWrite : public ::testing::Test {
  protected:
    bool Save(const std::string& file, const std::vector<std::pair<TTagField, std::string>>& set,
              bool remove = false) {
        WriteFile(Path, file);
        TRef<TTagBase> tag = CreateTag(tkTwinVQ);
        for (const auto& [field, value] : set)
            tag->SetField(field, value);
        return remove ? tag->Remove(Path) : tag->Save(Path);
    }

    TTempDir Dir;
    const std::string Path = Dir.Path("song.vqf");
};

TEST_F(TTwinVQWrite, SaveAndRemoveKeepEveryOtherChunk) {
    const std::string comm = Comm(1, 96, 44), dsiz = Chunk("DSIZ", BE32(11996)),
                      extra = Chunk("XTRA", "kept as it is");
    const std::string tagged =
        Vqf({comm, Chunk("NAME", "Old"), dsiz, Chunk("COMT", "Gone"), extra, Chunk("AUTH", "Me")});
    // The chunks the tag does not own stay in their order; the text chunks follow them in the
    // order NAME, COMT, AUTH, (c), FILE, ALBM; the header size counts them all.
    ASSERT_TRUE(Save(
        tagged, {{tfTitle, "New title"}, {tfAlbum, "Album"}, {tfArtist, "Me"}, {tfYear, "x"}}));
    EXPECT_TRUE(ReadFile(Path) == Vqf({comm, dsiz, extra, Chunk("NAME", "New title"),
                                       Chunk("AUTH", "Me"), Chunk("ALBM", "Album")}));
    ASSERT_TRUE(Save(ReadFile(Path), {}, true));
    EXPECT_TRUE(ReadFile(Path) == Vqf({comm, dsiz, extra}));
    EXPECT_FALSE(FileExists(Path + "~"));
}

TEST_F(TTwinVQWrite, NoTwinVQFileIsTouched) {
    const std::string vqf = Vqf({Comm(1, 96, 44)});
    std::string outside = vqf; // a header size that points past the end of the file
    outside.replace(12, 4, BE32(static_cast<uint32_t>(vqf.size())));
    std::string crossing = Vqf({Comm(1, 96, 44), Chunk("NAME", "Song")});
    crossing.replace(12, 4, BE32(30)); // the header ends inside the NAME chunk
    for (const std::string& file : {"ID3" + vqf, outside, crossing, std::string("TWIN")}) {
        EXPECT_FALSE(Save(file, {{tfTitle, "Title"}}));
        EXPECT_FALSE(Save(file, {}, true));
        EXPECT_TRUE(ReadFile(Path) == file);
        EXPECT_FALSE(FileExists(Path + "~"));
    }
}

} // namespace
