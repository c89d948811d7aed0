// WAV reader on byte-built layouts; ffmpeg's files (with and without a LIST chunk, RF64, PCM,
// float and ADPCM) are compared with ffprobe in ConformanceTest.
#include "ReaderSupport.h"
#include "formats/AudioWAV.h"

using namespace audiolens;
using namespace testsupport;

namespace {

std::string Fmt(uint32_t fmtSize, uint16_t tag, uint16_t ch, uint32_t rate, uint32_t byteRate,
                uint16_t align, uint16_t bits) {
    return "fmt " + LE32(fmtSize) + LE16(tag) + LE16(ch) + LE32(rate) + LE32(byteRate) +
           LE16(align) + LE16(bits) + Zeros(fmtSize - 16);
}

std::string Riff(const std::string& body, int64_t riffSize = -1) {
    return "RIFF" + LE32(riffSize < 0 ? body.size() + 4 : riffSize) + "WAVE" + body;
}

} // namespace

// Layouts of recorders and editors: chunks before "fmt ", compressed data counted by "fact",
// extensible headers, and sizes that cannot be right (RF64 and LIST: ConformanceTest).
TEST(WavTest, ByteBuiltLayouts) {
    const auto data = [](uint32_t size, size_t n) { return "data" + LE32(size) + Zeros(n); };
    const std::string junk = "JUNK" + LE32(28) + Zeros(28), bext = "bext" + LE32(3) + Zeros(4);
    const std::string mono8k = Fmt(16, 1, 1, 8000, 16000, 2, 16);
    // Extensible: cbSize, valid bits, channel mask, then the sub-format GUID (PCM here).
    const std::string ext = Fmt(40, 0xFFFE, 2, 8000, 32000, 4, 16).substr(0, 24) + LE16(22) +
                            LE16(16) + LE32(3) + LE16(1) + Zeros(14);
    const std::pair<std::string, std::string> rows[] = {
        {Riff(Fmt(18, 1, 1, 8000, 16000, 2, 16) + data(1600, 1600)),
         "Samples=800|Duration=0.1|Ratio=100.122"}, // 1646 bytes against 800 * 2 + 44
        // A streamed size: the bytes present count. A data size of 0 (a writer that could not
        // seek back): the duration from the bytes.
        {Riff(mono8k + data(0xFFFFFFFF, 800), 0xFFFFFFFF), "Size=844|Samples=400|Duration=0.05"},
        {Riff(mono8k + data(0, 1600), 0), "Samples=0|Duration=0.1"},
        {Riff(mono8k, 36), "Samples=0|Duration=0"},
        // Block align 1 and a 4 GiB-class data size: only the present bytes count.
        {Riff(Fmt(16, 1, 1, 8000, 8000, 1, 8) + data(0xFFFFFFF0, 80), 0xFFFFFFF0),
         "Samples=80|Duration=0.01"},
        // The bit rate from the byte rate, rounded: 62.496, 62.504.
        {Riff(Fmt(16, 3, 1, 8000, 7812, 2, 16) + data(16, 16)), "BitRate=62|Format=IEEE float"},
        {Riff(Fmt(16, 3, 1, 8000, 7813, 2, 16) + data(16, 16)), "BitRate=63"},
        {Riff(Fmt(16, 7, 1, 8000, 8000, 1, 8) + data(16, 16)), "Samples=16|Format=MU-LAW"},
        {Riff(Fmt(16, 0x1234, 1, 8000, 8000, 1, 8) + data(16, 16)), "Samples=16|Format="},
        {Riff(junk + bext + mono8k + data(1600, 1600), 0xFFFFFFFF),
         "Valid=1|Samples=800|Duration=0.1|Format=Windows PCM"},
        {Riff(Fmt(20, 2, 1, 8000, 4096, 256, 4) + "fact" + LE32(4) + LE32(32000) + "LIST" +
                  LE32(2) + "ab" + data(4096, 4096),
              0xFFFFFFFF),
         "Valid=1|Samples=32000|Duration=4|Format=Microsoft ADPCM"},
        {Riff(ext + data(1600, 1600), 0xFFFFFFFF),
         "Valid=1|Samples=400|Duration=0.05|Format=Extensible (Windows PCM)"},
        // Zero divisors and bad signatures.
        {Riff(Fmt(16, 1, 2, 44100, 176400, 0, 16) + data(16, 16)), "Read=0|Valid=0|Channels=2"},
        {Riff(Fmt(16, 1, 2, 44100, 0, 4, 16) + "data" + LE32(0)), "Read=0"},
        {Riff(Fmt(16, 1, 0, 44100, 176400, 4, 16) + data(16, 16)), "Read=1|Valid=0"},
        {Riff(Fmt(16, 1, 1, 0, 2, 2, 16) + data(16, 16)), "Read=1|Duration=-1"},
        {"RIFX" + LE32(4) + "WAVEfmt ", "Read=0"},
    };
    for (const auto& [bytes, want] : rows)
        ExpectFields(ReadSummary(CreateWAV, bytes), want);
}
