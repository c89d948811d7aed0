// Arbitrary bytes through the Vorbis comment tag's Read (FLAC blocks and Ogg pages).
#include "fuzz/FuzzBodies.h"
#include "fuzz/FuzzWorkDir.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace audiolens::fuzzbody;
    std::string bytes(reinterpret_cast<const char*>(data), size);
    Check(ReadWithTagKind(bytes, WorkDir() + "/input", audiolens::tkVorbis));
    return 0;
}
