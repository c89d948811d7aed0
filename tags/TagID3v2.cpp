#include "tags/TagID3v2.h"

#include "core/Convert.h"
#include "core/FileRewrite.h"
#include "core/FileStream.h"
#include "tags/ID3v1Genres.h"
#include "tags/ID3v2Layout.h"
#include "tags/ID3v2Text.h"

#include <unordered_map>
#include <vector>

namespace audiolens {

namespace {

constexpr int FrameFieldCount = 15;
// A new tag, or one that must grow, is padded up to this size.
constexpr uint32_t PaddedTagSize = 4096;

// Version 2.2 id and 2.3/2.4 id of each field 0 to 14, back to back.
const char* const FrameIds[FrameFieldCount] = {
    "TRKTRCK", "TT2TIT2", "TP1TPE1", "TALTALB", "TYETYER", "COMCOMM", "TCOTCON", "TCMTCOM",
    "TENTENC", "TCRTCOP", "WXXWXXX", "TT1TIT1", "TLATLAN", "ULTUSLT", "TOATOPE"};
// Version 2.4 has no TYER: the recording time holds the year.
constexpr std::string_view RecordingTime = "TDRC";

// A 2.2 id in its 2.3 spelling; ids outside the table repeat their third character.
std::string TranslateVersion2Id(const std::string& id) {
    for (const char* row : FrameIds)
        if (id == std::string_view(row, 3)) return std::string(row + 3, 4);
    return id.size() == 3 ? id + id[2] : id;
}

bool ReadViewHeader(const TFileView& file, TID3v2Header& header) {
    return ParseID3v2Header(file.Head(), file.Size(), header);
}

// "(17)" alone, or a bare number, names an ID3v1 genre; "(17)Rock" is the number and its name.
std::string GenreText(std::string text) {
    const size_t close = text.find(')');
    if (!text.empty() && text[0] == '(' && close != std::string::npos && close + 1 == text.size()) {
        const int32_t number = DecimalDigits(text.substr(1, close - 1));
        return number >= 0 ? ID3v1GenreName(number) : std::string();
    }
    if (close != std::string::npos) return text.substr(close + 1);
    const int32_t number = DecimalDigits(text);
    return number >= 0 ? ID3v1GenreName(number) : text;
}

// A digest of the frames a walk found (ids, flags, places, sizes, the data read), to notice a tag
// that changed since it was read even where its size stayed.
uint64_t Fingerprint(const TID3v2Walk& walk) {
    uint64_t hash = 1469598103934665603ull;
    auto mix = [&](std::string_view bytes) {
        for (char c : bytes)
            hash = (hash ^ static_cast<uint8_t>(c)) * 1099511628211ull;
    };
    for (const TID3v2RawFrame& frame : walk.Frames) {
        mix(frame.Id);
        mix(std::to_string(frame.Flags) + "/" + std::to_string(frame.StoredOffset) + "/" +
            std::to_string(frame.StoredSize));
        mix(frame.Data);
    }
    return hash;
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
    WasRead = false;
    ReadHeaderBytes.clear();
    for (int32_t i = Items->Count() - 1; i >= 0; --i)
        DeleteFrame(i);
    Items->Clear();
}

std::string_view TTagID3v2::FieldFrameId(int field) const {
    if (field == tfYear && MajorVersion == 4) return RecordingTime;
    return std::string_view(FrameIds[field] + 3, 4);
}

TID3v2Frame* TTagID3v2::Frame(int32_t index) const {
    return static_cast<TID3v2Frame*>(Items->GetObject(index));
}

int32_t TTagID3v2::FindFrameIndex(std::string_view id) const {
    const std::string wanted = AnsiUpperCase(id);
    for (int32_t i = 0; i < Items->Count(); ++i) {
        const TID3v2Frame* frame = Frame(i);
        if (frame && frame->Id.size() == wanted.size() && AnsiUpperCase(frame->Id) == wanted)
            return i;
    }
    return -1;
}

int32_t TTagID3v2::FieldFrameIndex(std::string_view id) const {
    int32_t first = -1;
    for (int32_t i = 0; i < Items->Count(); ++i) {
        const TID3v2Frame* frame = Frame(i);
        if (!frame || frame->Id != id) continue;
        if (!FrameText(frame).empty()) return i;
        if (first < 0) first = i;
    }
    return first;
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

std::string TTagID3v2::YearText() const {
    const int32_t index = FieldFrameIndex("TYER");
    const std::string year = index < 0 ? std::string() : FrameText(Frame(index));
    const int32_t time = FieldFrameIndex(RecordingTime);
    return !year.empty() || time < 0 ? year : FrameText(Frame(time));
}

std::string TTagID3v2::GetField(int id) const {
    if (id == tfVersion) return Valid ? IntToStr(MajorVersion) : std::string();
    if (id < 0 || id >= FrameFieldCount) return {};
    const int32_t index = FieldFrameIndex(std::string_view(FrameIds[id] + 3, 4));
    std::string text = index < 0 ? std::string() : FrameText(Frame(index));
    if (id == tfYear && text.empty()) {
        const int32_t time = FieldFrameIndex(RecordingTime);
        if (time >= 0) text = FrameText(Frame(time)).substr(0, 4);
    }
    return id == tfGenre ? GenreText(text) : text;
}

void TTagID3v2::SetField(int id, const std::string& value) {
    if (id < 0 || id >= FrameFieldCount) return;
    const std::string_view text(value.c_str()); // a zero byte ends a value
    const std::string_view frameId = FieldFrameId(id);
    const int32_t index = FieldFrameIndex(frameId);
    // An empty comment or URL is still written, as a frame with empty text.
    if (text.empty() && id != tfComment && id != tfUrl) {
        DeleteFrame(index);
        return;
    }
    std::string data = EncodeFrameData(id, text);
    TID3v2Frame* frame = index < 0 ? Frame(AddFrame(frameId, 0)) : Frame(index);
    // A comment or lyrics frame keeps its language.
    if ((id == tfComment || id == tfLyrics) && frame->Data.size() >= 4 && data.size() >= 4)
        data.replace(1, 3, frame->Data, 1, 3);
    // The frame keeps its place among the others; its stored bytes are new.
    frame->Data = std::move(data);
    frame->Flags = 0;
    frame->Opaque = false;
    frame->Original = false;
    frame->DataIsStored = frame->Held = true;
}

bool TTagID3v2::ReadHeader(const std::string& fileName, int32_t& tagSize, std::string& header) {
    TFileViewRef file = TFileView::Open(fileName);
    TID3v2Header parsed;
    tagSize = 0;
    header = file->Read(0, ID3v2HeaderSize);
    if (!file->IsOpen() || !ReadViewHeader(*file, parsed)) return false;
    tagSize = static_cast<int32_t>(parsed.TagSize);
    return true;
}

bool TTagID3v2::DoRead(const TFileView& file) {
    Reset();
    TID3v2Header header;
    if (!ReadViewHeader(file, header)) return false;
    WasRead = true;
    if (!header.Present) return true;
    ReadHeaderBytes = file.Head().Text(0, ID3v2HeaderSize);
    Valid = true;
    Size = static_cast<int32_t>(header.TagSize);
    MajorVersion = header.Major;
    if (MajorVersion < 2 || MajorVersion > 4 || header.TagSize == 0) {
        // Frames that cannot be found cannot be kept: such a tag is not written over.
        Rewritable = false;
        return true;
    }
    TID3v2Walk walk;
    try {
        WalkID3v2Frames(file, header, walk);
    } catch (...) {
        // A fault inside the walk keeps the frames found before it.
    }
    // Frames missing for a read error would be lost by a save.
    Rewritable = walk.Rewritable && !walk.ReadError;
    ReadFingerprint = Fingerprint(walk);
    // Ids already stored, for the modes that keep one frame per id.
    std::unordered_map<std::string, int32_t> seen;
    for (TID3v2RawFrame& raw : walk.Frames) {
        const std::string id = MajorVersion == 2 ? TranslateVersion2Id(raw.Id) : raw.Id;
        if (DuplicateMode != 2) {
            auto found = seen.find(id);
            if (found != seen.end()) {
                TID3v2Frame* earlier = Frame(found->second);
                if (DuplicateMode == 1 && FrameText(earlier).empty()) {
                    earlier->Data = std::move(raw.Data);
                    earlier->Opaque = raw.Opaque;
                    earlier->Original = false; // no longer the frame stored there
                }
                continue;
            }
        }
        const int32_t index = AddFrame(id, raw.Flags);
        seen.emplace(id, index);
        TID3v2Frame* frame = Frame(index);
        frame->Data = std::move(raw.Data);
        frame->Opaque = raw.Opaque;
        frame->Original = true;
        frame->DataIsStored = raw.DataIsStored;
        frame->Held = raw.Held;
        frame->StoredOffset = raw.StoredOffset;
        frame->StoredSize = raw.StoredSize;
    }
    return !walk.ReadError;
}

bool TTagID3v2::DoSave(const std::string& fileName) {
    if (!Rewritable) {
        SetRewriteProblem("the ID3v2 tag is transformed as a whole (unsynchronised or "
                          "compressed) or could not be read completely; it is not rewritten");
        return false;
    }
    // A 2.3 or 2.4 tag stays in its version; a new or 2.2 tag becomes 2.3.
    const uint8_t major = Valid && (MajorVersion == 3 || MajorVersion == 4) ? MajorVersion : 3;
    const bool sameVersion = Valid && major == MajorVersion;
    std::vector<TID3v2OutFrame> frames;
    bool fromFile = false;
    for (int32_t i = 0; i < Items->Count(); ++i) {
        const TID3v2Frame* frame = Frame(i);
        if (!frame) continue;
        TID3v2OutFrame out;
        out.Id = frame->Id;
        if (frame->Original && sameVersion) {
            out.Flags = frame->Flags;
            if (frame->Held && frame->DataIsStored) {
                out.Data = frame->Data;
            } else {
                out.FromFile = fromFile = true;
                out.Offset = frame->StoredOffset;
                out.Size = frame->StoredSize;
            }
        } else {
            if (!frame->Held) return false; // cannot be converted without its bytes
            out.Data = major == 3 ? FrameDataForVersion3(frame->Id, frame->Data) : frame->Data;
        }
        if (out.FromFile || !out.Data.empty()) frames.push_back(std::move(out));
    }
    const uint64_t needed = ID3v2TagSizeOf(frames);
    uint64_t newSize = 0;
    std::string header;
    const bool ok = RebuildFileFromView(
        fileName, [&](const TFileView& view, TFileStream& original, TFileStream& rebuilt) {
            TID3v2Header old;
            ReadViewHeader(view, old);
            const std::string current = old.Present ? view.Head().Text(0, ID3v2HeaderSize) : "";
            TID3v2Walk now;
            if (WasRead && old.Present && MajorVersion >= 2 && MajorVersion <= 4)
                WalkID3v2Frames(view, old, now);
            if (WasRead && (current != ReadHeaderBytes || now.ReadError ||
                            (old.Present && Fingerprint(now) != ReadFingerprint))) {
                SetRewriteProblem("the file's ID3v2 tag changed since it was read");
                return false;
            }
            // Frames copied from the file must come from the tag that was read.
            if (fromFile && !(old.Present && old.Major == MajorVersion &&
                              old.TagSize == static_cast<uint32_t>(Size)))
                return false;
            if (old.Present && old.TagSize == 0) return false; // a tag the file cannot hold
            uint64_t padding = 0;
            if (old.Present && old.TagSize >= needed)
                padding = old.TagSize - needed;
            else if (needed < PaddedTagSize)
                padding = PaddedTagSize - needed;
            const std::vector<TTailPiece> tag =
                BuildID3v2Tag(frames, major, static_cast<uint32_t>(padding));
            if (tag.empty()) {
                SetRewriteProblem("the tag would be larger than ID3v2 can hold");
                return false;
            }
            newSize = needed + padding;
            header = tag.front().Bytes.substr(0, ID3v2HeaderSize);
            const uint64_t skip = old.Present ? old.TagSize : 0;
            return WritePieces(original, rebuilt, tag) && original.SetPosition(skip) == skip &&
                   CopyStream(rebuilt, original, view.Size() - skip) == view.Size() - skip;
        });
    if (!ok) return false;
    // The frames now lie in the new tag.
    uint64_t at = ID3v2HeaderSize;
    int32_t written = 0;
    for (int32_t i = 0; i < Items->Count(); ++i) {
        TID3v2Frame* frame = Frame(i);
        if (!frame || written >= static_cast<int32_t>(frames.size()) ||
            frames[static_cast<size_t>(written)].Id != frame->Id)
            continue;
        const TID3v2OutFrame& out = frames[static_cast<size_t>(written++)];
        frame->StoredOffset = at + 10;
        frame->StoredSize = out.FromFile ? out.Size : static_cast<uint32_t>(out.Data.size());
        frame->Flags = out.Flags;
        frame->DataIsStored = frame->DataIsStored && (out.FromFile || out.Data == frame->Data);
        frame->Original = true;
        at += 10 + frame->StoredSize;
    }
    Valid = WasRead = true;
    ReadHeaderBytes = header;
    {
        // What the next save must find: the tag just written.
        TFileViewRef saved = TFileView::Open(fileName);
        TID3v2Header parsed;
        TID3v2Walk walk;
        if (ReadViewHeader(*saved, parsed)) WalkID3v2Frames(*saved, parsed, walk);
        ReadFingerprint = Fingerprint(walk);
    }
    MajorVersion = major;
    Size = static_cast<int32_t>(newSize);
    return true;
}

bool TTagID3v2::DoRemove(const std::string& fileName) {
    bool present = true;
    const bool ok = RebuildFileFromView(
        fileName, [&](const TFileView& view, TFileStream& original, TFileStream& rebuilt) {
            TID3v2Header old;
            present = ReadViewHeader(view, old) && old.Present && old.TagSize > 0;
            if (!present) return false; // nothing that can be cut off
            return original.SetPosition(old.TagSize) == old.TagSize &&
                   CopyStream(rebuilt, original, view.Size() - old.TagSize) ==
                       view.Size() - old.TagSize;
        });
    if (ok) {
        Valid = false;
        Size = 0;
        ReadHeaderBytes.clear();
    }
    return ok;
}

TTagBase* CreateTagID3v2() {
    return new TTagID3v2;
}

int32_t GetID3v2Size(const std::string& fileName) {
    TFileViewRef file = TFileView::Open(fileName);
    TID3v2Header header;
    return ReadViewHeader(*file, header) ? static_cast<int32_t>(header.TagSize) : 0;
}

} // namespace audiolens
