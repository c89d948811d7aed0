#include "tags/TrailingTags.h"

#include "core/Convert.h"
#include "core/FileRewrite.h"

namespace audiolens {

namespace {

// GetSize saturates here, so a file of this size or more has an end we cannot address.
constexpr uint32_t SizeOutOfReach = 0xFFFFFFFFu;

} // namespace

bool ReadExactAt(TFileStream& file, uint32_t offset, uint32_t count, std::string& bytes) {
    bytes = ReadAt(file, offset, count);
    return bytes.size() == count;
}

int32_t DecimalDigits(const std::string& text) {
    if (text.empty() || text.size() > 9) return -1;
    int32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

bool FindTrailingTags(TFileStream& file, TTrailingTags& layout) {
    layout = TTrailingTags();
    if (!file.IsOpen()) return false;
    const uint32_t size = file.GetSize();
    if (size == SizeOutOfReach) return false;
    layout.FileSize = size;

    std::string bytes;
    if (size >= ID3v1TagSize) {
        if (!ReadExactAt(file, size - ID3v1TagSize, ID3v1TagSize, bytes)) return false;
        if (bytes.compare(0, 3, "TAG") == 0) layout.ID3v1 = bytes;
    }

    const uint32_t blockEnd = size - layout.ID3v1Size();
    if (blockEnd < LyricsTrailerSize) return true;
    if (!ReadExactAt(file, blockEnd - LyricsTrailerSize, LyricsTrailerSize, bytes)) return false;
    if (bytes.compare(6, 9, "LYRICS200") != 0) return true;
    // The size counts the bytes from "LYRICSBEGIN" through the last field: it must leave room
    // for that marker and stay inside the file.
    const int32_t content = DecimalDigits(Trim(bytes.substr(0, 6)));
    if (content < static_cast<int32_t>(LyricsBeginSize) ||
        static_cast<uint32_t>(content) > blockEnd - LyricsTrailerSize)
        return true;
    const uint32_t start = blockEnd - LyricsTrailerSize - static_cast<uint32_t>(content);
    if (!ReadExactAt(file, start, LyricsBeginSize, bytes)) return false;
    if (bytes != "LYRICSBEGIN") return true;
    layout.LyricsSize = static_cast<uint32_t>(content) + LyricsTrailerSize;
    return true;
}

bool ReplaceTail(TFileStream& file, uint32_t at, uint32_t oldSize, const std::string& tail) {
    if (at > oldSize || tail.size() > SizeOutOfReach - 1 - at) return false;
    const auto count = static_cast<uint32_t>(tail.size());
    if (count > 0 && !WriteAllAt(file, at, tail.data(), count)) return false;
    const uint32_t newSize = at + count;
    if (newSize < oldSize) return file.SetSize(newSize);
    return file.GetSize() == newSize;
}

} // namespace audiolens
