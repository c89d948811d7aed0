// Plays a loaded MIDI file in real time: a periodic timer advances the sequencer every 4 ms.
// The timer step and every command take one lock, so the two threads never meet inside the
// sequencer, the ports or the devices.
#pragma once

#include "core/BaseObject.h"
#include "midi/AudioMidi.h"
#include "midi/MidiSequencer.h"

#include <cstdint>
#include <mutex>
#include <string>

namespace audiolens {

enum TPlayerState : uint8_t { psStopped = 0, psPaused = 1, psPlaying = 2 };

// What a front end shows, taken in one go under the player's lock.
struct TPlayerPosition {
    TPlayerState State = psStopped;
    int32_t TickPos = 0, MsPos = 0;
    int32_t Bar = 0, Beat = 0, BeatTick = 0;
    int32_t Tempo = 0;
};

class TMidiPlayer : public TObject {
  public:
    static constexpr uint32_t TimerPeriod = 4; // ms

    TMidiPlayer();

    bool Load(const std::string& fileName);
    void Play();
    void Pause();
    void Stop();
    void Rewind();
    // One timer period: advances the song by the time elapsed since the last step.
    void TimerStep();

    TPlayerState State() const;
    TPlayerPosition Position() const;
    int32_t ResumeTick() const;
    // Playback speed in percent of the file's tempo.
    void SetSpeed(int32_t percent);

    // For tests and front ends that need the song's details; hold no reference past a Load.
    TMidiFile* MidiFile() const { return File.Get(); }
    TMidiSequencer* Sequencer() const { return Seq.Get(); }
    TMidiSong* Song() const { return SongObj.Get(); }

  protected:
    ~TMidiPlayer() override;

  private:
    void PlayLocked();
    void StopLocked();
    void RewindLocked();
    void SetSong(TMidiSong* song);
    void SetState(TPlayerState state) { PlayerState = state; }
    void JoinFinishedTimer();
    static void TimerCallback(void* player);

    mutable std::mutex Lock;
    TPlayerState PlayerState = psStopped;
    TRef<TMidiFile> File;
    TRef<TMidiSong> SongObj;
    TRef<TMidiSequencer> Seq;
    uint32_t TimerId = 0;
    // A timer that ended the song stopped itself from its own thread; joined on the next start.
    uint32_t FinishedTimerId = 0;
    bool InTimerStep = false;
    uint32_t LastTime = 0;
    int32_t Busy = 0;
    int32_t Speed = 100;
    int32_t StoppedTick = 0;
};

} // namespace audiolens
