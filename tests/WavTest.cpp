// WAV reader on byte-built layouts and on ffmpeg's output.
#include "TestSupport.h"
#include "formats/AudioWAV.h"
#include "framework/Reports.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace audiolens;
using namespace testsupport;

namespace {

struct TWavFixture : ::testing::Test {
    TTempDir Dir;
    TAudioRef Record{CreateWAV()};
    bool ReadBytes(const std::string& bytes) {
        WriteFile(Dir.Path("t.wav"), bytes);
        return Record->Read(Dir.Path("t.wav"));
    }
};

std::string Fmt(uint32_t fmtSize, uint16_t tag, uint16_t ch, uint32_t rate, uint32_t byteRate,
                uint16_t align, uint16_t bits) {
    return "fmt " + LE32(fmtSize) + LE16(tag) + LE16(ch) + LE32(rate) + LE32(byteRate) +
           LE16(align) + LE16(bits) + Zeros(fmtSize - 16);
}

std::string Riff(const std::string& body, uint32_t riffSize) {
    return "RIFF" + LE32(riffSize) + "WAVE" + body;
}

} // namespace

TEST_F(TWavFixture, CanonicalStereoFile) {
    std::string wav = PcmWav(2, 44100, 16, 44100);
    ASSERT_EQ(wav.size(), 176444u);
    ASSERT_TRUE(ReadBytes(wav));
    EXPECT_TRUE(Record->Valid);
    EXPECT_EQ(Record->FileSize, 176444);
    EXPECT_EQ(Record->Samples, 44100);
    EXPECT_EQ(Record->BitRate, 1411);
    EXPECT_DOUBLE_EQ(Record->Duration, 1.0);
    EXPECT_DOUBLE_EQ(Record->Ratio, 100.0);
    EXPECT_EQ(Record->Info->GetText(), "Format=Windows PCM\r\n");
    EXPECT_EQ(AudioReportText(*Record, "a.wav"),
              "File: a.wav\r\nFile type: Wav\r\nFile size: 176444\r\nBits: 16\r\nSampleRate: "
              "44100\r\nSamples: 44100\r\nBitrate: 1411\r\nBitrateType: \r\nDuration: "
              "0:01.000\r\nRatio: 100\r\nChannelMode: Stereo\r\nChannels: 2\r\nFormat=Windows "
              "PCM\r\n");
}

TEST_F(TWavFixture, ExtendedFmtChunkMovesTheData) {
    std::string body = Fmt(18, 1, 1, 8000, 16000, 2, 16) + "data" + LE32(1600) + Zeros(1600);
    ASSERT_TRUE(ReadBytes(Riff(body, static_cast<uint32_t>(body.size() + 4))));
    EXPECT_EQ(Record->Samples, 800);
    EXPECT_DOUBLE_EQ(Record->Duration, 0.1);
    EXPECT_DOUBLE_EQ(Record->Ratio, 1646.0 / (800 * 2 + 44) * 100);
}

TEST_F(TWavFixture, ListChunkBetweenFmtAndDataIsSkipped) {
    std::string list = "LIST" + LE32(26) + "INFOISFT" + LE32(14) + "Lavf60.16.100" + Zeros(1);
    std::string body =
        Fmt(16, 1, 2, 48000, 192000, 4, 16) + list + "data" + LE32(19200) + Zeros(19200);
    ASSERT_TRUE(ReadBytes(Riff(body, static_cast<uint32_t>(body.size() + 4))));
    EXPECT_EQ(Record->Samples, 4800);
    EXPECT_DOUBLE_EQ(Record->Duration, 0.1);
}

TEST_F(TWavFixture, StreamedAndTruncatedSizesUseTheBytesPresent) {
    std::string body = Fmt(16, 1, 1, 8000, 16000, 2, 16) + "data" + LE32(0xFFFFFFFF) + Zeros(800);
    ASSERT_TRUE(ReadBytes(Riff(body, 0xFFFFFFFF)));
    EXPECT_EQ(Record->FileSize, 844);
    EXPECT_EQ(Record->Samples, 400);
    EXPECT_DOUBLE_EQ(Record->Duration, 0.05);
    // A data size of 0 (a writer that could not seek back): duration from the bytes.
    body = Fmt(16, 1, 1, 8000, 16000, 2, 16) + "data" + LE32(0) + Zeros(1600);
    ASSERT_TRUE(ReadBytes(Riff(body, 0)));
    EXPECT_EQ(Record->Samples, 0);
    EXPECT_DOUBLE_EQ(Record->Duration, 0.1);
}

TEST_F(TWavFixture, ShortFileHasNoDataSize) {
    std::string wav = Riff(Fmt(16, 1, 1, 8000, 16000, 2, 16), 36);
    ASSERT_TRUE(ReadBytes(wav));
    EXPECT_EQ(Record->Samples, 0);
    EXPECT_DOUBLE_EQ(Record->Duration, 0.0);
}

TEST_F(TWavFixture, BitRateRoundingAndFormatNames) {
    struct {
        uint32_t byteRate;
        int32_t kbps;
    } cases[] = {{12000, 96}, {7812, 62}, {7813, 63}};
    for (auto c : cases) {
        std::string body = Fmt(16, 3, 1, 8000, c.byteRate, 2, 16) + "data" + LE32(16) + Zeros(16);
        ASSERT_TRUE(ReadBytes(Riff(body, static_cast<uint32_t>(body.size() + 4))));
        EXPECT_EQ(Record->BitRate, c.kbps);
        EXPECT_EQ(Record->Info->Get(0), "Format=IEEE float");
    }
}

