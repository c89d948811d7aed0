#include "core/FileRewrite.h"

#include "platform/FileService.h"

#include <map>
#include <mutex>

namespace audiolens {

namespace pf = platform;

namespace {

thread_local TRewriteResult Last;
uint32_t LockWaitMs = 5000;

// The locks this process holds, by the resolved name of the file: the handle that carries the
// lock and how many holders share it.
struct THeldLock {
    pf::FileHandle Handle = pf::InvalidFile;
    int Holders = 0;
};
std::mutex LocksMutex;
std::map<std::string, THeldLock>& HeldLocks() {
    static std::map<std::string, THeldLock> locks;
    return locks;
}

void Fail(const std::string& message) {
    Last.Outcome = TRewriteOutcome::Unchanged;
    Last.Message = message;
}

// Closes a handle on every path out of a scope unless released.
struct THandleGuard {
    pf::FileHandle Handle = pf::InvalidFile;
    ~THandleGuard() {
        if (Handle != pf::InvalidFile) pf::Files().Close(Handle);
    }
    pf::FileHandle Release() { return std::exchange(Handle, pf::InvalidFile); }
};

// A new file beside target: "NAME~", or "NAME~2", "NAME~3"... when that is taken. A name that
// exists (a stale file, a planted link) is never reused.
pf::FileHandle CreateBeside(const std::string& target, std::string& name) {
    for (int n = 1; n <= 100; ++n) {
        name = target + "~" + (n == 1 ? std::string() : std::to_string(n));
        pf::FileHandle handle = pf::Files().CreateNew(name);
        if (handle != pf::InvalidFile) return handle;
    }
    name.clear();
    return pf::InvalidFile;
}

// Copies the finished new file over the original, whose inode (links, owner) is kept.
bool CopyOver(pf::FileHandle from, const std::string& target, uint64_t size) {
    const auto& files = pf::Files();
    THandleGuard original{files.Open(target, pf::Access::ReadWrite, pf::Disposition::OpenExisting)};
    if (original.Handle == pf::InvalidFile) return false;
    // Emptied first, so that holes of the new content read as zeros.
    pf::TFileInfo copied;
    return files.Truncate(original.Handle, 0) &&
           files.CopyRange(from, 0, original.Handle, 0, size) == size &&
           files.Truncate(original.Handle, size) && files.Sync(original.Handle) &&
           files.Info(original.Handle, copied) && copied.Size == size;
}

bool Rebuild(const std::string& fileName,
             const std::function<bool(const TFileView*, TFileStream&, TFileStream&)>& writeNew,
             bool wantView) {
    Last = TRewriteResult();
    const auto& files = pf::Files();
    if (!CanModifyFile(fileName)) {
        Fail("not a writable regular file");
        return false;
    }
    TWriteLock lock(fileName);
    if (!lock.Held()) {
        Fail(lock.Error());
        return false;
    }
    // A link is followed: its target is replaced, the link stays.
    const std::string target = files.ResolveName(fileName);
    if (target.empty()) {
        Fail("cannot resolve the file's name");
        return false;
    }
    TStreamRef original = OpenFileRead(target);
    pf::TFileInfo info;
    if (!original->IsOpen() || !files.Info(original->Handle(), info)) {
        Fail("cannot open the file");
        return false;
    }
    std::string temporary;
    const pf::FileHandle handle = CreateBeside(target, temporary);
    if (handle == pf::InvalidFile) {
        Fail("cannot create a new file beside it");
        return false;
    }
    TStreamRef rebuilt = AdoptFileHandle(handle);
    bool ok = false;
    try {
        // Both ways of reading the original must see all of it.
        TFileViewRef view;
        if (wantView) view = TFileView::Open(target);
        ok = original->GetSize() == info.Size && (!wantView || view->Size() == info.Size);
        if (!ok) Last.Message = "the file could not be read completely";
        ok = ok && writeNew(view.Get(), *original, *rebuilt);
    } catch (...) {
        ok = false;
    }
    if (!ok && Last.Message.empty())
        Last.Message = "the new content could not be written completely (disk full or read error)";
    if (!ok) Last.Outcome = TRewriteOutcome::Unchanged;
    if (ok && !files.Sync(rebuilt->Handle())) {
        ok = false;
        Fail("the new content could not be synced to disk");
    }
    // The size the copy over the original must reach, from the file itself.
    pf::TFileInfo built;
    if (ok && !files.Info(rebuilt->Handle(), built)) {
        ok = false;
        Fail("the new file could not be examined");
    }
    const uint64_t newSize = built.Size;
    // One rename keeps everything only for a file with one name whose owner we can restore.
    bool byRename =
        ok && info.Links == 1 && files.CopyOwnership(original->Handle(), rebuilt->Handle(), info);
    if (byRename) {
        // The new file carries the lock before it takes the name, so a waiting writer that
        // finds the name replaced waits on the new file.
        files.Lock(rebuilt->Handle(), 0);
        if (files.Rename(temporary, target)) {
            files.SyncDirectory(target);
            {
                std::lock_guard<std::mutex> guard(LocksMutex);
                auto found = HeldLocks().find(target);
                if (found != HeldLocks().end()) {
                    files.Close(found->second.Handle);
                    found->second.Handle = rebuilt->Handle();
                    rebuilt->FileHandle = -1; // now owned by the lock table
                }
            }
            Last.Outcome = TRewriteOutcome::Replaced;
            return true;
        }
        ok = false;
        Fail("the new file could not be renamed over the original");
    } else if (ok) {
        if (CopyOver(rebuilt->Handle(), target, newSize)) {
            rebuilt.Reset();
            files.Remove(temporary);
            Last.Outcome = TRewriteOutcome::Replaced;
            return true;
        }
        // The original may be part written: the complete new content stays beside it.
        Last.Outcome = TRewriteOutcome::CopyKept;
        Last.Message = "copying the new content over the file failed";
        Last.KeptCopy = temporary;
        return false;
    }
    rebuilt.Reset();
    files.Remove(temporary);
    return false;
}

} // namespace

const TRewriteResult& LastRewrite() {
    return Last;
}

void ClearLastRewrite() {
    Last = TRewriteResult();
}

void SetRewriteProblem(const std::string& message) {
    Last.Message = message;
}

void TWriteLock::SetWait(uint32_t waitMs) {
    LockWaitMs = waitMs;
}

TWriteLock::TWriteLock(const std::string& fileName) {
    const auto& files = pf::Files();
    const std::string target = files.ResolveName(fileName);
    if (target.empty()) {
        Problem = "cannot open the file";
        return;
    }
    {
        std::lock_guard<std::mutex> guard(LocksMutex);
        auto found = HeldLocks().find(target);
        if (found != HeldLocks().end()) {
            ++found->second.Holders;
            Key = target;
            return;
        }
    }
    // The file may be replaced while we wait; the lock counts only when the name still refers to
    // the file locked.
    uint32_t waited = 0;
    for (;;) {
        THandleGuard handle{files.Open(target, pf::Access::Read, pf::Disposition::OpenExisting)};
        if (handle.Handle == pf::InvalidFile) {
            Problem = "cannot open the file";
            return;
        }
        const uint32_t step = LockWaitMs - waited < 250 ? LockWaitMs - waited : 250;
        if (files.Lock(handle.Handle, step) && files.SameFile(handle.Handle, target)) {
            std::lock_guard<std::mutex> guard(LocksMutex);
            HeldLocks()[target] = THeldLock{handle.Release(), 1};
            Key = target;
            return;
        }
        waited += step;
        if (waited >= LockWaitMs) {
            Problem = "another program is writing this file (gave up after " +
                      std::to_string(LockWaitMs / 1000.0).substr(0, 3) + " s)";
            return;
        }
    }
}

TWriteLock::~TWriteLock() {
    if (Key.empty()) return;
    std::lock_guard<std::mutex> guard(LocksMutex);
    auto found = HeldLocks().find(Key);
    if (found == HeldLocks().end() || --found->second.Holders > 0) return;
    pf::Files().Close(found->second.Handle);
    HeldLocks().erase(found);
}

bool CanModifyFile(const std::string& fileName) {
    const auto& files = pf::Files();
    return files.IsRegularFile(fileName) && files.IsWritable(fileName);
}

bool WriteAll(TFileStream& stream, const void* data, uint32_t count) {
    return count == 0 || stream.Write(data, count) == count;
}

bool WriteAll(TFileStream& stream, const std::string& data) {
    return data.size() <= 0xFFFFFFFFu &&
           WriteAll(stream, data.data(), static_cast<uint32_t>(data.size()));
}

bool WriteAllAt(TFileStream& stream, uint64_t offset, const void* data, uint32_t count) {
    return stream.SetPosition(offset) == offset && WriteAll(stream, data, count);
}

bool RebuildFile(const std::string& fileName,
                 const std::function<bool(TFileStream& original, TFileStream& rebuilt)>& writeNew) {
    return Rebuild(
        fileName,
        [&](const TFileView*, TFileStream& original, TFileStream& rebuilt) {
            return writeNew(original, rebuilt);
        },
        false);
}

bool RebuildFileFromView(const std::string& fileName,
                         const std::function<bool(const TFileView& view, TFileStream& original,
                                                  TFileStream& rebuilt)>& writeNew) {
    return Rebuild(
        fileName,
        [&](const TFileView* view, TFileStream& original, TFileStream& rebuilt) {
            return writeNew(*view, original, rebuilt);
        },
        true);
}

} // namespace audiolens
