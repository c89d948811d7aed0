// Ctrl-C, Ctrl-Break and the console closing as a flag to poll.
#include "platform/Interrupt.h"

#include <windows.h>

namespace audiolens::platform {
namespace {

volatile LONG InterruptSeen = 0;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    InterlockedExchange(&InterruptSeen, 1);
    return TRUE;
}

} // namespace

void CatchInterrupts() {
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool Interrupted() {
    return InterlockedCompareExchange(&InterruptSeen, 0, 0) != 0;
}

} // namespace audiolens::platform
