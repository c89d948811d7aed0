#include "core/ReadWindow.h"

#include <new>
#include <vector>

namespace audiolens {

namespace {

constexpr std::align_val_t PageAlign{4096};

// Blocks free for reuse on this thread. A block is page-aligned (the kernel copies into it
// fastest) and never zero-filled, since every byte used is first read from the file; keeping
// it saves an allocation (and, at this size, an mmap and munmap) per file.
struct TBlockPool {
    std::vector<uint8_t*> Free;
    ~TBlockPool() {
        for (uint8_t* block : Free)
            ::operator delete(block, PageAlign);
    }
};

thread_local TBlockPool Pool;

} // namespace

TReadWindow::TReadWindow(const TFileView& file) : File(file) {
    if (Pool.Free.empty()) {
        Buffer = static_cast<uint8_t*>(::operator new(BlockSize, PageAlign));
    } else {
        Buffer = Pool.Free.back();
        Pool.Free.pop_back();
    }
}

TReadWindow::~TReadWindow() {
    try {
        Pool.Free.push_back(Buffer);
    } catch (...) {
        ::operator delete(Buffer, PageAlign);
    }
}

} // namespace audiolens
