#include "core/FileStream.h"

#include "platform/FileService.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace audiolens {

namespace fs = platform;

TFileStream::~TFileStream() {
    Procs.Close(*this);
}

namespace {

// A memory stream stays below 4 GiB.
constexpr uint64_t MaxMemory = 0xFFFFFFFFu;

// The target of a move, or -1 when it falls before the start or overflows.
int64_t SeekTarget(int64_t base, int64_t offset) {
    if (offset > 0 && base > INT64_MAX - offset) return -1;
    int64_t target = base + offset;
    return target < 0 ? -1 : target;
}

// ---- file table ----

uint64_t FileSeek(TFileStream& s, int64_t offset, int origin) {
    if (!s.IsOpen()) return SeekFailed;
    const auto& files = fs::Files();
    int64_t base = 0;
    if (origin == FromCurrent) {
        const uint64_t at = files.Tell(s.FileHandle);
        if (at > uint64_t{INT64_MAX}) return SeekFailed;
        base = static_cast<int64_t>(at);
    } else if (origin == FromEnd)
        base = static_cast<int64_t>(files.Size(s.FileHandle));
    else if (origin != FromBeginning)
        return SeekFailed;
    int64_t target = SeekTarget(base, offset);
    if (target < 0 || !files.SeekTo(s.FileHandle, static_cast<uint64_t>(target))) return SeekFailed;
    return static_cast<uint64_t>(target);
}

uint64_t FileGetSize(TFileStream& s) {
    if (!s.IsOpen()) return 0;
    return fs::Files().Size(s.FileHandle);
}

bool FileSetSize(TFileStream& s, uint64_t size) {
    if (!s.IsOpen()) return false;
    const auto& files = fs::Files();
    uint64_t old = files.Tell(s.FileHandle);
    if (!files.Truncate(s.FileHandle, size)) return false;
    if (!files.SeekTo(s.FileHandle, std::min<uint64_t>(old, size))) return false;
    return files.Size(s.FileHandle) == size;
}

bool SharedSetSize(TFileStream&, uint64_t) {
    return false;
}

uint32_t FileRead(TFileStream& s, void* buffer, uint32_t count) {
    if (!s.IsOpen() || count == 0) return 0;
    return fs::Files().Read(s.FileHandle, buffer, count);
}

uint32_t FileWrite(TFileStream& s, const void* buffer, uint32_t count) {
    if (!s.IsOpen() || count == 0) return 0;
    return fs::Files().Write(s.FileHandle, buffer, count);
}

uint32_t SharedWrite(TFileStream&, const void*, uint32_t) {
    return 0;
}

void FileClose(TFileStream& s) {
    if (s.IsOpen()) fs::Files().Close(s.FileHandle);
    s.FileHandle = -1;
}

const TStreamProcs FileProcs = {FileSeek, FileGetSize, FileSetSize, FileRead, FileWrite, FileClose};
const TStreamProcs SharedProcs = {FileSeek, FileGetSize, SharedSetSize,
                                  FileRead, SharedWrite, FileClose};

// ---- memory table ----

bool MemSetSize(TFileStream& s, uint64_t wanted) {
    if (wanted >= MaxMemory) return false;
    const auto size = static_cast<uint32_t>(wanted);
    if (size == 0) {
        std::free(s.Memory);
        s.Memory = nullptr;
        s.Capacity = 0;
    } else if (s.Capacity < size) {
        // Grow to the next multiple of 16384 strictly above size (in 64 bits: size may be near
        // 2^32).
        uint64_t capacity = (static_cast<uint64_t>(size) | 0x3FFF) + 1;
        if (capacity > MaxMemory) capacity = MaxMemory;
        auto* grown = static_cast<uint8_t*>(std::realloc(s.Memory, capacity));
        if (!grown) return false;
        s.Memory = grown;
        s.Capacity = static_cast<uint32_t>(capacity);
    }
    if (size > s.MemSize) std::memset(s.Memory + s.MemSize, 0, size - s.MemSize);
    s.MemSize = size;
    if (s.MemPos >= size) s.MemPos = size;
    return true;
}

uint64_t MemSeek(TFileStream& s, int64_t offset, int origin) {
    int64_t base = origin == FromBeginning ? 0
                   : origin == FromCurrent ? s.MemPos
                   : origin == FromEnd     ? s.MemSize
                                           : -1;
    if (base < 0) return SeekFailed;
    int64_t target = SeekTarget(base, offset);
    // The last position is SeekFailed itself; a stream never grows to it.
    if (target < 0 || static_cast<uint64_t>(target) >= MaxMemory) return SeekFailed;
    auto position = static_cast<uint32_t>(target);
    if (position > s.MemSize && !MemSetSize(s, position)) return SeekFailed;
    s.MemPos = position;
    return position;
}

uint64_t MemGetSize(TFileStream& s) {
    return s.MemSize;
}

uint32_t MemRead(TFileStream& s, void* buffer, uint32_t count) {
    count = std::min(count, s.MemSize - s.MemPos);
    if (count == 0) return 0;
    std::memcpy(buffer, s.Memory + s.MemPos, count);
    s.MemPos += count;
    return count;
}

uint32_t MemWrite(TFileStream& s, const void* buffer, uint32_t count) {
    if (count == 0) return 0;
    uint64_t end = static_cast<uint64_t>(s.MemPos) + count;
    if (end >= MaxMemory) return 0;
    if (end > s.MemSize && !MemSetSize(s, end)) return 0;
    std::memcpy(s.Memory + s.MemPos, buffer, count);
    s.MemPos += count;
    return count;
}

void MemClose(TFileStream& s) {
    std::free(s.Memory);
    s.Memory = nullptr;
    s.Capacity = s.MemSize = s.MemPos = 0;
}

const TStreamProcs MemoryProcs = {MemSeek, MemGetSize, MemSetSize, MemRead, MemWrite, MemClose};

TStreamRef OpenWith(const std::string& fileName, uint32_t mode, const TStreamProcs& procs) {
    TStreamRef stream(new TFileStream(procs));
    uint32_t access = mode >> 16;
    bool read = access & 0x8000, write = access & 0x4000;
    auto how = read && write ? fs::Access::ReadWrite : write ? fs::Access::Write : fs::Access::Read;
    auto disposition =
        ((mode >> 8) & 0xFF) == 2 ? fs::Disposition::CreateAlways : fs::Disposition::OpenExisting;
    stream->FileHandle = fs::Files().Open(fileName, how, disposition);
    return stream;
}

} // namespace

