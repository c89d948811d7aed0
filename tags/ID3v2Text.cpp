#include "tags/ID3v2Text.h"

#include "core/Text.h"
#include "framework/AudioFile.h"

namespace audiolens {

namespace {

constexpr size_t npos = std::string_view::npos;
constexpr size_t LanguageSize = 3;

size_t UnitWidth(uint8_t encoding) {
    return encoding == ID3Utf16 || encoding == ID3Utf16BE ? 2 : 1;
}

bool IsCommentLayout(std::string_view id) {
    return id == "COMM" || id == "USLT";
}

// Offset of the terminator at or after from, or npos; two-byte text keeps its alignment.
size_t FindTerminator(std::string_view s, size_t from, size_t width) {
    if (width == 1) return s.find('\0', from);
    for (size_t i = from; i + 1 < s.size(); i += 2)
        if (s[i] == 0 && s[i + 1] == 0) return i;
    return npos;
}

std::string DecodeText(uint8_t encoding, std::string_view bytes) {
    switch (encoding) {
    case ID3Utf16:
        return Utf16ToSystem(bytes, false); // the byte-order mark, when there, decides
    case ID3Utf16BE:
        return Utf16ToSystem(bytes, true);
    case ID3Utf8:
        return Utf8ToSystem(bytes);
    default:
        return Latin1ToSystem(bytes);
    }
}

std::string_view UpToZero(std::string_view s) {
    return s.substr(0, s.find('\0'));
}

// UTF-8 values separated by zero bytes, as UTF-16 values each with its byte-order mark.
std::string Utf8ListToUtf16(std::string_view utf8) {
    if (!utf8.empty() && utf8.back() == '\0') utf8.remove_suffix(1); // a closing terminator
    std::string out;
    for (size_t start = 0;;) {
        size_t end = utf8.find('\0', start);
        out += SystemToUtf16LE(Utf8ToSystem(utf8.substr(start, end - start)), true);
        if (end == npos) return out;
        out.append(2, '\0');
        start = end + 1;
    }
}

} // namespace

std::string DecodeFrameText(std::string_view id, std::string_view data) {
    if (data.empty()) return {};
    // URL link frames other than WXXX have no encoding byte: the whole data is the URL.
    if (!id.empty() && id[0] == 'W' && id != "WXXX") return Latin1ToSystem(UpToZero(data));
    const auto encoding = static_cast<uint8_t>(data[0]);
    const size_t width = UnitWidth(encoding);
    const std::string_view body = data.substr(1);
    size_t pos = 0;
    if (IsCommentLayout(id)) {
        if (body.size() < LanguageSize) return {};
        const size_t end = FindTerminator(body, LanguageSize, width);
        if (end == npos) return {}; // no description end, so no text
        pos = end + width;
    } else if (id == "WXXX") {
        const size_t end = FindTerminator(body, 0, width);
        return end == npos ? std::string() : Latin1ToSystem(UpToZero(body.substr(end + width)));
    }
    // Empty leading values are passed over, as old writers leave them.
    while (pos + width <= body.size() && body[pos] == 0 && body[pos + width - 1] == 0)
        pos += width;
    const size_t end = FindTerminator(body, pos, width);
    return DecodeText(encoding, body.substr(pos, end == npos ? npos : end - pos));
}

std::string EncodeFrameData(int field, std::string_view value) {
    value = UpToZero(value);
    bool lossless = true;
    const std::string narrow = SystemToLatin1(value, lossless);
    // The URL itself is always ISO-8859-1.
    if (field == tfUrl) return std::string(2, '\0') + narrow;
    std::string out(1, static_cast<char>(lossless ? ID3Latin1 : ID3Utf16));
    if (field == tfComment || field == tfLyrics)
        out += lossless ? std::string("lng\0", 4) : std::string("lng\xFF\xFE\0\0", 7);
    out += lossless ? narrow : SystemToUtf16LE(value, true);
    return out;
}

std::string FrameDataForVersion3(std::string_view id, std::string_view data) {
    if (data.empty() || static_cast<uint8_t>(data[0]) != ID3Utf8) return std::string(data);
    const std::string_view body = data.substr(1);
    const std::string wide(1, static_cast<char>(ID3Utf16));
    if (!id.empty() && id[0] == 'T') return wide + Utf8ListToUtf16(body);
    if (IsCommentLayout(id) && body.size() >= LanguageSize)
        return wide + std::string(body.substr(0, LanguageSize)) +
               Utf8ListToUtf16(body.substr(LanguageSize));
    if (id == "WXXX") {
        const size_t end = body.find('\0');
        if (end == npos) return wide + Utf8ListToUtf16(body);
        return wide + Utf8ListToUtf16(body.substr(0, end)) + std::string(2, '\0') +
               std::string(body.substr(end + 1));
    }
    if (id == "APIC") { // MIME type (ISO-8859-1), picture type, description, picture
        const size_t mimeEnd = body.find('\0');
        if (mimeEnd == npos || mimeEnd + 2 > body.size()) return std::string(data);
        const size_t descStart = mimeEnd + 2, descEnd = body.find('\0', descStart);
        if (descEnd == npos) return std::string(data);
        return wide + std::string(body.substr(0, descStart)) +
               Utf8ListToUtf16(body.substr(descStart, descEnd - descStart)) + std::string(2, '\0') +
               std::string(body.substr(descEnd + 1));
    }
    return std::string(data);
}

} // namespace audiolens
