#include "core/ReadWindow.h"

#include <mutex>
#include <new>
#include <vector>

namespace audiolens {

namespace {

constexpr std::align_val_t PageAlign{4096};

// Blocks free for reuse. A block is page-aligned (the kernel copies into it fastest) and never
// zero-filled, since every byte used is first read from the file; keeping it saves an
// allocation (and, at this size, an mmap and munmap) per file. One pool for the process: a
// thread_local pool's destructor at thread exit runs after its storage is freed with MinGW's
// emulated thread-local storage, which crashed every Windows thread that had read a file.
struct TBlockPool {
    static constexpr size_t Kept = 64;
    std::mutex Mutex;
    std::vector<uint8_t*> Free;
    ~TBlockPool() {
        for (uint8_t* block : Free)
            ::operator delete(block, PageAlign);
    }
};

TBlockPool& Pool() {
    static TBlockPool pool;
    return pool;
}

} // namespace

TReadWindow::TReadWindow(const TFileView& file) : File(file), Buffer(nullptr) {
    {
        std::lock_guard<std::mutex> guard(Pool().Mutex);
        if (!Pool().Free.empty()) {
            Buffer = Pool().Free.back();
            Pool().Free.pop_back();
        }
    }
    if (!Buffer) Buffer = static_cast<uint8_t*>(::operator new(BlockSize, PageAlign));
}

TReadWindow::~TReadWindow() {
    try {
        std::lock_guard<std::mutex> guard(Pool().Mutex);
        if (Pool().Free.size() < TBlockPool::Kept) {
            Pool().Free.push_back(Buffer);
            return;
        }
    } catch (...) {
    }
    ::operator delete(Buffer, PageAlign);
}

} // namespace audiolens
