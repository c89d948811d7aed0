// Byte builders for the tags that end a file (ID3v1, Lyrics3), shared by the ID3v1 and Lyrics3
// tests.
#pragma once

#include <cstdint>
#include <string>

namespace testsupport {

// Text cut or padded to n bytes with fill.
inline std::string Padded(std::string text, size_t n, char fill = '\0') {
    text.resize(n, fill);
    return text;
}

// An ID3v1.0 tag: a 30-byte comment and no track.
inline std::string ID3v1Tag(const std::string& title, const std::string& artist,
                            const std::string& album, const std::string& year,
                            const std::string& comment, uint8_t genre) {
    return "TAG" + Padded(title, 30) + Padded(artist, 30) + Padded(album, 30) + Padded(year, 4) +
           Padded(comment, 30) + std::string(1, static_cast<char>(genre));
}

// An ID3v1.1 tag: a 28-byte comment, a zero byte and the track number.
inline std::string ID3v11Tag(const std::string& title, const std::string& comment, uint8_t track,
                             uint8_t genre) {
    return ID3v1Tag(title, "", "", "", Padded(comment, 28) + '\0' + static_cast<char>(track),
                    genre);
}

inline std::string Digits(size_t value, size_t width) {
    std::string d = std::to_string(value);
    return std::string(width > d.size() ? width - d.size() : 0, '0') + d;
}

inline std::string LyricsField(const std::string& id, const std::string& data) {
    return id + Digits(data.size(), 5) + data;
}

// A Lyrics3 v2.00 block around the given fields.
inline std::string LyricsBlock(const std::string& fields) {
    std::string body = "LYRICSBEGIN" + fields;
    return body + Digits(body.size(), 6) + "LYRICS200";
}

// Bytes that stand for audio: no run of them looks like a tag marker.
inline std::string AudioBytes(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 7 + 3) % 251);
    return s;
}

} // namespace testsupport
