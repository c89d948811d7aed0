// Arbitrary bytes through the Read of every registered tag kind.
#include "fuzz/FuzzBodies.h"
#include "fuzz/FuzzWorkDir.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace audiolens::fuzzbody;
    std::string bytes(reinterpret_cast<const char*>(data), size);
    Check(ReadWithEveryTagKind(bytes, WorkDir() + "/input"));
    return 0;
}
