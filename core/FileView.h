// One open file, shared by every reader and tag object that looks at it: the file is opened
// once, its first and last blocks are read once, and anything else is a positioned read. A
// format check on bytes already in memory costs no system call.
#pragma once

#include "core/BaseObject.h"
#include "core/ByteReader.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace audiolens {

class TFileView : public TObject {
  public:
    // The size of the blocks kept from each end of the file.
    static constexpr size_t EdgeBytes = 16384;

    // Opens name for reading; a file that cannot be opened (missing, not a regular file) gives a
    // view with IsOpen() false that reads as empty.
    static TRef<TFileView> Open(const std::string& name);
    // A view over bytes in memory, for tests and fuzzing; name is only reported.
    static TRef<TFileView> FromBytes(std::string bytes, const std::string& name = "");

    bool IsOpen() const { return Opened; }
    const std::string& Name() const { return FileName; }
    uint64_t Size() const { return FileSize; }

    // The first min(Size, EdgeBytes) bytes.
    TByteView Head() const { return TByteView(HeadBytes); }
    // The last min(Size, EdgeBytes) bytes, which start at TailOffset().
    TByteView Tail() const { return TByteView(TailBytes); }
    uint64_t TailOffset() const { return FileSize - TailBytes.size(); }

    // Up to count bytes at offset: fewer at the end of the file, none past it or on a read error.
    size_t ReadInto(uint64_t offset, void* buffer, size_t count) const;
    std::string Read(uint64_t offset, size_t count) const;
    // The bytes [offset, offset + count), cut at the end of the file: a view into the head or tail
    // block when one of them holds them all, otherwise read into scratch.
    TByteView Bytes(uint64_t offset, size_t count, std::string& scratch) const;

  protected:
    TFileView() = default;
    ~TFileView() override;

  private:
    std::string FileName;
    intptr_t Handle = -1;
    bool Opened = false;
    uint64_t FileSize = 0;
    std::string HeadBytes, TailBytes;
    std::string Memory; // the whole content of a view made from bytes
    bool InMemory = false;

    void ReadEdges();
    // From the file (or the bytes in memory), never from the edge blocks.
    size_t ReadRaw(uint64_t offset, void* buffer, size_t count) const;
    // The bytes when they are in memory already, else nullptr.
    const uint8_t* Held(uint64_t offset, size_t count) const;
};

using TFileViewRef = TRef<TFileView>;

} // namespace audiolens
