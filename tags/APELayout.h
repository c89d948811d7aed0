// Where an APE tag lies in a file and what its bytes look like: the footer with its sizes checked
// against the file, the item walk, and the bytes a writer produces.
#pragma once

#include "core/FileStream.h"
#include "tags/TagAPE.h"

#include <cstdint>
#include <string>

namespace audiolens {

// The eight understood item keys, in the order of TTagRec::Values and of writing, with the
// fields they fill.
inline constexpr const char* APEKeys[APEKeyCount] = {"Title", "Artist", "Album",   "Track",
                                                     "Year",  "Genre",  "Comment", "Copyright"};
inline constexpr TTagField APEKeyFields[APEKeyCount] = {tfTitle, tfArtist, tfAlbum,   tfTrack,
                                                        tfYear,  tfGenre,  tfComment, tfCopyright};
constexpr int APETrackKey = 3;

struct TAPELayout {
    uint32_t FileSize = 0;
    // Offset of the footer; the items end here.
    uint32_t FooterPos = 0;
    // The footer says "APETAGEX".
    bool Found = false;
    // The footer's tag size leaves room for the footer and stays inside the bytes before it.
    bool Bounded = false;
    uint32_t ItemsStart = 0;
    // The footer's flag announces a header, and whether it is really there (same signature and
    // size).
    bool HeaderAnnounced = false;
    bool HeaderConfirmed = false;
    // First byte of the tag, header included.
    uint32_t TagStart = 0;

    // The bytes the tag occupies can be cut: found, bounded, and no announced header missing.
    bool Removable() const { return Found && Bounded && (!HeaderAnnounced || HeaderConfirmed); }
};

// Reads the footer that ends dataShift bytes before the end of the file and checks its sizes.
// False when the stream cannot be read, reaches no further than 4 GiB, or is shorter than
// dataShift; a file too short for a footer is true with Found false.
bool LocateAPETag(TFileStream& file, uint32_t dataShift, TTagRec& rec, TAPELayout& layout);

// The bytes of the ID3v1 tag and Lyrics3 block after the APE tag, as a bounded count; false when
// the ID3v1 reader reports something the file cannot hold.
bool ID3v1DataShift(const std::string& fileName, uint32_t fileSize, uint32_t& shift);

// Walks the items between ItemsStart and the footer, storing the understood ones in rec. A count,
// key or value size that runs past the footer ends the walk; what was read stays.
void ReadAPEItems(TFileStream& file, const TAPELayout& layout, TTagRec& rec);

// A version 1000 tag without header: one item per non-empty value, in key-table order, then the
// footer. Empty when the tag would not fit a 32-bit size.
std::string BuildAPETag(const TTagRec& rec);

} // namespace audiolens
