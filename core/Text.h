// Conversions of tag text into the system code page (UTF-8 on Linux and on Windows with the
// program's manifest, the ANSI code page on older Windows). Malformed input becomes U+FFFD rather
// than being cut or read past.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace audiolens {

// UTF-16 bytes; a leading BOM (either order) decides the byte order and is dropped, otherwise
// bigEndian does. An odd trailing byte is ignored.
std::string Utf16ToSystem(std::string_view bytes, bool bigEndian = false);
// Validates UTF-8; invalid sequences become U+FFFD.
std::string Utf8ToSystem(std::string_view bytes);
// ISO-8859-1 bytes (ID3 encoding 0) into the system code page.
std::string Latin1ToSystem(std::string_view bytes);
// System code page text into the encodings tag writers store.
std::string SystemToLatin1(std::string_view text, bool& lossless);
std::string SystemToUtf16LE(std::string_view text, bool withBom);
bool IsValidUtf8(std::string_view bytes);
// For display: valid UTF-8 is kept, anything else is taken as Windows-1252.
std::string DisplayText(std::string_view bytes);
void AppendUtf8(std::string& out, uint32_t codePoint);

} // namespace audiolens
