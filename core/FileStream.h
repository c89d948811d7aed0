// File and memory streams: one object type whose operations are a procedure table, 32-bit
// positions, and an open that never fails (a file that cannot be opened reads as empty).
#pragma once

#include "core/BaseObject.h"

#include <cstdint>
#include <string>

namespace audiolens {

class TFileStream;

struct TStreamProcs {
    uint32_t (*Seek)(TFileStream& s, int64_t offset, int origin);
    uint32_t (*GetSize)(TFileStream& s);
    bool (*SetSize)(TFileStream& s, uint32_t size);
    uint32_t (*Read)(TFileStream& s, void* buffer, uint32_t count);
    uint32_t (*Write)(TFileStream& s, const void* buffer, uint32_t count);
    void (*Close)(TFileStream& s);
};

constexpr uint32_t SeekFailed = 0xFFFFFFFFu;
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
    uint32_t Seek(int64_t offset, int origin) { return Procs.Seek(*this, offset, origin); }
    uint32_t SetPosition(int64_t offset) { return Seek(offset, FromBeginning); }
    uint32_t Position() { return Seek(0, FromCurrent); }
    uint32_t GetSize() { return Procs.GetSize(*this); }
    // Truncates or extends; reports whether the stream now has that size.
    bool SetSize(uint32_t size) { return Procs.SetSize(*this, size); }
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

// Reads up to count bytes; never allocates more than the bytes left in the stream.
std::string ReadString(TFileStream& stream, uint32_t count);
// Up to count bytes from offset (empty when the offset cannot be reached).
std::string ReadAt(TFileStream& stream, uint32_t offset, uint32_t count);
uint32_t WriteString(TFileStream& stream, const std::string& text);
// Copies in bounded chunks; returns the bytes really moved (a short read or write ends it).
uint32_t CopyStream(TFileStream& destination, TFileStream& source, uint32_t count);
bool FileExists(const std::string& fileName);
bool SaveStringToFile(const std::string& fileName, const std::string& text);

} // namespace audiolens
