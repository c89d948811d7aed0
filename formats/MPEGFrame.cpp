// Tables of ISO/IEC 11172-3 (MPEG 1) and ISO/IEC 13818-3 (MPEG 2, whose low-rate tables MPEG 2.5
// shares).
#include "formats/MPEGFrame.h"

namespace audiolens {

namespace {

// kbit/s by row and bit-rate index 0..14; index 0 is free format.
constexpr uint16_t BitRates[5][15] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448}, // MPEG 1 Layer I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},    // MPEG 1 Layer II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},     // MPEG 1 Layer III
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},    // MPEG 2/2.5 Layer I
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},         // MPEG 2/2.5 II, III
};

// Hz by version (0 = 2.5, 2 = 2, 3 = 1) and index 0..2; version 1 is reserved.
constexpr uint32_t SampleRates[4][3] = {
    {11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};

int BitRateRow(uint8_t version, uint8_t layer) {
    if (version == MPEGVersion1) return 3 - layer; // Layer I row 0, II row 1, III row 2
    return layer == MPEGLayerI ? 3 : 4;
}

// Samples per frame / 8: Layer I has 384 samples, Layer II 1152, Layer III 1152 in MPEG 1 and
// 576 in MPEG 2/2.5.
uint32_t FrameCoefficient(uint8_t version, uint8_t layer) {
    if (layer == MPEGLayerI) return 48;
    if (layer == MPEGLayerIII && version != MPEGVersion1) return 72;
    return 144;
}

} // namespace

bool ParseFrameHeader(uint32_t word, TMPEGHeader& h) {
    auto bits = [word](unsigned shift, unsigned width) {
        return static_cast<uint8_t>((word >> shift) & ((1u << width) - 1));
    };
    if ((word >> 21) != 0x7FF) return false;
    const uint8_t version = bits(19, 2), layer = bits(17, 2), bitRateIndex = bits(12, 4),
                  rateIndex = bits(10, 2), emphasis = bits(0, 2);
    if (version == 1 || layer == 0 || bitRateIndex == 15 || rateIndex == 3 || emphasis == 2)
        return false;
    const uint32_t bitRate = BitRates[BitRateRow(version, layer)][bitRateIndex];
    const uint32_t sampleRate = SampleRates[version][rateIndex];
    if (sampleRate == 0) return false; // only the reserved version has none; checked above
    const uint32_t coefficient = FrameCoefficient(version, layer);
    const bool padding = bits(9, 1) != 0;
    // Layer I frames are whole 4-byte slots: the division comes before the multiplication by 4,
    // or a 44.1 kHz stream would lose its sync after the first frame.
    const uint32_t length =
        layer == MPEGLayerI
            ? (coefficient / 4 * bitRate * 1000 / sampleRate + (padding ? 1 : 0)) * 4
            : coefficient * bitRate * 1000 / sampleRate + (padding ? 1 : 0);
    if (length < 5) return false;

    h.Version = version;
    h.Layer = layer;
    h.Crc = bits(16, 1) == 0;
    h.BitRateIndex = bitRateIndex;
    h.BitRate = bitRate;
    h.SampleRateIndex = rateIndex;
    h.SampleRate = sampleRate;
    h.Padding = padding;
    h.Private = bits(8, 1) != 0;
    h.ChannelMode = bits(6, 2);
    h.ModeExtension = bits(4, 2);
    h.Copyright = bits(3, 1) != 0;
    h.Original = bits(2, 1) != 0;
    h.Emphasis = emphasis;
    h.FrameLength = length;
    h.Samples = coefficient * 8;
    return true;
}

uint32_t XingOffset(const TMPEGHeader& h) {
    const bool mono = h.ChannelMode == MPEGMono;
    if (h.Version == MPEGVersion1) return mono ? 21 : 36;
    return mono ? 13 : 21;
}

std::string MPEGVersionName(uint8_t version) {
    static const char* const names[4] = {"2.5", "", "2", "1"};
    return version < 4 ? names[version] : "";
}

std::string MPEGLayerName(uint8_t layer) {
    static const char* const names[4] = {"", "III", "II", "I"};
    return layer < 4 ? names[layer] : "";
}

std::string MPEGChannelModeName(uint8_t mode) {
    static const char* const names[4] = {"Stereo", "Joint Stereo", "Dual Channel", "Mono"};
    return mode < 4 ? names[mode] : "";
}

std::string MPEGEmphasisName(uint8_t emphasis) {
    static const char* const names[4] = {"None", "50/15 ms", "", "CCIT J.17"};
    return emphasis < 4 ? names[emphasis] : "";
}

std::string MPEGJoinModeText(uint8_t layer, uint8_t modeExtension) {
    static const char* const bands[4] = {"4 to 31", "8 to 31", "12 to 31", "16 to 31"};
    static const char* const stereo[4] = {"", "Intensity", "MS", "Intensity+MS"};
    if (modeExtension > 3) return {};
    if (layer == MPEGLayerIII)
        return modeExtension == 0 ? std::string() : std::string("stereo ") + stereo[modeExtension];
    return std::string("bands ") + bands[modeExtension];
}

} // namespace audiolens
