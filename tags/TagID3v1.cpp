#include "tags/TagID3v1.h"

#include "core/ByteReader.h"
#include "core/Convert.h"
#include "core/FileRewrite.h"
#include "core/Text.h"
#include "tags/TrailingTags.h"

namespace audiolens {

namespace {

constexpr TTagFieldSet ID3v1Fields = FieldRange(tfTrack, tfGenre) | FieldBit(tfVersion);

struct TTextField {
    TTagField Field;
    uint32_t Offset;
    uint32_t Length;
};

// The comment is 30 bytes in 1.0; 1.1 gives its last two to a zero byte and the track.
const TTextField TextFields[] = {
    {tfTitle, 3, 30}, {tfArtist, 33, 30}, {tfAlbum, 63, 30}, {tfYear, 93, 4}, {tfComment, 97, 30}};
constexpr uint32_t TrackMarkOffset = 125, TrackOffset = 126, GenreOffset = 127;

// Fields are padded with zeros or spaces; every trailing byte up to 0x20 is padding.
std::string FieldText(const TByteView& tag, uint32_t offset, uint32_t length) {
    return Latin1ToSystem(TrimRight(tag.Text(offset, length)));
}

} // namespace

TTagID3v1::TTagID3v1() : TTagBase(tkID3v1, ID3v1Fields), Lyrics(new TTagLyrics3) {}

std::string TTagID3v1::GetField(int id) const {
    return id == tfGenre ? ID3v1GenreName(GenreIndex) : TTagBase::GetField(id);
}

void TTagID3v1::SetField(int id, const std::string& value) {
    // A genre is a name of the table or its number.
    const int32_t number = id == tfGenre ? DecimalDigits(value) : -1;
    if (id == tfGenre)
        GenreIndex = number >= 0 && number < ID3v1GenreCount ? static_cast<uint8_t>(number)
                                                             : ID3v1GenreByName(value);
    else
        TTagBase::SetField(id, value);
}

void TTagID3v1::Reset() {
    TTagBase::Reset();
    WasRead = false;
    ReadTag.clear();
    if (Lyrics) Lyrics->Reset();
}

void TTagID3v1::ParseTag(const std::string& bytes) {
    const TByteView tag(bytes);
    const uint8_t mark = tag.U8(TrackMarkOffset), track = tag.U8(TrackOffset);
    const bool withTrack = (mark == 0 && track != 0) || (mark == ' ' && track != ' ');
    SetField(tfVersion, withTrack ? "2" : "1");
    for (const TTextField& f : TextFields) {
        const uint32_t length = (f.Field == tfComment && withTrack) ? 28 : f.Length;
        SetField(f.Field, FieldText(tag, f.Offset, length));
    }
    if (withTrack && track > 0) SetField(tfTrack, IntToStr(track));
    GenreIndex = tag.U8(GenreOffset);
}

std::string TTagID3v1::BuildTag() const {
    std::string tag(ID3v1TagSize, '\0');
    tag.replace(0, 3, "TAG");
    for (const TTextField& f : TextFields) {
        bool lossless = true;
        const std::string text = SystemToLatin1(GetField(f.Field), lossless);
        tag.replace(f.Offset, std::min<size_t>(text.size(), f.Length), text, 0, f.Length);
    }
    const auto track = static_cast<uint8_t>(StrToInt(GetField(tfTrack)) & 0xFF);
    if (track != 0) {
        tag[TrackMarkOffset] = '\0';
        tag[TrackOffset] = static_cast<char>(track);
    }
    tag[GenreOffset] = static_cast<char>(GenreIndex);
    return tag;
}

bool TTagID3v1::DoRead(const TFileView& file) {
    Reset();
    TTrailingTags layout;
    if (!FindTrailingTags(file, layout)) return false;
    if (!layout.ID3v1.empty()) {
        Valid = true;
        Size = static_cast<int32_t>(ID3v1TagSize);
        ParseTag(layout.ID3v1);
    }
    WasRead = Lyrics->Read(file);
    ReadTag = layout.ID3v1;
    return WasRead;
}

bool TTagID3v1::DoSave(const std::string& fileName) {
    std::string block;
    if (!Lyrics->BuildBlock(block)) return false;
    const bool keepBlock = !Lyrics->Changed();
    const bool ok = RebuildTail(
        fileName, [&](const TFileView& file, uint64_t& keep, std::vector<TTailPiece>& tail) {
            TTrailingTags layout;
            if (!FindTrailingTags(file, layout)) return false;
            if (WasRead && layout.ID3v1 != ReadTag) {
                SetRewriteProblem("the file's ID3v1 tag changed since it was read");
                return false;
            }
            // An unchanged Lyrics3 block stays as it is; a changed one is replaced.
            keep = keepBlock ? layout.FileSize - layout.ID3v1Size() : layout.TailStart();
            if (keepBlock) block = std::string();
            tail.push_back({block + BuildTag()});
            return true;
        });
    if (!ok) return false;
    Valid = true;
    Size = static_cast<int32_t>(ID3v1TagSize);
    if (!keepBlock) Lyrics->MarkSaved(block);
    ReadTag = BuildTag();
    return true;
}

bool TTagID3v1::DoRemove(const std::string& fileName) {
    bool present = true;
    const bool ok =
        RebuildTail(fileName, [&](const TFileView& file, uint64_t& keep, std::vector<TTailPiece>&) {
            TTrailingTags layout;
            if (!FindTrailingTags(file, layout)) return false;
            keep = layout.TailStart();
            present = keep < layout.FileSize;
            return present; // nothing to cut: the file is left alone
        });
    if (!ok && present) return false;
    Valid = false;
    Size = 0;
    ReadTag.clear();
    Lyrics->MarkSaved(std::string());
    return true;
}

std::vector<std::string> ID3v1WriteLosses(const TTagID3v1& tag) {
    std::vector<std::string> losses;
    const bool withTrack = (StrToInt(tag.GetField(tfTrack)) & 0xFF) != 0;
    for (const TTextField& f : TextFields) {
        bool lossless = true;
        const std::string text = SystemToLatin1(tag.GetField(f.Field), lossless);
        const uint32_t room = f.Field == tfComment && withTrack ? 28 : f.Length;
        const std::string name = f.Field == tfTitle    ? "Title"
                                 : f.Field == tfArtist ? "Artist"
                                 : f.Field == tfAlbum  ? "Album"
                                 : f.Field == tfYear   ? "Year"
                                                       : "Comment";
        if (!lossless) losses.push_back(name + ": characters ID3v1 cannot hold were replaced");
        if (text.size() > room)
            losses.push_back(name + ": cut to " + std::to_string(room) + " characters");
    }
    return losses;
}

TTagBase* CreateTagID3v1() {
    return new TTagID3v1;
}

int32_t GetID3v1Size(const std::string& fileName) {
    TTrailingTags layout;
    if (!FindTrailingTags(*TFileView::Open(fileName), layout)) return 0;
    return static_cast<int32_t>(layout.ID3v1Size() + layout.LyricsSize);
}

} // namespace audiolens
