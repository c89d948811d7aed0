// The command line's work on one file: the window's three audio commands, JSON, tag edits.
#pragma once

#include "cli/Options.h"
#include "cli/Scan.h"

#include <iosfwd>
#include <string>

namespace audiolens::cli {

// The work on one file: its report, or one error line. named: the file was given on the command
// line; a file found in a directory walk that no reader accepts and whose extension is not an
// audio one is NotAudio, counted instead of reported as an error.
TFileResult RunFile(const TOptions& options, const std::string& fileName, bool named);
// Why a file cannot be opened for reading: "no such file", "permission denied", ...
std::string WhyNotOpen(const std::string& fileName);
// Report text as a terminal shows it: "\n" line ends, text not valid UTF-8 as Windows-1252.
std::string TerminalText(const std::string& report);
int RunPlay(const std::string& fileName);

} // namespace audiolens::cli
