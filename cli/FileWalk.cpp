#include "cli/FileWalk.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace audiolens::cli {

namespace fs = std::filesystem;

TFileWalk::TFileWalk(std::vector<std::string> paths) : Named(std::move(paths)) {
    std::reverse(Named.begin(), Named.end());
}

void TFileWalk::Enter(const std::string& directory) {
    TLevel level;
    std::error_code ec;
    for (fs::directory_iterator it(directory, fs::directory_options::skip_permission_denied, ec),
         end;
         !ec && it != end; it.increment(ec))
        level.Entries.push_back(it->path().string());
    std::sort(level.Entries.rbegin(), level.Entries.rend());
    Levels.push_back(std::move(level));
}

bool TFileWalk::Next(TWalkItem& item) {
    std::error_code ec;
    while (!Levels.empty()) {
        TLevel& level = Levels.back();
        if (level.Entries.empty()) {
            Levels.pop_back();
            continue;
        }
        std::string path = std::move(level.Entries.back());
        level.Entries.pop_back();
        // Links to directories are not followed: a link cycle cannot make the walk endless.
        const fs::file_status status = fs::symlink_status(path, ec);
        if (fs::is_directory(status)) {
            Enter(path);
        } else if (fs::is_regular_file(fs::status(path, ec))) {
            item = {std::move(path), false};
            return true;
        }
    }
    if (Named.empty()) return false;
    std::string path = std::move(Named.back());
    Named.pop_back();
    if (fs::is_directory(path, ec)) {
        Enter(path);
        return Next(item);
    }
    item = {std::move(path), true};
    return true;
}

} // namespace audiolens::cli
