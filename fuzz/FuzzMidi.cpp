// Arbitrary bytes through the MIDI file loader (bare and RIFF-wrapped) and the sequencer.
#include "fuzz/FuzzMidiBody.h"
#include "fuzz/FuzzWorkDir.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace audiolens::fuzzbody;
    std::string bytes(reinterpret_cast<const char*>(data), size);
    Check(LoadMidi(bytes, WorkDir()));
    return 0;
}
