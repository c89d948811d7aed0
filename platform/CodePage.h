// The system's single-byte ("ANSI") code page that library strings are in. It is UTF-8 on Linux
// and on Windows that honours the program's UTF-8 manifest; older Windows has a legacy code page
// there, and text passes through UTF-16 to reach it.
#pragma once

#include <string>
#include <string_view>

namespace audiolens::platform {

bool SystemCodePageIsUtf8();
// Well-formed UTF-16 into the system code page; characters it lacks become its default character.
std::string WideToSystem(std::u16string_view text);
// System code page text into UTF-16.
std::u16string SystemToWide(std::string_view text);
// Upper case by the system's rules for its code page; the result has the same length in bytes.
std::string SystemUpperCase(std::string_view text);

} // namespace audiolens::platform