// Layouts of recorders and editors: chunks before "fmt ", compressed data counted by "fact",
// extensible headers, and RF64 with its 64-bit sizes in "ds64".
TEST_F(TWavFixture, ChunksBeforeFmtFactExtensibleAndRf64) {
    const std::string junk = "JUNK" + LE32(28) + Zeros(28), bext = "bext" + LE32(3) + Zeros(4);
    const std::string pcm = Fmt(16, 1, 1, 8000, 16000, 2, 16);
    const std::string adpcm = Fmt(20, 2, 1, 8000, 4096, 256, 4),
                      fact = "fact" + LE32(4) + LE32(32000);
    // Extensible: cbSize, valid bits, channel mask, then the sub-format GUID (PCM here).
    const std::string ext = Fmt(40, 0xFFFE, 2, 8000, 32000, 4, 16).substr(0, 24) + LE16(22) +
                            LE16(16) + LE32(3) + LE16(1) + Zeros(14);
    const std::string ds64 = "ds64" + LE32(28) + Zeros(8) + LE32(1600) + Zeros(16);
    struct {
        std::string head, bytes;
        int64_t samples;
        const char* format;
    } rows[] = {
        {"RIFF", junk + bext + pcm + "data" + LE32(1600) + Zeros(1600), 800, "Windows PCM"},
        {"RIFF", adpcm + fact + "LIST" + LE32(2) + "ab" + "data" + LE32(4096) + Zeros(4096), 32000,
         "Microsoft ADPCM"},
        {"RIFF", ext + "data" + LE32(1600) + Zeros(1600), 400, "Extensible (Windows PCM)"},
        {"RF64", ds64 + pcm + "data" + LE32(0xFFFFFFFF) + Zeros(1600), 800, "Windows PCM"},
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(ReadBytes(row.head + LE32(0xFFFFFFFF) + "WAVE" + row.bytes)) << row.format;
        EXPECT_TRUE(Record->Valid);
        EXPECT_EQ(Record->Samples, row.samples) << row.format;
        EXPECT_DOUBLE_EQ(Record->Duration, row.samples / static_cast<double>(Record->SampleRate));
        EXPECT_EQ(Record->Info->Get(0), std::string("Format=") + row.format);
    }
}

TEST_F(TWavFixture, ZeroDivisorsAndBadSignatures) {
    std::string body = Fmt(16, 1, 2, 44100, 176400, 0, 16) + "data" + LE32(16) + Zeros(16);
    EXPECT_FALSE(ReadBytes(Riff(body, 60)));
    EXPECT_FALSE(Record->Valid);
    EXPECT_EQ(Record->Channels, 2); // set before the failing step
    body = Fmt(16, 1, 2, 44100, 0, 4, 16) + "data" + LE32(0);
    EXPECT_FALSE(ReadBytes(Riff(body, 36)));
    body = Fmt(16, 1, 0, 44100, 176400, 4, 16) + "data" + LE32(16) + Zeros(16);
    EXPECT_TRUE(ReadBytes(Riff(body, 60)));
    EXPECT_FALSE(Record->Valid);
    body = Fmt(16, 1, 1, 0, 2, 2, 16) + "data" + LE32(16) + Zeros(16);
    EXPECT_TRUE(ReadBytes(Riff(body, 60)));
    EXPECT_EQ(Record->Duration, -1.0);
    EXPECT_FALSE(ReadBytes("RIFX" + LE32(4) + "WAVEfmt "));
    EXPECT_FALSE(ReadBytes(""));
    EXPECT_FALSE(Record->Read("/no/such.wav"));
}

TEST_F(TWavFixture, HugeDataSizeDoesNotWrap) {
    // Block align 1 and a 4 GiB-class data size: only the present bytes count.
    std::string body = Fmt(16, 1, 1, 8000, 8000, 1, 8) + "data" + LE32(0xFFFFFFF0) + Zeros(80);
    ASSERT_TRUE(ReadBytes(Riff(body, 0xFFFFFFF0)));
    EXPECT_EQ(Record->Samples, 80);
    EXPECT_DOUBLE_EQ(Record->Duration, 0.01);
}

TEST_F(TWavFixture, FfmpegFilesMatchFfprobe) {
    REQUIRE_TOOL("ffmpeg");
    struct {
        int rate, channels;
        const char* codec;
        double seconds;
    } cases[] = {{44100, 2, "pcm_s16le", 1.5},
                 {8000, 1, "pcm_u8", 0.75},
                 {96000, 6, "pcm_s24le", 0.2},
                 {22050, 1, "pcm_mulaw", 2.0}};
    for (auto c : cases) {
        std::string file = Dir.Path("ff.wav");
        char cmd[512];
        std::snprintf(
            cmd, sizeof cmd,
            "ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=%d:duration=%g "
            "-ac %d -c:a %s -metadata title=Tone %s",
            c.rate, c.seconds, c.channels, c.codec, Quote(file).c_str());
        ASSERT_EQ(testsupport::Run(cmd), 0);
        ASSERT_NE(ReadFile(file).find("LIST"), std::string::npos); // the layout under test
        ASSERT_TRUE(Record->Read(file));
        ASSERT_TRUE(Record->Valid);
        EXPECT_EQ(Record->SampleRate, std::stoi(Probe(file, "stream", "sample_rate")));
        EXPECT_EQ(Record->Channels, std::stoi(Probe(file, "stream", "channels")));
        EXPECT_NEAR(Record->Duration, std::stod(Probe(file, "stream", "duration")), 1e-6);
        EXPECT_EQ(Record->FileSize, static_cast<int64_t>(ReadFile(file).size()));
    }
}
