#include "tags/TagVorbis.h"

#include "core/ByteWriter.h"
#include "core/Convert.h"
#include "core/FileRewrite.h"
#include "core/Text.h"
#include "tags/ID3v2Layout.h"

#include <algorithm>
#include <set>
#include <string_view>

namespace audiolens {

namespace {

using namespace std::string_view_literals;

// The comment name of each field id; empty for ids a Vorbis comment does not carry.
const char* const FieldNames[TagFieldCount] = {
    "TRACKNUMBER", "TITLE", "ARTIST",    "ALBUM",   "DATE",        "COMMENT",  "GENRE",
    "COMPOSER",    "",      "COPYRIGHT", "CONTACT", "DESCRIPTION", "LANGUAGE", "",
    "PERFORMER",   "",      "",          "",        "VERSION"};

// The names older writers use where the field's own name is absent: AUTHOR for the composer,
// DESCRIPTION (ffmpeg's name) for the comment.
const char* FallbackName(int id) {
    return id == tfComposer ? "AUTHOR" : id == tfComment ? "DESCRIPTION" : "";
}

constexpr std::string_view VorbisIdMagic = "\x01vorbis"sv;
constexpr std::string_view VorbisCommentMagic = "\x03vorbis"sv;
constexpr std::string_view SpeexMagic = "Speex   "sv;
constexpr std::string_view OpusIdMagic = "OpusHead"sv;
constexpr std::string_view OpusCommentMagic = "OpusTags"sv;
constexpr std::string_view OggFlacMagic = "\x7F"
                                          "FLAC"sv;
constexpr uint32_t OggFlacHeaderSize = 4; // the FLAC block header in front of the comments
// New file content is handed to the file layer in pieces of this size.
constexpr size_t WriteChunk = 1u << 20;

// Where the comment block of a file lies.
struct TLocation {
    TVorbisContainer Container = vcNone;
    bool Found = false;
    std::string Block; // as stored: the Ogg packet with its signature, or the FLAC block data
    uint64_t Start = 0, End = 0;
    TFlacMetadata Flac;
    TOggStream Ogg;
};

TVorbisContainer OggContainer(std::string_view id) {
    if (id.substr(0, VorbisIdMagic.size()) == VorbisIdMagic) return vcOggVorbis;
    if (id.substr(0, SpeexMagic.size()) == SpeexMagic) return vcOggSpeex;
    if (id.substr(0, OpusIdMagic.size()) == OpusIdMagic) return vcOggOpus;
    if (id.substr(0, OggFlacMagic.size()) == OggFlacMagic) return vcOggFLAC;
    return vcNone;
}

// False when the file is neither FLAC nor an Ogg stream of a kind that carries comments.
bool Locate(const TFileView& file, TLocation& loc) {
    loc = TLocation();
    uint64_t start = 0;
    if (!SkipID3v2Tags(file, start)) return false;
    std::string scratch;
    const TByteView head = file.Bytes(start, 4, scratch);
    if (head.Matches(0, "fLaC")) {
        loc.Container = vcFLAC;
        ReadFlacMetadata(file, start, loc.Flac);
        const int index = loc.Flac.Find(FlacVorbisComment);
        if (index < 0) return true;
        const TFlacBlock& block = loc.Flac.Blocks[static_cast<size_t>(index)];
        if (block.End() > file.Size()) return true; // cut by the end of the file
        loc.Found = true;
        loc.Start = block.Offset;
        loc.End = block.End();
        loc.Block = file.Read(block.DataOffset(), block.Length);
        return true;
    }
    if (!head.Matches(0, "OggS") || !ReadOggPackets(file, start, 2, loc.Ogg) ||
        loc.Ogg.Packets.empty())
        return false;
    loc.Container = OggContainer(loc.Ogg.Packets[0].Bytes);
    if (loc.Container == vcNone) return false;
    if (loc.Ogg.Packets.size() < 2) return true;
    const TOggPacket& comment = loc.Ogg.Packets[1];
    loc.Found = true;
    loc.Start = comment.Pages.front();
    loc.End = comment.End;
    loc.Block = comment.Bytes;
    return true;
}

// Gathers the new file in memory up to a chunk at a time; the first failed write ends it.
class TOutput {
  public:
    explicit TOutput(TFileStream& stream) : Stream(stream) {}
    void Put(std::string_view bytes) {
        Buffer.append(bytes);
        if (Buffer.size() >= WriteChunk) Flush();
    }
    void Copy(const TFileView& file, uint64_t at, uint64_t count) {
        while (Ok && count > 0) {
            const size_t n = static_cast<size_t>(std::min<uint64_t>(count, WriteChunk));
            const std::string bytes = file.Read(at, n);
            if (bytes.size() != n) Ok = false;
            Put(bytes);
            at += n;
            count -= n;
        }
    }
    bool Flush() {
        Ok = Ok && WriteAll(Stream, Buffer);
        Buffer.clear();
        return Ok;
    }

