// The system's MIDI output, reached only through this table so that tests can record what the
// player sends and a build without a MIDI library stays silent.
#pragma once

#include <cstdint>
#include <string>

namespace audiolens::platform {

using MidiOutHandle = intptr_t;
constexpr MidiOutHandle NoMidiOut = 0;

struct TMidiOutService {
    uint32_t (*PortCount)();
    std::string (*PortName)(uint32_t deviceId);
    // Opens output port deviceId (0 = the first); NoMidiOut when there is no such port.
    MidiOutHandle (*Open)(uint32_t deviceId);
    // A short message packed as status | data1 << 8 | data2 << 16; ignored for NoMidiOut.
    void (*ShortMsg)(MidiOutHandle out, uint32_t message);
    // Silences every note on every channel.
    void (*Reset)(MidiOutHandle out);
    void (*Close)(MidiOutHandle out);
};

// The service in use; tests may install another (nullptr restores the system's).
const TMidiOutService& MidiOut();
void SetMidiOutService(const TMidiOutService* service);
const TMidiOutService& SystemMidiOutService();

// Bytes of a short message by its status: program change and channel pressure carry one data
// byte, the other channel messages two.
inline uint32_t ShortMessageSize(uint8_t status) {
    uint8_t kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 2 : 3;
}

} // namespace audiolens::platform
