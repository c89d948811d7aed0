// Command-line options of the audiolens program.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace audiolens::cli {

struct TOptions {
    bool Verify = false;
    bool Json = false;
    bool Remove = false;
    bool Help = false;
    bool Version = false;
    int Jobs = 0;                                       // --jobs N; 0: one per core
    int TagKind = -1;                                   // --tag KIND
    std::vector<std::pair<int, std::string>> SetFields; // --set FIELD=VALUE
    std::string PlayFile;                               // --play FILE.mid
    std::vector<std::string> Paths;
};

// Returns false with an error text for a usage error.
bool ParseOptions(const std::vector<std::string>& args, TOptions& options, std::string& error);
std::string UsageText();

} // namespace audiolens::cli
