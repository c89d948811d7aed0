// The tags that end a file: an ID3v1 tag in the last 128 bytes and, before it (or at the very end
// when there is no ID3v1 tag), a Lyrics3 v2.00 block. Each is taken as present only when its own
// markers and bounds confirm it, because its size decides how much of the file a writer replaces.
#pragma once

#include "core/FileStream.h"
#include "core/FileView.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace audiolens {

constexpr uint32_t ID3v1TagSize = 128;
// "LYRICSBEGIN" opens a Lyrics3 block; six size digits and "LYRICS200" close it.
constexpr uint32_t LyricsBeginSize = 11;
constexpr uint32_t LyricsTrailerSize = 15;

struct TTrailingTags {
    uint64_t FileSize = 0;
    // The 128 bytes of the ID3v1 tag, empty when the file has none.
    std::string ID3v1;
    // The whole Lyrics3 block, markers and size field included; 0 when there is none.
    uint64_t LyricsSize = 0;

    uint64_t ID3v1Size() const { return ID3v1.size(); }
    // Where the trailing tags begin: the end of the audio (or of an APE tag before them).
    uint64_t TailStart() const { return FileSize - ID3v1Size() - LyricsSize; }
    uint64_t LyricsStart() const { return TailStart(); }
};

// Fills the layout from the file's last bytes; false when the file cannot be read.
bool FindTrailingTags(const TFileView& file, TTrailingTags& layout);

// The value of a text made of decimal digits only; -1 for anything else (empty, signs, spaces).
int32_t DecimalDigits(const std::string& text);

// A piece of a new file tail: bytes in memory, or a range of the original file.
struct TTailPiece {
    std::string Bytes;
    uint64_t Offset = 0, Count = 0;
};

// Writes the pieces to rebuilt, ranges copied from original.
bool WritePieces(TFileStream& original, TFileStream& rebuilt,
                 const std::vector<TTailPiece>& pieces);

// Rebuilds the file as its first keep bytes followed by the pieces; plan works them out from the
// file as it is under the write lock and returns false to leave the file alone.
bool RebuildTail(const std::string& fileName,
                 const std::function<bool(const TFileView& file, uint64_t& keep,
                                          std::vector<TTailPiece>& tail)>& plan);

} // namespace audiolens