TStreamRef OpenFileStream(const std::string& fileName, uint32_t mode) {
    return OpenWith(fileName, mode, FileProcs);
}
TStreamRef OpenFileRead(const std::string& fileName) {
    return OpenFileStream(fileName, ModeRead);
}
TStreamRef OpenFileReadWrite(const std::string& fileName) {
    return OpenFileStream(fileName, ModeReadWrite);
}
TStreamRef CreateFileStream(const std::string& fileName) {
    return OpenFileStream(fileName, ModeCreate);
}
TStreamRef OpenFileShared(const std::string& fileName) {
    return OpenWith(fileName, ModeShared, SharedProcs);
}

TStreamRef CreateMemoryStream() {
    TStreamRef stream(new TFileStream(MemoryProcs));
    stream->IsMemoryStream = true;
    return stream;
}

TStreamRef AdoptFileHandle(intptr_t handle) {
    TStreamRef stream(new TFileStream(FileProcs));
    stream->FileHandle = handle;
    return stream;
}

std::string ReadString(TFileStream& stream, uint32_t count) {
    const uint64_t size = stream.GetSize(), at = stream.Position();
    const uint64_t left = (at == SeekFailed || at > size) ? 0 : size - at;
    std::string text(static_cast<size_t>(std::min<uint64_t>(count, left)), '\0');
    if (text.empty()) return text;
    text.resize(stream.Read(text.data(), static_cast<uint32_t>(text.size())));
    return text;
}

std::string ReadAt(TFileStream& stream, uint64_t offset, uint32_t count) {
    if (stream.SetPosition(offset) != offset) return {};
    return ReadString(stream, count);
}

uint32_t WriteString(TFileStream& stream, const std::string& text) {
    if (text.empty()) return 0;
    return stream.Write(text.data(), static_cast<uint32_t>(text.size()));
}

uint64_t CopyStream(TFileStream& destination, TFileStream& source, uint64_t count) {
    constexpr uint32_t Chunk = 1u << 20;
    if (source.IsMemory()) {
        count = std::min<uint64_t>(count, source.MemSize - source.MemPos);
        if (count == 0) return 0;
        uint32_t written =
            destination.Write(source.Memory + source.MemPos, static_cast<uint32_t>(count));
        source.MemPos += written;
        return written;
    }
    if (!destination.IsMemory()) {
        // File to file: the system copies, skipping the source's holes; the destination is then
        // extended over a hole at the end of the range.
        const auto& files = fs::Files();
        const uint64_t from = source.Position(), to = destination.Position();
        const uint64_t size = source.GetSize();
        if (!source.IsOpen() || !destination.IsOpen() || from == SeekFailed || to == SeekFailed)
            return 0;
        count = std::min(count, from < size ? size - from : 0);
        if (count == 0) return 0;
        const uint64_t moved =
            files.CopyRange(source.FileHandle, from, destination.FileHandle, to, count);
        if (moved == count && destination.GetSize() < to + count &&
            !files.Truncate(destination.FileHandle, to + count))
            return 0;
        // A position that cannot be set makes the copy count as not done.
        if (source.SetPosition(from + moved) != from + moved ||
            destination.SetPosition(to + moved) != to + moved)
            return 0;
        return moved;
    }
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint64_t>(count, Chunk)));
    uint64_t moved = 0;
    while (moved < count) {
        const auto want = static_cast<uint32_t>(std::min<uint64_t>(count - moved, Chunk));
        uint32_t got = source.Read(buffer.data(), want);
        uint32_t put = got ? destination.Write(buffer.data(), got) : 0;
        moved += put;
        if (got != want || put != got) break;
    }
    return moved;
}

bool FileExists(const std::string& fileName) {
    return fs::Files().Exists(fileName);
}

bool SaveStringToFile(const std::string& fileName, const std::string& text) {
    TStreamRef stream = OpenFileStream(fileName, ModeSaveString);
    return WriteString(*stream, text) == text.size();
}

} // namespace audiolens
