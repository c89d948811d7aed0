#include "core/Convert.h"

#include "platform/CodePage.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace audiolens {

std::string IntToStr(int64_t value) {
    return std::to_string(value);
}

int32_t StrToInt(std::string_view text) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    uint32_t value = 0; // wraps like the 32-bit original: no overflow check
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10 + static_cast<uint32_t>(text[i] - '0');
    return static_cast<int32_t>(negative ? 0u - value : value);
}

int32_t StrToIntDef(std::string_view text, int32_t fallback) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    unsigned base = 10;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size()) return fallback;
    uint64_t value = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return fallback;
        value = value * base + digit;
        // Decimal must fit a signed 32-bit value; hexadecimal any 32-bit pattern.
        uint64_t limit = base == 10 ? (negative ? 0x80000000ull : 0x7FFFFFFFull) : 0xFFFFFFFFull;
        if (value > limit) return fallback;
    }
    auto bits = static_cast<uint32_t>(value);
    return static_cast<int32_t>(negative ? 0u - bits : bits);
}

std::string FloatToStr(double x) {
    if (std::isnan(x)) return "NAN";
    if (std::isinf(x)) return x < 0 ? "-INF" : "INF";
    if (x == 0) return "0";
    bool negative = x < 0;
    long double v = std::fabs(static_cast<long double>(x));
    int e = 15;
    bool scaledUp = false;
    while (v < 5e12L) {
        v *= 10;
        --e;
        scaledUp = true;
    }
    if (!scaledUp)
        while (v >= 1e13L) {
            v /= 10;
            ++e;
        }
    while (std::nearbyint(v) < 1e14L) {
        v *= 10;
        --e;
    }
    long double digitsValue = std::nearbyint(v);
    // Rounding can reach 10^15 (sixteen digits): scale back by one place.
    if (digitsValue >= 1e15L) {
        v /= 10;
        ++e;
        digitsValue = std::nearbyint(v);
        if (digitsValue >= 1e15L) digitsValue = 1e14L;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%015llu", static_cast<unsigned long long>(digitsValue));
    std::string digits(buf);
    std::string text;
    if (e <= 0)
        text = "0." + std::string(static_cast<size_t>(-e), '0') + digits;
    else if (e < 15)
        text =
            digits.substr(0, static_cast<size_t>(e)) + "." + digits.substr(static_cast<size_t>(e));
    else
        text = digits + std::string(static_cast<size_t>(e - 15), '0');
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0')
            text.pop_back();
        if (text.back() == '.') text.pop_back();
    }
    return negative ? "-" + text : text;
}

namespace {

void AppendPadded(std::string& out, std::string_view body, bool left, bool zero, size_t width,
                  bool numeric) {
    size_t pad = width > body.size() ? width - body.size() : 0;
    if (left) {
        out += body;
        out.append(pad, ' ');
    } else if (zero && numeric) {
        size_t sign = (!body.empty() && body[0] == '-') ? 1 : 0;
        out += body.substr(0, sign);
        out.append(pad, '0');
        out += body.substr(sign);
    } else {
        out.append(pad, ' ');
        out += body;
    }
}

} // namespace

