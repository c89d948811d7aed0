// Text inside ID3v2 frames: the encoding byte that leads a frame's data, the language and
// description in front of comments and lyrics, and the layouts this writer stores.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace audiolens {

// Encoding bytes of the standard: 0 ISO-8859-1, 1 UTF-16 with byte-order mark, 2 UTF-16BE
// without one (2.4 only), 3 UTF-8 (2.4 only).
constexpr uint8_t ID3Latin1 = 0, ID3Utf16 = 1, ID3Utf16BE = 2, ID3Utf8 = 3;

// The text a frame shows, from its id and its data (encoding byte first). Comments and lyrics
// skip their language and description, URL frames give the URL; a text list gives its first
// value. Malformed text becomes U+FFFD, never a read past the data.
std::string DecodeFrameText(std::string_view id, std::string_view data);

// Frame data for a value set by the program (field is a TTagField id, 0 to 14): ISO-8859-1
// when the value can be written so, otherwise UTF-16 with a byte-order mark. Comments and lyrics
// get the language "lng" and an empty description, a URL an empty description.
std::string EncodeFrameData(int field, std::string_view value);

// Data as it may stand in a 2.3 tag: UTF-8 (valid only in 2.4) becomes UTF-16 with a byte-order
// mark in the frames whose layout is known; everything else is returned as it is.
std::string FrameDataForVersion3(std::string_view id, std::string_view data);

} // namespace audiolens
