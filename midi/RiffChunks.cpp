#include "midi/RiffChunks.h"

#include "core/ByteReader.h"

#include <algorithm>

namespace audiolens {
namespace {

constexpr uint32_t ChunkHeaderSize = 8;

struct TChunkHead {
    std::string Id;
    uint32_t Size = 0;
};

bool ReadHead(TFileStream& stream, uint64_t at, uint64_t end, TChunkHead& head) {
    if (at + ChunkHeaderSize > end) return false;
    std::string bytes = ReadAt(stream, static_cast<uint32_t>(at), ChunkHeaderSize);
    if (bytes.size() < ChunkHeaderSize) return false;
    TByteView view(bytes);
    head.Id = bytes.substr(0, 4);
    head.Size = view.U32LE(4);
    return true;
}

// The data of the chunk at offset, cut to end.
TRiffSpan DataOf(uint64_t at, uint32_t size, uint64_t end) {
    uint64_t begin = at + ChunkHeaderSize;
    return {static_cast<uint32_t>(begin),
            static_cast<uint32_t>(std::min<uint64_t>(size, end - begin))};
}

uint64_t NextChunk(uint64_t at, uint32_t size) {
    return at + ChunkHeaderSize + size + (size & 1);
}

} // namespace

bool FindRiffForm(TFileStream& stream, std::string_view formType, TRiffSpan& form) {
    const uint64_t end = stream.GetSize();
    TChunkHead head;
    for (uint64_t at = 0; ReadHead(stream, at, end, head); at = NextChunk(at, head.Size)) {
        if (head.Id != "RIFF") continue;
        TRiffSpan data = DataOf(at, head.Size, end);
        if (data.Size < 4 || ReadAt(stream, data.Offset, 4) != formType) continue;
        form = {data.Offset + 4, data.Size - 4};
        return true;
    }
    return false;
}

bool FindChunk(TFileStream& stream, const TRiffSpan& parent, std::string_view id,
               TRiffSpan& chunk) {
    const uint64_t end = static_cast<uint64_t>(parent.Offset) + parent.Size;
    TChunkHead head;
    for (uint64_t at = parent.Offset; ReadHead(stream, at, end, head);
         at = NextChunk(at, head.Size)) {
        if (head.Id != id) continue;
        chunk = DataOf(at, head.Size, end);
        return true;
    }
    return false;
}

std::string TSpanReader::Read(uint32_t count) {
    count = std::min(count, Left());
    std::string bytes = ReadAt(Stream, Pos, count);
    Pos += static_cast<uint32_t>(bytes.size());
    return bytes;
}

} // namespace audiolens
