// Number/text conversions and the byte-string helpers whose rules show in report output.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace audiolens {

std::string IntToStr(int64_t value);
int32_t StrToInt(std::string_view text);
int32_t StrToIntDef(std::string_view text, int32_t fallback);
// 15 significant digits, never an exponent; "INF", "-INF" and "NAN" for the non-finite values.
std::string FloatToStr(double x);

// One argument of FormatStr: a text (for %s) or a 32-bit number (for %u, %d, %x).
struct TFormatArg {
    TFormatArg(const std::string& s) : IsText(true), Text(s) {}
    TFormatArg(const char* s) : IsText(true), Text(s ? s : "") {}
    TFormatArg(std::string_view s) : IsText(true), Text(s) {}
    TFormatArg(int32_t n) : Number(static_cast<uint32_t>(n)) {}
    TFormatArg(uint32_t n) : Number(n) {}
    TFormatArg(int64_t n) : Number(static_cast<uint32_t>(n)) {}
    TFormatArg(uint64_t n) : Number(static_cast<uint32_t>(n)) {}
    bool IsText = false;
    std::string_view Text;
    uint32_t Number = 0;
};

// printf-style template (%s %c %d %i %u %x %X %%, flags "-0", width, precision); result cut at
// 1023 characters.
constexpr size_t FormatLimit = 1023;
std::string FormatStr(std::string_view tmpl, std::initializer_list<TFormatArg> args);

bool IsTrimmed(unsigned char c);
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
std::string UpperCase(std::string_view s);
// Upper case by the system's rules for its code page (on Linux, UTF-8: ASCII and Latin-1 letters).
std::string AnsiUpperCase(std::string_view s);
bool ReplaceFirst(std::string& text, std::string_view find, std::string_view replacement);
std::string FetchToken(std::string& text, std::string_view delimiters);
std::string CopyFrom(std::string_view text, int64_t index);
std::string RepeatString(std::string_view text, int64_t n);
int64_t CharPos(std::string_view text, char c);
std::string ExtractFileExt(std::string_view fileName);

} // namespace audiolens
