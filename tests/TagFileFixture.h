// Tag tests: byte builders, a fixture (temporary file, tag object), a read as "Key=Value|" fields.
#pragma once

#include "TestSupport.h"
#include "core/BaseObject.h"
#include "framework/AudioFile.h"
#include "framework/Registry.h"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <numeric>
#include <string>
#include <vector>

namespace testsupport {

inline std::string TagSummary(bool read, const audiolens::TTagBase& tag) {
    std::string out = "Read=" + std::to_string(read) + "|Valid=" + std::to_string(tag.Valid) +
                      "|Size=" + std::to_string(tag.Size) + "|";
    for (int f = 0; f < audiolens::TagFieldCount; ++f)
        if (!tag.GetField(f).empty())
            out += audiolens::TagFieldName(f) + "=" + tag.GetField(f) + "|";
    return out;
}

template <class TTag> struct TTagFileFixture : ::testing::Test {
    TTempDir Dir;
    std::string File = Dir.Path("t.mp3");
    audiolens::TRef<TTag> Tag{new TTag};

    bool ReadBytes(const std::string& bytes) {
        WriteFile(File, bytes);
        return Tag->Read(File);
    }
    void Set(const std::vector<std::pair<int, std::string>>& fields) {
        for (const auto& [id, value] : fields)
            Tag->SetField(id, value);
    }
};

inline std::string Padded(const std::string& text, size_t n, char fill = '\0') {
    return (text + std::string(n, fill)).substr(0, n);
}
// An ID3v1.0 tag (a 30-byte comment); with a track, 1.1 (a 28-byte comment, a zero, the track).
inline std::string ID3v1Tag(const std::string& title, const std::string& artist = "",
                            const std::string& album = "", const std::string& year = "",
                            std::string comment = "", uint8_t genre = 0, int track = -1) {
    if (track >= 0) comment = Padded(comment, 28) + '\0' + static_cast<char>(track);
    return "TAG" + Padded(title, 30) + Padded(artist, 30) + Padded(album, 30) + Padded(year, 4) +
           Padded(comment, 30) + std::string(1, static_cast<char>(genre));
}
// A Lyrics3 field (id, five digits of size, data) and a v2.00 block around fields.
inline std::string LyricsField(const std::string& id, const std::string& data) {
    return id + std::to_string(data.size() + 100000).substr(1) + data;
}
inline std::string LyricsBlock(const std::string& fields) {
    return "LYRICSBEGIN" + fields + std::to_string(fields.size() + 11 + 1000000).substr(1) +
           "LYRICS200";
}

// ID3v2: frames of 2.2 (3-byte id and size), 2.3 (plain size) and 2.4 (syncsafe size), a tag.
inline std::string SyncSafe(uint32_t v) {
    return {char((v >> 21) & 0x7F), char((v >> 14) & 0x7F), char((v >> 7) & 0x7F), char(v & 0x7F)};
}
inline std::string ID3v2Header(uint8_t major, uint32_t bodySize, uint8_t flags = 0) {
    return std::string("ID3") + char(major) + '\0' + char(flags) + SyncSafe(bodySize);
}
inline std::string ID3v2Frame(uint8_t major, const std::string& id, const std::string& data,
                              uint16_t flags = 0) {
    const auto size = static_cast<uint32_t>(data.size());
    if (major == 2) return id + BE24(size) + data;
    return id + (major == 4 ? SyncSafe(size) : BE32(size)) + BE16(flags) + data;
}
inline std::string ID3v2Tag(uint8_t major, const std::string& frames, size_t padding = 0,
                            uint8_t flags = 0) {
    return ID3v2Header(major, static_cast<uint32_t>(frames.size() + padding), flags) + frames +
           Zeros(padding);
}

// APE: items, a footer (or header) and a tag whose header, if any, repeats the footer.
constexpr uint32_t APEHasHeader = 0x80000000u, APEIsHeader = 0x20000000u;

inline std::string APEItem(const std::string& key, const std::string& value, uint32_t flags = 0) {
    return LE32(static_cast<uint32_t>(value.size())) + LE32(flags) + key + '\0' + value;
}
inline std::string APEFooter(uint32_t version, uint32_t tagSize, uint32_t count,
                             uint32_t flags = 0) {
    return "APETAGEX" + LE32(version) + LE32(tagSize) + LE32(count) + LE32(flags) + Zeros(8);
}
inline std::string APETag(uint32_t version, const std::vector<std::string>& items,
                          bool header = false) {
    const std::string body = std::accumulate(items.begin(), items.end(), std::string());
    const auto size = uint32_t(body.size() + 32), n = uint32_t(items.size());
    return (header ? APEFooter(version, size, n, APEHasHeader | APEIsHeader) : "") + body +
           APEFooter(version, size, n, header ? APEHasHeader : 0);
}

} // namespace testsupport
