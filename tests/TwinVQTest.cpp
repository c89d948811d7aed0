// TwinVQ (VQF) files built from the format's layout: the 16-byte head, the header chunks with
// "COMM" first, then the "DATA" chunk. No encoder of the format is packaged, so every file here
// is byte-built and every expected value worked out from the layout.
#include "TestSupport.h"
#include "core/FileStream.h"
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

struct TVqfCase {
    const char* Name;
    uint32_t Mode, Kbps, RateCode;
    bool Valid;
    int32_t Rate;
    uint16_t Channels;
    double Duration;
};

const TVqfCase VqfCases[] = {
    {"Stereo44k96", 1, 96, 44, true, 44100, 2, 1.0},
    {"Mono8k8", 0, 8, 8, true, 8000, 1, 12.0},
    {"Mono22k24", 0, 24, 22, true, 22050, 1, 4.0},
    {"Rate48kOutsideRange", 1, 96, 48, false, 48000, 2, 1.0},
    {"NoBitRate", 1, 0, 44, false, 44100, 2, -1.0},
};

class TVqfTest : public ::testing::TestWithParam<TVqfCase> {};

TEST_P(TVqfTest, HeaderGivesTheStream) {
    const TVqfCase& c = GetParam();
    TAudioRef r = CreateAudioFile(afTwinVQ);
    ASSERT_TRUE(r->Read(*TFileView::FromBytes(Vqf({Comm(c.Mode, c.Kbps, c.RateCode)}))));
    EXPECT_EQ(r->Valid, c.Valid);
    EXPECT_EQ(r->SampleRate, c.Rate);
    EXPECT_EQ(r->Channels, c.Channels);
    EXPECT_EQ(r->BitRate, static_cast<int32_t>(c.Kbps));
    EXPECT_DOUBLE_EQ(r->Duration, c.Duration);
}

INSTANTIATE_TEST_SUITE_P(TwinVQ, TVqfTest, ::testing::ValuesIn(VqfCases),
                         [](const ::testing::TestParamInfo<TVqfCase>& param) {
                             return std::string(param.param.Name);
                         });

TEST(TwinVQ, NotTwinVQIsRefused) {
    const std::string notVqf = "TWIX" + Vqf({Comm(1, 96, 44)}).substr(4);
    EXPECT_FALSE(CreateAudioFile(afTwinVQ)->Read(*TFileView::FromBytes(notVqf)));
    EXPECT_FALSE(CreateTag(tkTwinVQ)->Read(*TFileView::FromBytes(notVqf)));
}

TRef<TTagBase> ReadTag(const std::string& bytes) {
    TRef<TTagBase> tag = CreateTag(tkTwinVQ);
    EXPECT_TRUE(tag->Read(*TFileView::FromBytes(bytes)));
    return tag;
}

TEST(TwinVQ, TextChunksAnywhereInTheHeader) {
    // Chunks the tag does not know stand between the text chunks; the walk steps over them.
    const std::string file =
        Vqf({Comm(1, 96, 44), Chunk("NAME", "Song"), Chunk("DSIZ", BE32(11996)),
             Chunk("XTRA", std::string(7, 'x')), Chunk("AUTH", "Band"), Chunk("EMPT", ""),
             Chunk("COMT", "Fine"), Chunk("(c) ", "2001 Someone"), Chunk("FILE", "song.wav"),
             Chunk("ALBM", "Record")});
    TRef<TTagBase> tag = ReadTag(file);
    EXPECT_TRUE(tag->Valid);
    EXPECT_EQ(tag->GetField(tfVersion), "97012000");
    EXPECT_EQ(tag->GetField(tfTitle), "Song");
    EXPECT_EQ(tag->GetField(tfArtist), "Band");
    EXPECT_EQ(tag->GetField(tfComment), "Fine");
    EXPECT_EQ(tag->GetField(tfCopyright), "2001 Someone");
    EXPECT_EQ(tag->GetField(tfOriginalFile), "song.wav");
    EXPECT_EQ(tag->GetField(tfAlbum), "Record");
    EXPECT_EQ(tag->Size, 4 + 4 + 4 + 12 + 8 + 6 + 6 * 8);

    // The version stands without any text chunk, but there is no tag.
    tag = ReadTag(Vqf({Comm(1, 96, 44)}));
    EXPECT_FALSE(tag->Valid);
    EXPECT_EQ(tag->GetField(tfVersion), "97012000");

    // A chunk whose size runs past the file ends the walk; what came before stays.
    tag = ReadTag(Vqf({Comm(1, 96, 44), Chunk("NAME", "Song"), "AUTH" + BE32(0x7FFFFFF0)}, ""));
    EXPECT_EQ(tag->GetField(tfTitle), "Song");
    EXPECT_EQ(tag->GetField(tfArtist), "");
    EXPECT_EQ(tag->Size, 12);
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
    TRef<TTagBase> tag = CreateTag(tkTwinVQ);
    ASSERT_TRUE(tag->Read(Path) && tag->Valid);
    EXPECT_EQ(tag->GetField(tfAlbum), "Album");
    TAudioRef record = CreateAudioFile(afTwinVQ);
    ASSERT_TRUE(record->Read(Path) && record->Valid);
    EXPECT_DOUBLE_EQ(record->Duration, 1.0);

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
