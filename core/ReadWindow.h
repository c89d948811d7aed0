// A window of a file held in memory and moved forward block by block, for walks over frames
// that lie a few hundred bytes apart: every header is taken from the block in memory, so a walk
// costs one read call per block instead of a seek and a read per frame.
#pragma once

#include "core/ByteReader.h"
#include "core/FileView.h"

#include <cstdint>

namespace audiolens {

class TReadWindow {
  public:
    static constexpr uint32_t BlockSize = 128 * 1024; // well above the longest frame

    explicit TReadWindow(const TFileView& file);
    ~TReadWindow();
    TReadWindow(const TReadWindow&) = delete;
    TReadWindow& operator=(const TReadWindow&) = delete;

    // Up to n (at most BlockSize) bytes at pos: fewer at the end of the file.
    TByteView At(uint64_t pos, uint32_t n) {
        if (pos < Start || pos + n > Start + Length) Load(pos);
        return TByteView(Buffer, Length).Sub(pos - Start, n);
    }

  private:
    void Load(uint64_t pos) {
        Start = pos;
        Length = static_cast<uint32_t>(File.ReadInto(pos, Buffer, BlockSize));
    }

    const TFileView& File;
    uint8_t* Buffer; // page-aligned, reused by a later window
    uint64_t Start = 0;
    uint32_t Length = 0;
};

} // namespace audiolens
