#include "midi/MidiDevice.h"

#include <algorithm>
#include <mutex>

namespace audiolens {
namespace {

// Every open device, looked up by id; what remains at program end is closed then.
struct TDeviceList {
    std::mutex Mutex;
    std::vector<TMidiDevice*> Devices;
    ~TDeviceList() {
        for (TMidiDevice* device : Devices)
            device->Release();
    }
};

TDeviceList& List() {
    static TDeviceList list;
    return list;
}

} // namespace

uint8_t DefaultControllerValue(int controller) {
    switch (controller) {
    case 7:
        return 90;
    case 10:
        return 64;
    case 11:
        return 127;
    case 91:
        return 40;
    default:
        return 0;
    }
}

TMidiDevice::TMidiDevice(uint32_t id) : DeviceId(id) {
    for (auto& channel : Controllers)
        for (int c = 0; c < MidiControllers; ++c)
            channel[c] = DefaultControllerValue(c);
    Out = platform::MidiOut().Open(id);
}

TMidiDevice::~TMidiDevice() {
    if (Out == platform::NoMidiOut) return;
    platform::MidiOut().Reset(Out);
    platform::MidiOut().Close(Out);
}

void TMidiDevice::ShortMsg(uint8_t status, uint8_t data1, uint8_t data2) {
    // Without an output the message is simply lost, as the system does for a failed open.
    if (Out == platform::NoMidiOut) return;
    platform::MidiOut().ShortMsg(Out, status | uint32_t(data1) << 8 | uint32_t(data2) << 16);
}

TMidiDevice* TMidiDevice::Attach(uint32_t id, TMidiPort* port, int& slot) {
    TDeviceList& list = List();
    std::lock_guard<std::mutex> lock(list.Mutex);
    auto found = std::find_if(list.Devices.begin(), list.Devices.end(),
                              [id](TMidiDevice* d) { return d->Id() == id; });
    TMidiDevice* device = nullptr;
    if (found != list.Devices.end()) {
        device = *found;
    } else {
        device = new TMidiDevice(id);
        list.Devices.push_back(device);
    }
    auto empty = std::find(device->Ports.begin(), device->Ports.end(), nullptr);
    if (empty != device->Ports.end()) {
        *empty = port;
        slot = static_cast<int>(empty - device->Ports.begin());
    } else {
        device->Ports.push_back(port);
        slot = static_cast<int>(device->Ports.size()) - 1;
    }
    return device;
}

void TMidiDevice::Detach(TMidiDevice* device, int slot) {
    TDeviceList& list = List();
    std::lock_guard<std::mutex> lock(list.Mutex);
    if (slot >= 0 && slot < static_cast<int>(device->Ports.size())) device->Ports[slot] = nullptr;
    if (std::any_of(device->Ports.begin(), device->Ports.end(),
                    [](TMidiPort* p) { return p != nullptr; }))
        return;
    list.Devices.erase(std::remove(list.Devices.begin(), list.Devices.end(), device),
                       list.Devices.end());
    device->Release();
}

int TMidiDevice::OpenDeviceCount() {
    TDeviceList& list = List();
    std::lock_guard<std::mutex> lock(list.Mutex);
    return static_cast<int>(list.Devices.size());
}

void TMidiPort::SetActive(bool active) {
    if (active == Active()) return;
    if (active) {
        Device = TMidiDevice::Attach(DeviceId, this, Slot);
        return;
    }
    NotesOff();
    ResetControllers();
    TMidiDevice::Detach(Device, Slot);
    Device = nullptr;
    Slot = -1;
}

void TMidiPort::SetDeviceId(uint32_t id) {
    if (id == DeviceId) return;
    bool wasActive = Active();
    SetActive(false);
    DeviceId = id;
    if (wasActive) SetActive(true);
}

void TMidiPort::SendShort(uint8_t status, uint8_t data1, uint8_t data2) {
    TMidiEvent e;
    e.Status = status;
    e.Data1 = data1;
    e.Data2 = data2;
    Send(e);
}

void TMidiPort::Send(const TMidiEvent& event) {
    if (!Device || event.Status >= 0xF0 || event.Status < 0x80) return;
    Device->ShortMsg(event.Status, event.Data1, event.Data2);
    const int channel = event.Status & 0x0F;
    int32_t& count = Notes[channel][event.Data1 & 0x7F];
    switch (event.Status & 0xF0) {
    case 0x80:
        if (count > 0) --count;
        break;
    case 0x90:
        if (event.Data2 != 0)
            ++count;
        else if (count > 0)
            --count;
        break;
    case 0xB0:
        Device->Controllers[channel][event.Data1 & 0x7F] = event.Data2;
        break;
    case 0xC0:
        Device->Programs[channel] = event.Data1;
        break;
    default:
        break;
    }
}

void TMidiPort::NotesOff() {
    // Counts only grow while a device takes the notes.
    if (!Device) {
        Notes = {};
        return;
    }
    for (int channel = 0; channel < MidiChannels; ++channel)
        for (int key = 0; key < MidiKeys; ++key)
            while (Notes[channel][key] > 0)
                SendShort(static_cast<uint8_t>(0x80 | channel), static_cast<uint8_t>(key), 0);
    const uint8_t sustainOff = DefaultControllerValue(SustainController);
    for (int channel = 0; channel < MidiChannels; ++channel)
        if (Device->Controllers[channel][SustainController] != sustainOff)
            SendShort(static_cast<uint8_t>(0xB0 | channel), SustainController, sustainOff);
}

void TMidiPort::ResetControllers() {
    if (!Device) return;
    for (int channel = 0; channel < MidiChannels; ++channel)
        for (int c = 0; c < MidiControllers; ++c)
            if (Device->Controllers[channel][c] != DefaultControllerValue(c))
                SendShort(static_cast<uint8_t>(0xB0 | channel), static_cast<uint8_t>(c),
                          DefaultControllerValue(c));
}

void TMidiPort::SetProgram(uint8_t program, uint8_t channel) {
    if (!Device || Device->Programs[channel & 0x0F] == program) return;
    SendShort(static_cast<uint8_t>(0xC0 | (channel & 0x0F)), program, 0);
}

} // namespace audiolens
