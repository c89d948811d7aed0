// Event parsing of one "MTrk" chunk, the added end-of-track and the note balance check.
#include "midi/AudioMidi.h"

#include <algorithm>
#include <array>
#include <limits>

namespace audiolens {
namespace {

constexpr int32_t MaxTick = std::numeric_limits<int32_t>::max();
constexpr int MaxOpenNotesCounted = 5;

// Reads inside the chunk only: every read past its end is a failure of the track.
class TTrackBytes {
  public:
    explicit TTrackBytes(const std::string& bytes) : Bytes(bytes) {}
    bool AtEnd() const { return Pos >= Bytes.size(); }
    bool Byte(uint8_t& b) {
        if (AtEnd()) return false;
        b = static_cast<uint8_t>(Bytes[Pos++]);
        return true;
    }
    // Seven bits a byte, most significant first; no limit on the byte count, so the value
    // saturates instead of overflowing.
    bool Number(uint32_t& value) {
        uint64_t v = 0;
        uint8_t b = 0;
        do {
            if (!Byte(b)) return false;
            v = std::min<uint64_t>((v << 7) | (b & 0x7F), std::numeric_limits<uint32_t>::max());
        } while (b & 0x80);
        value = static_cast<uint32_t>(v);
        return true;
    }
    bool Append(std::vector<uint8_t>& out, uint32_t count) {
        if (count > Bytes.size() - Pos) return false;
        out.insert(out.end(), Bytes.begin() + static_cast<std::ptrdiff_t>(Pos),
                   Bytes.begin() + static_cast<std::ptrdiff_t>(Pos + count));
        Pos += count;
        return true;
    }

  private:
    const std::string& Bytes;
    size_t Pos = 0;
};

int DataByteCount(uint8_t status) {
    switch (status & 0xF0) {
    case 0xC0:
    case 0xD0:
        return 1;
    default:
        return 2;
    }
}

bool IsNoteOn(const TMidiEvent& e) {
    return (e.Status & 0xF0) == 0x90 && e.Data2 != 0;
}
bool IsNoteOff(const TMidiEvent& e) {
    return (e.Status & 0xF0) == 0x80 || ((e.Status & 0xF0) == 0x90 && e.Data2 == 0);
}

// Keys of any channel; a key stops counting at five open notes.
bool NotesBalanced(const TMidiTrack& track) {
    std::array<int, 128> open{};
    for (const TMidiEvent& e : track.Events) {
        int& count = open[e.Data1 & 0x7F];
        if (IsNoteOn(e)) {
            if (count < MaxOpenNotesCounted) ++count;
        } else if (IsNoteOff(e)) {
            if (count > 0) --count;
        }
    }
    return std::all_of(open.begin(), open.end(), [](int c) { return c == 0; });
}

struct TParseState {
    int32_t Tick = 0;
    uint8_t RunningStatus = 0;
    bool SysExOpen = false;
    bool ProgramSeen = false, ChannelSeen = false;
    bool EndOfTrackSeen = false;
};

bool ParseChannelMessage(TTrackBytes& in, uint8_t first, bool newStatus, TMidiEvent& e,
                         TParseState& state, TMidiTrack& track) {
    if (newStatus) {
        if (!in.Byte(first)) return false;
        state.RunningStatus = e.Status;
    }
    e.Data1 = first;
    if (DataByteCount(e.Status) == 2 && !in.Byte(e.Data2)) return false;
    if ((e.Status & 0xF0) == 0xC0 && !state.ProgramSeen) {
        track.Program = e.Data1;
        state.ProgramSeen = true;
    }
    if (!state.ChannelSeen) {
        track.Channel = e.Status & 0x0F;
        state.ChannelSeen = true;
    }
    return true;
}

bool ParseEvent(TTrackBytes& in, TParseState& state, TMidiTrack& track) {
    uint32_t delta = 0;
    if (!in.Number(delta)) return false;
    state.Tick = static_cast<int32_t>(std::min<int64_t>(int64_t(state.Tick) + delta, MaxTick));
    uint8_t b = 0;
    if (!in.Byte(b)) return false;
    if (state.SysExOpen && b != SysExContinuation) return false;
    const bool newStatus = b >= 0x80;
    if (!newStatus && state.RunningStatus == 0) return false;
    TMidiEvent e;
    e.Tick = state.Tick;
    e.Status = newStatus ? b : state.RunningStatus;
    if (e.Status < 0xF0) {
        if (!ParseChannelMessage(in, b, newStatus, e, state, track)) return false;
    } else if (e.Status == MetaStatus) {
        uint8_t type = 0;
        uint32_t length = 0;
        if (!in.Byte(type) || !in.Number(length)) return false;
        e.Data.push_back(type);
        if (!in.Append(e.Data, length)) return false;
        e.Length = length + 1;
        if (type == MetaEndOfTrack) state.EndOfTrackSeen = true;
    } else if (e.Status == SysExStatus || e.Status == SysExContinuation) {
        uint32_t length = 0;
        if (!in.Number(length) || !in.Append(e.Data, length)) return false;
        e.Length = length;
        // Without its closing 0xF7 the packet goes on in the next event.
        state.SysExOpen = e.Data.empty() || e.Data.back() != SysExContinuation;
    }
    track.Events.push_back(std::move(e));
    return true;
}

} // namespace

TMidiEvent& TMidiTrack::AddMetaEvent(int32_t tick, uint8_t type, const uint8_t* payload,
                                     uint32_t length) {
    if (!Events.empty() && Events.back().IsMeta(MetaEndOfTrack) && Events.back().Tick < tick)
        Events.back().Tick = tick;
    TMidiEvent e;
    e.Tick = tick;
    e.Status = MetaStatus;
    e.Length = length + 1;
    e.Data.push_back(type);
    if (payload) e.Data.insert(e.Data.end(), payload, payload + length);
    auto sameTick = std::find_if(Events.rbegin(), Events.rend(),
                                 [tick](const TMidiEvent& other) { return other.Tick == tick; });
    // An end-of-track must be the last event of its track, whatever else shares its tick.
    if (sameTick == Events.rend() || (type == MetaEndOfTrack && Events.back().Tick <= tick)) {
        Events.push_back(std::move(e));
        return Events.back();
    }
    return *Events.insert(std::prev(sameTick.base()), std::move(e));
}

bool ParseMidiTrack(const std::string& bytes, TMidiTrack& track) {
    TTrackBytes in(bytes);
    TParseState state;
    while (!in.AtEnd())
        if (!ParseEvent(in, state, track)) return false;
    // A sysex packet still open at the end of the chunk misses its continuation.
    if (state.SysExOpen) return false;
    if (!state.EndOfTrackSeen) {
        int32_t last = track.Events.empty() ? 0 : track.Events.back().Tick;
        track.AddMetaEvent(last, MetaEndOfTrack, nullptr, 0);
    }
    return NotesBalanced(track);
}

} // namespace audiolens
