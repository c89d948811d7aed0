#include "tags/TagWMA.h"

#include "core/ByteWriter.h"
#include "core/Convert.h"
#include "core/FileRewrite.h"
#include "core/Text.h"

#include <algorithm>
#include <cstring>

namespace audiolens {

const TAsfGuid AsfHeaderGuid = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const TAsfGuid AsfDataGuid = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                              0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const TAsfGuid AsfFilePropertiesGuid = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                        0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const TAsfGuid AsfStreamPropertiesGuid = {0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11,
                                          0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const TAsfGuid AsfCodecListGuid = {0x40, 0x52, 0xD1, 0x86, 0x1D, 0x31, 0xD0, 0x11,
                                   0xA3, 0xA4, 0x00, 0xA0, 0xC9, 0x03, 0x48, 0xF6};
const TAsfGuid AsfContentDescriptionGuid = {0x33, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                            0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const TAsfGuid AsfExtendedContentDescriptionGuid = {0x40, 0xA4, 0xD0, 0xD2, 0x07, 0xE3, 0xD2, 0x11,
                                                    0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50};
const TAsfGuid AsfAudioMediaGuid = {0x40, 0x9E, 0x69, 0xF8, 0x4D, 0x5B, 0xCF, 0x11,
                                    0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};

namespace {

constexpr uint64_t ObjectHeadSize = 24; // GUID and 64-bit size
constexpr uint64_t HeaderHeadSize = 30; // the header object's head, count and reserved bytes
constexpr uint64_t MaxWideChars = 4096;
constexpr uint64_t FileSizeField = 40; // in the file properties object

// The content description's strings in stored order, and the fields they fill.
constexpr int DescriptionFields[5] = {tfTitle, tfArtist, tfCopyright, tfComment, tfRating};

// The attribute each field shows in kind ExWMA; empty where none does.
constexpr const char* ExtendedNames[TagFieldCount] = {"WM/Track",
                                                      "WM/Title",
                                                      "WM/Author",
                                                      "WM/AlbumTitle",
                                                      "WM/Year",
                                                      "",
                                                      "WM/Genre",
                                                      "WM/Composer",
                                                      "WM/Encoder",
                                                      "WM/Copyright",
                                                      "WM/PromotionURL",
                                                      "WM/Description",
                                                      "",
                                                      "WM/Lyrics",
                                                      "",
                                                      "",
                                                      "",
                                                      "WM/Rating",
                                                      "WMFSDKVersion"};

// The track number: ffmpeg and mutagen write the one-based WM/TrackNumber; WM/Track is the
// older, zero-based attribute.
constexpr const char* TrackNumberName = "WM/TrackNumber";
constexpr const char* OldTrackName = "WM/Track";
// ffmpeg stores the year as "date".
constexpr const char* DateName = "date";

bool ParseUnsigned32(const std::string& text, uint32_t& value) {
    if (text.empty() || text.size() > 10) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (v > UINT32_MAX) return false;
    value = static_cast<uint32_t>(v);
    return true;
}

// A text as stored: UTF-16LE with a terminator, within the 16-bit length every ASF string has.
std::string EncodeWide(const std::string& text) {
    std::string wide = SystemToUtf16LE(std::string_view(text.c_str()), false);
    constexpr size_t limit = 0xFFFF - 3;
    if (wide.size() > limit) {
        size_t cut = limit & ~size_t{1};
        // Never split a surrogate pair.
        const auto unit = static_cast<uint16_t>(static_cast<uint8_t>(wide[cut - 2]) |
                                                static_cast<uint8_t>(wide[cut - 1]) << 8);
        if (unit >= 0xD800 && unit <= 0xDBFF) cut -= 2;
        wide.resize(cut);
    }
    return wide + std::string(2, '\0');
}

std::string Text16(const std::string& wide) {
    return PutLE16(static_cast<uint16_t>(wide.size())) + wide;
}

std::string AsString(TByteView bytes) {
    return std::string(reinterpret_cast<const char*>(bytes.Bytes()), bytes.Size());
}

} // namespace

bool IsAsfGuid(TByteView bytes, uint64_t at, const TAsfGuid& guid) {
    return bytes.Has(at, 16) && std::memcmp(bytes.Bytes() + at, guid.data(), 16) == 0;
}

TAsfHeader WalkAsfHeader(TByteView header) {
    TAsfHeader h;
    h.Size = header.U64LE(16);
    h.Count = header.U32LE(24);
    const uint64_t end = std::min<uint64_t>(h.Size, header.Size());
    uint64_t p = HeaderHeadSize;
    bool whole = true;
    // Each object takes at least its 24-byte head, so the count cannot outrun the bytes.
    for (uint32_t i = 0; i < h.Count; ++i) {
        if (p > end || end - p < ObjectHeadSize) break;
        const uint64_t size = header.U64LE(p + 16);
        if (size < ObjectHeadSize) break;
        h.Objects.push_back({p, size, header.Sub(p, std::min(size, end - p))});
        if (size > end - p) {
            whole = false;
            break;
        }
        p += size;
    }
    h.Complete =
        whole && h.Objects.size() == h.Count && h.Size <= header.Size() && h.Size >= HeaderHeadSize;
    return h;
}

std::string ReadWideString(TByteView bytes, uint64_t& at, uint64_t n) {
    const uint64_t chars = std::min<uint64_t>(n / 2, MaxWideChars);
    const uint64_t start = at;
    at += n;
    if (chars <= 1 || start > bytes.Size()) return {};
    const std::string wide = bytes.Text(start, (chars - 1) * 2);
    size_t units = wide.size() / 2;
    for (size_t u = 0; u < units; ++u)
        if (wide[2 * u] == 0 && wide[2 * u + 1] == 0) units = u;
    return Utf16ToSystem(std::string_view(wide).substr(0, units * 2), false);
}

uint64_t ReadNumber(TByteView bytes, uint64_t& at, uint64_t n) {
    const uint64_t start = at;
    at += n;
    switch (std::min<uint64_t>(n, 8)) {
    case 1:
        return bytes.U8(start);
    case 2:
        return bytes.U16LE(start);
    case 4:
        return bytes.U32LE(start);
    case 8:
        return bytes.U64LE(start);
    default:
        return 0;
    }
}

TTagWMA::TTagWMA(bool extended)
    : TTagBase(extended ? tkExWMA : tkWMA,
               extended ? FieldRange(0, 4) | FieldRange(6, 11) | FieldBit(tfLyrics) |
                              FieldBit(tfRating) | FieldBit(tfVersion)
                        : FieldBit(tfTitle) | FieldBit(tfArtist) | FieldBit(tfComment) |
                              FieldBit(tfCopyright) | FieldBit(tfRating)),
      Extended(extended) {
    TTagWMA::Reset();
}

TTagWMA::~TTagWMA() {
    TTagWMA::Reset();
}

void TTagWMA::Reset() {
    if (Extended)
        for (int32_t i = Items->Count() - 1; i >= 0; --i)
            if (TObject* attribute = Items->GetObject(i)) attribute->Release();
    TTagBase::Reset();
    if (Extended) Items->Clear();
    RawText = {};
    TextChanged = {};
    ReadObjects.clear();
    WasRead = false;
}

const TExTag* TTagWMA::Attribute(int32_t index) const {
    return Extended ? static_cast<const TExTag*>(Items->GetObject(index)) : nullptr;
}

TExTag* TTagWMA::FindAttribute(const std::string& name) const {
    const std::string wanted = AnsiUpperCase(name);
    for (int32_t i = 0; i < AttributeCount(); ++i) {
        auto* attribute = static_cast<TExTag*>(Items->GetObject(i));
        if (attribute && AnsiUpperCase(attribute->Name) == wanted) return attribute;
    }
    return nullptr;
}

std::string TTagWMA::GetField(int id) const {
    if (!Extended) return TTagBase::GetField(id);
    if (id < 0 || id >= TagFieldCount || ExtendedNames[id][0] == '\0') return {};
    if (id == tfTrack) {
        if (const TExTag* number = FindAttribute(TrackNumberName); number && !number->Value.empty())
            return number->Value;
        const TExTag* old = FindAttribute(OldTrackName);
        uint32_t zeroBased = 0;
        if (!old) return {};
        return ParseUnsigned32(old->Value, zeroBased) ? IntToStr(int64_t{zeroBased} + 1)
                                                      : old->Value;
    }
    if (const TExTag* attribute = FindAttribute(ExtendedNames[id]);
        attribute && !attribute->Value.empty())
        return attribute->Value;
    if (id == tfYear)
        if (const TExTag* date = FindAttribute(DateName)) return date->Value;
    return {};
}

void TTagWMA::SetField(int id, const std::string& value) {
    if (!Extended) {
        TTagBase::SetField(id, value);
        for (size_t k = 0; k < 5; ++k)
            if (DescriptionFields[k] == id) TextChanged[k] = true;
        return;
    }
    if (id < 0 || id >= TagFieldCount || ExtendedNames[id][0] == '\0') return;
    const std::string name = id == tfTrack ? TrackNumberName : ExtendedNames[id];
    const std::string text(value.c_str());
    TExTag* attribute = FindAttribute(name);
    if (!attribute) {
        attribute = new TExTag;
        attribute->Name = name;
        Items->AddObject("", attribute);
    }
    uint32_t number = 0;
    const bool numeric = ParseUnsigned32(text, number);
    attribute->Value = text;
    attribute->Changed = true;
    attribute->Raw.clear();
    // A DWORD keeps its type while the text is a number; anything else becomes a text.
    if (!(attribute->DataType == 3 && numeric)) attribute->DataType = 0;
    attribute->Data.clear();
    if (id != tfTrack) return;
    // The old zero-based track attribute must not contradict the new number.
    if (TExTag* old = FindAttribute(OldTrackName)) {
        if (numeric && number > 0) {
            old->Value = IntToStr(int64_t{number} - 1);
            old->Changed = true;
            if (old->DataType != 3) old->DataType = 0;
            old->Data.clear();
        } else {
            const int32_t index = Items->IndexOfObject(old);
            old->Release();
            Items->Delete(index);
        }
    }
}

void TTagWMA::ReadDescription(TByteView object) {
    uint64_t at = ObjectHeadSize + 10;
    for (size_t k = 0; k < 5; ++k) {
        const uint16_t length = object.U16LE(ObjectHeadSize + 2 * k);
        if (length == 0) continue;
        RawText[k] = object.Text(at, length);
        TTagBase::SetField(DescriptionFields[k], ReadWideString(object, at, length));
    }
}

void TTagWMA::ReadExtendedDescription(TByteView object) {
    uint64_t at = ObjectHeadSize;
    const uint16_t count = object.U16LE(at);
    at += 2;
    for (uint32_t i = 0; i < count && at < object.Size(); ++i) {
        const uint64_t start = at;
        const uint16_t nameLength = object.U16LE(at);
        at += 2;
        TRef<TExTag> attribute(new TExTag);
        attribute->Name = ReadWideString(object, at, nameLength);
        attribute->DataType = object.U16LE(at);
        const uint16_t valueLength = object.U16LE(at + 2);
        at += 4;
        if (attribute->DataType == 0) {
            attribute->Value = ReadWideString(object, at, valueLength);
        } else if (attribute->DataType == 3) {
            attribute->Value = std::to_string(ReadNumber(object, at, valueLength));
        } else {
            attribute->Data = object.Text(at, valueLength);
            at += valueLength;
        }
        // A descriptor that runs past its object is damaged, and so is everything after it.
        if (at > object.Size()) break;
        attribute->Raw = object.Text(start, at - start);
        attribute->Changed = false;
        Items->AddObject("", attribute.Detach());
    }
}

bool TTagWMA::DoRead(const TFileView& file) {
    Reset();
    if (!file.IsOpen()) return false;
    WasRead = true;
    if (!IsAsfGuid(file.Head(), 0, AsfHeaderGuid)) return true;
    std::string scratch;
    const TByteView header =
        file.Bytes(0, static_cast<size_t>(std::min(file.Head().U64LE(16), file.Size())), scratch);
    const TAsfGuid& mine = Extended ? AsfExtendedContentDescriptionGuid : AsfContentDescriptionGuid;
    for (const TAsfObject& object : WalkAsfHeader(header).Objects) {
        if (!object.Is(mine)) continue;
        Valid = true;
        ReadObjects += AsString(object.Bytes);
        Size = static_cast<int32_t>(std::min<uint64_t>(Size + object.Size, INT32_MAX));
        if (Extended)
            ReadExtendedDescription(object.Bytes);
        else
            ReadDescription(object.Bytes);
    }
    return true;
}

std::string TTagWMA::NewObject() const {
    std::string body;
    if (!Extended) {
        std::string texts;
        for (size_t k = 0; k < 5; ++k) {
            const std::string text =
                TextChanged[k] ? EncodeWide(GetField(DescriptionFields[k])) : RawText[k];
            body += PutLE16(static_cast<uint16_t>(text.size()));
            texts += text;
        }
        body += texts;
    } else {
        if (AttributeCount() > 0xFFFF) return {};
        body = PutLE16(static_cast<uint16_t>(AttributeCount()));
        for (int32_t i = 0; i < AttributeCount(); ++i) {
            const TExTag* a = Attribute(i);
            if (!a->Changed) {
                body += a->Raw;
                continue;
            }
            body += Text16(EncodeWide(a->Name)) + PutLE16(a->DataType);
            uint32_t number = 0;
            if (a->DataType == 0)
                body += Text16(EncodeWide(a->Value));
            else if (a->DataType == 3 && ParseUnsigned32(a->Value, number))
                body += PutLE16(4) + PutLE32(number);
            else
                body += Text16(a->Data.substr(0, 0xFFFF));
        }
    }
    const TAsfGuid& guid = Extended ? AsfExtendedContentDescriptionGuid : AsfContentDescriptionGuid;
    return std::string(guid.begin(), guid.end()) + PutLE64(ObjectHeadSize + body.size()) + body;
}

// The file anew with this kind's object replaced (or added, or left out for a removal). The
// header must be whole and directly followed by the data object, the new header's size, count
// and file size are checked in the written file before it replaces the original.
bool TTagWMA::Rewrite(const std::string& fileName, bool remove) {
    if (!CanModifyFile(fileName)) return false;
    TFileViewRef view = TFileView::Open(fileName);
    const uint64_t fileSize = view->Size();
    if (!view->IsOpen() || fileSize > UINT32_MAX) return false;
    const TByteView head = view->Head();
    const uint64_t headerSize = head.U64LE(16);
    if (!IsAsfGuid(head, 0, AsfHeaderGuid) || headerSize < HeaderHeadSize ||
        headerSize > fileSize - std::min<uint64_t>(fileSize, 16))
        return false;
    const std::string header = view->Read(0, static_cast<size_t>(headerSize));
    const TAsfHeader h = WalkAsfHeader(TByteView(header));
    if (!h.Complete || !IsAsfGuid(TByteView(view->Read(headerSize, 16)), 0, AsfDataGuid))
        return false;

    const TAsfGuid& mine = Extended ? AsfExtendedContentDescriptionGuid : AsfContentDescriptionGuid;
    if (WasRead && !remove) {
        std::string current;
        for (const TAsfObject& object : h.Objects)
            if (object.Is(mine)) current += AsString(object.Bytes);
        if (current != ReadObjects) return false;
    }
    const std::string fresh = remove ? std::string() : NewObject();
    if (!remove && fresh.empty()) return false;
    std::string children;
    uint32_t count = 0;
    bool placed = false;
    size_t propertiesAt = std::string::npos;
    uint64_t end = HeaderHeadSize;
    for (const TAsfObject& object : h.Objects) {
        end = object.Position + object.Size;
        if (object.Is(mine)) {
            // The first object of the kind is replaced in its place; a second one was merged.
            if (!placed && !remove) {
                children += fresh;
                ++count;
            }
            placed = true;
            continue;
        }
        if (object.Is(AsfFilePropertiesGuid) && object.Size >= FileSizeField + 8)
            propertiesAt = HeaderHeadSize + children.size();
        children += AsString(object.Bytes);
        ++count;
    }
    if (propertiesAt == std::string::npos) return false;
    if (!placed) {
        if (remove) return true; // nothing to remove, nothing changed
        children += fresh;
        ++count;
    }
    std::string newHeader = header.substr(0, 16) + PutLE64(0) + PutLE32(count) +
                            header.substr(28, 2) + children +
                            header.substr(static_cast<size_t>(end));
    const uint64_t newFileSize = newHeader.size() + (fileSize - headerSize);
    if (newFileSize > UINT32_MAX) return false;
    newHeader.replace(16, 8, PutLE64(newHeader.size()));
    newHeader.replace(propertiesAt + FileSizeField, 8, PutLE64(newFileSize));

    return RebuildFile(fileName, [&](TFileStream& original, TFileStream& rebuilt) {
        // The file must still be the one the new header was made from.
        if (original.GetSize() != fileSize ||
            ReadAt(original, 0, static_cast<uint32_t>(headerSize)) != header)
            return false;
        const auto rest = static_cast<uint32_t>(fileSize - headerSize);
        if (!WriteAll(rebuilt, newHeader) ||
            original.SetPosition(static_cast<int64_t>(headerSize)) != headerSize ||
            CopyStream(rebuilt, original, rest) != rest)
            return false;
        // Read back what was written: sizes, count, the file size and the data object's place.
        if (rebuilt.GetSize() != newFileSize) return false;
        const std::string written =
            ReadAt(rebuilt, 0, static_cast<uint32_t>(newHeader.size() + 16));
        const TByteView w(written);
        const TAsfHeader check = WalkAsfHeader(w);
        return w.Size() == newHeader.size() + 16 && IsAsfGuid(w, 0, AsfHeaderGuid) &&
               check.Complete && check.Size == newHeader.size() && check.Count == count &&
               w.U64LE(propertiesAt + FileSizeField) == newFileSize &&
               IsAsfGuid(w, newHeader.size(), AsfDataGuid);
    });
}

bool TTagWMA::DoSave(const std::string& fileName) {
    return Rewrite(fileName, false);
}

bool TTagWMA::DoRemove(const std::string& fileName) {
    Reset();
    return Rewrite(fileName, true);
}

TTagBase* CreateTagWMA() {
    return new TTagWMA(false);
}

TTagBase* CreateTagExWMA() {
    return new TTagWMA(true);
}

} // namespace audiolens
