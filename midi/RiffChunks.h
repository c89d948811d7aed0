// A small RIFF chunk reader: finds a form by its type and a chunk inside it, with every size
// cut to the bytes really present, and reads only inside the chunk it found.
#pragma once

#include "core/FileStream.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace audiolens {

// The data of one chunk: where it starts in the file and how many of its bytes are there.
struct TRiffSpan {
    uint32_t Offset = 0;
    uint32_t Size = 0;
};

// The first top-level "RIFF" chunk whose form type is formType; form = its data after the type.
bool FindRiffForm(TFileStream& stream, std::string_view formType, TRiffSpan& form);
// The first chunk called id directly inside parent (chunks are padded to even sizes).
bool FindChunk(TFileStream& stream, const TRiffSpan& parent, std::string_view id, TRiffSpan& chunk);

// Sequential reads confined to a span of the stream.
class TSpanReader {
  public:
    TSpanReader(TFileStream& stream, const TRiffSpan& span)
        : Stream(stream), Pos(span.Offset), End(span.Offset + span.Size) {}
    uint32_t Left() const { return End - Pos; }
    // Up to count bytes; fewer only at the end of the span.
    std::string Read(uint32_t count);

  private:
    TFileStream& Stream;
    uint32_t Pos, End;
};

} // namespace audiolens
