// Only four bytes of each frame are looked at, but frames lie a few hundred bytes apart, so the
// file is read in large blocks and every header is taken from the block in memory: one read
// call per block instead of a seek and a read per frame.
#include "formats/MPEGFrameWalk.h"

#include "core/ReadWindow.h"

namespace audiolens {

namespace {

bool HeaderAt(TReadWindow& window, uint64_t pos, TMPEGHeader& header) {
    const TByteView bytes = window.At(pos, MPEGHeaderSize);
    return bytes.Has(0, MPEGHeaderSize) && ParseFrameHeader(bytes.U32BE(0), header);
}

void CountFrame(const TMPEGHeader& header, TMPEGWalk& walk) {
    walk.Last = header;
    walk.BitRateSum += header.BitRate;
    walk.Samples += header.Samples;
    walk.LengthSum += header.FrameLength;
    ++walk.FrameCount;
}

} // namespace

bool WalkMPEGFrames(const TFileView& file, uint64_t start, TMPEGWalk& walk) {
    walk = TMPEGWalk();
    TReadWindow window(file);
    TMPEGHeader header;
    uint64_t pos = start;
    while (!HeaderAt(window, pos, header))
        if (++pos >= start + MPEGSearchDistance) return false;

    // No second frame is asked for: a lone header that parses starts the stream.
    walk.FirstOffset = pos;
    const TByteView body = window.At(pos + MPEGHeaderSize, header.FrameLength - MPEGHeaderSize);
    walk.First = InspectFirstFrame(body, header);
    CountFrame(header, walk);

    // Every header that parses gives a frame of at least 5 bytes, so the walk always advances
    // and ends at the end of the file at the latest.
    for (pos += header.FrameLength; HeaderAt(window, pos, header); pos += header.FrameLength)
        CountFrame(header, walk);
    return true;
}

} // namespace audiolens
