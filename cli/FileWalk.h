// The files named on the command line, with directories walked recursively in sorted order. One
// directory listing is held per level of the walk, so memory follows the depth and the largest
// directory, not the size of the collection.
#pragma once

#include <string>
#include <vector>

namespace audiolens::cli {

struct TWalkItem {
    std::string Path;
    bool Named = false; // given on the command line rather than found in a directory
};

class TFileWalk {
  public:
    explicit TFileWalk(std::vector<std::string> paths);
    // The next file, false at the end.
    bool Next(TWalkItem& item);

  private:
    struct TEntry {
        std::string Path;
        bool Directory = false;
    };
    struct TLevel {
        std::vector<TEntry> Entries; // sorted, consumed from the back
    };
    std::vector<std::string> Named; // reversed, consumed from the back
    std::vector<TLevel> Levels;
    void Enter(const std::string& directory);
};

} // namespace audiolens::cli
