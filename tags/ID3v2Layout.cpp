#include "tags/ID3v2Layout.h"

#include "core/ByteWriter.h"

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
void MakePlain(TID3v2RawFrame& frame, uint8_t major, bool tagUnsynchronised, TID3v2Walk& walk) {
    const uint16_t flags = frame.Flags;
    if (major == 3) {
        frame.Opaque = (flags & (V3Compressed | V3Encrypted)) != 0;
        if (!frame.Opaque && (flags & V3Grouped)) DropFront(frame.Data, 1);
    } else if (major == 4) {
        frame.Opaque = (flags & (V4Compressed | V4Encrypted)) != 0;
        if (flags & V4Unsynchronised) walk.Rewritable = false;
        if (!frame.Opaque) {
            if (flags & V4Grouped) DropFront(frame.Data, 1);
            if (flags & V4DataLength) DropFront(frame.Data, 4);
            if ((flags & V4Unsynchronised) || tagUnsynchronised)
                frame.Data = Resynchronise(TByteView(frame.Data));
        }
    }
    if (frame.Opaque) walk.Rewritable = false;
}

// Where the frames begin after an extended header; false when that header does not fit.
bool SkipExtendedHeader(const TByteView& body, uint8_t major, uint64_t& pos) {
    if (!body.Has(0, 4)) return false;
    uint64_t size = 0;
    if (major == 3) {
        size = uint64_t{4} + body.U32BE(0); // the size field does not count itself
    } else {
        size = SyncSafe32(body.U32BE(0)); // 2.4 counts the whole extended header
        if (size < V4MinExtendedSize) return false;
    }
    if (size > body.Size()) return false;
    pos = size;
    return true;
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

void WalkID3v2Frames(const TByteView& tag, const TID3v2Header& header, TID3v2Walk& walk) {
    walk = TID3v2Walk();
    const uint8_t major = header.Major;
    if (!header.Present || header.TagSize == 0 || major < 2 || major > 4) return;
    if (major == 2 && (header.Flags & ID3v22Compressed)) {
        walk.Rewritable = false; // no compression scheme was ever defined: nothing to read
        return;
    }
    const bool unsynchronised = (header.Flags & ID3v2Unsynchronised) != 0;
    if (unsynchronised) walk.Rewritable = false;
    TByteView body = tag.Sub(ID3v2HeaderSize, header.BodySize);
    // Before 2.4 unsynchronisation covers the whole tag, frame headers included.
    std::string resynchronised;
    if (unsynchronised && major < 4) {
        resynchronised = Resynchronise(body);
        body = TByteView(resynchronised);
    }
    uint64_t pos = 0;
    if (major >= 3 && (header.Flags & ID3v2Extended) && !SkipExtendedHeader(body, major, pos))
        return;
    const uint64_t headerSize = major == 2 ? 6 : 10, idSize = major == 2 ? 3 : 4;
    while (body.Has(pos, headerSize)) {
        const uint8_t first = body.U8(pos);
        if (first < 'A' || first > 'Z') break; // padding
        TID3v2RawFrame frame;
        frame.Id = body.Text(pos, idSize);
        uint32_t size = 0;
        if (major == 2) {
            size = body.U24BE(pos + 3);
        } else {
            size = major == 4 ? SyncSafe32(body.U32BE(pos + 4)) : body.U32BE(pos + 4);
            frame.Flags = body.U16BE(pos + 8);
        }
        pos += headerSize;
        if (size == 0 || !body.Has(pos, size)) break;
        frame.Data = body.Text(pos, size);
        pos += size;
        MakePlain(frame, major, unsynchronised, walk);
        walk.Frames.push_back(std::move(frame));
    }
}

uint64_t ID3v2TagSizeOf(const std::vector<TID3v2OutFrame>& frames) {
    uint64_t size = ID3v2HeaderSize;
    for (const TID3v2OutFrame& frame : frames)
        if (!frame.Data.empty()) size += 10 + frame.Data.size();
    return size;
}

std::string BuildID3v2Tag(const std::vector<TID3v2OutFrame>& frames, uint32_t padding) {
    const uint64_t body = ID3v2TagSizeOf(frames) - ID3v2HeaderSize + padding;
    if (body > ID3v2MaxBodySize) return {};
    std::string tag("ID3\x03\x00\x00", 6);
    tag += PutSyncSafe32(static_cast<uint32_t>(body));
    for (const TID3v2OutFrame& frame : frames) {
        if (frame.Data.empty()) continue;
        std::string id = frame.Id;
        id.resize(4, ' ');
        tag += id + PutBE32(static_cast<uint32_t>(frame.Data.size())) + std::string(2, '\0') +
               frame.Data;
    }
    tag.append(padding, '\0');
    return tag;
}

} // namespace audiolens
