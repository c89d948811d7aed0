#include "platform/Interrupt.h"

#include <csignal>

namespace audiolens::platform {
namespace {

volatile std::sig_atomic_t InterruptSeen = 0;

extern "C" void OnInterrupt(int) {
    InterruptSeen = 1;
}

} // namespace

void CatchInterrupts() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool Interrupted() {
    return InterruptSeen != 0;
}

} // namespace audiolens::platform
