#include "tags/TagAPE.h"

#include "core/Convert.h"
#include "core/FileRewrite.h"
#include "core/Text.h"
#include "tags/APELayout.h"
#include "tags/TrailingTags.h"

namespace audiolens {

namespace {

// The field of an item key, or -1 for keys outside the table.
int KeyIndex(const std::string& key) {
    const std::string folded = AnsiUpperCase(Trim(key));
    for (int k = 0; k < APEKeyCount; ++k)
        if (folded == AnsiUpperCase(APEKeys[k])) return k;
    return -1;
}

TAPEItem TextItem(const std::string& key, const std::string& value) {
    TAPEItem item;
    item.Key = key;
    item.Value = value; // text of the system code page, which is UTF-8
    item.ValueSize = static_cast<uint32_t>(value.size());
    return item;
}

} // namespace

bool ReadFooter(const TFileView& file, TTagRec& rec) {
    TAPELayout layout;
    return LocateAPETag(file, rec, layout) && layout.FileSize - rec.DataShift >= APEFooterSize;
}

bool ReadFooter(const std::string& fileName, TTagRec& rec) {
    return ReadFooter(*TFileView::Open(fileName), rec);
}

void SetItem(const std::string& key, const std::string& value, TTagRec& rec) {
    const int k = KeyIndex(key);
    if (k >= 0)
        rec.Values[static_cast<size_t>(k)] = rec.TagVersion > 1000 ? Utf8ToSystem(value) : value;
}

TTagAPE::TTagAPE()
    : TTagBase(tkAPE, FieldRange(0, 6) | FieldBit(tfCopyright) | FieldBit(tfVersion)) {}

void TTagAPE::Reset() {
    TTagBase::Reset();
    HasHeader = false;
    ReadValues = {};
}

bool TTagAPE::DoRead(const TFileView& file) {
    Reset();
    TTagRec rec;
    TAPELayout layout;
    if (!LocateAPETag(file, rec, layout)) return false;
    // A footer whose size cannot hold it, or reaches in front of the file, is no usable tag.
    if (!layout.Found || !layout.Bounded) return true;
    Valid = true;
    HasHeader = layout.HeaderConfirmed;
    SetField(tfVersion, IntToStr(rec.TagVersion));
    Size = rec.TagSize;
    std::vector<TAPEItem> items;
    bool complete = true;
    try {
        complete = ReadAPEItems(file, layout, rec.ItemCount, items);
    } catch (...) {
        // A fault inside the items keeps the ones read so far.
    }
    // A later item with the same key replaces an earlier one.
    for (const TAPEItem& item : items) {
        const int k = KeyIndex(item.Key);
        if (k >= 0) rec.Values[static_cast<size_t>(k)] = APEItemText(item, rec.TagVersion);
    }
    for (int k = 0; k < APEKeyCount; ++k) {
        std::string value = rec.Values[static_cast<size_t>(k)];
        if (k == APETrackKey) value = value.substr(0, value.find('/'));
        SetField(APEKeyFields[k], value);
        ReadValues[static_cast<size_t>(k)] = GetField(APEKeyFields[k]);
    }
    return complete; // a read error is a failure, not a shorter tag
}

bool TTagAPE::DoSave(const std::string& fileName) {
    std::array<std::string, APEKeyCount> values;
    for (int k = 0; k < APEKeyCount; ++k)
        values[static_cast<size_t>(k)] = GetField(APEKeyFields[k]);
    bool header = false;
    uint32_t size = 0;
    const bool ok = RebuildTail(
        fileName, [&](const TFileView& file, uint64_t& keep, std::vector<TTailPiece>& tail) {
            TTagRec rec;
            TAPELayout layout;
            if (!LocateAPETag(file, rec, layout)) return false;
            if (layout.Found && !layout.Removable()) {
                SetRewriteProblem("the APE tag's sizes or header do not hold; it is not replaced");
                return false;
            }
            std::vector<TAPEItem> items;
            if (layout.Found && !ReadAPEItems(file, layout, rec.ItemCount, items)) return false;
            // Only the changed fields touch their items; every other item stays byte for byte.
            for (int k = 0; k < APEKeyCount; ++k) {
                const std::string& value = values[static_cast<size_t>(k)];
                if (value == ReadValues[static_cast<size_t>(k)]) continue;
                bool placed = false;
                for (size_t i = 0; i < items.size();) {
                    if (KeyIndex(items[i].Key) != k) {
                        ++i;
                    } else if (!placed && !value.empty()) {
                        items[i] = TextItem(items[i].Key, value);
                        placed = true;
                        ++i;
                    } else {
                        items.erase(items.begin() + static_cast<std::ptrdiff_t>(i));
                    }
                }
                if (!placed && !value.empty()) items.push_back(TextItem(APEKeys[k], value));
            }
            const uint64_t trailingStart = layout.FileSize - rec.DataShift;
            keep = layout.Found ? layout.TagStart : trailingStart;
            if (!items.empty()) {
                tail = BuildAPETag(items);
                if (tail.empty()) return false;
                header = true;
            }
            uint64_t tagBytes = 0;
            for (const TTailPiece& piece : tail)
                tagBytes += piece.Count ? piece.Count : piece.Bytes.size();
            size = tagBytes ? static_cast<uint32_t>(tagBytes - APEHeaderSize) : 0;
            // The ID3v1 tag and Lyrics3 block follow as they were.
            if (rec.DataShift > 0) tail.push_back({std::string(), trailingStart, rec.DataShift});
            return true;
        });
    if (!ok) return false;
    ReadValues = values;
    Valid = size > 0;
    HasHeader = header;
    Size = static_cast<int32_t>(size);
    return true;
}

bool TTagAPE::DoRemove(const std::string& fileName) {
    bool present = true;
    const bool ok = RebuildTail(
        fileName, [&](const TFileView& file, uint64_t& keep, std::vector<TTailPiece>& tail) {
            TTagRec rec;
            TAPELayout layout;
            if (!LocateAPETag(file, rec, layout)) return false;
            present = layout.Found;
            if (!layout.Removable()) return false;
            keep = layout.TagStart;
            if (rec.DataShift > 0)
                tail.push_back({std::string(), layout.FileSize - rec.DataShift, rec.DataShift});
            return true;
        });
    if (!ok) return !present; // no tag: nothing to remove, nothing changed
    Valid = false;
    HasHeader = false;
    Size = 0;
    ReadValues = {};
    return true;
}

TTagBase* CreateTagAPE() {
    return new TTagAPE;
}

} // namespace audiolens
