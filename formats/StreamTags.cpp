#include "formats/StreamTags.h"

#include "tags/TagAPE.h"
#include "tags/TagID3v1.h"

namespace audiolens {

void ReadStreamTags(const TFileView& file, TAudioFile& r) {
    for (TTagKind kind : {tkID3v2, tkID3v1, tkAPE})
        if (TTagBase* tag = r.GetTag(kind)) tag->Read(file);
}

uint64_t TrailingTagBytes(const TFileView& file, const TAudioFile& r) {
    const uint64_t size = file.Size();
    uint64_t bytes = 0;
    if (const auto* id3v1 = r.Tag<TTagID3v1>(tkID3v1)) {
        bytes += static_cast<uint32_t>(id3v1->Size);
        if (id3v1->LyricsTag()) bytes += static_cast<uint32_t>(id3v1->LyricsTag()->Size);
    }
    if (bytes > size) return size;
    const TTagBase* ape = r.GetTag(tkAPE);
    if (ape && ape->Valid && ape->Size > 0) {
        // The tag's Size counts items and footer; the footer's flags say whether a header of
        // the same size stands in front of the items.
        std::string scratch;
        const uint64_t end = size - bytes;
        if (end >= APEFooterSize) {
            const TByteView footer = file.Bytes(end - APEFooterSize, APEFooterSize, scratch);
            bytes += static_cast<uint32_t>(ape->Size);
            if (footer.Matches(0, "APETAGEX") && (footer.U32LE(20) & APEHeaderFlag) != 0)
                bytes += APEHeaderSize;
        }
    }
    return bytes > size ? size : bytes;
}

} // namespace audiolens
