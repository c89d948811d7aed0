// The operating system's file calls, reached only through this table so that a Win32 build can
// supply its own and tests can inject faults (short writes, failed renames, a full disk).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace audiolens::platform {

using FileHandle = intptr_t;
constexpr FileHandle InvalidFile = -1;

enum class Access : uint32_t { Read = 1, Write = 2, ReadWrite = 3 };
enum class Disposition : uint32_t { OpenExisting, CreateAlways };

struct TFileService {
    // Opens regular files only; anything else (FIFO, device, directory) gives InvalidFile.
    FileHandle (*Open)(const std::string& name, Access access, Disposition disposition);
    void (*Close)(FileHandle file);
    // Bytes moved, 0 on failure.
    uint32_t (*Read)(FileHandle file, void* buffer, uint32_t count);
    uint32_t (*Write)(FileHandle file, const void* buffer, uint32_t count);
    // Absolute move; false when the position cannot be reached.
    bool (*SeekTo)(FileHandle file, uint64_t position);
    uint64_t (*Tell)(FileHandle file);
    uint64_t (*Size)(FileHandle file);
    bool (*Truncate)(FileHandle file, uint64_t size);
    bool (*Sync)(FileHandle file);
    // Metadata by name.
    bool (*IsRegularFile)(const std::string& name);
    bool (*Exists)(const std::string& name); // exists and is not a directory
    bool (*Rename)(const std::string& from, const std::string& to);
    bool (*Remove)(const std::string& name);
    // Permission bits of a file, to give a rebuilt file those of the original.
    bool (*GetMode)(const std::string& name, uint32_t& mode);
    bool (*SetMode)(const std::string& name, uint32_t mode);
    bool (*IsWritable)(const std::string& name);
    // Up to count bytes at position without moving the file position; fewer only at the end of
    // the file or on an error.
    size_t (*ReadAt)(FileHandle file, void* buffer, size_t count, uint64_t position);
};

// The service in use; tests may install another (nullptr restores the system's).
const TFileService& Files();
void SetFileService(const TFileService* service);
const TFileService& SystemFileService();

} // namespace audiolens::platform
