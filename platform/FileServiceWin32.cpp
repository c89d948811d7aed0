// Win32 file calls behind the file service. Writers open with others allowed to read only, so a
// file another program holds open for writing (or without sharing) is refused rather than
// changed under it; the rebuilt file replaces the original with one MoveFileExA.
#include "platform/FileService.h"

#include <windows.h>

#include <vector>

namespace audiolens::platform {
namespace {

HANDLE ToHandle(FileHandle file) {
    return reinterpret_cast<HANDLE>(file);
}

// The reserved device names ("NUL", "CON", "COM1"...) in any directory and with any extension,
// and the device namespace (\\.\). They are refused by name before any call: Wine maps
// "NUL" to the host's /dev/null as if it were a disk file, and a rename over it or a deletion
// would replace or remove that device.
bool IsDeviceName(const std::string& name) {
    if (name.rfind("\\\\.\\", 0) == 0 || name.rfind("//./", 0) == 0) return true;
    const size_t slash = name.find_last_of("\\/:");
    std::string base = name.substr(slash == std::string::npos ? 0 : slash + 1);
    base = base.substr(0, base.find('.'));
    while (!base.empty() && (base.back() == ' ' || base.back() == '.'))
        base.pop_back();
    for (char& c : base)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" ||
        base == "CONOUT$" || base == "CLOCK$")
        return true;
    return base.size() == 4 && (base.rfind("COM", 0) == 0 || base.rfind("LPT", 0) == 0) &&
           base[3] >= '0' && base[3] <= '9';
}

// Device names ("CON", "NUL", pipes) and reparse points (links, junctions) are not files. A
// read-only file is not opened for writing even where the system would let an administrator
// (or Wine's root) do so.
bool IsPlainFile(HANDLE handle, bool forWriting) {
    if (GetFileType(handle) != FILE_TYPE_DISK) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) return false;
    DWORD refused = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
    if (forWriting) refused |= FILE_ATTRIBUTE_READONLY;
    return (info.dwFileAttributes & refused) == 0;
}

