// A periodic timer and a millisecond clock, reached through this table so that tests can drive
// the player's steps by hand against a clock they set.
#pragma once

#include <cstdint>

namespace audiolens::platform {

using TimerStep = void (*)(void* context);

struct TTimerService {
    // Milliseconds since an arbitrary origin, wrapping at 2^32: only differences mean anything.
    uint32_t (*NowMs)();
    // Calls step(context) every periodMs on a thread of its own; 0 when no timer could start.
    uint32_t (*Start)(uint32_t periodMs, TimerStep step, void* context);
    // After Kill returns no further step runs. Called from inside a step it only ends the timer
    // after that step; a later Kill of the same id from another thread then waits for its end.
    void (*Kill)(uint32_t id);
};

const TTimerService& Timers();
void SetTimerService(const TTimerService* service);
const TTimerService& SystemTimerService();

} // namespace audiolens::platform
