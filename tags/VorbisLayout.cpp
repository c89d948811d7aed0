#include "tags/VorbisLayout.h"

#include "core/ByteWriter.h"

#include <algorithm>
#include <array>

namespace audiolens {

namespace {

// Real files carry a handful of metadata blocks; the bound only limits hostile ones.
constexpr size_t MaxFlacBlocks = 65536;
// The backward search for the last page reads the file in windows of this size.
constexpr uint64_t SearchWindow = 65536;

const std::array<uint32_t, 256>& CrcTable() {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t r = i << 24;
            for (int bit = 0; bit < 8; ++bit)
                r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
            t[i] = r;
        }
        return t;
    }();
    return table;
}

} // namespace

int TFlacMetadata::Find(uint8_t type) const {
    for (size_t i = 0; i < Blocks.size(); ++i)
        if (Blocks[i].Type == type) return static_cast<int>(i);
    return -1;
}

bool ReadFlacMetadata(const TFileView& file, uint64_t start, TFlacMetadata& meta) {
    meta = TFlacMetadata();
    meta.Start = start;
    std::string scratch;
    if (!file.Bytes(start, 4, scratch).Matches(0, "fLaC")) return false;
    const uint64_t size = file.Size();
    uint64_t at = start + 4;
    while (at + FlacBlockHeaderSize <= size && meta.Blocks.size() < MaxFlacBlocks) {
        const TByteView header = file.Bytes(at, FlacBlockHeaderSize, scratch);
        TFlacBlock block;
        block.Offset = at;
        block.Type = header.U8(0) & 0x7F;
        block.Last = (header.U8(0) & FlacLastBlock) != 0;
        block.Length = header.U24BE(1);
        meta.Blocks.push_back(block);
        at = block.End();
        if (at > size) break; // a block cut by the end of the file
        if (block.Last) {
            meta.Complete = true;
            break;
        }
    }
    meta.End = std::min(at, size);
    return true;
}

bool ParseFlacStreamInfo(const TByteView& data, TFlacStreamInfo& info) {
    info = TFlacStreamInfo();
    if (!data.Has(0, FlacStreamInfoSize)) return false;
    // Byte 12 holds the rate's low nibble, then channels - 1 in bits 3..1 and the top bit of
    // bits per sample - 1 in bit 0, counted from the least significant bit.
    const uint8_t b12 = data.U8(12), b13 = data.U8(13);
    info.SampleRate = (uint32_t{data.U8(10)} << 12) | (uint32_t{data.U8(11)} << 4) | (b12 >> 4);
    info.Channels = static_cast<uint16_t>(((b12 >> 1) & 7) + 1);
    info.BitsPerSample = static_cast<uint16_t>((((b12 & 1) << 4) | (b13 >> 4)) + 1);
    info.Samples = (uint64_t{b13 & 0x0Fu} << 32) | data.U32BE(14);
    return true;
}

bool ParseOggPage(const TByteView& bytes, uint64_t at, TOggPage& page) {
    if (!bytes.Matches(0, "OggS") || !bytes.Has(0, OggHeaderSize) || bytes.U8(4) != 0) return false;
    const uint8_t segments = bytes.U8(26);
    if (!bytes.Has(OggHeaderSize, segments)) return false;
    page.Offset = at;
    page.Flags = bytes.U8(5);
    page.Granule = static_cast<int64_t>(bytes.U64LE(6));
    page.Serial = bytes.U32LE(14);
    page.Sequence = bytes.U32LE(18);
    page.Lacing = bytes.Text(OggHeaderSize, segments);
    page.DataSize = 0;
    for (unsigned char v : page.Lacing)
        page.DataSize += v;
    return true;
}

bool ReadOggPage(const TFileView& file, uint64_t at, TOggPage& page) {
    std::string scratch;
    return ParseOggPage(file.Bytes(at, OggHeaderSize + OggMaxSegments, scratch), at, page);
}

uint32_t OggCrc(std::string_view bytes, uint32_t crc) {
    const auto& table = CrcTable();
    for (unsigned char c : bytes)
        crc = (crc << 8) ^ table[((crc >> 24) ^ c) & 0xFF];
    return crc;
}

