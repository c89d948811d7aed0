// The operating system's file calls, reached only through this table so that a Win32 build can
// supply its own and tests can inject faults (short writes, failed renames, a full disk, a kill at
// any step). Every call a writer makes goes through one field here; each field's contract is
// written beside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace audiolens::platform {

using FileHandle = intptr_t;
constexpr FileHandle InvalidFile = -1;

enum class Access : uint32_t { Read = 1, Write = 2, ReadWrite = 3 };
enum class Disposition : uint32_t { OpenExisting, CreateAlways };

// What a writer must know about a file before replacing it.
struct TFileInfo {
    uint64_t Size = 0;
    uint32_t Mode = 0;  // permission bits (07777)
    uint32_t Links = 1; // names of the file (hard links)
    uint32_t Owner = 0, Group = 0;
};

struct TFileService {
    // Opens regular files only; anything else (FIFO, device, directory) gives InvalidFile.
    FileHandle (*Open)(const std::string& name, Access access, Disposition disposition);
    void (*Close)(FileHandle file);
    // Bytes moved, 0 on failure.
    uint32_t (*Read)(FileHandle file, void* buffer, uint32_t count);
    uint32_t (*Write)(FileHandle file, const void* buffer, uint32_t count);
    // Absolute move; false when the position cannot be reached.
    bool (*SeekTo)(FileHandle file, uint64_t position);
    uint64_t (*Tell)(FileHandle file); // ~0 on failure
    uint64_t (*Size)(FileHandle file);
    bool (*Truncate)(FileHandle file, uint64_t size);
    // Data and size on stable storage.
    bool (*Sync)(FileHandle file);
    // Metadata by name.
    bool (*IsRegularFile)(const std::string& name);
    bool (*Exists)(const std::string& name); // exists and is not a directory
    // Replaces to with from in one step (to may exist); false leaves both as they were.
    bool (*Rename)(const std::string& from, const std::string& to);
    bool (*Remove)(const std::string& name);
    // Permission bits of a file, to give a rebuilt file those of the original.
    bool (*GetMode)(const std::string& name, uint32_t& mode);
    bool (*SetMode)(const std::string& name, uint32_t mode);
    bool (*IsWritable)(const std::string& name);
    // Up to count bytes at position without moving the file position; fewer only at the end of
    // the file or on an error.
    size_t (*ReadAt)(FileHandle file, void* buffer, size_t count, uint64_t position);

    // ---- Safe replacement of a file.

    // The name of the file a name finally refers to, symbolic links followed; the name itself
    // when it is no link. Empty when it cannot be resolved.
    std::string (*ResolveName)(const std::string& name);
    // Creates a new file for reading and writing that did not exist before: never an existing
    // file, never through a symbolic link, readable and writable by its owner only (0600 on
    // POSIX). InvalidFile when the name is taken or the file cannot be made.
    FileHandle (*CreateNew)(const std::string& name);
    // Takes an exclusive advisory lock on the open file, waiting at most waitMs milliseconds;
    // false when another holder keeps it longer. Closing the handle releases the lock.
    bool (*Lock)(FileHandle file, uint32_t waitMs);
    // Facts of the open file.
    bool (*Info)(FileHandle file, TFileInfo& info);
    // True when name now refers to the same file as the open handle (not replaced meanwhile).
    bool (*SameFile)(FileHandle file, const std::string& name);
    // Gives to the owner and group of info (false when they cannot be given, for example to
    // another user without the privilege), then info's permission bits and every extended
    // attribute of from; false when any of it fails.
    bool (*CopyOwnership)(FileHandle from, FileHandle to, const TFileInfo& info);
    // Copies count bytes from offset of one file to offset of another without moving either
    // file position; ranges that are holes in the source are left unwritten (they read as zeros
    // in the destination once its size covers them). Bytes copied; fewer on an error.
    uint64_t (*CopyRange)(FileHandle from, uint64_t fromOffset, FileHandle to, uint64_t toOffset,
                          uint64_t count);
    // Makes a finished rename in the directory of name durable.
    bool (*SyncDirectory)(const std::string& name);
};

// The service in use; tests may install another (nullptr restores the system's).
const TFileService& Files();
void SetFileService(const TFileService* service);
const TFileService& SystemFileService();

} // namespace audiolens::platform
