#include "tags/TagAPE.h"

#include "core/Convert.h"
#include "core/FileRewrite.h"
#include "core/Text.h"
#include "tags/APELayout.h"
#include "tags/TrailingTags.h"

namespace audiolens {

namespace {

// Opens the file and finds its APE tag in front of the ID3v1/Lyrics3 bytes.
bool Locate(TFileStream& file, const std::string& fileName, TTagRec& rec, TAPELayout& layout) {
    rec = TTagRec();
    layout = TAPELayout();
    if (!file.IsOpen()) return false;
    uint32_t shift = 0;
    return ID3v1DataShift(fileName, file.GetSize(), shift) &&
           LocateAPETag(file, shift, rec, layout);
}

// Replaces the APE tag (or the place for one) with tag, keeping the bytes that follow it. The
// file is changed only when its tag confirms its own size, and cut only after the new tail is out.
bool RewriteTail(const std::string& fileName, const std::string& tag) {
    if (!CanModifyFile(fileName)) return false;
    TStreamRef file = OpenFileReadWrite(fileName);
    TTagRec rec;
    TAPELayout layout;
    if (!Locate(*file, fileName, rec, layout)) return false;
    if (layout.Found && !layout.Removable()) return false;
    const uint32_t trailingStart = layout.FileSize - rec.DataShift;
    const uint32_t cut = layout.Found ? layout.TagStart : trailingStart;
    std::string trailing;
    if (!ReadExactAt(*file, trailingStart, rec.DataShift, trailing)) return false;
    return ReplaceTail(*file, cut, layout.FileSize, tag + trailing);
}

} // namespace

bool ReadFooter(const std::string& fileName, TTagRec& rec) {
    rec = TTagRec();
    TStreamRef file = OpenFileRead(fileName);
    TAPELayout layout;
    return Locate(*file, fileName, rec, layout) && layout.FileSize - rec.DataShift >= APEFooterSize;
}

void SetItem(const std::string& key, const std::string& value, TTagRec& rec) {
    const std::string folded = AnsiUpperCase(key);
    for (int k = 0; k < APEKeyCount; ++k) {
        if (folded != AnsiUpperCase(APEKeys[k])) continue;
        rec.Values[static_cast<size_t>(k)] = rec.TagVersion > 1000 ? Utf8ToSystem(value) : value;
    }
}

TTagAPE::TTagAPE()
    : TTagBase(tkAPE, FieldRange(0, 6) | FieldBit(tfCopyright) | FieldBit(tfVersion)) {}

bool TTagAPE::DoRead(const TFileView& view) {
    const std::string& fileName = view.Name();
    Reset();
    TStreamRef file = OpenFileRead(fileName);
    TTagRec rec;
    TAPELayout layout;
    if (!Locate(*file, fileName, rec, layout)) return false;
    // A footer whose size cannot hold it, or reaches in front of the file, is no usable tag.
    if (!layout.Found || !layout.Bounded) return true;
    Valid = true;
    SetField(tfVersion, IntToStr(rec.TagVersion));
    Size = rec.TagSize;
    try {
        ReadAPEItems(*file, layout, rec);
    } catch (...) {
        // A fault inside the items keeps the ones read so far.
    }
    for (int k = 0; k < APEKeyCount; ++k) {
        std::string value = rec.Values[static_cast<size_t>(k)];
        if (k == APETrackKey) value = value.substr(0, value.find('/'));
        SetField(APEKeyFields[k], value);
    }
    return true;
}

bool TTagAPE::DoSave(const std::string& fileName) {
    TTagRec rec;
    for (int k = 0; k < APEKeyCount; ++k)
        rec.Values[static_cast<size_t>(k)] = GetField(APEKeyFields[k]);
    const std::string tag = BuildAPETag(rec);
    return !tag.empty() && RewriteTail(fileName, tag);
}

bool TTagAPE::DoRemove(const std::string& fileName) {
    {
        TStreamRef file = OpenFileRead(fileName);
        TTagRec rec;
        TAPELayout layout;
        if (!Locate(*file, fileName, rec, layout)) return false;
        if (!layout.Found) return true; // nothing to remove, nothing changed
    }
    return RewriteTail(fileName, std::string());
}

TTagBase* CreateTagAPE() {
    return new TTagAPE;
}

} // namespace audiolens
