#include "tags/TrailingTags.h"

#include "core/Convert.h"
#include "core/FileRewrite.h"

namespace audiolens {

int32_t DecimalDigits(const std::string& text) {
    if (text.empty() || text.size() > 9) return -1;
    int32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

bool FindTrailingTags(const TFileView& file, TTrailingTags& layout) {
    layout = TTrailingTags();
    if (!file.IsOpen()) return false;
    const uint64_t size = file.Size();
    layout.FileSize = size;
    std::string scratch;
    if (size >= ID3v1TagSize) {
        const TByteView bytes = file.Bytes(size - ID3v1TagSize, ID3v1TagSize, scratch);
        if (bytes.Size() != ID3v1TagSize) return false;
        if (bytes.Matches(0, "TAG")) layout.ID3v1 = bytes.Text(0, ID3v1TagSize);
    }
    const uint64_t blockEnd = size - layout.ID3v1Size();
    if (blockEnd < LyricsTrailerSize) return true;
    const TByteView trailer = file.Bytes(blockEnd - LyricsTrailerSize, LyricsTrailerSize, scratch);
    if (trailer.Size() != LyricsTrailerSize) return false;
    if (!trailer.Matches(6, "LYRICS200")) return true;
    // The size counts the bytes from "LYRICSBEGIN" through the last field: it must leave room
    // for that marker and stay inside the file.
    const int32_t content = DecimalDigits(Trim(trailer.Text(0, 6)));
    if (content < static_cast<int32_t>(LyricsBeginSize) ||
        static_cast<uint64_t>(content) > blockEnd - LyricsTrailerSize)
        return true;
    const uint64_t start = blockEnd - LyricsTrailerSize - static_cast<uint64_t>(content);
    const TByteView begin = file.Bytes(start, LyricsBeginSize, scratch);
    if (begin.Size() != LyricsBeginSize) return false;
    if (!begin.Matches(0, "LYRICSBEGIN")) return true;
    layout.LyricsSize = static_cast<uint64_t>(content) + LyricsTrailerSize;
    return true;
}

bool WritePieces(TFileStream& original, TFileStream& rebuilt,
                 const std::vector<TTailPiece>& pieces) {
    for (const TTailPiece& piece : pieces) {
        if (piece.Count == 0) {
            if (!WriteAll(rebuilt, piece.Bytes)) return false;
        } else if (original.SetPosition(piece.Offset) != piece.Offset ||
                   CopyStream(rebuilt, original, piece.Count) != piece.Count) {
            return false;
        }
    }
    return true;
}

bool RebuildTail(const std::string& fileName,
                 const std::function<bool(const TFileView& file, uint64_t& keep,
                                          std::vector<TTailPiece>& tail)>& plan) {
    return RebuildFileFromView(
        fileName, [&](const TFileView& view, TFileStream& original, TFileStream& rebuilt) {
            uint64_t keep = 0;
            std::vector<TTailPiece> tail;
            if (!plan(view, keep, tail) || keep > view.Size()) return false;
            return original.SetPosition(0) == 0 && CopyStream(rebuilt, original, keep) == keep &&
                   WritePieces(original, rebuilt, tail);
        });
}

} // namespace audiolens
