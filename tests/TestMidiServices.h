// Test stand-ins for the MIDI output and the timer: an output that records every message, and
// a timer that never fires by itself with a clock the test sets.
#pragma once

#include "platform/MidiOut.h"
#include "platform/Timer.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace miditest {

struct TRecorded {
    std::mutex Mutex;
    std::vector<uint32_t> Messages;
    int Opens = 0, Resets = 0, Closes = 0;
    bool FailOpen = false;
    std::function<void()> OnMessage; // runs after each message, on the sender's thread
};

inline TRecorded& Recorded() {
    static TRecorded recorded;
    return recorded;
}

inline uint32_t Message(int status, int data1, int data2) {
    return uint32_t(status) | uint32_t(data1) << 8 | uint32_t(data2) << 16;
}

inline const audiolens::platform::TMidiOutService& RecordingOut() {
    using namespace audiolens::platform;
    static const TMidiOutService service = {
        [] { return Recorded().FailOpen ? 0u : 1u; },
        [](uint32_t) { return std::string("recorder"); },
        [](uint32_t id) -> MidiOutHandle {
            std::lock_guard<std::mutex> lock(Recorded().Mutex);
            if (Recorded().FailOpen) return NoMidiOut;
            ++Recorded().Opens;
            return static_cast<MidiOutHandle>(id) + 1;
        },
        [](MidiOutHandle, uint32_t message) {
            std::function<void()> hook;
            {
                std::lock_guard<std::mutex> lock(Recorded().Mutex);
                Recorded().Messages.push_back(message);
                hook = Recorded().OnMessage;
            }
            if (hook) hook();
        },
        [](MidiOutHandle) {
            std::lock_guard<std::mutex> lock(Recorded().Mutex);
            ++Recorded().Resets;
        },
        [](MidiOutHandle) {
            std::lock_guard<std::mutex> lock(Recorded().Mutex);
            ++Recorded().Closes;
        },
    };
    return service;
}

struct TManualTimer {
    std::atomic<uint32_t> Now{0};
    std::atomic<int> Starts{0}, Kills{0};
    std::atomic<bool> FailStart{false};
};

inline TManualTimer& ManualTimer() {
    static TManualTimer timer;
    return timer;
}

inline const audiolens::platform::TTimerService& ManualTimerService() {
    using namespace audiolens::platform;
    static const TTimerService service = {
        [] { return ManualTimer().Now.load(); },
        [](uint32_t, TimerStep, void*) -> uint32_t {
            if (ManualTimer().FailStart) return 0;
            return static_cast<uint32_t>(++ManualTimer().Starts);
        },
        [](uint32_t) { ++ManualTimer().Kills; },
    };
    return service;
}

// Installs the recording output (and, unless realTimer, the manual timer) for one test.
class TMidiServices {
  public:
    explicit TMidiServices(bool realTimer = false) {
        Clear();
        audiolens::platform::SetMidiOutService(&RecordingOut());
        if (!realTimer) audiolens::platform::SetTimerService(&ManualTimerService());
    }
    ~TMidiServices() {
        audiolens::platform::SetMidiOutService(nullptr);
        audiolens::platform::SetTimerService(nullptr);
    }
    static void Clear() {
        std::lock_guard<std::mutex> lock(Recorded().Mutex);
        Recorded().Messages.clear();
        Recorded().Opens = Recorded().Resets = Recorded().Closes = 0;
        Recorded().FailOpen = false;
        Recorded().OnMessage = nullptr;
        ManualTimer().Now = 0;
        ManualTimer().Starts = ManualTimer().Kills = 0;
        ManualTimer().FailStart = false;
    }
    static std::vector<uint32_t> Messages() {
        std::lock_guard<std::mutex> lock(Recorded().Mutex);
        return Recorded().Messages;
    }
    static void ClearMessages() {
        std::lock_guard<std::mutex> lock(Recorded().Mutex);
        Recorded().Messages.clear();
    }
};

} // namespace miditest
