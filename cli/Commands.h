// The command line's work on one file: the window's three audio commands, JSON, tag edits.
#pragma once

#include "cli/Options.h"

#include <iosfwd>
#include <string>

namespace audiolens::cli {

// Prints to out; a file that could not be reported gets one line on err. Returns success.
bool RunFile(const TOptions& options, const std::string& fileName, std::ostream& out,
             std::ostream& err);
// Report text as a terminal shows it: "\n" line ends, text not valid UTF-8 as Windows-1252.
std::string TerminalText(const std::string& report);
int RunPlay(const std::string& fileName);

} // namespace audiolens::cli
