// POSIX file calls behind the file service.
#include "platform/FileService.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace audiolens::platform {
namespace {

FileHandle PosixOpen(const std::string& name, Access access, Disposition disposition) {
    int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    if (access == Access::ReadWrite)
        flags |= O_RDWR;
    else if (access == Access::Write)
        flags |= O_WRONLY;
    else
        flags |= O_RDONLY;
    if (disposition == Disposition::CreateAlways) flags |= O_CREAT;
    // O_NONBLOCK keeps a FIFO from blocking the open; fstat below refuses it.
    int fd = ::open(name.c_str(), flags, 0666);
    if (fd < 0) return InvalidFile;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return InvalidFile;
    }
    // A file without write permission bits is read-only for everyone, root included, as the
    // read-only attribute is on Windows.
    if (access != Access::Read && (st.st_mode & 0222) == 0) {
        ::close(fd);
        return InvalidFile;
    }
    if (disposition == Disposition::CreateAlways && ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return InvalidFile;
    }
    // O_NONBLOCK means nothing for a regular file's reads; writers clear it all the same.
    if (access != Access::Read) {
        int fl = ::fcntl(fd, F_GETFL);
        if (fl >= 0) ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    }
    return fd;
}

void PosixClose(FileHandle file) {
    if (file >= 0) ::close(static_cast<int>(file));
}

uint32_t PosixRead(FileHandle file, void* buffer, uint32_t count) {
    auto* out = static_cast<char*>(buffer);
    uint32_t done = 0;
    while (done < count) {
        ssize_t n = ::read(static_cast<int>(file), out + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<uint32_t>(n);
    }
    return done;
}

uint32_t PosixWrite(FileHandle file, const void* buffer, uint32_t count) {
    auto* in = static_cast<const char*>(buffer);
    uint32_t done = 0;
    while (done < count) {
        ssize_t n = ::write(static_cast<int>(file), in + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<uint32_t>(n);
    }
    return done;
}

bool PosixSeekTo(FileHandle file, uint64_t position) {
    return ::lseek(static_cast<int>(file), static_cast<off_t>(position), SEEK_SET) >= 0;
}

uint64_t PosixTell(FileHandle file) {
    off_t at = ::lseek(static_cast<int>(file), 0, SEEK_CUR);
    return at < 0 ? 0 : static_cast<uint64_t>(at);
}

uint64_t PosixSize(FileHandle file) {
    struct stat st {};
    if (::fstat(static_cast<int>(file), &st) != 0) return 0;
    return static_cast<uint64_t>(st.st_size);
}

bool PosixTruncate(FileHandle file, uint64_t size) {
    return ::ftruncate(static_cast<int>(file), static_cast<off_t>(size)) == 0;
}

bool PosixSync(FileHandle file) {
    return ::fsync(static_cast<int>(file)) == 0;
}

bool PosixIsRegularFile(const std::string& name) {
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool PosixExists(const std::string& name) {
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool PosixRename(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool PosixRemove(const std::string& name) {
    return ::unlink(name.c_str()) == 0;
}

bool PosixGetMode(const std::string& name, uint32_t& mode) {
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0) return false;
    mode = static_cast<uint32_t>(st.st_mode & 07777);
    return true;
}

bool PosixSetMode(const std::string& name, uint32_t mode) {
    return ::chmod(name.c_str(), static_cast<mode_t>(mode)) == 0;
}

bool PosixIsWritable(const std::string& name) {
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0 && (st.st_mode & 0222) != 0 &&
           ::access(name.c_str(), W_OK) == 0;
}

size_t PosixReadAt(FileHandle file, void* buffer, size_t count, uint64_t position) {
    auto* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::pread(static_cast<int>(file), out + done, count - done,
                            static_cast<off_t>(position + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

const TFileService PosixService = {
    PosixOpen,   PosixClose,    PosixRead,    PosixWrite,         PosixSeekTo, PosixTell,
    PosixSize,   PosixTruncate, PosixSync,    PosixIsRegularFile, PosixExists, PosixRename,
    PosixRemove, PosixGetMode,  PosixSetMode, PosixIsWritable,    PosixReadAt,
};

const TFileService* Current = &PosixService;

} // namespace

const TFileService& Files() {
    return *Current;
}
void SetFileService(const TFileService* service) {
    Current = service ? service : &PosixService;
}
const TFileService& SystemFileService() {
    return PosixService;
}

} // namespace audiolens::platform
