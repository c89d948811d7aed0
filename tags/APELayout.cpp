#include "tags/APELayout.h"

#include "core/ByteReader.h"
#include "core/ByteWriter.h"
#include "core/Convert.h"
#include "core/Text.h"
#include "tags/TagID3v1.h"
#include "tags/TrailingTags.h"

#include <algorithm>

namespace audiolens {

namespace {

// GetSize saturates here: the end of such a file lies beyond a 32-bit position.
constexpr uint32_t SizeOutOfReach = 0xFFFFFFFFu;
constexpr uint32_t ItemHeaderSize = 8; // value size, item flags
constexpr uint32_t ValueBufferSize = 250;
// Longer keys cannot match a table key; the scan for their end still runs to the zero byte.
constexpr size_t KeyKept = 255;
constexpr uint32_t KeyChunk = 256;
constexpr int32_t WrittenVersion = 1000;

// Offset of the zero byte that ends the key starting at from, searched no further than end;
// the first KeyKept bytes of the key go to key. False when the tag ends first.
bool ScanKey(TFileStream& file, uint32_t from, uint32_t end, std::string& key, uint32_t& zeroAt) {
    key.clear();
    for (uint32_t pos = from; pos < end;) {
        std::string chunk;
        if (!ReadExactAt(file, pos, std::min(KeyChunk, end - pos), chunk)) return false;
        size_t zero = chunk.find('\0');
        size_t keep = std::min(zero == std::string::npos ? chunk.size() : zero,
                               KeyKept - std::min(KeyKept, key.size()));
        key.append(chunk, 0, keep);
        if (zero != std::string::npos) {
            zeroAt = pos + static_cast<uint32_t>(zero);
            return true;
        }
        pos += static_cast<uint32_t>(chunk.size());
    }
    return false;
}

// A value cut at the buffer's end may stop inside a UTF-8 sequence; that fragment is dropped
// rather than turned into a replacement character.
void DropCutSequence(std::string& value) {
    size_t n = value.size(), back = 0;
    while (back < 3 && back < n && (static_cast<uint8_t>(value[n - 1 - back]) & 0xC0) == 0x80)
        ++back;
    if (back == n) return;
    auto lead = static_cast<uint8_t>(value[n - 1 - back]);
    size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (length > back + 1) value.resize(n - 1 - back);
}

} // namespace

bool ID3v1DataShift(const std::string& fileName, uint32_t fileSize, uint32_t& shift) {
    const int32_t size = GetID3v1Size(fileName);
    if (size < 0 || static_cast<uint32_t>(size) > fileSize) return false;
    shift = static_cast<uint32_t>(size);
    return true;
}

bool LocateAPETag(TFileStream& file, uint32_t dataShift, TTagRec& rec, TAPELayout& layout) {
    layout = TAPELayout();
    rec.DataShift = dataShift;
    if (!file.IsOpen()) return false;
    const uint32_t size = file.GetSize();
    if (size == SizeOutOfReach || dataShift > size) return false;
    layout.FileSize = size;
    if (size - dataShift < APEFooterSize) return true;
    layout.FooterPos = size - dataShift - APEFooterSize;

    std::string bytes;
    if (!ReadExactAt(file, layout.FooterPos, APEFooterSize, bytes)) return false;
    TByteView footer(bytes);
    rec.TagID = footer.Text(0, 8);
    rec.TagVersion = static_cast<int32_t>(footer.U32LE(8));
    rec.TagSize = static_cast<int32_t>(footer.U32LE(12));
    rec.ItemCount = static_cast<int32_t>(footer.U32LE(16));
    rec.TagFlags = footer.U32LE(20);
    layout.Found = rec.TagID == "APETAGEX";
    if (!layout.Found) return true;

    // The size counts items and footer; it must not reach in front of the file.
    const uint32_t tagSize = footer.U32LE(12);
    layout.Bounded = tagSize >= APEFooterSize && tagSize - APEFooterSize <= layout.FooterPos;
    if (!layout.Bounded) return true;
    layout.ItemsStart = layout.FooterPos - (tagSize - APEFooterSize);
    layout.TagStart = layout.ItemsStart;
    layout.HeaderAnnounced = rec.HasHeaderFlag();
    if (layout.HeaderAnnounced && layout.ItemsStart >= APEHeaderSize &&
        ReadExactAt(file, layout.ItemsStart - APEHeaderSize, APEHeaderSize, bytes)) {
        TByteView header(bytes);
        layout.HeaderConfirmed = header.Matches(0, "APETAGEX") && header.U32LE(12) == tagSize;
        if (layout.HeaderConfirmed) layout.TagStart = layout.ItemsStart - APEHeaderSize;
    }
    return true;
}

void ReadAPEItems(TFileStream& file, const TAPELayout& layout, TTagRec& rec) {
    const uint32_t end = layout.FooterPos;
    uint32_t pos = layout.ItemsStart;
    // Every item takes at least nine bytes, so the walk ends within the tag whatever the count.
    for (int32_t i = 0; i < rec.ItemCount; ++i) {
        std::string header;
        if (end - pos < ItemHeaderSize || !ReadExactAt(file, pos, ItemHeaderSize, header)) return;
        const uint32_t valueSize = TByteView(header).U32LE(0);
        std::string key;
        uint32_t zeroAt = 0;
        if (!ScanKey(file, pos + ItemHeaderSize, end, key, zeroAt)) return;
        const uint32_t valueStart = zeroAt + 1;
        const uint32_t available = end - valueStart;
        const uint32_t take = std::min({valueSize, ValueBufferSize, available});
        std::string value;
        if (!ReadExactAt(file, valueStart, take, value)) return;
        // The value buffer is text: it ends at its first zero byte.
        size_t zero = value.find('\0');
        if (zero != std::string::npos)
            value.resize(zero);
        else if (take < valueSize && rec.TagVersion > 1000)
            DropCutSequence(value);
        SetItem(Trim(key), Trim(value), rec);
        if (valueSize > available) return; // the value runs into the footer: nothing follows
        pos = valueStart + valueSize;
    }
}

std::string BuildAPETag(const TTagRec& rec) {
    std::string items;
    uint64_t tagSize = APEFooterSize;
    int32_t count = 0;
    for (int k = 0; k < APEKeyCount; ++k) {
        const std::string& value = rec.Values[static_cast<size_t>(k)];
        if (value.empty()) continue;
        const std::string key = APEKeys[k];
        tagSize += key.size() + value.size() + 10;
        if (tagSize > 0x7FFFFFFFu) return {};
        items += PutLE32(static_cast<uint32_t>(value.size() + 1));
        items += PutLE32(0);
        items += key;
        items += '\0';
        items += value;
        items += '\0';
        ++count;
    }
    std::string footer = "APETAGEX";
    footer += PutLE32(static_cast<uint32_t>(WrittenVersion));
    footer += PutLE32(static_cast<uint32_t>(tagSize));
    footer += PutLE32(static_cast<uint32_t>(count));
    footer += PutLE32(0);
    footer += std::string(8, '\0');
    return items + footer;
}

} // namespace audiolens
