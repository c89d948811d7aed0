// Standard MIDI files, bare or wrapped in a RIFF "RMID" form, loaded into tracks of events with
// absolute tick times. The player (midi/MidiPlayer.h) plays them.
#pragma once

#include "core/BaseObject.h"

#include <cstdint>
#include <string>
#include <vector>

namespace audiolens {

constexpr uint8_t MetaStatus = 0xFF;
constexpr uint8_t SysExStatus = 0xF0;
constexpr uint8_t SysExContinuation = 0xF7;
constexpr uint8_t MetaEndOfTrack = 0x2F;
constexpr uint8_t MetaTempo = 0x51;
constexpr uint8_t MetaTimeSignature = 0x58;

struct TMidiEvent {
    int32_t Tick = 0; // from the start of the track
    // Meta event: payload length + 1; system exclusive: payload length; else unused.
    uint32_t Length = 0;
    uint8_t Status = 0; // running status resolved
    uint8_t Data1 = 0, Data2 = 0;
    // Meta event: the type byte, then the payload; system exclusive: the payload.
    std::vector<uint8_t> Data;

    bool IsMeta(uint8_t type) const {
        return Status == MetaStatus && !Data.empty() && Data[0] == type;
    }
};

class TMidiTrack : public TObject {
  public:
    std::vector<TMidiEvent> Events;
    uint8_t Program = 0; // of the first program change
    uint8_t Channel = 0; // of the first channel message

    // Inserts a meta event before the last event at the same tick (appends when none has that
    // tick); a final end-of-track earlier than tick moves to tick first. An end-of-track
    // itself is appended when no event lies later.
    TMidiEvent& AddMetaEvent(int32_t tick, uint8_t type, const uint8_t* payload, uint32_t length);

  protected:
    ~TMidiTrack() override = default;
};

class TMidiFile : public TObject {
  public:
    TMidiFile() { Clear(); }

    void Clear();
    // Never throws; on false the file is empty or holds the tracks read before a failing one.
    bool LoadFromFile(const std::string& fileName);

    int32_t Format() const { return FormatWord; }
    int32_t TrackCount() const { return static_cast<int32_t>(Tracks.size()); }
    int32_t Division() const { return DivisionWord; }
    // The count of tracks the header announced.
    int32_t HeaderTrackCount() const { return HeaderTracks; }
    TMidiTrack* Track(int32_t index) const;
    const std::string& ExtraHeader() const { return Extra; }

  protected:
    ~TMidiFile() override = default;

  private:
    uint16_t FormatWord = 1, HeaderTracks = 0, DivisionWord = 180;
    std::string Extra;
    std::vector<TRef<TMidiTrack>> Tracks;
    friend class TMidiLoader;
};

// Parses one track chunk's bytes into track; false for a malformed or unbalanced track.
bool ParseMidiTrack(const std::string& bytes, TMidiTrack& track);

} // namespace audiolens
