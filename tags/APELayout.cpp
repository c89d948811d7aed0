#include "tags/APELayout.h"

#include "core/ByteReader.h"
#include "core/ByteWriter.h"
#include "core/Convert.h"
#include "core/RegionReader.h"
#include "core/Text.h"

#include <algorithm>

namespace audiolens {

namespace {

constexpr uint32_t ItemHeaderSize = 8; // value size, item flags
// A key is 2 to 255 characters and a zero byte.
constexpr uint32_t MaxKeyBytes = 256;
constexpr int32_t WrittenVersion = 2000;
constexpr uint64_t MaxTagSize = 0x7FFFFFFFu;

std::string Footer(uint32_t tagSize, uint32_t count, bool header) {
    std::string out = "APETAGEX";
    out += PutLE32(static_cast<uint32_t>(WrittenVersion));
    out += PutLE32(tagSize);
    out += PutLE32(count);
    out += PutLE32(APEHeaderFlag | (header ? APEIsHeaderFlag : 0));
    out += std::string(8, '\0');
    return out;
}

void WalkItems(TRegionReader& reader, const TAPELayout& layout, int32_t count, uint64_t end,
               std::vector<TAPEItem>& items) {
    uint64_t pos = layout.ItemsStart;
    // Every item takes at least nine bytes, so the walk ends within the tag whatever the count.
    for (int32_t i = 0; i < count && end - pos > ItemHeaderSize; ++i) {
        const TByteView header = reader.Get(pos, ItemHeaderSize);
        if (header.Size() != ItemHeaderSize) return;
        TAPEItem item;
        item.ValueSize = header.U32LE(0);
        item.Flags = header.U32LE(4);
        const TByteView keyBytes = reader.Get(pos + ItemHeaderSize, MaxKeyBytes);
        size_t zero = 0;
        while (zero < keyBytes.Size() && keyBytes.U8(zero) != 0)
            ++zero;
        if (zero == keyBytes.Size()) return; // no end of key inside the tag
        item.Key = keyBytes.Text(0, zero);
        item.ValueOffset = pos + ItemHeaderSize + zero + 1;
        if (item.ValueSize > end - item.ValueOffset) return; // the value runs into the footer
        bool understood = false;
        const std::string folded = AnsiUpperCase(Trim(item.Key));
        for (const char* key : APEKeys)
            understood = understood || folded == AnsiUpperCase(key);
        item.Held = understood || item.ValueSize <= APEHeldValue;
        if (item.Held) {
            const TByteView value = reader.Get(item.ValueOffset, item.ValueSize);
            if (value.Size() != item.ValueSize) return;
            item.Value = value.Text(0, item.ValueSize);
        }
        pos = item.ValueOffset + item.ValueSize;
        items.push_back(std::move(item));
    }
}

} // namespace

bool LocateAPETag(const TFileView& file, uint64_t dataShift, TTagRec& rec, TAPELayout& layout) {
    layout = TAPELayout();
    rec.DataShift = static_cast<uint32_t>(dataShift);
    if (!file.IsOpen()) return false;
    const uint64_t size = file.Size();
    if (dataShift > size) return false;
    layout.FileSize = size;
    if (size - dataShift < APEFooterSize) return true;
    layout.FooterPos = size - dataShift - APEFooterSize;

    std::string scratch;
    const TByteView footer = file.Bytes(layout.FooterPos, APEFooterSize, scratch);
    if (footer.Size() != APEFooterSize) return false;
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
    if (layout.HeaderAnnounced && layout.ItemsStart >= APEHeaderSize) {
        const TByteView header =
            file.Bytes(layout.ItemsStart - APEHeaderSize, APEHeaderSize, scratch);
        layout.HeaderConfirmed = header.Size() == APEHeaderSize && header.Matches(0, "APETAGEX") &&
                                 header.U32LE(12) == tagSize;
        if (layout.HeaderConfirmed) layout.TagStart = layout.ItemsStart - APEHeaderSize;
    }
    return true;
}

bool LocateAPETag(const TFileView& file, TTagRec& rec, TAPELayout& layout) {
    rec = TTagRec();
    layout = TAPELayout();
    TTrailingTags trailing;
    return FindTrailingTags(file, trailing) &&
           LocateAPETag(file, trailing.ID3v1Size() + trailing.LyricsSize, rec, layout);
}

bool ReadAPEItems(const TFileView& file, const TAPELayout& layout, int32_t count,
                  std::vector<TAPEItem>& items) {
    items.clear();
    const uint64_t end = layout.FooterPos;
    TRegionReader reader(file, end);
    WalkItems(reader, layout, count, end, items);
    return !reader.Failed;
}

std::string APEItemText(const TAPEItem& item, int32_t version) {
    const std::string text = Trim(item.Value.substr(0, item.Value.find('\0')));
    return version > 1000 ? Utf8ToSystem(text) : text;
}

std::vector<TTailPiece> BuildAPETag(const std::vector<TAPEItem>& items) {
    std::vector<TTailPiece> pieces(1);
    uint64_t tagSize = APEFooterSize;
    std::string bytes;
    for (const TAPEItem& item : items) {
        tagSize += ItemHeaderSize + item.Key.size() + 1 + item.ValueSize;
        if (tagSize > MaxTagSize) return {};
        bytes += PutLE32(item.ValueSize) + PutLE32(item.Flags) + item.Key + '\0';
        if (item.Held) {
            bytes += item.Value;
        } else {
            pieces.push_back({std::move(bytes)});
            bytes.clear();
            pieces.push_back({std::string(), item.ValueOffset, item.ValueSize});
        }
    }
    const auto size = static_cast<uint32_t>(tagSize);
    const auto count = static_cast<uint32_t>(items.size());
    pieces.front().Bytes = Footer(size, count, true);
    pieces.push_back({bytes + Footer(size, count, false)});
    return pieces;
}

} // namespace audiolens
