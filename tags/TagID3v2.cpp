// Placeholder until the frame reader lands: finds the tag and its size only.
#include "tags/TagID3v2.h"

#include "core/ByteReader.h"
#include "core/FileStream.h"

namespace audiolens {

TTagID3v2::TTagID3v2() : TTagBase(tkID3v2, FieldRange(0, 14) | FieldBit(tfVersion)) {}
TTagID3v2::~TTagID3v2() = default;

std::string TTagID3v2::GetField(int id) const {
    return id == tfVersion && Valid ? std::to_string(MajorVersion) : std::string();
}
void TTagID3v2::SetField(int, const std::string&) {}
void TTagID3v2::Reset() {
    Valid = false;
    Size = 0;
}

bool TTagID3v2::DoRead(const std::string& fileName) {
    Reset();
    TStreamRef file = OpenFileRead(fileName);
    std::string header = ReadString(*file, 10);
    if (header.size() < 10) return false;
    TByteView bytes(header);
    if (!bytes.Matches(0, "ID3")) return true;
    Valid = true;
    MajorVersion = bytes.U8(3);
    int64_t size = int64_t(bytes.U8(6)) * 2097152 + bytes.U8(7) * 16384 + bytes.U8(8) * 128 +
                   bytes.U8(9) + 10 + ((bytes.U8(5) & 0x10) ? 10 : 0);
    Size = size > file->GetSize() ? 0 : int32_t(size);
    return true;
}
bool TTagID3v2::DoSave(const std::string&) { return false; }
bool TTagID3v2::DoRemove(const std::string&) { return false; }

TTagBase* CreateTagID3v2() { return new TTagID3v2; }

int32_t GetID3v2Size(const std::string& fileName) {
    TRef<TTagID3v2> tag(new TTagID3v2);
    return tag->Read(fileName) ? tag->Size : 0;
}

} // namespace audiolens
