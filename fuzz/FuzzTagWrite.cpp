// Save and Remove of arbitrary fields over arbitrary files, then a Read of what was written.
#include "fuzz/FuzzBodies.h"
#include "fuzz/FuzzWorkDir.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace audiolens::fuzzbody;
    std::string bytes(reinterpret_cast<const char*>(data), size);
    Check(SaveThenRead(bytes, WorkDir()));
    return 0;
}
