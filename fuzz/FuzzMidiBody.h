// The body of the MIDI fuzz target, shared with the test that replays the inputs kept under
// tests/fuzz-regressions/FuzzMidi-*: the bytes are loaded as a bare and as a RIFF-wrapped file,
// and a file that loads is sequenced to its end without an output.
#pragma once

#include "fuzz/FuzzBodies.h"
#include "midi/AudioMidi.h"
#include "midi/MidiSequencer.h"

#include <algorithm>
#include <limits>
#include <string>

namespace audiolens::fuzzbody {

inline std::string LoadMidi(const std::string& bytes, const std::string& dir) {
    constexpr int32_t Max = std::numeric_limits<int32_t>::max();
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
            for (const TMidiEvent& e : events)
                last = std::max(last, e.Tick);
        }
        if (loaded) { // to the end by tick, bar and time
            TRef<TMidiSequencer> seq(new TMidiSequencer);
            seq->SetFile(file.Get());
            seq->SetTick(last / 2);
            seq->SetBarBeatTick(std::min(seq->Bar, Max - 1) + 1, 0, 0);
            seq->SetTimeMs(std::min(seq->MsPos, Max - 1000) + 1000);
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
