#include "tags/TagID3v2.h"

#include "core/Convert.h"
#include "core/FileRewrite.h"
#include "core/FileStream.h"
#include "tags/ID3v2Layout.h"
#include "tags/ID3v2Text.h"

#include <vector>

namespace audiolens {

namespace {

constexpr int FrameFieldCount = 15;
// Tags up to this size are overwritten in place; a new tag is padded up to it.
constexpr uint32_t PaddedTagSize = 4096;

// Version 2.2 id and 2.3/2.4 id of each field 0 to 14, back to back.
const char* const FrameIds[FrameFieldCount] = {
    "TRKTRCK", "TT2TIT2", "TP1TPE1", "TALTALB", "TYETYER", "COMCOMM", "TCOTCON", "TCMTCOM",
    "TENTENC", "TCRTCOP", "WXXWXXX", "TT1TIT1", "TLATLAN", "ULTUSLT", "TOATOPE"};

std::string_view FieldFrameId(int field) {
    return std::string_view(FrameIds[field] + 3, 4);
}

// A 2.2 id in its 2.3 spelling; ids outside the table repeat their third character.
std::string TranslateVersion2Id(const std::string& id) {
    for (const char* row : FrameIds)
        if (id == std::string_view(row, 3)) return std::string(row + 3, 4);
    return id.size() == 3 ? id + id[2] : id;
}

bool ReadFileHeader(const std::string& fileName, TID3v2Header& header, std::string& bytes) {
    header = TID3v2Header();
    TStreamRef file = OpenFileRead(fileName);
    if (!file->IsOpen()) return false;
    bytes = ReadString(*file, ID3v2HeaderSize);
    return ParseID3v2Header(TByteView(bytes), file->GetSize(), header);
}

// Writes the file anew: tag (if any), then everything after the old tag.
bool RebuildWithTag(const std::string& fileName, const TID3v2Header& old, const std::string* tag) {
    return RebuildFile(fileName, [&](TFileStream& original, TFileStream& rebuilt) {
        if (tag && !WriteAll(rebuilt, *tag)) return false;
        const uint32_t skip = old.Present ? old.TagSize : 0, size = original.GetSize();
        if (skip > size || original.SetPosition(skip) != skip) return false;
        return CopyStream(rebuilt, original, size - skip) == size - skip;
    });
}

} // namespace

TTagID3v2::TTagID3v2() : TTagBase(tkID3v2, FieldRange(0, 14) | FieldBit(tfVersion)) {
    TTagID3v2::Reset();
}

TTagID3v2::~TTagID3v2() {
    TTagID3v2::Reset();
}

void TTagID3v2::Reset() {
    Valid = false;
    GenreIndex = 255;
    Size = 0;
    Rewritable = true;
    for (int32_t i = Items->Count() - 1; i >= 0; --i)
        DeleteFrame(i);
    Items->Clear();
}

TID3v2Frame* TTagID3v2::Frame(int32_t index) const {
    return static_cast<TID3v2Frame*>(Items->GetObject(index));
}

int32_t TTagID3v2::FindFrameIndex(std::string_view id) const {
    const std::string wanted = AnsiUpperCase(id);
    for (int32_t i = 0; i < Items->Count(); ++i) {
        const TID3v2Frame* frame = Frame(i);
        if (frame && AnsiUpperCase(frame->Id) == wanted) return i;
    }
    return -1;
}

TID3v2Frame* TTagID3v2::FindFrame(std::string_view id) const {
    const int32_t index = FindFrameIndex(id);
    return index < 0 ? nullptr : Frame(index);
}

int32_t TTagID3v2::AddFrame(std::string_view id, uint16_t flags) {
    auto* frame = new TID3v2Frame;
    frame->Id = std::string(id);
    frame->Flags = flags;
    return Items->AddObject(id, frame); // the list's object is released by DeleteFrame
}

void TTagID3v2::DeleteFrame(int32_t index) {
    if (index < 0 || index >= Items->Count()) return;
    if (TID3v2Frame* frame = Frame(index)) frame->Release();
    Items->Delete(index);
}

std::string TTagID3v2::FrameText(const TID3v2Frame* frame) {
    if (!frame || frame->Opaque) return {};
    return DecodeFrameText(frame->Id, frame->Data);
}

std::string TTagID3v2::GetField(int id) const {
    if (id == tfVersion) return Valid ? IntToStr(MajorVersion) : std::string();
    if (id < 0 || id >= FrameFieldCount) return {};
    std::string text = FrameText(FindFrame(FieldFrameId(id)));
    // "(17)Rock" is a genre number followed by its name; only the name is shown.
    if (id == tfGenre) {
        const size_t close = text.find(')');
        if (close != std::string::npos) text.erase(0, close + 1);
    }
    return text;
}

void TTagID3v2::SetField(int id, const std::string& value) {
    if (id < 0 || id >= FrameFieldCount) return;
    const std::string_view text(value.c_str()); // a zero byte ends a value
    DeleteFrame(FindFrameIndex(FieldFrameId(id)));
    // An empty comment or URL is still written, as a frame with empty text.
    if (text.empty() && id != tfComment && id != tfUrl) return;
    Frame(AddFrame(FieldFrameId(id), 0))->Data = EncodeFrameData(id, text);
}

void TTagID3v2::StoreFrame(const std::string& id, uint16_t flags, std::string data, bool opaque) {
    if (DuplicateMode != 2) {
        for (int32_t i = 0; i < Items->Count(); ++i) {
            TID3v2Frame* earlier = Frame(i);
            if (!earlier || earlier->Id != id) continue;
            // Mode 1 lets a later frame fill an earlier empty one.
            if (DuplicateMode == 1 && FrameText(earlier).empty()) {
                earlier->Data = std::move(data);
                earlier->Opaque = opaque;
            }
            return;
        }
    }
    TID3v2Frame* frame = Frame(AddFrame(id, flags));
    frame->Data = std::move(data);
    frame->Opaque = opaque;
}

bool TTagID3v2::ReadHeader(const std::string& fileName, int32_t& tagSize, std::string& header) {
    TID3v2Header parsed;
    tagSize = 0;
    if (!ReadFileHeader(fileName, parsed, header)) return false;
    tagSize = static_cast<int32_t>(parsed.TagSize);
    return true;
}

bool TTagID3v2::DoRead(const TFileView& view) {
    const std::string& fileName = view.Name();
    Reset();
    TID3v2Header header;
    std::string headerBytes;
    if (!ReadFileHeader(fileName, header, headerBytes)) return false;
    if (!header.Present) return true;
    Valid = true;
    Size = static_cast<int32_t>(header.TagSize);
    MajorVersion = header.Major;
    if (MajorVersion < 2 || MajorVersion > 4 || header.TagSize == 0) return true;
    TID3v2Walk walk;
    try {
        TStreamRef file = OpenFileRead(fileName);
        const std::string tag = ReadAt(*file, 0, header.TagSize);
        WalkID3v2Frames(TByteView(tag), header, walk);
    } catch (...) {
        // A fault inside the walk keeps the frames found before it.
    }
    Rewritable = walk.Rewritable;
    for (TID3v2RawFrame& raw : walk.Frames) {
        const std::string id = MajorVersion == 2 ? TranslateVersion2Id(raw.Id) : raw.Id;
        StoreFrame(id, raw.Flags, std::move(raw.Data), raw.Opaque);
    }
    return true;
}

bool TTagID3v2::DoSave(const std::string& fileName) {
    if (!Rewritable || !CanModifyFile(fileName)) return false;
    TID3v2Header old;
    std::string oldBytes;
    ReadFileHeader(fileName, old, oldBytes);
    std::vector<TID3v2OutFrame> frames;
    for (int32_t i = 0; i < Items->Count(); ++i) {
        const TID3v2Frame* frame = Frame(i);
        if (frame && frame->Size() > 0)
            frames.push_back({frame->Id, FrameDataForVersion3(frame->Id, frame->Data)});
    }
    const uint64_t needed = ID3v2TagSizeOf(frames);
    const bool inPlace = old.Present && old.TagSize >= needed && old.TagSize <= PaddedTagSize;
    uint64_t padding = 0;
    if (inPlace)
        padding = old.TagSize - needed;
    else if (needed < PaddedTagSize)
        padding = PaddedTagSize - needed;
    const std::string tag = BuildID3v2Tag(frames, static_cast<uint32_t>(padding));
    if (tag.empty()) return false;
    if (!inPlace) return RebuildWithTag(fileName, old, &tag);
    // The new tag covers exactly the old one's bytes and nothing after them.
    TStreamRef file = OpenFileReadWrite(fileName);
    return file->IsOpen() && WriteAllAt(*file, 0, tag.data(), static_cast<uint32_t>(tag.size()));
}

bool TTagID3v2::DoRemove(const std::string& fileName) {
    if (!FileExists(fileName)) return false;
    TID3v2Header old;
    std::string oldBytes;
    if (!ReadFileHeader(fileName, old, oldBytes)) return false;
    if (!old.Present || old.TagSize == 0) return false; // nothing that can be cut off
    return RebuildWithTag(fileName, old, nullptr);
}

TTagBase* CreateTagID3v2() {
    return new TTagID3v2;
}

int32_t GetID3v2Size(const std::string& fileName) {
    TRef<TTagID3v2> tag(new TTagID3v2);
    return tag->Read(fileName) ? tag->Size : 0;
}

} // namespace audiolens
