// CD audio track reader on byte-built ".cda" files laid out as the CD file system driver
// presents them: RIFF "CDDA", a 24-byte "fmt " chunk with the track number, the volume serial,
// start and length in CD frames (75 a second), then start and length again as MSF.
#include "TestSupport.h"
#include "formats/AudioCDAtrack.h"
#include "framework/Registry.h"

#include <gtest/gtest.h>

using namespace audiolens;
using namespace testsupport;

namespace {

// Minute, second, frame as the file stores them: frame first, then a zero byte.
std::string Msf(uint32_t frames) {
    std::string out;
    out += static_cast<char>(frames % 75);
    out += static_cast<char>(frames / 75 % 60);
    out += static_cast<char>(frames / 75 / 60);
    out += '\0';
    return out;
}

std::string CdaFile(uint16_t track, uint32_t serial, uint32_t start, uint32_t length) {
    return "RIFF" + LE32(36) + "CDDA" + "fmt " + LE32(24) + LE16(1) + LE16(track) + LE32(serial) +
           LE32(start) + LE32(length) + Msf(start) + Msf(length);
}

struct TCdaFixture : ::testing::Test {
    TTempDir Dir;
    TAudioRef Record{CreateCDAtrack()};
    bool ReadBytes(const std::string& bytes) {
        WriteFile(Dir.Path("Track01.cda"), bytes);
        return Record->Read(Dir.Path("Track01.cda"));
    }
};

} // namespace

TEST_F(TCdaFixture, FirstTrackOfFiveMinutes) {
    // The first track starts behind the two-second lead-in: frame 150 is 00:02:00.
    std::string file = CdaFile(1, 0x1234ABCD, 150, 22500);
    ASSERT_EQ(file.size(), 44u);
    ASSERT_EQ(file.substr(36), std::string("\x00\x02\x00\x00\x00\x00\x05\x00", 8));
    ASSERT_TRUE(ReadBytes(file));
    EXPECT_TRUE(Record->Valid);
    EXPECT_EQ(Record->Info->GetText(), "Track=1\r\nSerial=305441741\r\nPosition=2\r\n");
    EXPECT_DOUBLE_EQ(Record->Duration, 300.0);
    EXPECT_EQ(Record->Channels, 2);
    EXPECT_EQ(Record->BitsPerSample, 16);
    EXPECT_EQ(Record->SampleRate, 44100);
    EXPECT_EQ(Record->FileSize, 44);
    EXPECT_EQ(Record->Samples, 0);
    EXPECT_EQ(Record->BitRate, 0);
    EXPECT_EQ(Record->Ratio, -1.0);
}

TEST_F(TCdaFixture, FractionalPositionAndNegativeSerial) {
    ASSERT_TRUE(ReadBytes(CdaFile(12, 0xDEADBEEF, 100, 1)));
    EXPECT_EQ(Record->Info->GetText(),
              "Track=12\r\nSerial=-559038737\r\nPosition=1.33333333333333\r\n");
    EXPECT_DOUBLE_EQ(Record->Duration, 1.0 / 75);
    ASSERT_TRUE(ReadBytes(CdaFile(65535, 0, 0, 0)));
    EXPECT_EQ(Record->Info->GetText(), "Track=65535\r\nSerial=0\r\nPosition=0\r\n");
    EXPECT_DOUBLE_EQ(Record->Duration, 0.0);
}

TEST_F(TCdaFixture, NegativeLengthLeavesTheDurationUnknown) {
    ASSERT_TRUE(ReadBytes(CdaFile(2, 1, 150, 0xFFFFFF00)));
    EXPECT_TRUE(Record->Valid);
    EXPECT_EQ(Record->Duration, -1.0);
}

TEST_F(TCdaFixture, OtherRiffFilesAndShortFilesAreRejected) {
    std::string wave = CdaFile(1, 1, 150, 22500);
    wave.replace(8, 4, "WAVE");
    EXPECT_FALSE(ReadBytes(wave));
    EXPECT_FALSE(Record->Valid);
    EXPECT_EQ(Record->Info->Count(), 0);
    EXPECT_FALSE(ReadBytes(CdaFile(1, 1, 150, 22500).substr(0, 40)));
    EXPECT_FALSE(ReadBytes(CdaFile(1, 1, 150, 22500).substr(0, 43)));
    EXPECT_FALSE(ReadBytes(""));
    std::string noFmt = CdaFile(1, 1, 150, 22500);
    noFmt.replace(12, 4, "data");
    EXPECT_FALSE(ReadBytes(noFmt));
    // A record read before keeps nothing of that read.
    ASSERT_TRUE(ReadBytes(CdaFile(1, 1, 150, 22500)));
    EXPECT_FALSE(ReadBytes(wave));
    EXPECT_EQ(Record->Duration, -1.0);
    EXPECT_EQ(Record->SampleRate, 0);
}

TEST_F(TCdaFixture, VerifierFindsItWhateverTheExtension) {
    ASSERT_NE(FormatConstructor(afCDATrack), nullptr);
    EXPECT_EQ(FormatByExtension(".cda"), afCDATrack);
    WriteFile(Dir.Path("track.dat"), CdaFile(4, 7, 30000, 15000));
    TRef<TAudioVerify> verify(new TAudioVerify);
    ASSERT_TRUE(verify->Verify(Dir.Path("track.dat")));
    EXPECT_EQ(verify->Audio()->Format, afCDATrack);
    EXPECT_DOUBLE_EQ(verify->Audio()->Duration, 200.0);
    EXPECT_EQ(verify->Audio()->Info->Get(2), "Position=400");
    EXPECT_EQ(verify->Audio()->SupportedTags, 0);
}
