// MIDI output through RtMidi. Every failure (no sequencer device, no port, a driver error) is
// swallowed: opening then yields NoMidiOut and the player plays silently.
#include "platform/MidiOut.h"

#include <RtMidi.h>

#include <memory>
#include <unistd.h>

namespace audiolens::platform {
namespace {

// RtMidi reports through an error callback as well as by throwing; keep it off the terminal.
void QuietErrors(RtMidiError::Type, const std::string&, void*) {}

// RtMidi prints its driver errors before it throws them, so a machine without a sequencer is
// recognised first: there, no client is made at all.
RtMidi::Api UsableApi() {
#if defined(__LINUX_ALSA__)
    return ::access("/dev/snd/seq", R_OK | W_OK) == 0 ? RtMidi::LINUX_ALSA : RtMidi::RTMIDI_DUMMY;
#else
    return RtMidi::UNSPECIFIED;
#endif
}

std::unique_ptr<RtMidiOut> MakeClient() {
    RtMidi::Api api = UsableApi();
    if (api == RtMidi::RTMIDI_DUMMY) return nullptr;
    try {
        auto client = std::make_unique<RtMidiOut>(api, "audiolens");
        client->setErrorCallback(QuietErrors, nullptr);
        return client;
    } catch (...) {
        return nullptr;
    }
}

uint32_t RtPortCount() {
    auto client = MakeClient();
    if (!client) return 0;
    try {
        return client->getPortCount();
    } catch (...) {
        return 0;
    }
}

std::string RtPortName(uint32_t deviceId) {
    auto client = MakeClient();
    if (!client) return {};
    try {
        return deviceId < client->getPortCount() ? client->getPortName(deviceId) : std::string();
    } catch (...) {
        return {};
    }
}

MidiOutHandle RtOpen(uint32_t deviceId) {
    auto client = MakeClient();
    if (!client) return NoMidiOut;
    try {
        if (deviceId >= client->getPortCount()) return NoMidiOut;
        client->openPort(deviceId, "audiolens");
        if (!client->isPortOpen()) return NoMidiOut;
    } catch (...) {
        return NoMidiOut;
    }
    return reinterpret_cast<MidiOutHandle>(client.release());
}

void Send(RtMidiOut& client, uint8_t status, uint8_t data1, uint8_t data2) {
    const uint8_t bytes[3] = {status, data1, data2};
    try {
        client.sendMessage(bytes, ShortMessageSize(status));
    } catch (...) {
    }
}

void RtShortMsg(MidiOutHandle out, uint32_t message) {
    if (out == NoMidiOut) return;
    auto status = static_cast<uint8_t>(message);
    if (status < 0x80 || status >= 0xF0) return;
    Send(*reinterpret_cast<RtMidiOut*>(out), status, static_cast<uint8_t>(message >> 8) & 0x7F,
         static_cast<uint8_t>(message >> 16) & 0x7F);
}

// What a reset of the output does: sustain released and every note off, on all 16 channels.
void RtReset(MidiOutHandle out) {
    if (out == NoMidiOut) return;
    auto& client = *reinterpret_cast<RtMidiOut*>(out);
    for (uint8_t channel = 0; channel < 16; ++channel) {
        Send(client, 0xB0 | channel, 64, 0);
        Send(client, 0xB0 | channel, 123, 0);
    }
}

void RtClose(MidiOutHandle out) {
    if (out == NoMidiOut) return;
    delete reinterpret_cast<RtMidiOut*>(out);
}

const TMidiOutService RtService = {RtPortCount, RtPortName, RtOpen, RtShortMsg, RtReset, RtClose};
const TMidiOutService* Current = &RtService;

} // namespace

const TMidiOutService& MidiOut() {
    return *Current;
}
void SetMidiOutService(const TMidiOutService* service) {
    Current = service ? service : &RtService;
}
const TMidiOutService& SystemMidiOutService() {
    return RtService;
}

} // namespace audiolens::platform
