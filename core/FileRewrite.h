// Safe file changes for tag writers. Every change of a file is a rebuild: the new content is
// written completely into a new file beside the original (created exclusively, never through a
// link, readable by its owner only until complete), synced, and then put in the original's place:
// by one rename when that keeps everything the name had (owner, group, mode, extended attributes,
// a single link), otherwise by copying it over the original and removing the copy only once the
// original is whole. A symbolic link is followed, so the link stays a link. The file is locked
// against other writers for the whole change.
#pragma once

#include "core/FileStream.h"
#include "core/FileView.h"

#include <cstdint>
#include <functional>
#include <string>

namespace audiolens {

// What became of the file in the last change this thread made.
enum class TRewriteOutcome {
    Unchanged, // the original is as it was
    Replaced,  // the original holds the new content
    CopyKept   // the original may be damaged; the complete new content is in KeptCopy
};

struct TRewriteResult {
    TRewriteOutcome Outcome = TRewriteOutcome::Unchanged;
    std::string Message; // why it failed, for the user
    std::string KeptCopy;
};
const TRewriteResult& LastRewrite();
void ClearLastRewrite();
// For a writeNew that gives up: why, for the user.
void SetRewriteProblem(const std::string& message);

// writeNew fills the new file from the original (both streams open, the original at its start);
// it returns false to abandon, leaving the original untouched.
bool RebuildFile(const std::string& fileName,
                 const std::function<bool(TFileStream& original, TFileStream& rebuilt)>& writeNew);
// The same with the original also as a view, for writers that locate their tag through a view.
bool RebuildFileFromView(const std::string& fileName,
                         const std::function<bool(const TFileView& view, TFileStream& original,
                                                  TFileStream& rebuilt)>& writeNew);

// True when the file exists and may be changed (a read-only file is never touched).
bool CanModifyFile(const std::string& fileName);

// Holds the write lock of a file for the life of the object, so that a read, a change and a save
// form one step that no other writer interleaves with. The lock is advisory (flock) and shared
// within the process: RebuildFile under a held lock does not wait for itself.
class TWriteLock {
  public:
    explicit TWriteLock(const std::string& fileName);
    ~TWriteLock();
    TWriteLock(const TWriteLock&) = delete;
    TWriteLock& operator=(const TWriteLock&) = delete;
    bool Held() const { return !Key.empty(); }
    // Why the lock was not taken.
    const std::string& Error() const { return Problem; }

    // How long a writer waits for another before it gives up (milliseconds).
    static void SetWait(uint32_t waitMs);

  private:
    std::string Key, Problem;
};

// Writes bytes at offset and makes sure every byte went out.
bool WriteAllAt(TFileStream& stream, uint64_t offset, const void* data, uint32_t count);
bool WriteAll(TFileStream& stream, const void* data, uint32_t count);
bool WriteAll(TFileStream& stream, const std::string& data);

} // namespace audiolens
