// POSIX file calls behind the file service.
#include "platform/FileService.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>
#include <vector>

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
    return at < 0 ? ~uint64_t{0} : static_cast<uint64_t>(at);
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

std::string PosixResolveName(const std::string& name) {
    char* resolved = ::realpath(name.c_str(), nullptr);
    if (!resolved) return {};
    std::string out(resolved);
    std::free(resolved);
    return out;
}

FileHandle PosixCreateNew(const std::string& name) {
    int fd =
        ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0) return InvalidFile;
    // The umask may only have narrowed 0600; make it exactly that.
    ::fchmod(fd, 0600);
    return fd;
}

bool PosixLock(FileHandle file, uint32_t waitMs) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        if (::flock(static_cast<int>(file), LOCK_EX | LOCK_NB) == 0) return true;
        if (errno != EWOULDBLOCK && errno != EINTR) return false;
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool PosixInfo(FileHandle file, TFileInfo& info) {
    struct stat st {};
    if (::fstat(static_cast<int>(file), &st) != 0) return false;
    info.Size = static_cast<uint64_t>(st.st_size);
    info.Mode = static_cast<uint32_t>(st.st_mode & 07777);
    info.Links = static_cast<uint32_t>(st.st_nlink);
    info.Owner = st.st_uid;
    info.Group = st.st_gid;
    return true;
}

bool PosixSameFile(FileHandle file, const std::string& name) {
    struct stat open {
    }, named{};
    return ::fstat(static_cast<int>(file), &open) == 0 && ::stat(name.c_str(), &named) == 0 &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

bool CopyExtendedAttributes(int from, int to) {
    ssize_t length = ::flistxattr(from, nullptr, 0);
    if (length < 0) return errno == ENOTSUP || errno == ENOSYS;
    std::vector<char> names(static_cast<size_t>(length) + 1);
    length = ::flistxattr(from, names.data(), names.size());
    if (length < 0) return false;
    for (ssize_t at = 0; at < length;) {
        const char* key = names.data() + at;
        at += static_cast<ssize_t>(std::char_traits<char>::length(key)) + 1;
        ssize_t size = ::fgetxattr(from, key, nullptr, 0);
        if (size < 0) return false;
        std::vector<char> value(static_cast<size_t>(size) + 1);
        size = ::fgetxattr(from, key, value.data(), value.size());
        if (size < 0 || ::fsetxattr(to, key, value.data(), static_cast<size_t>(size), 0) != 0)
            return false;
    }
    return true;
}

bool PosixCopyOwnership(FileHandle from, FileHandle to, const TFileInfo& info) {
    const int target = static_cast<int>(to);
    // Owner first: a change of owner clears the set-id bits that the mode then restores.
    struct stat st {};
    if (::fstat(target, &st) != 0) return false;
    if ((st.st_uid != info.Owner || st.st_gid != info.Group) &&
        ::fchown(target, info.Owner, info.Group) != 0)
        return false;
    if (!CopyExtendedAttributes(static_cast<int>(from), target)) return false;
    return ::fchmod(target, static_cast<mode_t>(info.Mode)) == 0;
}

// Copies a range holding data, by the kernel where it can and by reads and writes otherwise.
uint64_t CopyData(int from, uint64_t fromOffset, int to, uint64_t toOffset, uint64_t count) {
    uint64_t done = 0;
    bool kernel = true;
    std::vector<char> buffer;
    while (done < count) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(count - done, 1u << 24));
        if (kernel) {
            auto in = static_cast<off_t>(fromOffset + done),
                 out = static_cast<off_t>(toOffset + done);
            ssize_t n = ::copy_file_range(from, &in, to, &out, want, 0);
            if (n > 0) {
                done += static_cast<uint64_t>(n);
                continue;
            }
            if (n == 0) break;
            if (errno == EINTR) continue;
            if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) break;
            kernel = false;
        }
        buffer.resize(std::min<size_t>(want, 1u << 20));
        ssize_t got =
            ::pread(from, buffer.data(), buffer.size(), static_cast<off_t>(fromOffset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        size_t put = 0;
        while (put < static_cast<size_t>(got)) {
            ssize_t n = ::pwrite(to, buffer.data() + put, static_cast<size_t>(got) - put,
                                 static_cast<off_t>(toOffset + done + put));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return done + put;
            put += static_cast<size_t>(n);
        }
        done += put;
    }
    return done;
}

uint64_t CopyRangeMovingSource(int in, uint64_t fromOffset, int out, uint64_t toOffset,
                               uint64_t count);

uint64_t PosixCopyRange(FileHandle from, uint64_t fromOffset, FileHandle to, uint64_t toOffset,
                        uint64_t count) {
    // Looking for data and holes moves the source's position: it is put back.
    const int in = static_cast<int>(from);
    const off_t saved = ::lseek(in, 0, SEEK_CUR);
    const uint64_t done =
        CopyRangeMovingSource(in, fromOffset, static_cast<int>(to), toOffset, count);
    if (saved >= 0) ::lseek(in, saved, SEEK_SET);
    return done;
}

uint64_t CopyRangeMovingSource(int in, uint64_t fromOffset, int out, uint64_t toOffset,
                               uint64_t count) {
    const uint64_t end = fromOffset + count;
    uint64_t at = fromOffset;
    while (at < end) {
        // The next data at or after at; a hole up to the end of the file gives ENXIO.
        off_t data = ::lseek(in, static_cast<off_t>(at), SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO) return count; // only a hole is left
            // No hole support: the whole range is data.
            return CopyData(in, fromOffset, out, toOffset, count);
        }
        if (static_cast<uint64_t>(data) >= end) return count;
        off_t hole = ::lseek(in, data, SEEK_HOLE);
        uint64_t stop = hole < 0 ? end : std::min<uint64_t>(end, static_cast<uint64_t>(hole));
        const uint64_t length = stop - static_cast<uint64_t>(data);
        const uint64_t copied =
            CopyData(in, static_cast<uint64_t>(data), out,
                     toOffset + (static_cast<uint64_t>(data) - fromOffset), length);
        if (copied != length) return static_cast<uint64_t>(data) - fromOffset + copied;
        at = stop;
    }
    return count;
}

bool PosixSyncDirectory(const std::string& name) {
    const size_t slash = name.rfind('/');
    const std::string directory = slash == std::string::npos ? "."
                                  : slash == 0               ? "/"
                                                             : name.substr(0, slash);
    int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0 || errno == EINVAL; // some file systems cannot sync a directory
    ::close(fd);
    return ok;
}

const TFileService PosixService = {
    PosixOpen,       PosixClose,    PosixRead,          PosixWrite,     PosixSeekTo,
    PosixTell,       PosixSize,     PosixTruncate,      PosixSync,      PosixIsRegularFile,
    PosixExists,     PosixRename,   PosixRemove,        PosixGetMode,   PosixSetMode,
    PosixIsWritable, PosixReadAt,   PosixResolveName,   PosixCreateNew, PosixLock,
    PosixInfo,       PosixSameFile, PosixCopyOwnership, PosixCopyRange, PosixSyncDirectory,
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
