// One MPEG audio frame header (MPEG 1, 2 and 2.5, Layers I to III): its fields, the frame length
// and sample count they give, and the names the report uses for them.
#pragma once

#include <cstdint>
#include <string>

namespace audiolens {

// Field values as stored in the header.
constexpr uint8_t MPEGVersion25 = 0, MPEGVersion2 = 2, MPEGVersion1 = 3;
constexpr uint8_t MPEGLayerIII = 1, MPEGLayerII = 2, MPEGLayerI = 3;
constexpr uint8_t MPEGStereo = 0, MPEGJointStereo = 1, MPEGDualChannel = 2, MPEGMono = 3;
constexpr uint32_t MPEGHeaderSize = 4;
// No header that passes ParseFrameHeader gives a longer frame (MPEG 2.5 Layer II, 160 kbit/s
// at 8000 Hz, padded: 2881 bytes).
constexpr uint32_t MPEGMaxFrameLength = 2881;

struct TMPEGHeader {
    uint8_t Version = 0;
    uint8_t Layer = 0;
    bool Crc = false; // protection bit 0: a 16-bit CRC follows the header
    uint8_t BitRateIndex = 0;
    uint32_t BitRate = 0; // kbit/s
    uint8_t SampleRateIndex = 0;
    uint32_t SampleRate = 0; // Hz
    bool Padding = false;
    bool Private = false;
    uint8_t ChannelMode = 0;
    uint8_t ModeExtension = 0;
    bool Copyright = false;
    bool Original = false;
    uint8_t Emphasis = 0;
    uint32_t FrameLength = 0; // bytes, header included
    uint32_t Samples = 0;     // per channel
};

// Decodes the four header bytes (most significant bit first, as stored). False for anything that
// is not a usable header: no sync, a reserved version, layer, bit rate, sample rate or emphasis,
// or a frame shorter than 5 bytes (free format, whose length the header does not give).
bool ParseFrameHeader(uint32_t word, TMPEGHeader& header);

// Offset from the frame start at which a Xing or VBRI header is looked for: the end of the side
// information, which is shorter in mono and in MPEG 2/2.5.
uint32_t XingOffset(const TMPEGHeader& header);

std::string MPEGVersionName(uint8_t version);
std::string MPEGLayerName(uint8_t layer);
std::string MPEGChannelModeName(uint8_t mode);
std::string MPEGEmphasisName(uint8_t emphasis);
// "bands 4 to 31", "stereo MS" ...; empty where the mode extension has no name (Layer III 0).
std::string MPEGJoinModeText(uint8_t layer, uint8_t modeExtension);

} // namespace audiolens