FileHandle Win32Open(const std::string& name, Access access, Disposition disposition) {
    if (IsDeviceName(name)) return InvalidFile;
    DWORD desired = 0;
    if (access != Access::Write) desired |= GENERIC_READ;
    if (access != Access::Read) desired |= GENERIC_WRITE;
    // Readers let others read and write, as every player does, and let the file be replaced (a
    // writer's own lock and original are read handles open while its new file is renamed over
    // the name); writers let others only read.
    DWORD share = access == Access::Read ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE
                                         : FILE_SHARE_READ;
    // A file to be created is opened first and emptied only after the checks below, so a device
    // or a link planted under the name is refused, never truncated or followed.
    DWORD create = disposition == Disposition::CreateAlways ? OPEN_ALWAYS : OPEN_EXISTING;
    HANDLE handle = CreateFileA(name.c_str(), desired, share, nullptr, create,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return InvalidFile;
    bool ok = IsPlainFile(handle, access != Access::Read);
    if (ok && disposition == Disposition::CreateAlways)
        ok = SetFilePointer(handle, 0, nullptr, FILE_BEGIN) == 0 && SetEndOfFile(handle);
    if (!ok) {
        CloseHandle(handle);
        return InvalidFile;
    }
    return reinterpret_cast<FileHandle>(handle);
}

void Win32Close(FileHandle file) {
    if (file != InvalidFile) CloseHandle(ToHandle(file));
}

uint32_t Win32Read(FileHandle file, void* buffer, uint32_t count) {
    auto* out = static_cast<char*>(buffer);
    uint32_t done = 0;
    while (done < count) {
        DWORD n = 0;
        if (!ReadFile(ToHandle(file), out + done, count - done, &n, nullptr) || n == 0) break;
        done += n;
    }
    return done;
}

uint32_t Win32Write(FileHandle file, const void* buffer, uint32_t count) {
    auto* in = static_cast<const char*>(buffer);
    uint32_t done = 0;
    while (done < count) {
        DWORD n = 0;
        if (!WriteFile(ToHandle(file), in + done, count - done, &n, nullptr) || n == 0) break;
        done += n;
    }
    return done;
}

// SetFilePointer with its high part: INVALID_SET_FILE_POINTER is also a valid low part, so the
// error code decides.
bool MoveTo(HANDLE handle, uint64_t position, DWORD method, uint64_t* result = nullptr) {
    LONG high = static_cast<LONG>(position >> 32);
    SetLastError(NO_ERROR);
    DWORD low = SetFilePointer(handle, static_cast<LONG>(position & 0xFFFFFFFFu), &high, method);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return false;
    if (result) *result = static_cast<uint64_t>(static_cast<DWORD>(high)) << 32 | low;
    return true;
}

bool Win32SeekTo(FileHandle file, uint64_t position) {
    return position <= INT64_MAX && MoveTo(ToHandle(file), position, FILE_BEGIN);
}

uint64_t Win32Tell(FileHandle file) {
    uint64_t at = 0;
    return MoveTo(ToHandle(file), 0, FILE_CURRENT, &at) ? at : 0;
}

uint64_t Win32Size(FileHandle file) {
    DWORD high = 0;
    SetLastError(NO_ERROR);
    DWORD low = GetFileSize(ToHandle(file), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return 0;
    return static_cast<uint64_t>(high) << 32 | low;
}

// Ends the file at size and leaves the position where it was, as ftruncate does.
bool Win32Truncate(FileHandle file, uint64_t size) {
    HANDLE handle = ToHandle(file);
    uint64_t at = 0;
    if (size > INT64_MAX || !MoveTo(handle, 0, FILE_CURRENT, &at)) return false;
    bool ok = MoveTo(handle, size, FILE_BEGIN) && SetEndOfFile(handle);
    MoveTo(handle, at, FILE_BEGIN);
    return ok;
}

bool Win32Sync(FileHandle file) {
    return FlushFileBuffers(ToHandle(file)) != 0;
}

DWORD Attributes(const std::string& name) {
    return GetFileAttributesA(name.c_str());
}

bool Win32IsRegularFile(const std::string& name) {
    if (IsDeviceName(name)) return false;
    DWORD a = Attributes(name);
    return a != INVALID_FILE_ATTRIBUTES &&
           (a &
            (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) == 0;
}

bool Win32Exists(const std::string& name) {
    DWORD a = Attributes(name);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The rebuilt file takes the original's name with one MoveFileExA where it can; on failure (the
// target open in another program without delete sharing, no rights) the original stays as it
// was.
//
// Windows refuses to replace a file that has any open handle, even one shared for deleting; a
// writer holds two on its original (its lock and its read), which must stay open until the new
// file carries the lock. Renaming an open file is allowed when every handle shares deleting, so
// the original first steps aside to a fresh name, the new file takes its place, and the original
// is deleted (it goes when its last handle closes). Between the two moves the name is missing for
// an instant: a crash exactly there leaves the original whole under "NAME~old", the new file
// under its own name. A handle without delete sharing (another program's) makes the first move
// fail, and both files stay as they were.
bool Win32Rename(const std::string& from, const std::string& to) {
    constexpr DWORD Flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (IsDeviceName(from) || IsDeviceName(to)) return false;
    if (MoveFileExA(from.c_str(), to.c_str(), Flags)) return true;
    const DWORD error = GetLastError();
    if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) ||
        !Win32IsRegularFile(to) || !Win32IsRegularFile(from))
        return false;
    std::string aside;
    for (int n = 1;; ++n) {
        if (n > 100) return false;
        aside = to + "~old" + (n == 1 ? std::string() : std::to_string(n));
        // Without REPLACE_EXISTING the move never takes a name that exists.
        if (MoveFileExA(to.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH)) break;
        const DWORD e = GetLastError();
        // A name still taken by an earlier original whose deletion waits for its last handle
        // refuses access: the next name is tried. Any other failure is the original's own.
        const bool taken = e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS ||
                           Attributes(aside) != INVALID_FILE_ATTRIBUTES ||
                           GetLastError() == ERROR_ACCESS_DENIED;
        if (!taken) return false;
    }
    if (!MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) {
        MoveFileExA(aside.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH);
        return false;
    }
    DeleteFileA(aside.c_str());
    return true;
}

bool Win32Remove(const std::string& name) {
    if (IsDeviceName(name)) return false;
    return DeleteFileA(name.c_str()) != 0;
}

// Windows has attributes where POSIX has permission bits; these are the ones a rebuilt file
// keeps from the original.
constexpr DWORD KeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                 FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                 FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool Win32GetMode(const std::string& name, uint32_t& mode) {
    DWORD a = Attributes(name);
    if (a == INVALID_FILE_ATTRIBUTES) return false;
    mode = a & KeptAttributes;
    return true;
}

bool Win32SetMode(const std::string& name, uint32_t mode) {
    if (IsDeviceName(name)) return false;
    DWORD kept = mode & KeptAttributes;
    return SetFileAttributesA(name.c_str(), kept ? kept : FILE_ATTRIBUTE_NORMAL) != 0;
}

// Writable: not read-only, and no other program holds it in a way that keeps us from writing.
bool Win32IsWritable(const std::string& name) {
    if (IsDeviceName(name)) return false;
    DWORD a = Attributes(name);
    if (a == INVALID_FILE_ATTRIBUTES || (a & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        return false;
    HANDLE handle = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    CloseHandle(handle);
    return true;
}

// A read at an offset moves a synchronous handle's position too; it is put back afterwards.
size_t Win32ReadAt(FileHandle file, void* buffer, size_t count, uint64_t position) {
    HANDLE handle = ToHandle(file);
    uint64_t at = 0;
    if (!MoveTo(handle, 0, FILE_CURRENT, &at)) return 0;
    auto* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < count) {
        uint64_t from = position + done;
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(from & 0xFFFFFFFFu);
        where.OffsetHigh = static_cast<DWORD>(from >> 32);
        DWORD want = count - done > 0x40000000u ? 0x40000000u : static_cast<DWORD>(count - done);
        DWORD n = 0;
        if (!ReadFile(handle, out + done, want, &n, &where) || n == 0) break;
        done += n;
    }
    MoveTo(handle, at, FILE_BEGIN);
    return done;
}

// ---- Safe replacement of a file.

// A name that is a reparse point (a symbolic link, a junction) names another file: the one the
// system reaches through it, without the "\\?\" prefix GetFinalPathNameByHandleA puts before it.
std::string Win32ResolveName(const std::string& name) {
    DWORD a = Attributes(name);
    if (a == INVALID_FILE_ATTRIBUTES) return {};
    if ((a & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return name;
    HANDLE handle =
        CreateFileA(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return {};
    std::string out(MAX_PATH, '\0');
    DWORD n = GetFinalPathNameByHandleA(handle, out.data(), static_cast<DWORD>(out.size()), 0);
    if (n >= out.size()) {
        out.assign(n + 1, '\0');
        n = GetFinalPathNameByHandleA(handle, out.data(), static_cast<DWORD>(out.size()), 0);
    }
    CloseHandle(handle);
    if (n == 0 || n >= out.size()) return {};
    out.resize(n);
    if (out.rfind("\\\\?\\UNC\\", 0) == 0) return "\\\\" + out.substr(8);
    if (out.rfind("\\\\?\\", 0) == 0) return out.substr(4);
    return out;
}

// CREATE_NEW fails on any existing name, a link or a link to nowhere included, and the reparse
// flag keeps the call from ever creating through one. No one else may read or write the file
// while it is open; delete sharing alone is granted, because the writer renames it over the
// original while it still holds it (a handle without that sharing makes the rename fail). The
// file gets the access list every new file in its directory inherits: Windows has no owner-only
// mode bits to give it.
FileHandle Win32CreateNew(const std::string& name) {
    if (IsDeviceName(name)) return InvalidFile;
    HANDLE handle =
        CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return InvalidFile;
    // Only a device name opens without making a file; it is left alone, never deleted.
    if (!IsPlainFile(handle, true)) {
        CloseHandle(handle);
        return InvalidFile;
    }
    return reinterpret_cast<FileHandle>(handle);
}

// Windows byte-range locks are mandatory: a locked byte can be neither read nor written through
// any other handle. The lock therefore covers one byte far beyond the end of any real file,
// where it keeps out only other writers taking the same lock, as an advisory lock would.
constexpr uint64_t LockOffset = 0x7FFFFFFFFFFFFFFEull;

bool Win32Lock(FileHandle file, uint32_t waitMs) {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(LockOffset & 0xFFFFFFFFu);
        where.OffsetHigh = static_cast<DWORD>(LockOffset >> 32);
        if (LockFileEx(ToHandle(file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                       &where))
            return true;
        const DWORD error = GetLastError();
        if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) return false;
        if (GetTickCount64() - start >= waitMs) return false;
        Sleep(20);
    }
}

// Size, attributes and number of names of the open file. Windows files have no POSIX owner or
// group: both stay 0, which the copy of ownership below treats as nothing to give.
bool Win32Info(FileHandle file, TFileInfo& info) {
    BY_HANDLE_FILE_INFORMATION facts{};
    if (!GetFileInformationByHandle(ToHandle(file), &facts)) return false;
    info.Size = static_cast<uint64_t>(facts.nFileSizeHigh) << 32 | facts.nFileSizeLow;
    info.Mode = facts.dwFileAttributes & KeptAttributes;
    info.Links = facts.nNumberOfLinks;
    info.Owner = 0;
    info.Group = 0;
    return true;
}

// The same file is the same volume and the same file index. (ReFS has 128-bit file numbers, of
// which this sees the low 64 bits.)
bool Win32SameFile(FileHandle file, const std::string& name) {
    BY_HANDLE_FILE_INFORMATION open{}, named{};
    if (!GetFileInformationByHandle(ToHandle(file), &open)) return false;
    HANDLE handle =
        CreateFileA(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool ok = GetFileInformationByHandle(handle, &named) != 0;
    CloseHandle(handle);
    return ok && open.dwVolumeSerialNumber == named.dwVolumeSerialNumber &&
           open.nFileIndexHigh == named.nFileIndexHigh && open.nFileIndexLow == named.nFileIndexLow;
}

// The rebuilt file takes the original's attributes (hidden, system, archive, not indexed). Its
// access list is the one it inherited from the directory, as every new file there gets; an
// access list set on the original by hand, its alternate data streams (such as the download
// zone mark) and its extended attributes are not carried over.
bool Win32CopyOwnership(FileHandle, FileHandle to, const TFileInfo& info) {
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandleEx(ToHandle(to), FileBasicInfo, &basic, sizeof basic))
        return false;
    const DWORD kept = info.Mode & KeptAttributes;
    // Zero would mean "leave as it is"; NORMAL clears them all.
    basic.FileAttributes = kept ? kept : FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(ToHandle(to), FileBasicInfo, &basic, sizeof basic) != 0;
}

// Reads and writes at positions. On a synchronous handle such a call moves the file position
// too: both positions are put back afterwards. Holes of sparse files are copied as the zeros
// they read as.
uint64_t Win32CopyRange(FileHandle from, uint64_t fromOffset, FileHandle to, uint64_t toOffset,
                        uint64_t count) {
    HANDLE in = ToHandle(from), out = ToHandle(to);
    uint64_t inAt = 0, outAt = 0;
    if (!MoveTo(in, 0, FILE_CURRENT, &inAt) || !MoveTo(out, 0, FILE_CURRENT, &outAt)) return 0;
    constexpr DWORD Block = 1u << 20;
    std::vector<char> buffer(static_cast<size_t>(count < Block ? count : Block));
    uint64_t done = 0;
    while (done < count) {
        const DWORD want = count - done < Block ? static_cast<DWORD>(count - done) : Block;
        OVERLAPPED source{};
        source.Offset = static_cast<DWORD>((fromOffset + done) & 0xFFFFFFFFu);
        source.OffsetHigh = static_cast<DWORD>((fromOffset + done) >> 32);
        DWORD got = 0;
        if (!ReadFile(in, buffer.data(), want, &got, &source) || got == 0) break;
        DWORD put = 0;
        while (put < got) {
            const uint64_t at = toOffset + done + put;
            OVERLAPPED target{};
            target.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
            target.OffsetHigh = static_cast<DWORD>(at >> 32);
            DWORD n = 0;
            if (!WriteFile(out, buffer.data() + put, got - put, &n, &target) || n == 0) break;
            put += n;
        }
        done += put;
        if (put < got) break;
    }
    MoveTo(in, inAt, FILE_BEGIN);
    MoveTo(out, outAt, FILE_BEGIN);
    return done;
}

// Nothing to do: Windows offers no flush of a directory's entries, and none is needed, because
// the rename was made with MOVEFILE_WRITE_THROUGH, which returns only once the move is on disk.
bool Win32SyncDirectory(const std::string&) {
    return true;
}

const TFileService Win32Service = {
    Win32Open,       Win32Close,    Win32Read,          Win32Write,     Win32SeekTo,
    Win32Tell,       Win32Size,     Win32Truncate,      Win32Sync,      Win32IsRegularFile,
    Win32Exists,     Win32Rename,   Win32Remove,        Win32GetMode,   Win32SetMode,
    Win32IsWritable, Win32ReadAt,   Win32ResolveName,   Win32CreateNew, Win32Lock,
    Win32Info,       Win32SameFile, Win32CopyOwnership, Win32CopyRange, Win32SyncDirectory,
};

const TFileService* Current = &Win32Service;

} // namespace

const TFileService& Files() {
    return *Current;
}
void SetFileService(const TFileService* service) {
    Current = service ? service : &Win32Service;
}
const TFileService& SystemFileService() {
    return Win32Service;
}

} // namespace audiolens::platform
