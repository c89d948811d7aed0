// Ctrl-C (and SIGTERM) as a flag to poll, for programs that must clean up before they end.
#pragma once

namespace audiolens::platform {

void CatchInterrupts();
bool Interrupted();

} // namespace audiolens::platform
