// The song (one output per track) and the sequencer that keeps its position in ticks, ms and
// bars/beats, follows the conductor track's tempo and time signature, and sends what is due.
#pragma once

#include "core/BaseObject.h"
#include "midi/AudioMidi.h"
#include "midi/MidiDevice.h"

#include <cstdint>
#include <vector>

namespace audiolens {

class TMidiTrackOut : public TObject {
  public:
    TMidiTrackOut(TMidiTrack* track, uint32_t deviceId)
        : Track(track), Port(new TMidiPort(deviceId)) {}
    TMidiTrack* Track;
    TRef<TMidiPort> Port;
    size_t NextEvent = 0;

  protected:
    ~TMidiTrackOut() override = default;
};

class TMidiSong : public TObject {
  public:
    TMidiFile* File = nullptr; // not owned
    uint32_t DeviceId = 0;
    std::vector<TRef<TMidiTrackOut>> Tracks;

    // One output per track of the file, each with an active port on DeviceId.
    void BuildTrackOuts();
    // Every port switches off (notes off, controllers reset, device released).
    void FreeTrackOuts() { Tracks.clear(); }

  protected:
    ~TMidiSong() override = default;
};

class TMidiSequencer : public TObject {
  public:
    TMidiSequencer() { Reset(); }

    void Reset();
    void SetFile(TMidiFile* file);
    // Rewinds every track output of the song and sends each track's program.
    void SetSong(TMidiSong* song);
    void SetTick(int32_t tick);
    void SetBarBeatTick(int32_t bar, int32_t beat, int32_t tick);
    void SetTimeMs(int32_t ms);
    void Advance(int32_t ms);
    void Dispatch();

    TMidiFile* MidiFile = nullptr;
    TMidiSong* Song = nullptr;
    int32_t TickPos = 0, MsPos = 0;
    int32_t Division = 180;
    int32_t Tempo = 600; // ms per quarter note
    int32_t TempoTick = 0, TempoMs = 0;
    int32_t SigDenom = 2, SigNumer = 4;
    int32_t SigTick = 0, SigBar = 0;
    int32_t BeatTicks = 180, BarTicks = 720;
    int32_t Bar = 0, Beat = 0, BeatTick = 0;
    size_t ConductorIndex = 0;
    bool SoundNotes = false;
    bool EndOfSong = false;

  protected:
    ~TMidiSequencer() override = default;

  private:
    const TMidiTrack* Conductor() const;
    void RewindTrackOuts();
    void RecomputeBeats();
    void ApplyTempo(const TMidiEvent& e);
    void ApplyTimeSignature(const TMidiEvent& e);
    void PlaceAt(int64_t tick);
    template <class Target> int64_t ChaseConductor(Target target);
    void SetMsFromTick();
};

} // namespace audiolens
