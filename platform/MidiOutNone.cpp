// MIDI output for builds without RtMidi: there are no ports, every open fails and sends vanish.
#include "platform/MidiOut.h"

namespace audiolens::platform {
namespace {

uint32_t NonePortCount() {
    return 0;
}
std::string NonePortName(uint32_t) {
    return {};
}
MidiOutHandle NoneOpen(uint32_t) {
    return NoMidiOut;
}
void NoneShortMsg(MidiOutHandle, uint32_t) {}
void NoneReset(MidiOutHandle) {}
void NoneClose(MidiOutHandle) {}

const TMidiOutService NoneService = {NonePortCount, NonePortName, NoneOpen,
                                     NoneShortMsg,  NoneReset,    NoneClose};
const TMidiOutService* Current = &NoneService;

} // namespace

const TMidiOutService& MidiOut() {
    return *Current;
}
void SetMidiOutService(const TMidiOutService* service) {
    Current = service ? service : &NoneService;
}
const TMidiOutService& SystemMidiOutService() {
    return NoneService;
}

} // namespace audiolens::platform
