// What the command line needs of its own process: whether stderr is a terminal (for progress),
// and handing over to a companion program installed beside it.
#pragma once

#include <string>
#include <vector>

namespace audiolens::platform {

bool StderrIsTerminal();

// Replaces this process with the program of that name in this program's directory, passing
// args; returns only on failure, with a reason.
std::string ExecBeside(const std::string& program, const std::vector<std::string>& args);

} // namespace audiolens::platform