std::string BuildOggPage(uint8_t flags, int64_t granule, uint32_t serial, uint32_t sequence,
                         std::string_view lacing, std::string_view data) {
    std::string page = "OggS";
    page += '\0';
    page += static_cast<char>(flags);
    const auto g = static_cast<uint64_t>(granule);
    page += PutLE32(static_cast<uint32_t>(g)) + PutLE32(static_cast<uint32_t>(g >> 32));
    page += PutLE32(serial) + PutLE32(sequence) + PutLE32(0);
    page += static_cast<char>(lacing.size());
    page.append(lacing);
    page.append(data);
    page.replace(22, 4, PutLE32(OggCrc(page)));
    return page;
}

void RenumberOggPage(std::string& page, uint32_t sequence) {
    if (page.size() < OggHeaderSize) return;
    page.replace(18, 4, PutLE32(sequence));
    page.replace(22, 4, PutLE32(0));
    page.replace(22, 4, PutLE32(OggCrc(page)));
}

bool ReadOggPackets(const TFileView& file, uint64_t start, size_t count, TOggStream& stream,
                    size_t maxBytes) {
    stream = TOggStream();
    stream.Start = start;
    TOggPage page;
    if (!ReadOggPage(file, start, page)) return false;
    stream.Serial = page.Serial;
    TOggPacket packet;
    bool open = false;
    uint64_t at = start, dataAt = 0;
    // Every page moves at past at least its 27 header bytes, so the walk ends with the file.
    while (stream.Packets.size() < count && ReadOggPage(file, at, page)) {
        at = page.End();
        if (page.Serial != stream.Serial) continue; // a page of another multiplexed stream
        if (page.Offset != start && (page.Flags & OggFirstPage)) break; // a chained stream
        std::string scratch;
        const TByteView data = file.Bytes(page.DataOffset(), page.DataSize, scratch);
        uint64_t inPage = 0;
        dataAt = page.DataOffset();
        for (size_t i = 0; i < page.Lacing.size() && stream.Packets.size() < count; ++i) {
            const auto v = static_cast<unsigned char>(page.Lacing[i]);
            if (!open) {
                packet = TOggPacket();
                packet.FirstSegment = i;
                open = true;
            }
            if (packet.Pages.empty() || packet.Pages.back() != page.Offset)
                packet.Pages.push_back(page.Offset);
            if (packet.Bytes.size() < maxBytes)
                packet.Bytes +=
                    data.Text(inPage, std::min<uint64_t>(v, maxBytes - packet.Bytes.size()));
            inPage += v;
            dataAt += v;
            if (inPage > data.Size()) packet.Cut = true;
            if (v < 255) {
                packet.LastSegment = i;
                packet.End = dataAt;
                packet.Complete = !packet.Cut;
                stream.Packets.push_back(std::move(packet));
                open = false;
            }
        }
        if (open) packet.End = dataAt;
    }
    if (open && stream.Packets.size() < count) stream.Packets.push_back(std::move(packet));
    return true;
}

bool FindLastGranule(const TFileView& file, uint64_t floor, uint32_t serial, int64_t& granule) {
    const uint64_t size = file.Size();
    uint64_t end = size;
    while (end > floor) {
        const uint64_t begin = end - std::min(SearchWindow, end - floor);
        // The window reaches a whole page header past its end, so a capture pattern that crosses
        // the border is seen, and a header inside the window needs no further read.
        const uint64_t reach = std::min<uint64_t>(size - begin, end - begin + OggHeaderSize + 255);
        std::string scratch;
        const TByteView window = file.Bytes(begin, reach, scratch);
        const std::string_view text(reinterpret_cast<const char*>(window.Bytes()), window.Size());
        size_t from = static_cast<size_t>(end - begin);
        while (from > 0) {
            const size_t at = text.rfind("OggS", from - 1);
            if (at == std::string_view::npos) break;
            TOggPage page;
            const bool parsed =
                window.Has(at, OggHeaderSize + 255)
                    ? ParseOggPage(window.Sub(at, window.Size() - at), begin + at, page)
                    : ReadOggPage(file, begin + at, page);
            // -1: no packet ends on the page.
            if (parsed && page.Serial == serial && page.Granule != -1) {
                granule = page.Granule;
                return true;
            }
            from = at;
        }
        end = begin;
    }
    return false;
}

} // namespace audiolens
