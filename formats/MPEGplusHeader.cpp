// Byte and bit positions follow the version 7 header as real encoders write it: the fields are
// packed into little-endian words, so bit n of a byte counts from its least significant bit
// (the profile is the high nibble of byte 10, the sample-rate index its two low bits).
#include "formats/MPEGplusHeader.h"

#include "core/Convert.h"

namespace audiolens {

namespace {

const int32_t SampleRates[4] = {44100, 48000, 37800, 32000};

const char* const ProfileNames[13] = {"Unknown",      "Thumb",       "Radio",       "Standard",
                                      "Xtreme",       "Insane",      "BrainDead",   "--quality 9",
                                      "--quality 10", "--quality 0", "--quality 1", "Telephone",
                                      "Experimental"};

const int ProfileByField[16] = {0, 12, 0, 0, 0, 9, 10, 11, 1, 2, 3, 4, 5, 6, 7, 8};

// The version the first four bytes announce, or 0.
int StreamVersion(const TByteView& head) {
    if (head.Matches(0, "MP+")) {
        switch (head.U8(3)) {
        case 0x07:
            return 7;
        case 0x17:
            return 71;
        case 0x08:
            return 8;
        default:
            break;
        }
    }
    const uint32_t version = (head.U32LE(0) >> 11) & 0x3FF;
    return version >= 4 && version <= 6 ? static_cast<int>(version) : 0;
}

} // namespace

bool ParseMPEGplusHeader(const TByteView& head, TMPEGplusHeader& header) {
    header = TMPEGplusHeader();
    if (!head.Has(0, MPEGplusHeaderSize)) return false;
    header.Version = StreamVersion(head);
    if (header.Version == 0) return false;
    const uint32_t word0 = head.U32LE(0), word1 = head.U32LE(4);
    if (header.Version <= 6) {
        header.BitRate = static_cast<int32_t>(word0 >> 23);
        header.FrameCount = header.Version == 4 ? word1 >> 16 : word1;
        header.SampleRate = 44100;
        // Byte 2 holds the intensity and mid-side flags below the low bit of the bit rate.
        header.StereoMode = (head.U8(2) & 0x7F) == 0 ? MPEGplusStereo : MPEGplusJointStereo;
        header.ProfileNumber = 0;
        header.EncoderNumber = -1;
        return true;
    }
    header.BitRate = 0;
    header.FrameCount = word1;
    header.ProfileNumber = MPEGplusProfileFromField(head.U8(10) >> 4);
    header.SampleRate = SampleRates[head.U8(10) & 0x03];
    header.StereoMode = (head.U8(11) & 0x40) != 0 ? MPEGplusJointStereo : MPEGplusStereo;
    header.EncoderNumber = head.U8(27);
    return true;
}

int MPEGplusProfileFromField(unsigned field) {
    return field < 16 ? ProfileByField[field] : 0;
}

std::string MPEGplusProfileName(int profileNumber) {
    return profileNumber >= 0 && profileNumber < 13 ? ProfileNames[profileNumber] : "Unknown";
}

std::string MPEGplusEncoderText(int encoderNumber) {
    // Versions 4 to 6 store no encoder (number -1); their text stays empty like that of 0.
    if (encoderNumber <= 0) return {};
    const auto number = static_cast<uint32_t>(encoderNumber);
    switch (number % 10) {
    case 0:
        return FormatStr("%u.%u Release", {number / 100, number / 10 % 10});
    case 2:
    case 4:
    case 6:
    case 8:
        return FormatStr("%u.%.2u Beta", {number / 100, number % 100});
    default:
        return FormatStr("%u.%.2u --Alpha--", {number / 100, number % 100});
    }
}

} // namespace audiolens
