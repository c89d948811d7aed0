// The periodic timer as one thread per timer, paced by steady_clock.
#include "platform/Timer.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace audiolens::platform {
namespace {

using Clock = std::chrono::steady_clock;

struct TTimerThread {
    std::mutex Mutex;
    std::condition_variable Wake;
    bool Stopping = false;
    std::thread Thread;

    void Run(std::chrono::milliseconds period, TimerStep step, void* context) {
        auto next = Clock::now() + period;
        std::unique_lock<std::mutex> lock(Mutex);
        while (!Wake.wait_until(lock, next, [this] { return Stopping; })) {
            lock.unlock();
            step(context);
            lock.lock();
            // A step that overran its period does not make the timer race to catch up.
            next = std::max(next + period, Clock::now());
        }
    }
    void RequestStop() {
        std::lock_guard<std::mutex> lock(Mutex);
        Stopping = true;
        Wake.notify_all();
    }
};

// Timers by id. A timer killed from its own thread stays here until someone else joins it.
struct TTimerTable {
    std::mutex Mutex;
    std::map<uint32_t, std::shared_ptr<TTimerThread>> Timers;
    uint32_t LastId = 0;

    ~TTimerTable() {
        for (auto& [id, timer] : Timers) {
            timer->RequestStop();
            if (timer->Thread.joinable() && timer->Thread.get_id() != std::this_thread::get_id())
                timer->Thread.join();
            else if (timer->Thread.joinable())
                timer->Thread.detach();
        }
    }
};

TTimerTable& Table() {
    static TTimerTable table;
    return table;
}

uint32_t ThreadNowMs() {
    auto since =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch());
    return static_cast<uint32_t>(since.count());
}

uint32_t ThreadStart(uint32_t periodMs, TimerStep step, void* context) {
    if (!step || periodMs == 0) return 0;
    auto timer = std::make_shared<TTimerThread>();
    TTimerTable& table = Table();
    std::lock_guard<std::mutex> lock(table.Mutex);
    uint32_t id = ++table.LastId;
    if (id == 0) id = ++table.LastId;
    try {
        timer->Thread = std::thread([timer, periodMs, step, context] {
            timer->Run(std::chrono::milliseconds(periodMs), step, context);
        });
    } catch (...) {
        return 0;
    }
    table.Timers[id] = std::move(timer);
    return id;
}

void ThreadKill(uint32_t id) {
    TTimerTable& table = Table();
    std::shared_ptr<TTimerThread> timer;
    {
        std::lock_guard<std::mutex> lock(table.Mutex);
        auto found = table.Timers.find(id);
        if (found == table.Timers.end()) return;
        timer = found->second;
        // A thread cannot join itself: from inside a step only ask it to end.
        if (timer->Thread.get_id() == std::this_thread::get_id()) {
            timer->RequestStop();
            return;
        }
        table.Timers.erase(found);
    }
    timer->RequestStop();
    if (timer->Thread.joinable()) timer->Thread.join();
}

const TTimerService ThreadService = {ThreadNowMs, ThreadStart, ThreadKill};
const TTimerService* Current = &ThreadService;

} // namespace

const TTimerService& Timers() {
    return *Current;
}
void SetTimerService(const TTimerService* service) {
    Current = service ? service : &ThreadService;
}
const TTimerService& SystemTimerService() {
    return ThreadService;
}

} // namespace audiolens::platform
