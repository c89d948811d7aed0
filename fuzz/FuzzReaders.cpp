// Arbitrary bytes through every registered reader (by way of the verifier) and its tags.
#include "fuzz/FuzzBodies.h"
#include "fuzz/FuzzWorkDir.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace audiolens::fuzzbody;
    std::string bytes(reinterpret_cast<const char*>(data), size);
    Check(ReadWithEveryFormat(bytes, WorkDir() + "/input"));
    return 0;
}
