// MIDI outputs shared by the tracks: a port per track, and one device per output id that holds
// the open output and remembers the program and controller values last sent on each channel.
#pragma once

#include "core/BaseObject.h"
#include "midi/AudioMidi.h"
#include "platform/MidiOut.h"

#include <array>
#include <cstdint>
#include <vector>

namespace audiolens {

constexpr int MidiChannels = 16;
constexpr int MidiKeys = 128;
constexpr int MidiControllers = 128;
constexpr uint8_t SustainController = 64;

// Controller values after a reset: volume 90, pan centre, full expression, some reverb.
uint8_t DefaultControllerValue(int controller);

class TMidiPort;

class TMidiDevice : public TObject {
  public:
    explicit TMidiDevice(uint32_t id);

    uint32_t Id() const { return DeviceId; }
    platform::MidiOutHandle Handle() const { return Out; }
    void ShortMsg(uint8_t status, uint8_t data1, uint8_t data2);

    std::array<uint8_t, MidiChannels> Programs{};
    std::array<std::array<uint8_t, MidiControllers>, MidiChannels> Controllers{};

    // The device with that id, opened when it is new; the port takes the first free slot.
    static TMidiDevice* Attach(uint32_t id, TMidiPort* port, int& slot);
    // Frees the slot; the last port out resets and closes the device.
    static void Detach(TMidiDevice* device, int slot);
    static int OpenDeviceCount();

  protected:
    ~TMidiDevice() override;

  private:
    uint32_t DeviceId;
    platform::MidiOutHandle Out = platform::NoMidiOut;
    std::vector<TMidiPort*> Ports; // empty slots are nullptr
};

class TMidiPort : public TObject {
  public:
    explicit TMidiPort(uint32_t deviceId = 0) : DeviceId(deviceId) {}

    void SetActive(bool active);
    bool Active() const { return Device != nullptr; }
    void SetDeviceId(uint32_t id);
    uint32_t GetDeviceId() const { return DeviceId; }
    TMidiDevice* GetDevice() const { return Device; }

    void Send(const TMidiEvent& event);
    void NotesOff();
    void ResetControllers();
    void SetProgram(uint8_t program, uint8_t channel);
    int32_t SoundingNotes(int channel, int key) const { return Notes[channel][key]; }

  protected:
    ~TMidiPort() override { SetActive(false); }

  private:
    void SendShort(uint8_t status, uint8_t data1, uint8_t data2);

    uint32_t DeviceId;
    TMidiDevice* Device = nullptr;
    int Slot = -1;
    std::array<std::array<int32_t, MidiKeys>, MidiChannels> Notes{};
};

} // namespace audiolens
