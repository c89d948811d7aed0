// CD audio track reader on byte-built ".cda" files laid out as the CD file system driver
// presents them: RIFF "CDDA", a 24-byte "fmt " chunk with the track number, the volume serial,
// start and length in CD frames (75 a second), then start and length again as MSF.
#include "ReaderSupport.h"
#include "formats/AudioCDAtrack.h"

using namespace audiolens;
using namespace testsupport;

namespace {

// Minute, second, frame as the file stores them: frame first, then a zero byte.
std::string Msf(uint32_t frames) {
    return LE32(frames % 75 | frames / 75 % 60 << 8 | frames / 75 / 60 << 16);
}

std::string CdaFile(uint16_t track, uint32_t serial, uint32_t start, uint32_t length) {
    return "RIFF" + LE32(36) + "CDDA" + "fmt " + LE32(24) + LE16(1) + LE16(track) + LE32(serial) +
           LE32(start) + LE32(length) + Msf(start) + Msf(length);
}

} // namespace

TEST(CdaTrack, ByteBuiltTracks) {
    // The first track starts behind the two-second lead-in: frame 150 is 00:02:00.
    const std::string first = CdaFile(1, 0x1234ABCD, 150, 22500);
    const std::string wave = first.substr(0, 8) + "WAVE" + first.substr(12);
    const std::pair<std::string, std::string> rows[] = {
        {first, "Valid=1|Duration=300|Channels=2|Bits=16|Rate=44100|Size=44|Samples=0|BitRate=0|"
                "Ratio=-1|Track=1|Serial=305441741|Position=2|"},
        {CdaFile(12, 0xDEADBEEF, 100, 1),
         "Duration=0.0133333|Track=12|Serial=-559038737|Position=1.33333333333333|"},
        {CdaFile(65535, 0, 0, 0), "Duration=0|Track=65535|Serial=0|Position=0|"},
        {CdaFile(2, 1, 150, 0xFFFFFF00), "Valid=1|Duration=-1"}, // a negative length
        {wave, "Read=0|Valid=0"},
        {first.substr(0, 12) + "data" + first.substr(16), "Read=0"},
        {first.substr(0, 43), "Read=0"},
    };
    for (const auto& [bytes, want] : rows)
        ExpectFields(ReadSummary(CreateCDAtrack, bytes), want);
    // A record read before keeps nothing of that read.
    TAudioRef r(CreateCDAtrack());
    ASSERT_TRUE(r->Read(*TFileView::FromBytes(first)));
    EXPECT_FALSE(r->Read(*TFileView::FromBytes(wave)));
    ExpectFields(Summary(false, *r), "Duration=-1|Rate=0");
}
