// Positions are 32-bit; products are taken in 64 bits and cut back, so a long song at a fine
// division cannot overflow. Every divisor (Division, Tempo, BeatTicks, SigNumer) is kept >= 1.
#include "midi/MidiSequencer.h"

#include <algorithm>
#include <limits>

namespace audiolens {
namespace {

constexpr int32_t DefaultDivision = 180;
constexpr int32_t DefaultTempoMs = 600;

int32_t Clamp32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

bool IsNote(const TMidiEvent& e) {
    uint8_t kind = e.Status & 0xF0;
    return kind == 0x80 || kind == 0x90;
}

} // namespace

void TMidiSong::BuildTrackOuts() {
    Tracks.clear();
    if (!File) return;
    for (int32_t i = 0; i < File->TrackCount(); ++i) {
        TRef<TMidiTrackOut> out(new TMidiTrackOut(File->Track(i), DeviceId));
        out->Port->SetActive(true);
        Tracks.push_back(std::move(out));
    }
}

const TMidiTrack* TMidiSequencer::Conductor() const {
    return MidiFile ? MidiFile->Track(0) : nullptr;
}

void TMidiSequencer::Reset() {
    TickPos = MsPos = 0;
    Division = MidiFile ? std::max(1, MidiFile->Division()) : DefaultDivision;
    Tempo = DefaultTempoMs;
    TempoTick = TempoMs = 0;
    SigDenom = 2;
    SigNumer = 4;
    SigTick = SigBar = 0;
    RecomputeBeats();
    Bar = Beat = BeatTick = 0;
    ConductorIndex = 0;
    SoundNotes = false;
    EndOfSong = true;
    if (!Song) return;
    RewindTrackOuts();
    for (const auto& out : Song->Tracks)
        if (!out->Track->Events.empty()) EndOfSong = false;
}

void TMidiSequencer::RewindTrackOuts() {
    for (const auto& out : Song->Tracks) {
        out->NextEvent = 0;
        out->Port->SetProgram(out->Track->Program, out->Track->Channel);
    }
}

void TMidiSequencer::SetFile(TMidiFile* file) {
    if (file == MidiFile) return;
    int32_t held = TickPos;
    MidiFile = file;
    Reset();
    SetTick(held);
}

void TMidiSequencer::SetSong(TMidiSong* song) {
    Song = song;
    if (Song) RewindTrackOuts();
}

void TMidiSequencer::RecomputeBeats() {
    int64_t beat = Division;
    if (SigDenom > 2)
        beat = SigDenom - 2 < 31 ? Division >> (SigDenom - 2) : 0;
    else if (SigDenom < 2)
        beat = int64_t(Division) << (2 - SigDenom);
    // A beat finer than one tick (division 1 in 16ths) still has to count.
    BeatTicks = Clamp32(std::max<int64_t>(1, beat));
    BarTicks = Clamp32(int64_t(BeatTicks) * SigNumer);
}

void TMidiSequencer::ApplyTempo(const TMidiEvent& e) {
    if (e.Data.size() < 4) return; // no three-byte payload: not a tempo
    TempoMs = Clamp32(TempoMs + int64_t(e.Tick - int64_t(TempoTick)) * Tempo / Division);
    TempoTick = e.Tick;
    uint32_t microseconds = uint32_t(e.Data[1]) << 16 | uint32_t(e.Data[2]) << 8 | e.Data[3];
    // A tempo under 1 ms per quarter note would make every later division one by zero.
    Tempo = std::max<int32_t>(1, static_cast<int32_t>(microseconds / 1000));
}

void TMidiSequencer::ApplyTimeSignature(const TMidiEvent& e) {
    if (e.Data.size() < 3) return; // numerator and denominator missing
    int64_t since = int64_t(e.Tick) - SigTick;
    int64_t bars = since / BarTicks + (since % BarTicks != 0 ? 1 : 0);
    SigTick = e.Tick;
    SigBar = Clamp32(SigBar + bars);
    SigNumer = std::max<int32_t>(1, e.Data[1]);
    SigDenom = e.Data[2];
    RecomputeBeats();
}

void TMidiSequencer::PlaceAt(int64_t tick) {
    TickPos = Clamp32(tick);
    int64_t r = int64_t(TickPos) - SigTick;
    int64_t beats = r / BeatTicks;
    BeatTick = Clamp32(r % BeatTicks);
    Bar = Clamp32(beats / SigNumer + SigBar);
    Beat = Clamp32(beats % SigNumer);
}

void TMidiSequencer::SetMsFromTick() {
    MsPos = Clamp32((int64_t(TickPos) - TempoTick) * Tempo / Division + TempoMs);
}

// Applies, in order, the conductor track's tempo and time-signature events at or before the
// tick target() gives; either kind of event can move that tick, so it is asked again after each.
template <class Target> int64_t TMidiSequencer::ChaseConductor(Target target) {
    if (const TMidiTrack* conductor = Conductor()) {
        const auto& events = conductor->Events;
        while (ConductorIndex < events.size() && events[ConductorIndex].Tick <= target()) {
            const TMidiEvent& e = events[ConductorIndex++];
            if (e.IsMeta(MetaTempo))
                ApplyTempo(e);
            else if (e.IsMeta(MetaTimeSignature))
                ApplyTimeSignature(e);
        }
    }
    return target();
}

void TMidiSequencer::SetTimeMs(int32_t ms) {
    if (ms < MsPos) Reset();
    MsPos = ms;
    PlaceAt(ChaseConductor([&] { return TempoTick + (int64_t(ms) - TempoMs) * Division / Tempo; }));
}

void TMidiSequencer::SetTick(int32_t tick) {
    if (tick < TickPos) Reset();
    if (int64_t(tick) < SigTick) return;
    PlaceAt(ChaseConductor([&] { return int64_t(tick); }));
    SetMsFromTick();
    Dispatch();
}

void TMidiSequencer::SetBarBeatTick(int32_t bar, int32_t beat, int32_t tick) {
    if (bar < Bar || (bar == Bar && (beat < Beat || (beat == Beat && tick < BeatTick)))) Reset();
    auto ticksFromSignature = [&] {
        return (int64_t(bar) - SigBar) * BarTicks + int64_t(BeatTicks) * beat + tick;
    };
    if (ticksFromSignature() < 0) return;
    PlaceAt(ChaseConductor([&] { return SigTick + ticksFromSignature(); }));
    SetMsFromTick();
    Dispatch();
}

void TMidiSequencer::Advance(int32_t ms) {
    SoundNotes = true;
    SetTimeMs(Clamp32(int64_t(MsPos) + ms));
    Dispatch();
    SoundNotes = false;
}

void TMidiSequencer::Dispatch() {
    EndOfSong = true;
    if (!Song) return;
    for (const auto& out : Song->Tracks) {
        const auto& events = out->Track->Events;
        while (out->NextEvent < events.size() && events[out->NextEvent].Tick < TickPos) {
            const TMidiEvent& e = events[out->NextEvent++];
            // Chasing (moving without sounding) still sends controllers, programs and bends.
            if (e.Status < 0xF0 && (SoundNotes || !IsNote(e))) out->Port->Send(e);
        }
        if (out->NextEvent < events.size()) EndOfSong = false;
    }
}

} // namespace audiolens
