// MIDI output through winmm. A device that cannot be opened yields NoMidiOut, and the player
// then plays silently.
#include "platform/MidiOut.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <mmsystem.h>

#include <cstring>

namespace audiolens::platform {
namespace {

HMIDIOUT ToMidiOut(MidiOutHandle out) {
    return reinterpret_cast<HMIDIOUT>(out);
}

uint32_t WinmmPortCount() {
    return midiOutGetNumDevs();
}

std::string WinmmPortName(uint32_t deviceId) {
    MIDIOUTCAPSA caps{};
    if (midiOutGetDevCapsA(deviceId, &caps, sizeof(caps)) != MMSYSERR_NOERROR) return {};
    return std::string(caps.szPname, strnlen(caps.szPname, sizeof(caps.szPname)));
}

MidiOutHandle WinmmOpen(uint32_t deviceId) {
    HMIDIOUT out = nullptr;
    if (midiOutOpen(&out, deviceId, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR || !out)
        return NoMidiOut;
    return reinterpret_cast<MidiOutHandle>(out);
}

void WinmmShortMsg(MidiOutHandle out, uint32_t message) {
    if (out != NoMidiOut) midiOutShortMsg(ToMidiOut(out), message);
}

void WinmmReset(MidiOutHandle out) {
    if (out != NoMidiOut) midiOutReset(ToMidiOut(out));
}

void WinmmClose(MidiOutHandle out) {
    if (out != NoMidiOut) midiOutClose(ToMidiOut(out));
}

const TMidiOutService WinmmService = {WinmmPortCount, WinmmPortName, WinmmOpen,
                                      WinmmShortMsg,  WinmmReset,    WinmmClose};
const TMidiOutService* Current = &WinmmService;

} // namespace

const TMidiOutService& MidiOut() {
    return *Current;
}
void SetMidiOutService(const TMidiOutService* service) {
    Current = service ? service : &WinmmService;
}
const TMidiOutService& SystemMidiOutService() {
    return WinmmService;
}

} // namespace audiolens::platform
