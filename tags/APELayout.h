// Where an APE tag lies in a file and what its bytes look like: the footer with its sizes checked
// against the file, the item walk, and the bytes a writer produces.
#pragma once

#include "core/FileView.h"
#include "tags/TagAPE.h"
#include "tags/TrailingTags.h"

#include <cstdint>
#include <string>
#include <vector>

namespace audiolens {

// The eight understood item keys, in the order of TTagRec::Values and of writing, with the
// fields they fill.
inline constexpr const char* APEKeys[APEKeyCount] = {"Title", "Artist", "Album",   "Track",
                                                     "Year",  "Genre",  "Comment", "Copyright"};
inline constexpr TTagField APEKeyFields[APEKeyCount] = {tfTitle, tfArtist, tfAlbum,   tfTrack,
                                                        tfYear,  tfGenre,  tfComment, tfCopyright};
constexpr int APETrackKey = 3;
// Flags of the header and footer: the tag has a header; this block is the header.
constexpr uint32_t APEIsHeaderFlag = 0x20000000u;

struct TAPELayout {
    uint64_t FileSize = 0;
    // Offset of the footer; the items end here.
    uint64_t FooterPos = 0;
    // The footer says "APETAGEX".
    bool Found = false;
    // The footer's tag size leaves room for the footer and stays inside the bytes before it.
    bool Bounded = false;
    uint64_t ItemsStart = 0;
    // The footer's flag announces a header, and whether it is really there (same signature and
    // size).
    bool HeaderAnnounced = false;
    bool HeaderConfirmed = false;
    // First byte of the tag, header included.
    uint64_t TagStart = 0;

    // The bytes the tag occupies can be replaced: found, bounded, and no announced header
    // missing.
    bool Removable() const { return Found && Bounded && (!HeaderAnnounced || HeaderConfirmed); }
};

// Reads the footer that ends dataShift bytes before the end of the file and checks its sizes.
// False when the file cannot be read there; a file too short for a footer is true with Found
// false.
bool LocateAPETag(const TFileView& file, uint64_t dataShift, TTagRec& rec, TAPELayout& layout);
// The same after finding the ID3v1 and Lyrics3 bytes that follow the tag.
bool LocateAPETag(const TFileView& file, TTagRec& rec, TAPELayout& layout);

// One item as stored. A value larger than APEHeldValue that no understood key needs is not read
// (Held false): its bytes stay in the file at ValueOffset.
struct TAPEItem {
    std::string Key;
    uint32_t Flags = 0;
    uint32_t ValueSize = 0;
    uint64_t ValueOffset = 0;
    bool Held = true;
    std::string Value;
};
constexpr uint32_t APEHeldValue = 65536;

// Walks the items between ItemsStart and the footer in large blocks. A count, key or value size
// that runs past the footer ends the walk; what was read stays. False on a read error.
bool ReadAPEItems(const TFileView& file, const TAPELayout& layout, int32_t count,
                  std::vector<TAPEItem>& items);

// The text an understood key shows: the value up to its first zero byte, trimmed.
std::string APEItemText(const TAPEItem& item, int32_t version);

// A version 2000 tag with header and footer: the items in order, values not held copied from
// the file. Empty when the tag would not fit a 32-bit size.
std::vector<TTailPiece> BuildAPETag(const std::vector<TAPEItem>& items);

} // namespace audiolens
