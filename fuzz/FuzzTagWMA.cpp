// Arbitrary bytes through the Read of both WMA tag kinds (content description and extended
// content description).
#include "fuzz/FuzzBodies.h"
#include "fuzz/FuzzWorkDir.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace audiolens::fuzzbody;
    std::string bytes(reinterpret_cast<const char*>(data), size);
    Check(ReadWithTagKind(bytes, WorkDir() + "/input", audiolens::tkWMA));
    Check(ReadWithTagKind(bytes, WorkDir() + "/input", audiolens::tkExWMA));
    return 0;
}
