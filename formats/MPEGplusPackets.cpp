#include "formats/MPEGplusPackets.h"

#include <algorithm>
#include <string>

namespace audiolens {

namespace {

constexpr uint32_t MagicSize = 4;
// Key and the longest size field.
constexpr uint32_t MaxPacketHead = 2 + MPCKMaxVarLenBytes;
// Header packets are a few bytes long; more than this of one is never needed.
constexpr uint32_t MaxPayloadRead = 64;
// Bounds the walk over a file of tiny packets before the audio.
constexpr int MaxPackets = 256;

const int32_t SampleRates[8] = {44100, 48000, 37800, 32000, 0, 0, 0, 0};

// Keys are two capital letters; anything else is not a packet.
bool IsKey(const TByteView& head) {
    const uint8_t a = head.U8(0), b = head.U8(1);
    return head.Has(0, 2) && a >= 'A' && a <= 'Z' && b >= 'A' && b <= 'Z';
}

bool ParseStreamHeader(const TByteView& p, TMPCKStream& stream) {
    TMPCKStream s = stream; // stored only when the whole header is present
    uint64_t at = 4;        // behind the CRC
    if (!p.Has(at, 1)) return false;
    s.Version = p.U8(at++);
    if (!ReadMPCKVarLen(p, at, s.SampleCount) || !ReadMPCKVarLen(p, at, s.BeginSilence))
        return false;
    if (!p.Has(at, 2)) return false;
    const uint8_t rateAndBands = p.U8(at), channelsAndMode = p.U8(at + 1);
    s.SampleRate = SampleRates[rateAndBands >> 5];
    s.Channels = static_cast<uint16_t>((channelsAndMode >> 4) + 1);
    s.MidSide = (channelsAndMode & 0x08) != 0;
    s.HasHeader = true;
    stream = s;
    return true;
}

bool ParseEncoderInfo(const TByteView& p, TMPCKStream& s) {
    if (!p.Has(0, 4)) return false;
    s.Quality = static_cast<uint8_t>(p.U8(0) >> 1);
    s.Pns = (p.U8(0) & 1) != 0;
    s.EncoderMajor = p.U8(1);
    s.EncoderMinor = p.U8(2);
    s.EncoderBuild = p.U8(3);
    s.HasEncoderInfo = true;
    return true;
}

} // namespace

bool ReadMPCKVarLen(const TByteView& bytes, uint64_t& at, uint64_t& value) {
    value = 0;
    for (uint32_t n = 0; n < MPCKMaxVarLenBytes; ++n) {
        if (!bytes.Has(at, 1)) return false;
        const uint8_t byte = bytes.U8(at++);
        value = (value << 7) | (byte & 0x7F);
        if ((byte & 0x80) == 0) return true;
    }
    return false;
}

bool ReadMPCKStream(const TFileView& file, uint64_t start, TMPCKStream& stream) {
    stream = TMPCKStream();
    const uint64_t fileSize = file.Size();
    if (file.Read(start, MagicSize) != "MPCK") return false;
    uint64_t pos = start + MagicSize;
    for (int n = 0; n < MaxPackets && pos + 3 <= fileSize; ++n) {
        std::string headBytes;
        const TByteView head = file.Bytes(pos, MaxPacketHead, headBytes);
        uint64_t headSize = 2, packetSize = 0;
        if (!IsKey(head) || !ReadMPCKVarLen(head, headSize, packetSize)) break;
        // The size counts the key and itself; a packet must lie inside the file.
        if (packetSize < headSize || packetSize > fileSize - pos) break;
        if (head.Matches(0, "AP") || head.Matches(0, "SE")) break;
        const bool header = head.Matches(0, "SH"), info = head.Matches(0, "EI");
        if (header || info) {
            const uint64_t payloadSize = std::min<uint64_t>(packetSize - headSize, MaxPayloadRead);
            std::string payloadBytes;
            const TByteView payload = file.Bytes(pos + headSize, payloadSize, payloadBytes);
            // A damaged packet is skipped like an unknown one; the first good one counts.
            if (header && !stream.HasHeader) ParseStreamHeader(payload, stream);
            if (info && !stream.HasEncoderInfo) ParseEncoderInfo(payload, stream);
        }
        pos += packetSize;
    }
    return stream.HasHeader;
}

} // namespace audiolens
