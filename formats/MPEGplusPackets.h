// The packetised layout of Musepack stream version 8: "MPCK", then packets of a two-letter key,
// a variable-length size and a payload. Only the stream header ("SH") and encoder info ("EI")
// packets in front of the audio are read.
#pragma once

#include "core/ByteReader.h"
#include "core/FileView.h"

#include <cstdint>

namespace audiolens {

// A variable-length number: 7 bits a byte, most significant group first, high bit set on every
// byte but the last. At most this many bytes, so the value fits 63 bits.
constexpr uint32_t MPCKMaxVarLenBytes = 9;

// Reads one number at at, which then points behind it; false when it runs past the bytes or
// over MPCKMaxVarLenBytes.
bool ReadMPCKVarLen(const TByteView& bytes, uint64_t& at, uint64_t& value);

struct TMPCKStream {
    bool HasHeader = false;
    uint8_t Version = 0;
    uint64_t SampleCount = 0;
    uint64_t BeginSilence = 0; // samples the decoder drops at the start
    int32_t SampleRate = 0;    // 0 for the four unassigned rate indexes
    uint16_t Channels = 0;
    bool MidSide = false;

    bool HasEncoderInfo = false;
    uint8_t Quality = 0; // the profile as eighths of a quality step
    bool Pns = false;
    uint8_t EncoderMajor = 0, EncoderMinor = 0, EncoderBuild = 0;
};

// Decodes the packets from start, where "MPCK" must sit; false without the magic or without a
// stream header packet in front of the first audio packet.
bool ReadMPCKStream(const TFileView& file, uint64_t start, TMPCKStream& stream);

} // namespace audiolens
