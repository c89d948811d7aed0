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
         !ec && it != end; it.increment(ec)) {
        // The entry's type comes with the listing: no stat per file. Links to directories are
        // not followed, so a link cycle cannot make the walk endless; a link to a file counts.
        std::error_code typeError;
        const bool isDirectory = it->is_directory(typeError) && !it->is_symlink(typeError);
        const bool file = it->is_regular_file(typeError);
        if (isDirectory || file) level.Entries.push_back({it->path().string(), isDirectory});
    }
    std::sort(level.Entries.begin(), level.Entries.end(),
              [](const TEntry& a, const TEntry& b) { return a.Path > b.Path; });
    Levels.push_back(std::move(level));
}

bool TFileWalk::Next(TWalkItem& item) {
    while (!Levels.empty()) {
        TLevel& level = Levels.back();
        if (level.Entries.empty()) {
            Levels.pop_back();
            continue;
        }
        TEntry entry = std::move(level.Entries.back());
        level.Entries.pop_back();
        if (entry.Directory) {
            Enter(entry.Path);
            continue;
        }
        item = {std::move(entry.Path), false};
        return true;
    }
    if (Named.empty()) return false;
    std::string path = std::move(Named.back());
    Named.pop_back();
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        Enter(path);
        return Next(item);
    }
    item = {std::move(path), true};
    return true;
}

} // namespace audiolens::cli
