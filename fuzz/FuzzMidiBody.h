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

inline std::string SequenceToEnd(TMidiFile& file) {
    TRef<TMidiSequencer> sequencer(new TMidiSequencer);
    sequencer->SetFile(&file);
    int32_t last = 0;
    for (int32_t i = 0; i < file.TrackCount(); ++i)
        for (const TMidiEvent& e : file.Track(i)->Events)
            last = std::max(last, e.Tick);
    sequencer->SetTick(last / 2);
    constexpr int32_t Max = std::numeric_limits<int32_t>::max();
    sequencer->SetBarBeatTick(std::min(sequencer->Bar, Max - 1) + 1, 0, 0);
    sequencer->SetTimeMs(std::min(sequencer->MsPos, Max - 1000) + 1000);
    sequencer->SetTick(last);
    if (sequencer->Division < 1 || sequencer->Tempo < 1 || sequencer->BeatTicks < 1)
        return "the sequencer holds a zero divisor";
    return "";
}

inline std::string LoadMidi(const std::string& bytes, const std::string& dir) {
    for (const char* name : {"input.mid", "input.rmi"}) {
        const std::string path = dir + "/" + name;
        WriteBytes(path, bytes);
        TRef<TMidiFile> file(new TMidiFile);
        bool loaded = file->LoadFromFile(path);
        if (!loaded && file->TrackCount() != 0) return std::string(name) + ": false with tracks";
        for (int32_t i = 0; i < file->TrackCount(); ++i) {
            const auto& events = file->Track(i)->Events;
            if (std::none_of(events.begin(), events.end(),
                             [](const TMidiEvent& e) { return e.IsMeta(MetaEndOfTrack); }))
                return std::string(name) + ": a track without an end-of-track";
        }
        if (loaded) {
            std::string problem = SequenceToEnd(*file);
            if (!problem.empty()) return std::string(name) + ": " + problem;
        }
        // The same bytes again give the same tracks.
        TRef<TMidiFile> again(new TMidiFile);
        if (again->LoadFromFile(path) != loaded || again->TrackCount() != file->TrackCount())
            return std::string(name) + ": a second load differs";
    }
    return "";
}

} // namespace audiolens::fuzzbody
