// Only four bytes of each frame are looked at, but frames lie a few hundred bytes apart, so the
// file is read in large blocks (TReadWindow), and each header is decoded through a table of the
// bits that decide a frame's length: no call and no division per frame.
#include "formats/MPEGFrameWalk.h"

#include "core/ByteReader.h"
#include "core/ReadWindow.h"

#include <array>
#include <cstring>

namespace audiolens {

namespace {

// What one header's version, layer, bit-rate index, rate index and padding bit (bits 9 to 20)
// give; Length 0 marks a header that does not parse.
struct TFrameShape {
    uint16_t Length = 0;
    uint16_t BitRate = 0;
    uint16_t Samples = 0;
};

std::array<TFrameShape, 4096> MakeShapes() {
    std::array<TFrameShape, 4096> shapes{};
    for (uint32_t key = 0; key < shapes.size(); ++key) {
        TMPEGHeader h;
        if (!ParseFrameHeader(0xFFE00000u | key << 9, h)) continue;
        shapes[key] = {static_cast<uint16_t>(h.FrameLength), static_cast<uint16_t>(h.BitRate),
                       static_cast<uint16_t>(h.Samples)};
    }
    return shapes;
}

const std::array<TFrameShape, 4096>& Shapes() {
    static const std::array<TFrameShape, 4096> shapes = MakeShapes();
    return shapes;
}

// The header word at pos, 0 when the bytes are not there.
uint32_t WordAt(TReadWindow& window, uint64_t pos) {
    const TByteView bytes = window.At(pos, MPEGHeaderSize);
    return bytes.Has(0, MPEGHeaderSize) ? bytes.U32BE(0) : 0;
}

// The shape of a header word that parses, or nullptr. The emphasis value 2 is reserved.
const TFrameShape* ShapeOf(uint32_t word) {
    if ((word >> 21) != 0x7FF || (word & 3) == 2) return nullptr;
    const TFrameShape& shape = Shapes()[(word >> 9) & 0xFFF];
    return shape.Length ? &shape : nullptr;
}

} // namespace

bool WalkMPEGFrames(const TFileView& file, uint64_t start, TMPEGWalk& walk) {
    walk = TMPEGWalk();
    TReadWindow window(file);
    TMPEGHeader header;
    // The first header: only offsets holding an 0xFF byte are tried.
    const TByteView search = window.At(start, MPEGSearchDistance + MPEGHeaderSize - 1);
    uint64_t pos = start;
    for (size_t at = 0;; ++at) {
        const void* ff = at < search.Size()
                             ? std::memchr(search.Bytes() + at, 0xFF, search.Size() - at)
                             : nullptr;
        if (!ff) return false;
        at = static_cast<size_t>(static_cast<const uint8_t*>(ff) - search.Bytes());
        if (at >= MPEGSearchDistance) return false;
        if (ParseFrameHeader(search.U32BE(at), header) && search.Has(at, MPEGHeaderSize)) {
            pos = start + at;
            break;
        }
    }

    // No second frame is asked for: a lone header that parses starts the stream.
    walk.FirstOffset = pos;
    const TByteView body = window.At(pos + MPEGHeaderSize, header.FrameLength - MPEGHeaderSize);
    walk.First = InspectFirstFrame(body, header);

    // Every header that parses gives a frame of at least 5 bytes, so the walk always advances
    // and ends at the end of the file at the latest.
    uint32_t word = 0, lastWord = 0;
    for (const TFrameShape* shape; (shape = ShapeOf(word = WordAt(window, pos))) != nullptr;
         pos += shape->Length) {
        lastWord = word;
        walk.BitRateSum += shape->BitRate;
        walk.Samples += shape->Samples;
        walk.LengthSum += shape->Length;
        ++walk.FrameCount;
    }
    ParseFrameHeader(lastWord, walk.Last);
    return true;
}

} // namespace audiolens
