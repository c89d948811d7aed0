#include "tags/TagID3v1Lyrics.h"

#include "core/ByteReader.h"
#include "core/Convert.h"
#include "core/FileRewrite.h"
#include "core/Text.h"
#include "tags/TrailingTags.h"

namespace audiolens {

namespace {

constexpr TTagFieldSet LyricsFields = FieldBit(tfTitle) | FieldBit(tfArtist) | FieldBit(tfAlbum) |
                                      FieldBit(tfComment) | FieldBit(tfComposer) |
                                      FieldBit(tfLyrics) | FieldBit(tfImage);

// A field is its id, five digits of data size and the data.
constexpr uint32_t FieldHeaderSize = 8;
constexpr size_t MaxFieldData = 99999;

struct TLyricsField {
    const char* Id;
    TTagField Field;
};

// In the order a block is written.
const TLyricsField FieldIds[] = {{"EAL", tfAlbum},   {"EAR", tfArtist},   {"ETT", tfTitle},
                                 {"INF", tfComment}, {"AUT", tfComposer}, {"LYR", tfLyrics},
                                 {"IMG", tfImage}};

const TLyricsField* FieldById(std::string_view id) {
    for (const TLyricsField& f : FieldIds)
        if (id == f.Id) return &f;
    return nullptr;
}

std::string ZeroPadded(size_t value, size_t width) {
    std::string digits = IntToStr(static_cast<int64_t>(value));
    return digits.size() >= width ? digits : std::string(width - digits.size(), '0') + digits;
}

} // namespace

TTagLyrics3::TTagLyrics3() : TTagBase(tkID3v1Lyrics, LyricsFields) {}

std::string NormaliseLyricsLineBreaks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r') {
            out += text[i];
            continue;
        }
        out += "\r\n";
        while (i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
    }
    return out;
}

void TTagLyrics3::ParseFields(std::string_view block) {
    const TByteView view(block);
    uint64_t at = LyricsBeginSize;
    while (view.Has(at, FieldHeaderSize)) {
        const std::string id = view.Text(at, 3);
        const int32_t length = DecimalDigits(view.Text(at + 3, 5));
        at += FieldHeaderSize;
        if (length <= 0) continue; // nothing to read; the next header follows at once
        // A size that runs past the block ends the walk: nothing outside the block is read.
        if (!view.Has(at, static_cast<uint64_t>(length))) break;
        const std::string data = view.Text(at, static_cast<uint64_t>(length));
        at += static_cast<uint64_t>(length);
        if (id == "IND") continue; // flags only
        const TLyricsField* field = FieldById(id);
        if (!field) break;
        std::string value = field->Field == tfImage    ? data
                            : field->Field == tfLyrics ? Trim(NormaliseLyricsLineBreaks(data))
                                                       : Trim(data);
        SetField(field->Field, Latin1ToSystem(value));
    }
}

bool TTagLyrics3::BuildBlock(std::string& block) const {
    block.clear();
    std::string fields;
    bool haveLyrics = false;
    for (const TLyricsField& f : FieldIds) {
        bool lossless = true;
        const std::string value = SystemToLatin1(GetField(f.Field), lossless);
        if (Trim(value).empty()) continue;
        if (value.size() > MaxFieldData) {
            SetRewriteProblem("a Lyrics3 value is longer than 99999 bytes");
            return false;
        }
        fields += f.Id + ZeroPadded(value.size(), 5) + value;
        haveLyrics = haveLyrics || f.Field == tfLyrics;
    }
    if (fields.empty()) return true;
    block = "LYRICSBEGIN";
    block += haveLyrics ? "IND0000210" : "IND0000200";
    block += fields;
    block += ZeroPadded(block.size(), 6) + "LYRICS200";
    return true;
}

bool TTagLyrics3::Changed() const {
    for (int id = 0; id < TagFieldCount; ++id)
        if (((SupportedFields >> id) & 1) && GetField(id) != ReadFields[static_cast<size_t>(id)])
            return true;
    return false;
}

void TTagLyrics3::MarkSaved(const std::string& block) {
    for (int id = 0; id < TagFieldCount; ++id)
        ReadFields[static_cast<size_t>(id)] = GetField(id);
    ReadBlock = block.substr(0, block.size() - std::min<size_t>(block.size(), LyricsTrailerSize));
    Valid = !block.empty();
    Size = static_cast<int32_t>(block.size());
}

void TTagLyrics3::Reset() {
    TTagBase::Reset();
    ReadFields = {};
    WasRead = false;
    ReadBlock.clear();
}

namespace {

// The bytes of the block, "LYRICSBEGIN" through the last field; empty without a block.
bool BlockBytes(const TFileView& file, const TTrailingTags& layout, std::string& block) {
    block.clear();
    if (layout.LyricsSize == 0) return true;
    std::string scratch;
    const uint64_t count = layout.LyricsSize - LyricsTrailerSize;
    const TByteView bytes = file.Bytes(layout.LyricsStart(), count, scratch);
    block = bytes.Text(0, bytes.Size());
    return bytes.Size() == count;
}

} // namespace

bool TTagLyrics3::DoRead(const TFileView& file) {
    Reset();
    TTrailingTags layout;
    if (!FindTrailingTags(file, layout) || !BlockBytes(file, layout, ReadBlock)) return false;
    WasRead = true;
    if (layout.LyricsSize == 0) return true;
    Valid = true;
    Size = static_cast<int32_t>(layout.LyricsSize);
    ParseFields(ReadBlock);
    for (int id = 0; id < TagFieldCount; ++id)
        ReadFields[static_cast<size_t>(id)] = GetField(id);
    return true;
}

bool TTagLyrics3::DoSave(const std::string& fileName) {
    std::string block;
    if (!BuildBlock(block)) return false;
    const bool ok = RebuildTail(
        fileName, [&](const TFileView& file, uint64_t& keep, std::vector<TTailPiece>& tail) {
            TTrailingTags layout;
            std::string current;
            if (!FindTrailingTags(file, layout) || !BlockBytes(file, layout, current)) return false;
            if (WasRead && current != ReadBlock) {
                SetRewriteProblem("the file's Lyrics3 block changed since it was read");
                return false;
            }
            // The new block goes where the old one began, followed by the ID3v1 tag there.
            keep = layout.LyricsStart();
            tail.push_back({block + layout.ID3v1});
            return true;
        });
    if (!ok) return false;
    MarkSaved(block);
    return true;
}

bool TTagLyrics3::DoRemove(const std::string& fileName) {
    bool present = true;
    const bool ok = RebuildTail(
        fileName, [&](const TFileView& file, uint64_t& keep, std::vector<TTailPiece>& tail) {
            TTrailingTags layout;
            if (!FindTrailingTags(file, layout)) return false;
            present = layout.LyricsSize > 0;
            keep = layout.LyricsStart();
            tail.push_back({layout.ID3v1});
            return present;
        });
    if (!ok && present) return false;
    MarkSaved(std::string());
    return true;
}

TTagBase* CreateTagLyrics3() {
    return new TTagLyrics3;
}

} // namespace audiolens
