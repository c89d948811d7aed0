#include "tags/ID3v2Layout.h"

#include "core/ByteWriter.h"
#include "core/RegionReader.h"

#include <algorithm>

namespace audiolens {

namespace {

// 2.3 frame flags (second byte).
constexpr uint16_t V3Compressed = 0x0080, V3Encrypted = 0x0040, V3Grouped = 0x0020;
// 2.4 frame format flags.
constexpr uint16_t V4Grouped = 0x0040, V4Compressed = 0x0008, V4Encrypted = 0x0004,
                   V4Unsynchronised = 0x0002, V4DataLength = 0x0001;
constexpr uint32_t V4MinExtendedSize = 6;

// Undoes unsynchronisation: every FF 00 pair stands for a single FF.
std::string Resynchronise(const TByteView& bytes) {
    std::string out;
    out.reserve(bytes.Size());
    for (size_t i = 0; i < bytes.Size(); ++i) {
        out += static_cast<char>(bytes.U8(i));
        if (bytes.U8(i) == 0xFF && i + 1 < bytes.Size() && bytes.U8(i + 1) == 0) ++i;
    }
    return out;
}

void DropFront(std::string& data, size_t n) {
    data.erase(0, std::min(n, data.size()));
}

// Takes the extra bytes of the frame header off the data, or marks data that cannot be read.
void MakePlain(TID3v2RawFrame& frame, uint8_t major, bool tagUnsynchronised) {
    const uint16_t flags = frame.Flags;
    if (major == 3) {
        frame.Opaque = (flags & (V3Compressed | V3Encrypted)) != 0;
        if (!frame.Opaque && (flags & V3Grouped)) DropFront(frame.Data, 1);
    } else if (major == 4) {
        frame.Opaque = (flags & (V4Compressed | V4Encrypted)) != 0;
        if (!frame.Opaque) {
            if (flags & V4Grouped) DropFront(frame.Data, 1);
            if (flags & V4DataLength) DropFront(frame.Data, 4);
            if ((flags & V4Unsynchronised) || tagUnsynchronised)
                frame.Data = Resynchronise(TByteView(frame.Data));
        }
    }
}

} // namespace

bool ParseID3v2Header(const TByteView& bytes, uint64_t fileSize, TID3v2Header& header) {
    header = TID3v2Header();
    if (!bytes.Has(0, ID3v2HeaderSize)) return false;
    header.Present = bytes.Matches(0, "ID3");
    header.Major = bytes.U8(3);
    header.Revision = bytes.U8(4);
    header.Flags = bytes.U8(5);
    // The bytes are taken whole, as the size is only ever bounded by the file below.
    header.BodySize = uint32_t{bytes.U8(6)} << 21 | uint32_t{bytes.U8(7)} << 14 |
                      uint32_t{bytes.U8(8)} << 7 | bytes.U8(9);
    const uint64_t size = uint64_t{ID3v2HeaderSize} + header.BodySize +
                          ((header.Flags & ID3v2Footer) ? ID3v2FooterSize : 0);
    if (header.Present && size <= fileSize) header.TagSize = static_cast<uint32_t>(size);
    return true;
}

bool SkipID3v2Tags(const TFileView& file, uint64_t& start) {
    start = 0;
    // Each tag is at least 10 bytes, so the loop ends; the bound only limits hostile files.
    for (int n = 0; n < 64; ++n) {
        std::string scratch;
        TID3v2Header header;
        const TByteView bytes = file.Bytes(start, ID3v2HeaderSize, scratch);
        if (!ParseID3v2Header(bytes, file.Size() - start, header) || !header.Present) return true;
        if (header.TagSize == 0) return false;
        start += header.TagSize;
    }
    return true;
}

namespace {

// Frames a report may need are read whatever their size: text, comments, lyrics, links.
bool ReportNeeds(const std::string& id) {
    return !id.empty() && (id[0] == 'T' || id[0] == 'W' || id == "COMM" || id == "USLT" ||
                           id == "COM" || id == "ULT");
}

bool Walkable(const TID3v2Header& header, TID3v2Walk& walk) {
    walk = TID3v2Walk();
    const uint8_t major = header.Major;
    if (!header.Present || header.TagSize == 0 || major < 2 || major > 4) return false;
    if (major == 2 && (header.Flags & ID3v22Compressed)) {
        walk.Rewritable = false; // no compression scheme was ever defined: nothing to read
        return false;
    }
    if (header.Flags & ID3v2Unsynchronised) walk.Rewritable = false;
    return true;
}

// The walk over frames whose bytes get(offset, count) gives; offsets count from the body.
template <class TGet>
void WalkBody(TGet&& get, uint64_t bodySize, uint64_t bodyOffset, const TID3v2Header& header,
              TID3v2Walk& walk) {
    const uint8_t major = header.Major;
    const bool unsynchronised = (header.Flags & ID3v2Unsynchronised) != 0;
    uint64_t pos = 0;
    if (major >= 3 && (header.Flags & ID3v2Extended)) {
        const TByteView first = get(0, 4);
        if (first.Size() < 4) return;
        uint64_t size = major == 3 ? uint64_t{4} + first.U32BE(0) : SyncSafe32(first.U32BE(0));
        if ((major == 4 && size < V4MinExtendedSize) || size > bodySize) return;
        pos = size;
    }
    const uint64_t headerSize = major == 2 ? 6 : 10, idSize = major == 2 ? 3 : 4;
    while (pos + headerSize <= bodySize) {
        const TByteView head = get(pos, headerSize);
        if (head.Size() < headerSize) break;
        const uint8_t first = head.U8(0);
        if (first < 'A' || first > 'Z') break; // padding
        TID3v2RawFrame frame;
        frame.Id = head.Text(0, idSize);
        uint32_t size = 0;
        if (major == 2) {
            size = head.U24BE(3);
        } else {
            size = major == 4 ? SyncSafe32(head.U32BE(4)) : head.U32BE(4);
            frame.Flags = head.U16BE(8);
        }
        pos += headerSize;
        if (size == 0 || size > bodySize - pos) break;
        frame.StoredOffset = bodyOffset + pos;
        frame.StoredSize = size;
        frame.Held = major == 2 || size <= ID3v2HeldFrame || ReportNeeds(frame.Id);
        if (frame.Held) {
            const TByteView data = get(pos, size);
            if (data.Size() != size) break;
            frame.Data = data.Text(0, size);
            const bool mayChange = frame.Flags != 0 || unsynchronised;
            const std::string stored = mayChange ? frame.Data : std::string();
            MakePlain(frame, major, unsynchronised);
            frame.DataIsStored = !mayChange || frame.Data == stored;
        } else {
            frame.DataIsStored = false;
            frame.Opaque = true; // its text is never asked for
        }
        pos += size;
        walk.Frames.push_back(std::move(frame));
    }
}

} // namespace

void WalkID3v2Frames(const TByteView& tag, const TID3v2Header& header, TID3v2Walk& walk) {
    if (!Walkable(header, walk)) return;
    TByteView body = tag.Sub(ID3v2HeaderSize, header.BodySize);
    // Before 2.4 unsynchronisation covers the whole tag, frame headers included.
    std::string resynchronised;
    if ((header.Flags & ID3v2Unsynchronised) && header.Major < 4) {
        resynchronised = Resynchronise(body);
        body = TByteView(resynchronised);
    }
    WalkBody([&](uint64_t at, uint64_t count) { return body.Sub(at, count); }, body.Size(),
             ID3v2HeaderSize, header, walk);
}

void WalkID3v2Frames(const TFileView& file, const TID3v2Header& header, TID3v2Walk& walk) {
    if (!Walkable(header, walk)) return;
    if ((header.Flags & ID3v2Unsynchronised) && header.Major < 4) {
        // The frames can only be found once the whole tag is resynchronised.
        const std::string tag = file.Read(0, header.TagSize);
        WalkID3v2Frames(TByteView(tag), header, walk);
        walk.ReadError = tag.size() != header.TagSize;
        return;
    }
    const uint64_t bodyEnd =
        std::min<uint64_t>(ID3v2HeaderSize + uint64_t{header.BodySize}, file.Size());
    TRegionReader reader(file, bodyEnd);
    WalkBody(
        [&](uint64_t at, uint64_t count) {
            return reader.Get(ID3v2HeaderSize + at, static_cast<size_t>(count));
        },
        bodyEnd - ID3v2HeaderSize, ID3v2HeaderSize, header, walk);
    walk.ReadError = reader.Failed;
}

uint64_t ID3v2TagSizeOf(const std::vector<TID3v2OutFrame>& frames) {
    uint64_t size = ID3v2HeaderSize;
    for (const TID3v2OutFrame& frame : frames)
        size += 10 + (frame.FromFile ? frame.Size : frame.Data.size());
    return size;
}

std::vector<TTailPiece> BuildID3v2Tag(const std::vector<TID3v2OutFrame>& frames, uint8_t major,
                                      uint32_t padding) {
    const uint64_t body = ID3v2TagSizeOf(frames) - ID3v2HeaderSize + padding;
    if (body > ID3v2MaxBodySize) return {};
    std::vector<TTailPiece> pieces(1);
    std::string& bytes = pieces.back().Bytes;
    bytes = std::string("ID3") + static_cast<char>(major) + std::string(2, '\0');
    bytes += PutSyncSafe32(static_cast<uint32_t>(body));
    for (const TID3v2OutFrame& frame : frames) {
        const uint64_t size = frame.FromFile ? frame.Size : frame.Data.size();
        std::string id = frame.Id;
        id.resize(4, ' ');
        const auto size32 = static_cast<uint32_t>(size);
        std::string header = id + (major == 4 ? PutSyncSafe32(size32) : PutBE32(size32));
        header += static_cast<char>(frame.Flags >> 8);
        header += static_cast<char>(frame.Flags & 0xFF);
        if (frame.FromFile) {
            pieces.back().Bytes += header;
            pieces.push_back({std::string(), frame.Offset, frame.Size});
            pieces.push_back({});
        } else {
            pieces.back().Bytes += header + frame.Data;
        }
    }
    pieces.back().Bytes.append(padding, '\0');
    return pieces;
}

} // namespace audiolens
