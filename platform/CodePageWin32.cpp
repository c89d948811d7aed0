// The system code page on Windows: UTF-8 where the program's manifest is honoured (Windows 10
// version 1903 and later), the legacy ANSI code page before. Conversions go through
// MultiByteToWideChar and WideCharToMultiByte, upper-casing through CharUpperBuffA.
#include "platform/CodePage.h"

#include <windows.h>

#include <climits>
#include <cstring>

namespace audiolens::platform {

bool SystemCodePageIsUtf8() {
    return GetACP() == CP_UTF8;
}

std::string WideToSystem(std::u16string_view text) {
    if (text.empty() || text.size() > INT_MAX) return {};
    auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    int length = static_cast<int>(text.size());
    int size = WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string out(static_cast<size_t>(size), '\0');
    size = WideCharToMultiByte(CP_ACP, 0, wide, length, out.data(), size, nullptr, nullptr);
    out.resize(size > 0 ? static_cast<size_t>(size) : 0);
    return out;
}

std::u16string SystemToWide(std::string_view text) {
    if (text.empty() || text.size() > INT_MAX) return {};
    int length = static_cast<int>(text.size());
    int size = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (size <= 0) return {};
    std::u16string out(static_cast<size_t>(size), u'\0');
    size = MultiByteToWideChar(CP_ACP, 0, text.data(), length,
                               reinterpret_cast<wchar_t*>(out.data()), size);
    out.resize(size > 0 ? static_cast<size_t>(size) : 0);
    return out;
}

namespace {

// Bytes of the well-formed UTF-8 character at i, 0 for a byte that starts none.
size_t Utf8Length(std::string_view s, size_t i) {
    auto b = static_cast<unsigned char>(s[i]);
    size_t n = b < 0x80                 ? 1
               : b >= 0xC2 && b <= 0xDF ? 2
               : b >= 0xE0 && b <= 0xEF ? 3
               : b >= 0xF0 && b <= 0xF4 ? 4
                                        : 0;
    if (n == 0 || i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
    return n;
}

} // namespace

std::string SystemUpperCase(std::string_view text) {
    std::string out(text);
    if (out.empty() || out.size() > ULONG_MAX) return out;
    if (!SystemCodePageIsUtf8()) {
        // Single- and double-byte code pages keep every character's length.
        std::string upper = out;
        if (CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size())) == upper.size())
            return upper;
        for (char& c : out)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        return out;
    }
    // In UTF-8 a capital may be longer or shorter than its small letter: each character is
    // upper-cased on its own and kept only when its length stays; malformed bytes stay as well.
    for (size_t i = 0; i < out.size();) {
        size_t n = Utf8Length(out, i);
        if (n == 0) {
            ++i;
            continue;
        }
        char one[4];
        std::memcpy(one, out.data() + i, n);
        if (CharUpperBuffA(one, static_cast<DWORD>(n)) == n &&
            Utf8Length(std::string_view(one, n), 0) == n)
            std::memcpy(out.data() + i, one, n);
        i += n;
    }
    return out;
}

} // namespace audiolens::platform
