// File and memory streams: one object type whose operations are a procedure table, 64-bit
// positions and sizes, and an open that never fails (a file that cannot be opened reads as empty).
// A memory stream holds less than 4 GiB.
#pragma once

#include "core/BaseObject.h"

#include <cstdint>
#include <string>

namespace audiolens {

class TFileStream;

struct TStreamProcs {
    uint64_t (*Seek)(TFileStream& s, int64_t offset, int origin);
    uint64_t (*GetSize)(TFileStream& s);
    bool (*SetSize)(TFileStream& s, uint64_t size);
    uint32_t (*Read)(TFileStream& s, void* buffer, uint32_t count);
    uint32_t (*Write)(TFileStream& s, const void* buffer, uint32_t count);
    void (*Close)(TFileStream& s);
};

constexpr uint64_t SeekFailed = ~uint64_t{0};
constexpr int FromBeginning = 0, FromCurrent = 1, FromEnd = 2;

// Packed open modes: access in bits 31..16, creation disposition in 15..8, share mode in 7..0.
constexpr uint32_t ModeRead = 0x80000303u;
constexpr uint32_t ModeReadWrite = 0xC0000303u;
constexpr uint32_t ModeCreate = 0xC0000203u;
constexpr uint32_t ModeShared = 0x80000301u;
constexpr uint32_t ModeSaveString = 0x40000200u;

class TFileStream : public TObject {
  public:
    explicit TFileStream(const TStreamProcs& procs) : Procs(procs) {}

    // Seek returns the new position, or SeekFailed.
    uint64_t Seek(int64_t offset, int origin) { return Procs.Seek(*this, offset, origin); }
    uint64_t SetPosition(uint64_t offset) {
        return offset > uint64_t{INT64_MAX} ? SeekFailed
                                            : Seek(static_cast<int64_t>(offset), FromBeginning);
    }
    uint64_t Position() { return Seek(0, FromCurrent); }
    uint64_t GetSize() { return Procs.GetSize(*this); }
    // Truncates or extends; reports whether the stream now has that size.
    bool SetSize(uint64_t size) { return Procs.SetSize(*this, size); }
    uint32_t Read(void* buffer, uint32_t count) { return Procs.Read(*this, buffer, count); }
    uint32_t Write(const void* buffer, uint32_t count) { return Procs.Write(*this, buffer, count); }
    intptr_t Handle() const { return FileHandle; }
    bool IsOpen() const { return FileHandle >= 0; }
    bool IsMemory() const { return IsMemoryStream; }

    TStreamProcs Procs;
    intptr_t FileHandle = -1;
    bool IsMemoryStream = false;
    uint8_t* Memory = nullptr;
    uint32_t Capacity = 0;
    uint32_t MemSize = 0;
    uint32_t MemPos = 0;

  protected:
    ~TFileStream() override;
};

using TStreamRef = TRef<TFileStream>;

TStreamRef OpenFileStream(const std::string& fileName, uint32_t mode);
TStreamRef OpenFileRead(const std::string& fileName);
TStreamRef OpenFileReadWrite(const std::string& fileName);
TStreamRef CreateFileStream(const std::string& fileName);
TStreamRef OpenFileShared(const std::string& fileName);
TStreamRef CreateMemoryStream();
// A read-write file stream over a handle already open; the stream closes it.
TStreamRef AdoptFileHandle(intptr_t handle);

// Reads up to count bytes; never allocates more than the bytes left in the stream.
std::string ReadString(TFileStream& stream, uint32_t count);
// Up to count bytes from offset (empty when the offset cannot be reached).
std::string ReadAt(TFileStream& stream, uint64_t offset, uint32_t count);
uint32_t WriteString(TFileStream& stream, const std::string& text);
// Copies count bytes (fewer when the source ends) from the source's position to the
// destination's; returns the bytes really moved (a short read or write ends it). Between two
// files the copy runs in the system, in large blocks, and holes of the source stay holes.
uint64_t CopyStream(TFileStream& destination, TFileStream& source, uint64_t count);
bool FileExists(const std::string& fileName);
bool SaveStringToFile(const std::string& fileName, const std::string& text);

} // namespace audiolens
