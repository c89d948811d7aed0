#include "core/Text.h"

#include "platform/CodePage.h"

#include <vector>

namespace audiolens {

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

static std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    size_t i = 0;
    if (bytes.size() >= 2) {
        auto b0 = static_cast<uint8_t>(bytes[0]), b1 = static_cast<uint8_t>(bytes[1]);
        if (b0 == 0xFF && b1 == 0xFE) {
            bigEndian = false;
            i = 2;
        } else if (b0 == 0xFE && b1 == 0xFF) {
            bigEndian = true;
            i = 2;
        }
    }
    auto unit = [&](size_t at) -> uint32_t {
        auto a = static_cast<uint8_t>(bytes[at]), b = static_cast<uint8_t>(bytes[at + 1]);
        return bigEndian ? (a << 8 | b) : (b << 8 | a);
    };
    std::string out;
    for (; i + 1 < bytes.size(); i += 2) {
        uint32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
            uint32_t low = unit(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        AppendUtf8(out, u); // unpaired surrogates come out as U+FFFD
    }
    return out;
}

namespace {

// Length of the valid UTF-8 sequence at i, or 0.
size_t Utf8SequenceAt(std::string_view s, size_t i, uint32_t& cp) {
    auto b = static_cast<uint8_t>(s[i]);
    size_t n;
    if (b < 0x80) {
        cp = b;
        return 1;
    } else if (b >= 0xC2 && b <= 0xDF) {
        n = 2;
        cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        cp = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        cp = b & 0x07;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k) {
        auto c = static_cast<uint8_t>(s[i + k]);
        if ((c & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (c & 0x3F);
    }
    static const uint32_t minimum[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < minimum[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

// Windows-1252 0x80..0x9F; 0 where the code page leaves the byte undefined.
const uint16_t Cp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                 0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

} // namespace

bool IsValidUtf8(std::string_view bytes) {
    uint32_t cp;
    for (size_t i = 0; i < bytes.size();) {
        size_t n = Utf8SequenceAt(bytes, i, cp);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

static std::string CleanUtf8(std::string_view bytes) {
    std::string out;
    uint32_t cp;
    for (size_t i = 0; i < bytes.size();) {
        size_t n = Utf8SequenceAt(bytes, i, cp);
        if (n == 0) {
            AppendUtf8(out, 0xFFFD);
            ++i;
        } else {
            out.append(bytes.substr(i, n));
            i += n;
        }
    }
    return out;
}

static std::string Latin1ToUtf8(std::string_view bytes) {
    std::string out;
    for (char c : bytes)
        AppendUtf8(out, static_cast<uint8_t>(c));
    return out;
}

static std::string Utf8ToLatin1(std::string_view text, bool& lossless) {
    lossless = true;
    std::string out;
    uint32_t cp;
    for (size_t i = 0; i < text.size();) {
        size_t n = Utf8SequenceAt(text, i, cp);
        if (n == 0) { // not UTF-8: the byte is kept as it is
            out += text[i++];
            continue;
        }
        if (cp > 0xFF) {
            lossless = false;
            cp = '?';
        }
        out += static_cast<char>(cp);
        i += n;
    }
    return out;
}

static std::string Utf8ToUtf16LE(std::string_view text, bool withBom) {
    std::string out;
    if (withBom) out += "\xFF\xFE";
    auto put = [&](uint32_t u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    };
    uint32_t cp;
    for (size_t i = 0; i < text.size();) {
        size_t n = Utf8SequenceAt(text, i, cp);
        if (n == 0) {
            cp = 0xFFFD;
            n = 1;
        }
        if (cp >= 0x10000) {
            put(0xD800 + ((cp - 0x10000) >> 10));
            put(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            put(cp);
        }
        i += n;
    }
    return out;
}

std::string DisplayText(std::string_view bytes) {
    if (IsValidUtf8(bytes)) return std::string(bytes);
    std::string out;
    for (char ch : bytes) {
        auto b = static_cast<uint8_t>(ch);
        uint32_t cp = b;
        if (b >= 0x80 && b <= 0x9F) cp = Cp1252High[b - 0x80] ? Cp1252High[b - 0x80] : 0xFFFD;
        AppendUtf8(out, cp);
    }
    return out;
}

// Where the system code page is UTF-8 (Linux, Windows with the program's manifest) the text is
// already what the library holds; elsewhere it passes through UTF-16 to the code page.
static std::string Utf8ToSystemPage(std::string utf8) {
    if (platform::SystemCodePageIsUtf8()) return utf8;
    std::u16string wide;
    uint32_t cp;
    for (size_t i = 0; i < utf8.size();) {
        size_t n = Utf8SequenceAt(utf8, i, cp);
        if (n == 0) {
            cp = 0xFFFD;
            n = 1;
        }
        if (cp >= 0x10000) {
            wide += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            wide += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            wide += static_cast<char16_t>(cp);
        }
        i += n;
    }
    return platform::WideToSystem(wide);
}

static std::string SystemPageToUtf8(std::string_view text) {
    if (platform::SystemCodePageIsUtf8()) return std::string(text);
    std::string out;
    const std::u16string wide = platform::SystemToWide(text);
    for (size_t i = 0; i < wide.size(); ++i) {
        uint32_t u = wide[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] <= 0xDFFF)
            u = 0x10000 + ((u - 0xD800) << 10) + (wide[++i] - 0xDC00);
        AppendUtf8(out, u);
    }
    return out;
}

std::string Utf16ToSystem(std::string_view bytes, bool bigEndian) {
    return Utf8ToSystemPage(Utf16ToUtf8(bytes, bigEndian));
}

std::string Utf8ToSystem(std::string_view bytes) {
    return Utf8ToSystemPage(CleanUtf8(bytes));
}

std::string Latin1ToSystem(std::string_view bytes) {
    return Utf8ToSystemPage(Latin1ToUtf8(bytes));
}

std::string SystemToLatin1(std::string_view text, bool& lossless) {
    return Utf8ToLatin1(SystemPageToUtf8(text), lossless);
}

std::string SystemToUtf16LE(std::string_view text, bool withBom) {
    return Utf8ToUtf16LE(SystemPageToUtf8(text), withBom);
}

} // namespace audiolens
