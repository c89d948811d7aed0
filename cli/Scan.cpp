#include "cli/Scan.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace audiolens::cli {

namespace {

struct TSlot {
    std::string Path;
    bool Named = false;
    TFileResult Result;
    bool Finished = false;
};

} // namespace

void ScanInOrder(int jobs, const std::function<bool(std::string&, bool&)>& next,
                 const std::function<TFileResult(const std::string&, bool)>& work,
                 const std::function<void(const TFileResult&)>& done) {
    if (jobs <= 1) {
        std::string path;
        bool named = false;
        while (next(path, named))
            done(work(path, named));
        return;
    }
    // Files are taken in order into a window of slots; a worker claims the oldest slot not yet
    // started, and the caller prints the front slot once it is finished.
    const size_t window = static_cast<size_t>(jobs) * 16;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::shared_ptr<TSlot>> pending; // in input order, oldest first
    size_t started = 0;                         // slots of pending already claimed
    bool exhausted = false;

    auto fill = [&] { // with the lock held
        while (!exhausted && pending.size() < window) {
            auto slot = std::make_shared<TSlot>();
            if (!next(slot->Path, slot->Named)) {
                exhausted = true;
                break;
            }
            pending.push_back(std::move(slot));
        }
    };
    auto worker = [&] {
        std::unique_lock<std::mutex> guard(lock);
        for (;;) {
            changed.wait(guard, [&] { return started < pending.size() || exhausted; });
            if (started >= pending.size()) {
                if (exhausted) return;
                continue;
            }
            std::shared_ptr<TSlot> slot = pending[started++];
            guard.unlock();
            TFileResult result = work(slot->Path, slot->Named);
            guard.lock();
            slot->Result = std::move(result);
            slot->Finished = true;
            changed.notify_all();
        }
    };

    {
        std::lock_guard<std::mutex> guard(lock);
        fill();
    }
    std::vector<std::thread> threads;
    for (int i = 0; i < jobs; ++i)
        threads.emplace_back(worker);
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
        changed.wait(guard, [&] {
            return (!pending.empty() && pending.front()->Finished) ||
                   (pending.empty() && exhausted);
        });
        if (pending.empty()) break;
        std::shared_ptr<TSlot> front = std::move(pending.front());
        pending.pop_front();
        --started;
        fill();
        changed.notify_all();
        guard.unlock();
        done(front->Result);
        guard.lock();
    }
    guard.unlock();
    changed.notify_all();
    for (std::thread& t : threads)
        t.join();
}

} // namespace audiolens::cli
