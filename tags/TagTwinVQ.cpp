// Chunks other than the six text chunks (the stream parameters, the data size, anything a later
// writer added) are carried over unchanged by a rewrite; the text chunks follow them. The header
// size at byte 12 is what a reader skips to find the audio, so it is written anew every time.
#include "tags/TagTwinVQ.h"

#include "core/ByteWriter.h"
#include "core/FileRewrite.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace audiolens {

namespace {

struct TTextChunk {
    std::string_view Id;
    TTagField Field;
};
// In the order a rewrite writes them.
constexpr TTextChunk TextChunks[] = {{"NAME", tfTitle},        {"COMT", tfComment},
                                     {"AUTH", tfArtist},       {"(c) ", tfCopyright},
                                     {"FILE", tfOriginalFile}, {"ALBM", tfAlbum}};

// Bounds the walk over a header of tiny chunks.
constexpr size_t MaxChunks = 4096;
constexpr uint32_t SizeOutOfReach = 0xFFFFFFFFu; // what a 32-bit file position cannot reach

const TTextChunk* TextChunk(std::string_view id) {
    for (const TTextChunk& chunk : TextChunks)
        if (chunk.Id == id) return &chunk;
    return nullptr;
}

// The new file: the head with the new header size, the kept chunks copied from the original,
// the text chunks, then everything from the end of the old header on.
bool WriteRebuilt(TFileStream& original, TFileStream& rebuilt, const TTwinVQLayout& layout,
                  uint64_t fileSize, const std::string& texts, uint32_t headerSize) {
    if (original.GetSize() != fileSize) return false; // changed since it was looked at
    const std::string head = "TWIN" + layout.Version + PutBE32(headerSize);
    if (!WriteAll(rebuilt, head)) return false;
    auto copy = [&](uint64_t from, uint64_t count) {
        return original.SetPosition(static_cast<int64_t>(from)) == from &&
               CopyStream(rebuilt, original, static_cast<uint32_t>(count)) == count;
    };
    for (const TTwinVQChunk& chunk : layout.Chunks)
        if (!TextChunk(chunk.Id) && !copy(chunk.Offset, TwinVQChunkHeaderSize + chunk.DataSize))
            return false;
    return WriteAll(rebuilt, texts) && copy(layout.Stop, fileSize - layout.Stop);
}

} // namespace

bool WalkTwinVQHeader(const TFileView& file, TTwinVQLayout& layout) {
    layout = TTwinVQLayout();
    const TByteView head = file.Head();
    if (!head.Has(0, TwinVQHeadSize) || !head.Matches(0, "TWIN")) return false;
    layout.Version = head.Text(4, 8);
    layout.HeaderSize = head.U32BE(12);
    const uint64_t size = file.Size();
    const uint64_t headerEnd = TwinVQHeadSize + uint64_t{layout.HeaderSize};
    const uint64_t limit = headerEnd < size ? headerEnd : size;
    uint64_t pos = TwinVQHeadSize;
    // An unknown chunk is stepped over; only "DATA" or the end of the header ends the walk.
    while (pos + TwinVQChunkHeaderSize <= limit) {
        std::string scratch;
        const TByteView chunk = file.Bytes(pos, TwinVQChunkHeaderSize, scratch);
        if (chunk.Matches(0, "DATA")) {
            layout.AtData = true;
            break;
        }
        const uint32_t dataSize = chunk.U32BE(4);
        if (layout.Chunks.size() >= MaxChunks || dataSize > size - pos - TwinVQChunkHeaderSize) {
            layout.Complete = false;
            break;
        }
        layout.Chunks.push_back({chunk.Text(0, 4), pos, dataSize});
        pos += TwinVQChunkHeaderSize + dataSize;
    }
    layout.Stop = pos;
    if (headerEnd > size || (!layout.AtData && pos != headerEnd)) layout.Complete = false;
    return true;
}

TTagTwinVQ::TTagTwinVQ()
    : TTagBase(tkTwinVQ, FieldBit(tfTitle) | FieldBit(tfArtist) | FieldBit(tfAlbum) |
                             FieldBit(tfComment) | FieldBit(tfCopyright) |
                             FieldBit(tfOriginalFile) | FieldBit(tfVersion)) {}

bool TTagTwinVQ::DoRead(const TFileView& file) {
    Reset();
    TTwinVQLayout layout;
    if (!WalkTwinVQHeader(file, layout)) return false;
    SetField(tfVersion, layout.Version);
    uint64_t bytes = 0;
    for (const TTwinVQChunk& chunk : layout.Chunks) {
        const TTextChunk* text = TextChunk(chunk.Id);
        if (!text) continue;
        Valid = true;
        std::string scratch;
        const TByteView data =
            file.Bytes(chunk.Offset + TwinVQChunkHeaderSize, chunk.DataSize, scratch);
        SetField(text->Field, data.Text(0, data.Size()));
        bytes += TwinVQChunkHeaderSize + chunk.DataSize;
    }
    Size = static_cast<int32_t>(std::min<uint64_t>(bytes, INT32_MAX));
    return true;
}

bool TTagTwinVQ::DoSave(const std::string& fileName) {
    // Only a file whose header walks cleanly is rewritten; anything else stays untouched.
    TTwinVQLayout layout;
    uint64_t fileSize = 0;
    {
        TFileViewRef file = TFileView::Open(fileName);
        if (!file->IsOpen() || !WalkTwinVQHeader(*file, layout) || !layout.Complete) return false;
        fileSize = file->Size();
    }
    if (fileSize >= SizeOutOfReach) return false;
    uint64_t headerSize = 0;
    for (const TTwinVQChunk& chunk : layout.Chunks)
        if (!TextChunk(chunk.Id)) headerSize += TwinVQChunkHeaderSize + chunk.DataSize;
    std::string texts;
    for (const TTextChunk& chunk : TextChunks) {
        const std::string value = GetField(chunk.Field);
        if (value.empty()) continue;
        if (value.size() >= SizeOutOfReach) return false;
        texts += std::string(chunk.Id) + PutBE32(static_cast<uint32_t>(value.size())) + value;
    }
    headerSize += texts.size();
    if (headerSize + fileSize >= SizeOutOfReach) return false;
    const bool ok = RebuildFile(fileName, [&](TFileStream& original, TFileStream& rebuilt) {
        return WriteRebuilt(original, rebuilt, layout, fileSize, texts,
                            static_cast<uint32_t>(headerSize));
    });
    if (ok) {
        Valid = !texts.empty();
        Size = static_cast<int32_t>(texts.size());
    }
    return ok;
}

bool TTagTwinVQ::DoRemove(const std::string& fileName) {
    Reset();
    return DoSave(fileName);
}

TTagBase* CreateTagTwinVQ() {
    return new TTagTwinVQ;
}

} // namespace audiolens
