// Where Vorbis comments live: FLAC metadata blocks and Ogg pages. Every length read here is
// checked against the bytes the file holds, and every walk ends at the end of the file.
#pragma once

#include "core/FileView.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace audiolens {

// ---- FLAC metadata blocks: a 4-byte header (last-block flag, 7-bit type, 24-bit length).

constexpr uint8_t FlacStreamInfo = 0, FlacPadding = 1, FlacVorbisComment = 4;
constexpr uint8_t FlacLastBlock = 0x80;
constexpr uint32_t FlacBlockHeaderSize = 4;
constexpr uint32_t FlacStreamInfoSize = 34;
constexpr uint32_t FlacMaxBlockLength = 0xFFFFFF;

struct TFlacBlock {
    uint64_t Offset = 0; // of the block header
    uint8_t Type = 0;
    bool Last = false;
    uint32_t Length = 0;
    uint64_t DataOffset() const { return Offset + FlacBlockHeaderSize; }
    uint64_t End() const { return DataOffset() + Length; }
};

struct TFlacMetadata {
    uint64_t Start = 0; // offset of "fLaC"
    std::vector<TFlacBlock> Blocks;
    uint64_t End = 0; // just past the data of the last block walked (cut at the end of the file)
    // The walk met the last-block flag and every block lies whole inside the file.
    bool Complete = false;
    int Find(uint8_t type) const;
};

// The blocks after the "fLaC" at start, up to and including the one with the last-block flag.
// False when there is no "fLaC" there.
bool ReadFlacMetadata(const TFileView& file, uint64_t start, TFlacMetadata& meta);

// The fields of a STREAMINFO block's first 18 bytes.
struct TFlacStreamInfo {
    uint32_t SampleRate = 0;
    uint16_t Channels = 0;
    uint16_t BitsPerSample = 0;
    uint64_t Samples = 0; // 36 bits; 0 means unknown
};
// False when fewer than the block's 34 bytes are given.
bool ParseFlacStreamInfo(const TByteView& data, TFlacStreamInfo& info);

// ---- Ogg pages: a 27-byte header, a table of lacing values, the data they measure.

constexpr uint32_t OggHeaderSize = 27;
constexpr uint8_t OggContinued = 0x01, OggFirstPage = 0x02, OggLastPage = 0x04;
constexpr uint32_t OggMaxSegments = 255;

struct TOggPage {
    uint64_t Offset = 0;
    uint8_t Flags = 0;
    int64_t Granule = 0;
    uint32_t Serial = 0;
    uint32_t Sequence = 0;
    std::string Lacing;
    uint64_t DataSize = 0; // the sum of the lacing values
    uint64_t DataOffset() const { return Offset + OggHeaderSize + Lacing.size(); }
    uint64_t End() const { return DataOffset() + DataSize; }
};

// The page header at offset: "OggS", version 0 and the whole segment table present.
bool ReadOggPage(const TFileView& file, uint64_t at, TOggPage& page);
bool ParseOggPage(const TByteView& bytes, uint64_t at, TOggPage& page);

// The page checksum: CRC-32 with polynomial 0x04C11DB7, initial value 0, no reflection.
uint32_t OggCrc(std::string_view bytes, uint32_t crc = 0);
// A whole page from its fields, checksum included.
std::string BuildOggPage(uint8_t flags, int64_t granule, uint32_t serial, uint32_t sequence,
                         std::string_view lacing, std::string_view data);
// The page with a new sequence number and its checksum worked out again.
void RenumberOggPage(std::string& page, uint32_t sequence);

// One packet of the logical stream that starts at the first page, with the pages it spans.
struct TOggPacket {
    std::string Bytes;
    std::vector<uint64_t> Pages; // offsets of the pages that carry it, in order
    size_t FirstSegment = 0;     // its first lacing value in the first page
    size_t LastSegment = 0;      // its last lacing value in the last page
    uint64_t End = 0;            // offset just past its last byte
    bool Complete = false;       // a lacing value below 255 ended it, every byte present
    bool Cut = false;            // the end of the file cut its bytes
};

struct TOggStream {
    uint64_t Start = 0; // offset of the first page
    uint8_t Version = 0;
    uint32_t Serial = 0;
    std::vector<TOggPacket> Packets;
};

// The first count packets of the stream whose first page is at start; pages of other streams are
// passed over. False when no page is at start. maxBytes bounds how much of a packet is kept (the
// rest is still walked, so End and Complete are right).
bool ReadOggPackets(const TFileView& file, uint64_t start, size_t count, TOggStream& stream,
                    size_t maxBytes = SIZE_MAX);

// The granule position of the last page of the stream serial that ends a packet, searched
// backward from the end of the file down to floor; false when there is none.
bool FindLastGranule(const TFileView& file, uint64_t floor, uint32_t serial, int64_t& granule);

} // namespace audiolens
