// audiolens: the command-line face of the library.
#include "cli/Commands.h"
#include "cli/Options.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <system_error>

namespace {

constexpr const char* VersionText = "audiolens 0.1.0\n";

// Regular files under a directory, sorted for a stable order; a file name as it is.
std::vector<std::string> Expand(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_directory(path, ec)) return {path};
    std::vector<std::string> files;
    for (fs::recursive_directory_iterator
             it(path, fs::directory_options::skip_permission_denied, ec),
         end;
         !ec && it != end; it.increment(ec))
        if (it->is_regular_file(ec)) files.push_back(it->path().string());
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

int main(int argc, char** argv) {
    using namespace audiolens::cli;
    std::ios::sync_with_stdio(false);
    TOptions options;
    std::string error;
    if (!ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::cerr << "audiolens: " << error << "\n" << UsageText();
        return 2;
    }
    if (options.Help) {
        std::cout << UsageText();
        return 0;
    }
    if (options.Version) {
        std::cout << VersionText;
        return 0;
    }
    if (!options.PlayFile.empty()) return RunPlay(options.PlayFile);
    bool allReported = true;
    for (const std::string& path : options.Paths)
        for (const std::string& file : Expand(path))
            allReported = RunFile(options, file, std::cout, std::cerr) && allReported;
    std::cout.flush();
    return allReported ? 0 : 1;
}
