// Standard MIDI files for the tests: tracks built event by event, files with their header.
#pragma once

#include "TestSupport.h"

#include <initializer_list>
#include <string>
#include <vector>

namespace midiwriter {
using namespace testsupport;

inline std::string Bytes(std::initializer_list<int> bytes) {
    return std::string(bytes.begin(), bytes.end());
}

struct TTrack {
    // The delta time as a variable-length number, then the event bytes as they are.
    TTrack& Raw(uint32_t delta, const std::string& bytes) {
        std::string vlq(1, static_cast<char>(delta & 0x7F));
        while (delta >>= 7)
            vlq.insert(vlq.begin(), static_cast<char>(0x80 | (delta & 0x7F)));
        Data += vlq + bytes;
        return *this;
    }
    TTrack& Event(uint32_t delta, std::initializer_list<int> bytes) {
        return Raw(delta, Bytes(bytes));
    }
    TTrack& Meta(uint32_t delta, int type, const std::string& payload) { // under 128 bytes
        return Raw(delta, Bytes({0xFF, type, static_cast<int>(payload.size())}) + payload);
    }
    TTrack& Tempo(uint32_t delta, uint32_t microsecondsPerQuarter) {
        return Meta(delta, 0x51, BE24(microsecondsPerQuarter));
    }
    TTrack& TimeSignature(uint32_t delta, int numerator, int denominatorPower) {
        return Meta(delta, 0x58, Bytes({numerator, denominatorPower, 24, 8}));
    }
    TTrack& End(uint32_t delta = 0) { return Meta(delta, 0x2F, ""); }
    std::string Chunk() const { return "MTrk" + BE32(static_cast<uint32_t>(Data.size())) + Data; }
    std::string Data;
};

inline std::string Header(int format, int tracks, int division, uint32_t length = 6) {
    return "MThd" + BE32(length) + BE16(format) + BE16(tracks) + BE16(division);
}

inline std::string Smf(int format, int division, const std::vector<TTrack>& tracks) {
    std::string out = Header(format, static_cast<int>(tracks.size()), division);
    for (const TTrack& t : tracks)
        out += t.Chunk();
    return out;
}

inline std::string RiffChunk(const std::string& id, const std::string& data) {
    return id + LE32(static_cast<uint32_t>(data.size())) + data +
           std::string(data.size() & 1, '\0');
}

} // namespace midiwriter
