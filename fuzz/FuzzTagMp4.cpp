// Arbitrary bytes through the MP4 tag's Read (the atom walk and the item search).
#include "fuzz/FuzzBodies.h"
#include "fuzz/FuzzWorkDir.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace audiolens::fuzzbody;
    std::string bytes(reinterpret_cast<const char*>(data), size);
    Check(ReadWithTagKind(bytes, WorkDir() + "/input", audiolens::tkMp4));
    return 0;
}
