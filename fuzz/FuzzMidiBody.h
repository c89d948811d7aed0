// The MIDI fuzz target's body, also replaying tests/fuzz-regressions/FuzzMidi-*: the bytes load as
// a bare and as a RIFF-wrapped file, and a file that loads is sequenced to its end, unplayed.
#pragma once

#include "fuzz/FuzzBodies.h"
#include "midi/AudioMidi.h"
#include "midi/MidiSequencer.h"

#include <algorithm>
#include <cstdint>

namespace audiolens::fuzzbody {

inline std::string LoadMidi(const std::string& bytes, const std::string& dir) {
    for (const std::string name : {"input.mid", "input.rmi"}) {
        WriteBytes(dir + "/" + name, bytes);
        TRef<TMidiFile> file(new TMidiFile), again(new TMidiFile);
        const bool loaded = file->LoadFromFile(dir + "/" + name);
        if (!loaded && file->TrackCount() != 0) return name + ": false with tracks";
        int32_t last = 0;
        for (int32_t i = 0; i < file->TrackCount(); ++i) {
            const auto& events = file->Track(i)->Events;
            if (std::none_of(events.begin(), events.end(),
                             [](const TMidiEvent& e) { return e.IsMeta(MetaEndOfTrack); }))
                return name + ": a track without an end-of-track";
            last = std::max(last, events.back().Tick); // ticks never fall along a track
        }
        if (loaded) { // to the end by tick, bar and time
            TRef<TMidiSequencer> seq(new TMidiSequencer);
            seq->SetFile(file.Get());
            seq->SetTick(last / 2);
            seq->SetBarBeatTick(std::min(seq->Bar, INT32_MAX - 1) + 1, 0, 0);
            seq->SetTimeMs(std::min(seq->MsPos, INT32_MAX - 1000) + 1000);
            seq->SetTick(last);
            if (seq->Division < 1 || seq->Tempo < 1 || seq->BeatTicks < 1)
                return name + ": the sequencer holds a zero divisor";
        }
        // The same bytes again give the same tracks.
        if (again->LoadFromFile(dir + "/" + name) != loaded ||
            again->TrackCount() != file->TrackCount())
            return name + ": a second load differs";
    }
    return "";
}

} // namespace audiolens::fuzzbody