  private:
    TFileStream& Stream;
    std::string Buffer;
    bool Ok = true;
};

std::string Lacing(size_t packetSize) {
    std::string lacing(packetSize / 255, '\xFF');
    lacing += static_cast<char>(packetSize % 255);
    return lacing;
}

uint64_t LacingSum(std::string_view lacing) {
    uint64_t sum = 0;
    for (unsigned char v : lacing)
        sum += v;
    return sum;
}

// The new FLAC metadata: the blocks in their order with the comment block replaced (or put
// after STREAMINFO), and the size difference taken from or given to a PADDING block that ends
// the metadata, so the audio stays where it was whenever the padding allows, as metaflac does.
struct TOutBlock {
    uint8_t Type = 0;
    uint64_t From = 0; // where the original data lies, when Data is not used
    uint32_t Length = 0;
    bool Own = false; // Data holds the new content
    std::string Data;
};

// A null body removes the comment block.
bool PlanFlacBlocks(const TLocation& loc, const std::string* body, std::vector<TOutBlock>& out) {
    const int index = loc.Flac.Find(FlacVorbisComment);
    for (const TFlacBlock& b : loc.Flac.Blocks)
        out.push_back({b.Type, b.DataOffset(), b.Length, false, {}});
    int64_t delta = 0;
    if (!body) {
        if (index < 0) return false;
        delta = -int64_t{FlacBlockHeaderSize} - loc.Flac.Blocks[static_cast<size_t>(index)].Length;
        out.erase(out.begin() + index);
    } else if (index >= 0) {
        delta =
            static_cast<int64_t>(body->size()) - loc.Flac.Blocks[static_cast<size_t>(index)].Length;
        out[static_cast<size_t>(index)] = {FlacVorbisComment, 0,
                                           static_cast<uint32_t>(body->size()), true, *body};
    } else {
        if (out.empty()) return false;
        out.insert(out.begin() + 1,
                   {FlacVorbisComment, 0, static_cast<uint32_t>(body->size()), true, *body});
        delta = static_cast<int64_t>(body->size()) + FlacBlockHeaderSize;
    }
    TOutBlock& last = out.back();
    const bool padded = last.Type == FlacPadding && !last.Own && out.size() > 1;
    if (padded && delta < 0 && last.Length - delta <= FlacMaxBlockLength) {
        last = {FlacPadding, 0, static_cast<uint32_t>(last.Length - delta), true, {}};
    } else if (padded && delta > 0 && delta <= last.Length) {
        last = {FlacPadding, 0, static_cast<uint32_t>(last.Length - delta), true, {}};
    } else if (padded && delta == int64_t{last.Length} + FlacBlockHeaderSize) {
        out.pop_back();
    } else if (delta <= -int64_t{FlacBlockHeaderSize}) {
        const auto length = static_cast<uint32_t>(-delta - FlacBlockHeaderSize);
        if (length <= FlacMaxBlockLength) out.push_back({FlacPadding, 0, length, true, {}});
    }
    for (TOutBlock& b : out)
        if (b.Own && b.Type == FlacPadding) b.Data.assign(b.Length, '\0');
    return true;
}

bool WriteFlac(const std::string& fileName, const TFileView& file, const TLocation& loc,
               const std::string* body) {
    // A metadata walk that did not end at a last-block flag gives no safe place for the audio.
    if (!loc.Flac.Complete || (body && body->size() > FlacMaxBlockLength)) return false;
    std::vector<TOutBlock> blocks;
    if (!PlanFlacBlocks(loc, body, blocks)) return false;
    return RebuildFile(fileName, [&](TFileStream&, TFileStream& rebuilt) {
        TOutput out(rebuilt);
        out.Copy(file, 0, loc.Flac.Start + 4);
        for (size_t i = 0; i < blocks.size(); ++i) {
            const TOutBlock& b = blocks[i];
            std::string header = PutBE32(b.Length);
            header[0] = static_cast<char>(b.Type | (i + 1 == blocks.size() ? FlacLastBlock : 0));
            out.Put(header);
            if (b.Own)
                out.Put(b.Data);
            else
                out.Copy(file, b.From, b.Length);
        }
        out.Copy(file, loc.Flac.End, file.Size() - loc.Flac.End);
        return out.Flush();
    });
}

// The pages that carried the comment packet are replaced by as many pages as the new packet
// needs, with the segments that shared their first and last page kept around it; every later
// page of the stream is renumbered and its checksum worked out again.
bool WriteOgg(const std::string& fileName, const TFileView& file, const TLocation& loc,
              const std::string& packet) {
    const TOggPacket& old = loc.Ogg.Packets[1];
    TOggPage first, last;
    if (!old.Complete || !ReadOggPage(file, old.Pages.front(), first) ||
        !ReadOggPage(file, old.Pages.back(), last))
        return false;
    const std::string prefixLacing = first.Lacing.substr(0, old.FirstSegment);
    const std::string suffixLacing = last.Lacing.substr(old.LastSegment + 1);
    const uint64_t prefixSize = LacingSum(prefixLacing), suffixSize = LacingSum(suffixLacing);
    const std::string prefix = file.Read(first.DataOffset(), prefixSize);
    const std::string suffix = file.Read(old.End, suffixSize);
    if (prefix.size() != prefixSize || suffix.size() != suffixSize) return false;
    const std::string lacing = prefixLacing + Lacing(packet.size()) + suffixLacing;
    const std::string data = prefix + packet + suffix;

    // Pages of up to 255 segments; a page on which no packet ends has granule position -1.
    std::vector<std::pair<size_t, size_t>> spans; // first segment, segment count
    for (size_t at = 0; at < lacing.size(); at += OggMaxSegments)
        spans.emplace_back(at, std::min<size_t>(OggMaxSegments, lacing.size() - at));
    auto ends = [&](size_t k) {
        const std::string_view seg(lacing.data() + spans[k].first, spans[k].second);
        return std::any_of(seg.begin(), seg.end(), [](char v) { return v != '\xFF'; });
    };
    size_t lastEnding = 0;
    for (size_t k = 0; k < spans.size(); ++k)
        if (ends(k)) lastEnding = k;
    std::string pages;
    uint64_t dataAt = 0;
    for (size_t k = 0; k < spans.size(); ++k) {
        const std::string_view seg(lacing.data() + spans[k].first, spans[k].second);
        const uint64_t size = LacingSum(seg);
        uint8_t flags = k == 0 ? first.Flags & (OggContinued | OggFirstPage)
                               : (lacing[spans[k].first - 1] == '\xFF' ? OggContinued : 0);
        if (k + 1 == spans.size()) flags |= last.Flags & OggLastPage;
        const int64_t granule = !ends(k)          ? -1
                                : k == lastEnding ? last.Granule
                                                  : std::max<int64_t>(first.Granule, 0);
        pages +=
            BuildOggPage(flags, granule, first.Serial, first.Sequence + static_cast<uint32_t>(k),
                         seg, std::string_view(data).substr(dataAt, size));
        dataAt += size;
    }
    const auto delta = static_cast<uint32_t>(spans.size() - old.Pages.size());
    const std::set<uint64_t> replaced(old.Pages.begin(), old.Pages.end());

    return RebuildFile(fileName, [&](TFileStream&, TFileStream& rebuilt) {
        TOutput out(rebuilt);
        out.Copy(file, 0, first.Offset);
        out.Put(pages);
        uint64_t at = first.Offset;
        bool renumber = delta != 0;
        TOggPage page;
        while (ReadOggPage(file, at, page) && page.End() <= file.Size()) {
            const bool ours = page.Serial == first.Serial;
            if (ours && replaced.count(at)) {
                at = page.End();
                continue;
            }
            if (ours && (page.Flags & OggFirstPage)) renumber = false; // the next chained stream
            if (at > last.Offset && !renumber) break; // the rest is copied as it is
            std::string bytes = file.Read(at, static_cast<size_t>(page.End() - at));
            if (ours && renumber) RenumberOggPage(bytes, page.Sequence + delta);
            out.Put(bytes);
            at = page.End();
        }
        out.Copy(file, at, file.Size() - at);
        return out.Flush();
    });
}

} // namespace

TTagVorbis::TTagVorbis()
    : TTagBase(tkVorbis, FieldRange(0, 7) | FieldRange(9, 12) | FieldBit(tfOriginalArtist) |
                             FieldBit(tfVersion)) {}

void TTagVorbis::Reset() {
    TTagBase::Reset();
    Vendor.clear();
    StoredVendor.clear();
    ZeroComments.clear();
    OpusTrailer.clear();
    OggFlacHeader = FlacVorbisComment;
    Container = vcNone;
    BlockStart = BlockEnd = 0;
}

std::string TTagVorbis::GetName(int32_t i) const {
    const std::string item = Items->Get(i);
    return item.substr(0, item.find('='));
}

std::string TTagVorbis::GetValue(int32_t i) const {
    const std::string item = Items->Get(i);
    const size_t eq = item.find('=');
    return Utf8ToSystem(eq == std::string::npos ? item : item.substr(eq + 1));
}

int32_t TTagVorbis::FindIndex(const std::string& name) const {
    const std::string wanted = AnsiUpperCase(name);
    for (int32_t i = 0; i < Count(); ++i)
        if (AnsiUpperCase(GetName(i)) == wanted) return i;
    return -1;
}

std::string TTagVorbis::GetFieldByName(const std::string& name) const {
    const int32_t i = FindIndex(name);
    return i < 0 ? std::string() : GetValue(i);
}

void TTagVorbis::SetValue(int32_t i, const std::string& value) {
    if (i < 0 || i >= Count()) return;
    if (value.empty()) {
        Items->Delete(i);
        return;
    }
    const std::string item = Items->Get(i);
    const size_t eq = item.find('=');
    // The system code page is UTF-8: the value is stored as it is.
    Items->Put(i, eq == std::string::npos ? value : item.substr(0, eq + 1) + value);
}

void TTagVorbis::SetFieldByName(const std::string& name, const std::string& value) {
    if (name.empty()) return;
    const int32_t i = FindIndex(name);
    if (i >= 0)
        SetValue(i, value);
    else if (!value.empty())
        Items->Add(AnsiUpperCase(name) + "=" + value);
}

std::string TTagVorbis::GetField(int id) const {
    if (id < 0 || id >= TagFieldCount || !*FieldNames[id]) return {};
    std::string value = GetFieldByName(FieldNames[id]);
    if (value.empty() && *FallbackName(id)) value = GetFieldByName(FallbackName(id));
    return value;
}

void TTagVorbis::SetField(int id, const std::string& value) {
    if (id >= 0 && id < TagFieldCount) SetFieldByName(FieldNames[id], value);
}

bool TTagVorbis::Parse(const std::string& block) {
    Items->Clear();
    ZeroComments.clear();
    OpusTrailer.clear();
    std::string_view body(block);
    switch (Container) {
    case vcOggVorbis:
        if (body.substr(0, VorbisCommentMagic.size()) != VorbisCommentMagic) return false;
        body.remove_prefix(VorbisCommentMagic.size());
        break;
    case vcOggOpus:
        if (body.substr(0, OpusCommentMagic.size()) != OpusCommentMagic) return false;
        body.remove_prefix(OpusCommentMagic.size());
        break;
    case vcOggFLAC: {
        const TByteView header(body);
        if (!header.Has(0, OggFlacHeaderSize) || (header.U8(0) & 0x7F) != FlacVorbisComment)
            return false;
        OggFlacHeader = header.U8(0);
        body = body.substr(OggFlacHeaderSize, header.U24BE(1));
        break;
    }
    default:
        break;
    }
    const TByteView v(body);
    const uint32_t vendorLength = v.U32LE(0);
    if (!v.Has(4, vendorLength)) return false;
    StoredVendor = v.Text(4, vendorLength);
    Vendor = Utf8ToSystem(StoredVendor);
    uint64_t at = 4 + uint64_t{vendorLength};
    if (!v.Has(at, 4)) return false;
    const uint32_t count = v.U32LE(at);
    at += 4;
    // Each comment takes at least its 4 length bytes, so a huge count ends with the bytes.
    for (uint32_t i = 0; i < count; ++i) {
        if (!v.Has(at, 4)) return false;
        const uint32_t length = v.U32LE(at);
        at += 4;
        const std::string comment = v.Text(at, length);
        Items->Add(comment);
        if (comment.find('\0') != std::string::npos) ZeroComments.push_back(comment);
        if (!v.Has(at, length)) return false;
        at += length;
    }
    if (Container == vcOggOpus) OpusTrailer = v.Text(at, v.Size() - at);
    return true;
}

std::string TTagVorbis::BuildBlock() const {
    const std::string vendor = Vendor == Utf8ToSystem(StoredVendor) ? StoredVendor : Vendor;
    std::string comments;
    uint32_t count = 0;
    std::vector<bool> used(ZeroComments.size());
    for (int32_t i = 0; i < Count(); ++i) {
        std::string item = Items->Get(i);
        if (item.empty()) continue;
        // An item the list cut at a zero byte and nobody changed goes back whole.
        for (size_t z = 0; z < ZeroComments.size(); ++z)
            if (!used[z] && ZeroComments[z].compare(0, ZeroComments[z].find('\0'), item) == 0) {
                used[z] = true;
                item = ZeroComments[z];
                break;
            }
        comments += PutLE32(static_cast<uint32_t>(item.size())) + item;
        ++count;
    }
    std::string body =
        PutLE32(static_cast<uint32_t>(vendor.size())) + vendor + PutLE32(count) + comments;
    switch (Container) {
    case vcOggVorbis:
        return std::string(VorbisCommentMagic) + body + '\x01';
    case vcOggSpeex:
        return body + '\x01';
    case vcOggOpus:
        return std::string(OpusCommentMagic) + body + OpusTrailer;
    case vcOggFLAC: {
        std::string header = PutBE32(static_cast<uint32_t>(body.size()));
        header[0] = static_cast<char>(OggFlacHeader);
        return header + body;
    }
    default:
        return body;
    }
}

bool TTagVorbis::DoRead(const TFileView& file) {
    Reset();
    TLocation loc;
    if (!Locate(file, loc)) return false;
    Container = loc.Container;
    if (!loc.Found) return true;
    BlockStart = loc.Start;
    BlockEnd = loc.End;
    if (Container != vcFLAC) Size = static_cast<int32_t>(std::min<uint64_t>(BlockEnd, INT32_MAX));
    Valid = Parse(loc.Block);
    return true;
}

bool TTagVorbis::Write(const std::string& fileName, bool remove) {
    if (!CanModifyFile(fileName)) return false;
    const TFileViewRef file = TFileView::Open(fileName);
    // The file layer's positions are 32-bit.
    if (!file->IsOpen() || file->Size() > UINT32_MAX) return false;
    TLocation loc;
    if (!Locate(*file, loc)) return false;
    Container = loc.Container;
    if (loc.Found && loc.Container == vcOggFLAC) {
        // The second packet must be the comment block; any other block is not replaced.
        if (loc.Block.empty() || (loc.Block[0] & 0x7F) != FlacVorbisComment) return false;
        OggFlacHeader = static_cast<uint8_t>(loc.Block[0]);
    }
    if (Vendor.empty() && loc.Found) {
        // No vendor set (nothing was read, or Remove): the file's own stays, and so do the
        // bytes an Opus packet carries after its comments unless they are being removed.
        TRef<TTagVorbis> stored(new TTagVorbis);
        stored->Container = loc.Container;
        stored->Parse(loc.Block);
        StoredVendor = stored->StoredVendor;
        Vendor = stored->Vendor;
        if (!remove && OpusTrailer.empty()) OpusTrailer = stored->OpusTrailer;
    }
    const std::string block = BuildBlock();
    // FLAC keeps no block for removed comments; an Ogg stream needs its comment packet.
    if (loc.Container == vcFLAC) return WriteFlac(fileName, *file, loc, remove ? nullptr : &block);
    // Every Ogg stream of these kinds carries a comment packet; without one there is no place.
    if (!loc.Found) return false;
    if (loc.Container == vcOggFLAC && block.size() - OggFlacHeaderSize > FlacMaxBlockLength)
        return false;
    return WriteOgg(fileName, *file, loc, block);
}

bool TTagVorbis::DoSave(const std::string& fileName) {
    return Write(fileName, false);
}

bool TTagVorbis::DoRemove(const std::string& fileName) {
    {
        const TFileViewRef file = TFileView::Open(fileName);
        TLocation loc;
        if (!Locate(*file, loc)) return false;
        if (!loc.Found) return true; // no comment block: nothing to remove, nothing changed
    }
    Reset();
    Items->Clear();
    return Write(fileName, true);
}

TTagBase* CreateTagVorbis() {
    return new TTagVorbis;
}

} // namespace audiolens
