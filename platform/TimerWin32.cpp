// The periodic timer over the multimedia timer (timeSetEvent): its callbacks run on the timer
// service's thread. Each timer keeps a lock held for the length of a step, so a Kill from
// another thread can wait for a running step to end.
#include "platform/Timer.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <mmsystem.h>

#include <map>
#include <memory>

namespace audiolens::platform {
namespace {

struct TWinmmTimer {
    TWinmmTimer() { InitializeCriticalSection(&Running); }
    ~TWinmmTimer() { DeleteCriticalSection(&Running); }
    TWinmmTimer(const TWinmmTimer&) = delete;
    TWinmmTimer& operator=(const TWinmmTimer&) = delete;

    UINT EventId = 0;
    UINT Resolution = 0;
    TimerStep Step = nullptr;
    void* Context = nullptr;
    CRITICAL_SECTION Running;
    // The thread inside a step, 0 between steps; a step that kills its own timer reads it.
    volatile DWORD StepThread = 0;
    volatile LONG Killed = 0;
};

// Timers by id; a timer killed from its own step stays here until a Kill from elsewhere.
struct TTimerTable {
    TTimerTable() { InitializeCriticalSection(&Lock); }
    CRITICAL_SECTION Lock;
    std::map<uint32_t, std::shared_ptr<TWinmmTimer>> Timers;
    uint32_t LastId = 0;
};

TTimerTable& Table() {
    static TTimerTable* table = new TTimerTable; // lives to the end, past other statics
    return *table;
}

void CALLBACK OnTimerEvent(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    auto* timer = reinterpret_cast<TWinmmTimer*>(user);
    EnterCriticalSection(&timer->Running);
    if (!timer->Killed) {
        timer->StepThread = GetCurrentThreadId();
        timer->Step(timer->Context);
        timer->StepThread = 0;
    }
    LeaveCriticalSection(&timer->Running);
}

uint32_t WinmmNowMs() {
    return timeGetTime();
}

uint32_t WinmmStart(uint32_t periodMs, TimerStep step, void* context) {
    if (!step || periodMs == 0) return 0;
    TIMECAPS caps{};
    UINT resolution = 1;
    if (timeGetDevCaps(&caps, sizeof(caps)) == MMSYSERR_NOERROR && caps.wPeriodMin > 0)
        resolution = caps.wPeriodMin;
    if (timeBeginPeriod(resolution) != TIMERR_NOERROR) return 0;
    auto timer = std::make_shared<TWinmmTimer>();
    timer->Resolution = resolution;
    timer->Step = step;
    timer->Context = context;
    TTimerTable& table = Table();
    EnterCriticalSection(&table.Lock);
    uint32_t id = ++table.LastId;
    if (id == 0) id = ++table.LastId;
    // The step may run before timeSetEvent returns; the record it receives is complete by now.
    timer->EventId =
        timeSetEvent(periodMs, 0, OnTimerEvent, reinterpret_cast<DWORD_PTR>(timer.get()),
                     TIME_PERIODIC | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS);
    if (timer->EventId == 0) {
        LeaveCriticalSection(&table.Lock);
        timeEndPeriod(resolution);
        return 0;
    }
    table.Timers[id] = std::move(timer);
    LeaveCriticalSection(&table.Lock);
    return id;
}

void WinmmKill(uint32_t id) {
    TTimerTable& table = Table();
    std::shared_ptr<TWinmmTimer> timer;
    EnterCriticalSection(&table.Lock);
    auto found = table.Timers.find(id);
    if (found == table.Timers.end()) {
        LeaveCriticalSection(&table.Lock);
        return;
    }
    timer = found->second;
    bool fromOwnStep = timer->StepThread == GetCurrentThreadId();
    if (!fromOwnStep) table.Timers.erase(found);
    LeaveCriticalSection(&table.Lock);

    if (InterlockedExchange(&timer->Killed, 1) == 0) {
        timeKillEvent(timer->EventId);
        timeEndPeriod(timer->Resolution);
    }
    if (fromOwnStep) return; // ends after this step; a later Kill from elsewhere waits for it
    // A step running now holds the lock: this waits for its end.
    EnterCriticalSection(&timer->Running);
    LeaveCriticalSection(&timer->Running);
}

const TTimerService WinmmService = {WinmmNowMs, WinmmStart, WinmmKill};
const TTimerService* Current = &WinmmService;

} // namespace

const TTimerService& Timers() {
    return *Current;
}
void SetTimerService(const TTimerService* service) {
    Current = service ? service : &WinmmService;
}
const TTimerService& SystemTimerService() {
    return WinmmService;
}

} // namespace audiolens::platform
