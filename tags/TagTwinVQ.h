// The text chunks of a TwinVQ (VQF) file: after "TWIN", an 8-character version and the size of
// the header, the header holds chunks (a 4-character id, a big-endian size, the data), the
// stream parameters ("COMM") first; the audio follows in the "DATA" chunk behind the header.
#pragma once

#include "framework/AudioFile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace audiolens {

constexpr uint32_t TwinVQHeadSize = 16; // "TWIN", version, header size
constexpr uint32_t TwinVQChunkHeaderSize = 8;

struct TTwinVQChunk {
    std::string Id;
    uint64_t Offset = 0;   // of the chunk's id
    uint32_t DataSize = 0; // bytes after the 8-byte chunk header
};

struct TTwinVQLayout {
    std::string Version;
    uint32_t HeaderSize = 0;
    std::vector<TTwinVQChunk> Chunks; // in file order, up to "DATA" or the end of the header
    // Where the walk stopped: the "DATA" chunk, the end of the header, or a chunk that does not
    // fit the file.
    uint64_t Stop = 0;
    bool AtData = false;
    // The header lies inside the file, so does every chunk, and the walk ended on a boundary.
    bool Complete = true;
};

// False when the file does not start with "TWIN" and its 16-byte head.
bool WalkTwinVQHeader(const TFileView& file, TTwinVQLayout& layout);

class TTagTwinVQ : public TTagBase {
  public:
    TTagTwinVQ();

  protected:
    ~TTagTwinVQ() override = default;
    bool DoRead(const TFileView& file) override;
    bool DoSave(const std::string& fileName) override;
    bool DoRemove(const std::string& fileName) override;
};

TTagBase* CreateTagTwinVQ();

} // namespace audiolens