std::string FormatStr(std::string_view tmpl, std::initializer_list<TFormatArg> args) {
    std::string out;
    auto next = args.begin();
    auto take = [&]() -> const TFormatArg* { return next == args.end() ? nullptr : &*next++; };
    for (size_t i = 0; i < tmpl.size() && out.size() < FormatLimit; ++i) {
        char c = tmpl[i];
        if (c != '%') {
            out += c;
            continue;
        }
        size_t start = i++;
        bool left = false, zero = false;
        for (; i < tmpl.size() && (tmpl[i] == '-' || tmpl[i] == '0'); ++i)
            (tmpl[i] == '-' ? left : zero) = true;
        size_t width = 0;
        for (; i < tmpl.size() && tmpl[i] >= '0' && tmpl[i] <= '9'; ++i)
            width = std::min<size_t>(width * 10 + static_cast<size_t>(tmpl[i] - '0'), FormatLimit);
        bool hasPrecision = false;
        size_t precision = 0;
        if (i < tmpl.size() && tmpl[i] == '.') {
            hasPrecision = true;
            for (++i; i < tmpl.size() && tmpl[i] >= '0' && tmpl[i] <= '9'; ++i)
                precision = std::min<size_t>(precision * 10 + static_cast<size_t>(tmpl[i] - '0'),
                                             FormatLimit);
        }
        if (i < tmpl.size() && (tmpl[i] == 'l' || tmpl[i] == 'h')) ++i;
        if (i >= tmpl.size()) {
            out += tmpl.substr(start);
            break;
        }
        char kind = tmpl[i];
        std::string body;
        bool numeric = true;
        if (kind == '%') {
            out += '%';
            continue;
        } else if (kind == 's') {
            const TFormatArg* a = take();
            std::string_view s = a && a->IsText ? a->Text : std::string_view{};
            if (hasPrecision && s.size() > precision) s = s.substr(0, precision);
            body = s;
            numeric = false;
        } else if (kind == 'c') {
            const TFormatArg* a = take();
            body = std::string(1, static_cast<char>(a ? a->Number : 0));
            numeric = false;
        } else if (kind == 'd' || kind == 'i' || kind == 'u' || kind == 'x' || kind == 'X') {
            const TFormatArg* a = take();
            uint32_t n = a && !a->IsText ? a->Number : 0;
            char buf[16];
            if (kind == 'u')
                std::snprintf(buf, sizeof buf, "%u", n);
            else if (kind == 'x')
                std::snprintf(buf, sizeof buf, "%x", n);
            else if (kind == 'X')
                std::snprintf(buf, sizeof buf, "%X", n);
            else
                std::snprintf(buf, sizeof buf, "%d", static_cast<int32_t>(n));
            body = buf;
            if (hasPrecision) {
                size_t sign = body[0] == '-' ? 1 : 0;
                size_t digits = body.size() - sign;
                if (digits < precision) body.insert(sign, precision - digits, '0');
            }
        } else {
            out += tmpl.substr(start, i - start + 1); // unknown conversion: copied as written
            continue;
        }
        AppendPadded(out, body, left, zero && !hasPrecision, width, numeric);
    }
    if (out.size() > FormatLimit) out.resize(FormatLimit);
    return out;
}

bool IsTrimmed(unsigned char c) {
    return c <= 32;
}

std::string TrimLeft(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && IsTrimmed(static_cast<unsigned char>(s[i])))
        ++i;
    return std::string(s.substr(i));
}

std::string TrimRight(std::string_view s) {
    size_t n = s.size();
    while (n > 0 && IsTrimmed(static_cast<unsigned char>(s[n - 1])))
        --n;
    return std::string(s.substr(0, n));
}

std::string Trim(std::string_view s) {
    return TrimLeft(TrimRight(s));
}

std::string UpperCase(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return out;
}

std::string AnsiUpperCase(std::string_view s) {
    return platform::SystemUpperCase(s);
}

bool ReplaceFirst(std::string& text, std::string_view find, std::string_view replacement) {
    size_t at = text.find(find);
    if (find.empty() || at == std::string::npos) return false;
    text.replace(at, find.size(), replacement);
    return true;
}

std::string FetchToken(std::string& text, std::string_view delimiters) {
    size_t at = text.find_first_of(delimiters);
    if (at == std::string::npos) return std::exchange(text, std::string());
    std::string token = text.substr(0, at);
    text.erase(0, at + 1);
    return token;
}

std::string CopyFrom(std::string_view text, int64_t index) {
    if (index < 1) index = 1;
    if (static_cast<uint64_t>(index) > text.size()) return {};
    return std::string(text.substr(static_cast<size_t>(index - 1)));
}

std::string RepeatString(std::string_view text, int64_t n) {
    std::string out;
    for (int64_t i = 0; i < n; ++i)
        out += text;
    return out;
}

int64_t CharPos(std::string_view text, char c) {
    size_t at = text.find(c);
    return at == std::string::npos ? -1 : static_cast<int64_t>(at) + 1;
}

std::string ExtractFileExt(std::string_view fileName) {
    size_t at = fileName.rfind('.');
    return at == std::string::npos ? std::string() : std::string(fileName.substr(at));
}

} // namespace audiolens
