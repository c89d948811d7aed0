// The byte layout of an ID3v2 tag: the 10-byte header, the walk over the frames of versions 2.2
// to 2.4 (unsynchronisation undone, extended header skipped, every size bounded by the tag), and
// the 2.3 tag this writer produces.
#pragma once

#include "core/ByteReader.h"
#include "core/FileView.h"
#include "tags/TrailingTags.h"

#include <cstdint>
#include <string>
#include <vector>

namespace audiolens {

constexpr uint32_t ID3v2HeaderSize = 10;
constexpr uint32_t ID3v2FooterSize = 10;
// Header flags.
constexpr uint8_t ID3v2Unsynchronised = 0x80, ID3v2Extended = 0x40, ID3v2Footer = 0x10;
// Version 2.2 gives the extended-header bit to compression of the whole tag.
constexpr uint8_t ID3v22Compressed = 0x40;
// Largest size the four 7-bit bytes of the header can carry.
constexpr uint32_t ID3v2MaxBodySize = 0x0FFFFFFFu;

struct TID3v2Header {
    bool Present = false; // starts with "ID3"
    uint8_t Major = 0;
    uint8_t Revision = 0;
    uint8_t Flags = 0;
    uint32_t BodySize = 0; // the size field: bytes after the header, footer excluded
    // Header, body and footer; 0 when there is no tag or it claims more than the file holds.
    uint32_t TagSize = 0;
};

// Parses the first 10 bytes of a file of fileSize bytes; false with fewer than 10 bytes.
bool ParseID3v2Header(const TByteView& bytes, uint64_t fileSize, TID3v2Header& header);

// Where the audio of a file that may begin with ID3v2 tags starts: behind every tag in a row (a
// tagger may prepend a second one). False when a tag claims more bytes than the file holds.
bool SkipID3v2Tags(const TFileView& file, uint64_t& start);

// One frame as found, its data made plain: unsynchronisation undone, a 2.4 data-length
// indicator and a grouping byte taken off. Compressed or encrypted data cannot be read (Opaque).
// A large frame that no report field needs (a picture) is not read: Held is false and its bytes
// stay in the file at StoredOffset.
struct TID3v2RawFrame {
    std::string Id; // four characters; 2.2 ids are translated by the caller
    uint16_t Flags = 0;
    std::string Data;
    bool Opaque = false;
    bool Held = true;
    // Data is byte for byte the frame's stored data.
    bool DataIsStored = true;
    uint64_t StoredOffset = 0;
    uint32_t StoredSize = 0;
};
// Frames up to this size are read whatever their id.
constexpr uint32_t ID3v2HeldFrame = 65536;

struct TID3v2Walk {
    std::vector<TID3v2RawFrame> Frames;
    // False when the tag as a whole is transformed in a way a rewrite cannot keep: tag-wide
    // unsynchronisation, or a 2.2 tag marked compressed.
    bool Rewritable = true;
    // The file could not be read where the tag lies.
    bool ReadError = false;
};

// The frames of the tag at the start of the file, read in large blocks.
void WalkID3v2Frames(const TFileView& file, const TID3v2Header& header, TID3v2Walk& walk);
// The frames of a tag whose first tag.Size() bytes (header included) are in memory.
void WalkID3v2Frames(const TByteView& tag, const TID3v2Header& header, TID3v2Walk& walk);

// One frame of a tag to write: stored bytes (data from memory or from the original file) behind
// a header of the tag's version.
struct TID3v2OutFrame {
    std::string Id;
    uint16_t Flags = 0;
    std::string Data;
    bool FromFile = false;
    uint64_t Offset = 0;
    uint32_t Size = 0;
};

// A tag of major version 3 or 4: header without flags, the frames, then padding zero bytes, as
// pieces (frames not in memory are ranges of the original file). Empty when the frames do not
// fit the 28-bit size field.
std::vector<TTailPiece> BuildID3v2Tag(const std::vector<TID3v2OutFrame>& frames, uint8_t major,
                                      uint32_t padding);

// The size BuildID3v2Tag gives without padding.
uint64_t ID3v2TagSizeOf(const std::vector<TID3v2OutFrame>& frames);

} // namespace audiolens
