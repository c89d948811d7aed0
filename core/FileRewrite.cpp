#include "core/FileRewrite.h"

#include "platform/FileService.h"

namespace audiolens {

bool CanModifyFile(const std::string& fileName) {
    const auto& files = platform::Files();
    return files.IsRegularFile(fileName) && files.IsWritable(fileName);
}

bool WriteAll(TFileStream& stream, const void* data, uint32_t count) {
    return count == 0 || stream.Write(data, count) == count;
}

bool WriteAll(TFileStream& stream, const std::string& data) {
    return WriteAll(stream, data.data(), static_cast<uint32_t>(data.size()));
}

bool WriteAllAt(TFileStream& stream, uint32_t offset, const void* data, uint32_t count) {
    return stream.SetPosition(offset) == offset && WriteAll(stream, data, count);
}

bool RebuildFile(const std::string& fileName,
                 const std::function<bool(TFileStream& original, TFileStream& rebuilt)>& writeNew) {
    const auto& files = platform::Files();
    if (!CanModifyFile(fileName)) return false;
    uint32_t mode = 0644;
    bool haveMode = files.GetMode(fileName, mode);
    const std::string temporary = fileName + "~";
    bool ok = false;
    {
        TStreamRef original = OpenFileRead(fileName);
        TStreamRef rebuilt = CreateFileStream(temporary);
        if (original->IsOpen() && rebuilt->IsOpen()) {
            try {
                ok = writeNew(*original, *rebuilt);
            } catch (...) {
                ok = false;
            }
            ok = ok && files.Sync(rebuilt->Handle());
        }
    } // both closed here, before the rename
    ok = ok && (!haveMode || files.SetMode(temporary, mode));
    ok = ok && files.Rename(temporary, fileName);
    if (!ok) files.Remove(temporary);
    return ok;
}

} // namespace audiolens
