// The 32-byte "MP+" stream header of Musepack stream versions 4 to 7, 7.1 and 8 (the unpacketised
// layouts), and the profile and encoder names the Musepack reader reports for every version.
#pragma once

#include "core/ByteReader.h"

#include <cstdint>
#include <string>

namespace audiolens {

constexpr uint32_t MPEGplusHeaderSize = 32;
constexpr uint32_t MPEGplusFrameSamples = 1152;

// Stereo modes as the report names them.
constexpr int MPEGplusStereo = 1;
constexpr int MPEGplusJointStereo = 2;

struct TMPEGplusHeader {
    int Version = 0; // 4, 5, 6, 7, 71 (7.1) or 8
    uint32_t FrameCount = 0;
    int32_t BitRate = 0; // kbit/s, stored only by versions 4 to 6
    int32_t SampleRate = 0;
    int StereoMode = 0;
    int ProfileNumber = 0; // index into the profile names
    int EncoderNumber = 0; // -1 where the header has no encoder byte
};

// False when the 32 bytes are no header of a known version.
bool ParseMPEGplusHeader(const TByteView& head, TMPEGplusHeader& header);

// The profile number for the 4-bit profile field of version 7 headers (and for the integer part
// of a version 8 stream's quality, which counts on the same scale).
int MPEGplusProfileFromField(unsigned field);
std::string MPEGplusProfileName(int profileNumber);
// The text of an encoder number of the version 7 header: 116 gives "1.16 Beta".
std::string MPEGplusEncoderText(int encoderNumber);

} // namespace audiolens
