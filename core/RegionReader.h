// Positioned reads of a file region through one buffer that is refilled a block at a time, so a
// walk over many small items (tag frames, tag items) costs one system call per block.
#pragma once

#include "core/ByteReader.h"
#include "core/FileView.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace audiolens {

class TRegionReader {
  public:
    static constexpr size_t BlockSize = 1 << 18;

    // The region ends at end (exclusive).
    TRegionReader(const TFileView& file, uint64_t end) : File(file), End(end) {}

    // The bytes [at, at + count), or fewer when the region ends first.
    TByteView Get(uint64_t at, size_t count) {
        if (at >= End) return {};
        count = static_cast<size_t>(std::min<uint64_t>(count, End - at));
        if (at < Start || at + count > Start + Buffer.size()) {
            Start = at;
            Buffer.resize(
                static_cast<size_t>(std::min<uint64_t>(End - at, std::max(count, BlockSize))));
            const size_t wanted = Buffer.size();
            Buffer.resize(File.ReadInto(at, Buffer.data(), wanted));
            // Fewer bytes than the file holds there: a read error, not the end of the region.
            if (Buffer.size() < wanted) Failed = true;
        }
        const uint64_t offset = at - Start;
        if (offset >= Buffer.size()) return {};
        return TByteView(reinterpret_cast<const uint8_t*>(Buffer.data()) + offset,
                         std::min<uint64_t>(count, Buffer.size() - offset));
    }

    bool Failed = false;

  private:
    const TFileView& File;
    uint64_t End, Start = 0;
    std::string Buffer;
};

} // namespace audiolens
