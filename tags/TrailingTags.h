// The tags that end a file: an ID3v1 tag in the last 128 bytes and, before it (or at the very end
// when there is no ID3v1 tag), a Lyrics3 v2.00 block. Each is taken as present only when its own
// markers and bounds confirm it, because its size decides how much of the file a writer cuts.
#pragma once

#include "core/FileStream.h"

#include <cstdint>
#include <string>

namespace audiolens {

constexpr uint32_t ID3v1TagSize = 128;
// "LYRICSBEGIN" opens a Lyrics3 block; six size digits and "LYRICS200" close it.
constexpr uint32_t LyricsBeginSize = 11;
constexpr uint32_t LyricsTrailerSize = 15;

struct TTrailingTags {
    uint32_t FileSize = 0;
    // The 128 bytes of the ID3v1 tag, empty when the file has none.
    std::string ID3v1;
    // The whole Lyrics3 block, markers and size field included; 0 when there is none.
    uint32_t LyricsSize = 0;

    uint32_t ID3v1Size() const { return static_cast<uint32_t>(ID3v1.size()); }
    // Where the trailing tags begin: the end of the audio.
    uint32_t TailStart() const { return FileSize - ID3v1Size() - LyricsSize; }
    uint32_t LyricsStart() const { return TailStart(); }
};

// Fills the layout; false when the file cannot be read (not open, a short read, or a file from
// 4 GiB up, whose end a 32-bit position cannot reach).
bool FindTrailingTags(TFileStream& file, TTrailingTags& layout);

// Exactly count bytes at offset, or false.
bool ReadExactAt(TFileStream& file, uint32_t offset, uint32_t count, std::string& bytes);

// The value of a text made of decimal digits only; -1 for anything else (empty, signs, spaces).
int32_t DecimalDigits(const std::string& text);

// Makes tail the new end of the file from offset at (at most oldSize): the tail is written first,
// and the file is cut behind it only once every byte is out. Bytes before at are never written.
bool ReplaceTail(TFileStream& file, uint32_t at, uint32_t oldSize, const std::string& tail);

} // namespace audiolens
