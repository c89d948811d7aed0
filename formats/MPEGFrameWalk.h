// The walk over the frames of an MPEG audio stream: the first header within a short search
// distance of the start, then every frame that follows it back to back, until a header does
// not parse (a trailing tag, junk or the end of the file).
#pragma once

#include "core/FileView.h"
#include "formats/MPEGEncoder.h"
#include "formats/MPEGFrame.h"

#include <cstdint>

namespace audiolens {

// Offsets start to start + MPEGSearchDistance - 1 are tried for the first header.
constexpr uint32_t MPEGSearchDistance = 1730;

struct TMPEGWalk {
    TMPEGHeader Last; // the last header that parsed
    TMPEGFirstFrame First;
    uint64_t FirstOffset = 0;
    uint32_t FrameCount = 0;
    uint64_t BitRateSum = 0;
    uint64_t LengthSum = 0;
    int64_t Samples = 0;
};

// False when no header parses within the search distance of start.
bool WalkMPEGFrames(const TFileView& file, uint64_t start, TMPEGWalk& walk);

} // namespace audiolens
