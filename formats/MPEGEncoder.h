// What the first frame of an MPEG audio stream tells about the encoder: the signatures encoders
// leave in it, the Xing or VBRI header of a variable-bit-rate stream, and, when nothing is said
// outright, a guess from the header flags the known encoders set.
#pragma once

#include "core/ByteReader.h"
#include "formats/MPEGFrame.h"

#include <cstdint>
#include <string>

namespace audiolens {

constexpr int MPEGNoSignature = 0, MPEGSignatureLAME = 1, MPEGSignatureGOGO = 2,
              MPEGSignatureMPGE = 3;
constexpr int MPEGNoVBRHeader = 0, MPEGXingHeader = 1, MPEGVBRIHeader = 2;

struct TMPEGFirstFrame {
    int Signature = MPEGNoSignature;
    std::string EncoderText; // from a "LAME" signature
    bool Empty = false;      // the first six bytes after the header are zero
    int VBRHeader = MPEGNoVBRHeader;
    std::string Vendor; // the encoder text of a LAME tag behind the Xing header
};

// body holds the bytes of the first frame after its 4-byte header (fewer at the end of the file).
TMPEGFirstFrame InspectFirstFrame(const TByteView& body, const TMPEGHeader& header);

// The facts the encoder guess is made from: the last header of the walk and the first frame.
struct TMPEGEncoderFacts {
    TMPEGHeader Last;
    TMPEGFirstFrame First;
    int32_t BitRate = 0; // the stream's average, kbit/s
    bool VBR = false;
};

// "Xing", "FhG", "LAME", "Blade", "GoGo", "Shine" or "QDesign", or a LAME version.
std::string GuessMPEGEncoder(const TMPEGEncoderFacts& facts);

} // namespace audiolens
