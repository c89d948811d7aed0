// A small standard MIDI file writer for the tests: tracks built event by event, wrapped into a
// file with its header, optionally inside a RIFF "RMID" form.
#pragma once

#include "TestSupport.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace midiwriter {

inline std::string Vlq(uint32_t v) {
    std::string out(1, static_cast<char>(v & 0x7F));
    while (v >>= 7)
        out.insert(out.begin(), static_cast<char>(0x80 | (v & 0x7F)));
    return out;
}

inline std::string Bytes(std::initializer_list<int> bytes) {
    std::string out;
    for (int b : bytes)
        out += static_cast<char>(b);
    return out;
}

class TTrack {
  public:
    // delta time, then the event bytes as they are (running status is the caller's choice).
    TTrack& Raw(uint32_t delta, const std::string& bytes) {
        Data += Vlq(delta) + bytes;
        return *this;
    }
    TTrack& Event(uint32_t delta, std::initializer_list<int> bytes) {
        return Raw(delta, Bytes(bytes));
    }
    TTrack& NoteOn(uint32_t delta, int channel, int key, int velocity) {
        return Event(delta, {0x90 | channel, key, velocity});
    }
    TTrack& NoteOff(uint32_t delta, int channel, int key) {
        return Event(delta, {0x80 | channel, key, 0});
    }
    TTrack& Control(uint32_t delta, int channel, int controller, int value) {
        return Event(delta, {0xB0 | channel, controller, value});
    }
    TTrack& Program(uint32_t delta, int channel, int program) {
        return Event(delta, {0xC0 | channel, program});
    }
    TTrack& Meta(uint32_t delta, int type, const std::string& payload) {
        return Raw(delta,
                   Bytes({0xFF, type}) + Vlq(static_cast<uint32_t>(payload.size())) + payload);
    }
    TTrack& Tempo(uint32_t delta, uint32_t microsecondsPerQuarter) {
        return Meta(delta, 0x51, testsupport::BE24(microsecondsPerQuarter));
    }
    TTrack& TimeSignature(uint32_t delta, int numerator, int denominatorPower) {
        return Meta(delta, 0x58, Bytes({numerator, denominatorPower, 24, 8}));
    }
    TTrack& End(uint32_t delta = 0) { return Meta(delta, 0x2F, ""); }

    std::string Chunk() const {
        return "MTrk" + testsupport::BE32(static_cast<uint32_t>(Data.size())) + Data;
    }
    std::string Data;
};

inline std::string Header(int format, int tracks, int division, uint32_t length = 6) {
    return "MThd" + testsupport::BE32(length) + testsupport::BE16(format) +
           testsupport::BE16(tracks) + testsupport::BE16(division);
}

inline std::string Smf(int format, int division, const std::vector<TTrack>& tracks) {
    std::string out = Header(format, static_cast<int>(tracks.size()), division);
    for (const TTrack& t : tracks)
        out += t.Chunk();
    return out;
}

inline std::string RiffChunk(const std::string& id, const std::string& data) {
    std::string out = id + testsupport::LE32(static_cast<uint32_t>(data.size())) + data;
    if (data.size() & 1) out += '\0';
    return out;
}

// extraChunks go inside the form ahead of "data", as some writers put an "INFO" list there.
inline std::string Rmid(const std::string& smf, const std::string& extraChunks = "") {
    return RiffChunk("RIFF", "RMID" + extraChunks + RiffChunk("data", smf));
}

} // namespace midiwriter
