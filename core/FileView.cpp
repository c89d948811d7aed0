#include "core/FileView.h"

#include "platform/FileService.h"

#include <algorithm>
#include <cstring>

namespace audiolens {

TFileViewRef TFileView::Open(const std::string& name) {
    const auto& files = platform::Files();
    TFileViewRef view(new TFileView);
    view->FileName = name;
    view->Handle = files.Open(name, platform::Access::Read, platform::Disposition::OpenExisting);
    if (view->Handle != platform::InvalidFile) {
        view->Opened = true;
        view->FileSize = files.Size(view->Handle);
        view->ReadEdges();
    }
    return view;
}

TFileViewRef TFileView::FromBytes(std::string bytes, const std::string& name) {
    TFileViewRef view(new TFileView);
    view->FileName = name;
    view->Memory = std::move(bytes);
    view->InMemory = view->Opened = true;
    view->FileSize = view->Memory.size();
    view->ReadEdges();
    return view;
}

TFileView::~TFileView() {
    if (Handle != platform::InvalidFile) platform::Files().Close(Handle);
}

void TFileView::ReadEdges() {
    HeadBytes.resize(static_cast<size_t>(std::min<uint64_t>(FileSize, EdgeBytes)));
    HeadBytes.resize(ReadRaw(0, HeadBytes.data(), HeadBytes.size()));
    if (FileSize <= EdgeBytes) {
        // A short read means the file shrank under us: what was read is all there is.
        FileSize = HeadBytes.size();
        TailBytes = HeadBytes;
        return;
    }
    TailBytes.resize(EdgeBytes);
    if (ReadRaw(FileSize - EdgeBytes, TailBytes.data(), EdgeBytes) != EdgeBytes) TailBytes.clear();
}

size_t TFileView::ReadRaw(uint64_t offset, void* buffer, size_t count) const {
    if (offset >= FileSize || count == 0) return 0;
    count = static_cast<size_t>(std::min<uint64_t>(count, FileSize - offset));
    if (InMemory) {
        std::memcpy(buffer, Memory.data() + offset, count);
        return count;
    }
    if (Handle == platform::InvalidFile) return 0;
    return platform::Files().ReadAt(Handle, buffer, count, offset);
}

const uint8_t* TFileView::Held(uint64_t offset, size_t count) const {
    if (offset + count <= HeadBytes.size())
        return reinterpret_cast<const uint8_t*>(HeadBytes.data()) + offset;
    if (!TailBytes.empty() && offset >= TailOffset())
        return reinterpret_cast<const uint8_t*>(TailBytes.data()) + (offset - TailOffset());
    if (InMemory) return reinterpret_cast<const uint8_t*>(Memory.data()) + offset;
    return nullptr;
}

size_t TFileView::ReadInto(uint64_t offset, void* buffer, size_t count) const {
    if (offset >= FileSize || count == 0) return 0;
    count = static_cast<size_t>(std::min<uint64_t>(count, FileSize - offset));
    if (const uint8_t* held = Held(offset, count)) {
        std::memcpy(buffer, held, count);
        return count;
    }
    return ReadRaw(offset, buffer, count);
}

std::string TFileView::Read(uint64_t offset, size_t count) const {
    std::string scratch;
    TByteView bytes = Bytes(offset, count, scratch);
    return std::string(reinterpret_cast<const char*>(bytes.Bytes()), bytes.Size());
}

TByteView TFileView::Bytes(uint64_t offset, size_t count, std::string& scratch) const {
    if (offset >= FileSize) return {};
    count = static_cast<size_t>(std::min<uint64_t>(count, FileSize - offset));
    if (const uint8_t* held = Held(offset, count)) return TByteView(held, count);
    scratch.resize(count);
    scratch.resize(ReadRaw(offset, scratch.data(), count));
    return TByteView(scratch);
}

} // namespace audiolens
