#include "midi/MidiPlayer.h"

#include "platform/Timer.h"

#include <algorithm>
#include <limits>

namespace audiolens {

TMidiPlayer::TMidiPlayer() : File(new TMidiFile), SongObj(new TMidiSong), Seq(new TMidiSequencer) {
    SongObj->File = File.Get();
}

TMidiPlayer::~TMidiPlayer() {
    std::lock_guard<std::mutex> guard(Lock);
    StopLocked();
    JoinFinishedTimer();
    Seq.Reset();
    SongObj->FreeTrackOuts();
    File->Clear();
}

TPlayerState TMidiPlayer::State() const {
    std::lock_guard<std::mutex> guard(Lock);
    return PlayerState;
}

int32_t TMidiPlayer::ResumeTick() const {
    std::lock_guard<std::mutex> guard(Lock);
    return StoppedTick;
}

void TMidiPlayer::SetSpeed(int32_t percent) {
    std::lock_guard<std::mutex> guard(Lock);
    Speed = percent;
}

TPlayerPosition TMidiPlayer::Position() const {
    std::lock_guard<std::mutex> guard(Lock);
    return {PlayerState, Seq->TickPos, Seq->MsPos, Seq->Bar, Seq->Beat, Seq->BeatTick, Seq->Tempo};
}

bool TMidiPlayer::Load(const std::string& fileName) {
    std::lock_guard<std::mutex> guard(Lock);
    StopLocked();
    SongObj->FreeTrackOuts();
    File->Clear();
    TRef<TMidiSong> song(new TMidiSong);
    File.Reset(new TMidiFile);
    song->File = File.Get();
    SetSong(song.Get());
    SongObj = std::move(song);
    RewindLocked();
    if (!File->LoadFromFile(fileName)) return false;
    SongObj->BuildTrackOuts();
    // The sequencer was attached to the file while it was empty: take the loaded division
    // and the new track outputs (each sends its program) before anything plays.
    Seq->Reset();
    Seq->SetTick(0);
    return true;
}

void TMidiPlayer::SetSong(TMidiSong* song) {
    if (song == SongObj.Get() && Seq->Song == song) return;
    Seq->SetSong(song);
    StopLocked();
    Seq->SetFile(song->File);
    Seq->SetTick(0);
}

void TMidiPlayer::Rewind() {
    std::lock_guard<std::mutex> guard(Lock);
    RewindLocked();
}

void TMidiPlayer::RewindLocked() {
    StopLocked();
    Seq->SetBarBeatTick(0, 0, 0);
    // The next Play starts where the position now is, not where the last Stop left it.
    StoppedTick = Seq->TickPos;
}

void TMidiPlayer::Play() {
    std::lock_guard<std::mutex> guard(Lock);
    PlayLocked();
}

void TMidiPlayer::PlayLocked() {
    if (PlayerState == psPlaying) return;
    if (PlayerState == psPaused) {
        LastTime = platform::Timers().NowMs();
        SetState(psPlaying);
        return;
    }
    if (!SongObj || SongObj->Tracks.empty()) return;
    JoinFinishedTimer();
    Seq->SetFile(SongObj->File);
    int32_t here = Seq->TickPos;
    Seq->SetTick(StoppedTick);
    SetState(psPaused);
    Seq->SetTick(here);
    LastTime = platform::Timers().NowMs();
    TimerId = platform::Timers().Start(TimerPeriod, TimerCallback, this);
    SetState(TimerId != 0 ? psPlaying : psStopped);
}

void TMidiPlayer::Pause() {
    std::lock_guard<std::mutex> guard(Lock);
    if (PlayerState == psPlaying) SetState(psPaused);
}

void TMidiPlayer::Stop() {
    std::lock_guard<std::mutex> guard(Lock);
    StopLocked();
}

void TMidiPlayer::StopLocked() {
    if (PlayerState == psStopped) return;
    if (TimerId != 0) {
        // A step never waits for the lock (see TimerStep), so killing the timer while holding
        // it cannot deadlock; from inside a step the timer only ends after the step.
        platform::Timers().Kill(TimerId);
        if (InTimerStep) FinishedTimerId = TimerId;
        TimerId = 0;
    }
    if (SongObj)
        for (const auto& out : SongObj->Tracks)
            out->Port->NotesOff();
    StoppedTick = Seq->TickPos;
    SetState(psStopped);
}

void TMidiPlayer::JoinFinishedTimer() {
    if (FinishedTimerId == 0) return;
    platform::Timers().Kill(FinishedTimerId);
    FinishedTimerId = 0;
}

void TMidiPlayer::TimerCallback(void* player) {
    static_cast<TMidiPlayer*>(player)->TimerStep();
}

void TMidiPlayer::TimerStep() {
    // A command holding the lock may be killing this very timer: skip the step rather than
    // wait. No time is lost, the next step measures from LastTime.
    std::unique_lock<std::mutex> guard(Lock, std::try_to_lock);
    if (!guard.owns_lock()) return;
    if (Busy != 0 || PlayerState == psStopped) return;
    ++Busy;
    InTimerStep = true;
    if (PlayerState != psPaused) {
        uint32_t now = platform::Timers().NowMs();
        uint32_t elapsed = now - LastTime; // the clock wraps at 2^32
        LastTime = now;
        // Speed percent of the elapsed time, rounded half to even, at least 1 ms.
        int64_t scaled = int64_t(Speed) * elapsed;
        int64_t ms = scaled / 100, rest = scaled % 100;
        if (rest > 50 || (rest == 50 && (ms & 1))) ++ms;
        ms = std::clamp<int64_t>(ms, 1, std::numeric_limits<int32_t>::max());
        Seq->Advance(static_cast<int32_t>(ms));
        if (Seq->EndOfSong) StopLocked();
    }
    InTimerStep = false;
    --Busy;
}

} // namespace audiolens
