#include "formats/MPEGEncoder.h"

namespace audiolens {

namespace {

constexpr uint32_t EncoderTextLength = 8;
// A LAME tag follows the Xing header's frame count, byte count, 100-byte seek table and quality.
constexpr uint32_t LAMETagDistance = 120;

std::string CutAtZero(std::string text) {
    const size_t zero = text.find('\0');
    if (zero != std::string::npos) text.resize(zero);
    return text;
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

} // namespace

TMPEGFirstFrame InspectFirstFrame(const TByteView& body, const TMPEGHeader& header) {
    TMPEGFirstFrame first;
    // Offsets 0 to frame length - 8: every place where four bytes fit inside the frame body.
    const uint64_t bodyLength = header.FrameLength - MPEGHeaderSize;
    for (uint64_t at = 0; at + 4 <= bodyLength && first.Signature == MPEGNoSignature; ++at) {
        if (body.Matches(at, "LAME")) {
            first.Signature = MPEGSignatureLAME;
            first.EncoderText = CutAtZero(body.Text(at, EncoderTextLength));
        } else if (body.Matches(at, "GOGO")) {
            first.Signature = MPEGSignatureGOGO;
        } else if (body.Matches(at, "MPGE")) {
            first.Signature = MPEGSignatureMPGE;
        }
    }
    first.Empty = body.Has(0, 6) && body.U32BE(0) == 0 && body.U16BE(4) == 0;

    const uint64_t vbrAt = XingOffset(header) - MPEGHeaderSize;
    if (body.Matches(vbrAt, "Xing")) {
        first.VBRHeader = MPEGXingHeader;
        if (body.Has(vbrAt + LAMETagDistance, EncoderTextLength))
            first.Vendor = body.Text(vbrAt + LAMETagDistance, EncoderTextLength);
    } else if (body.Matches(vbrAt, "VBRI")) {
        first.VBRHeader = MPEGVBRIHeader; // no vendor text
    }
    return first;
}

std::string GuessMPEGEncoder(const TMPEGEncoderFacts& f) {
    if (f.VBR) {
        if (StartsWith(f.First.Vendor, "LAME")) return CutAtZero(f.First.Vendor);
        if (StartsWith(f.First.Vendor, "GOGO") || StartsWith(f.First.Vendor, "MPGE")) return "GoGo";
        return f.First.VBRHeader == MPEGXingHeader ? "Xing" : "FhG";
    }
    // Each rule that matches overrides the ones before it.
    const TMPEGHeader& h = f.Last;
    std::string encoder = "FhG";
    if (h.Original && h.Crc) encoder = "LAME";
    if (f.BitRate <= 160 && h.ChannelMode == MPEGStereo) encoder = "Blade";
    if ((h.Copyright && h.Original && h.Crc) || (f.First.Empty && h.Original)) encoder = "Xing";
    if (h.Layer == MPEGLayerII) encoder = "QDesign";
    if (h.ChannelMode == MPEGDualChannel && h.Crc) encoder = "Shine";
    if (f.First.Signature == MPEGSignatureGOGO) encoder = "GoGo";
    return encoder;
}

} // namespace audiolens
