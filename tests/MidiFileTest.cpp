// The MIDI file loader against files built byte by byte: running status, meta and split sysex
// events, the note balance check, the added end-of-track, RIFF wrapping, and lengths that
// promise more than the file holds. Each row states the loaded file as "Key=Value|" fields;
// a track's events read "tick:status data1 data2" in hex, or "tick:status/length/data" for
// meta and system exclusive events.
#include "ReaderSupport.h"
#include "TestMidiWriter.h"
#include "TestSupport.h"
#include "fuzz/FuzzMidiBody.h"
#include "midi/AudioMidi.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>

using namespace audiolens;
using namespace testsupport;
using midiwriter::Bytes;
using midiwriter::Header;
using midiwriter::Smf;
using midiwriter::TTrack;

namespace {

std::string Dump(bool loaded, const TMidiFile& f) {
    std::string s =
        "Load=" + std::to_string(loaded) + "|Format=" + std::to_string(f.Format()) +
        "|Division=" + std::to_string(f.Division()) + "|Tracks=" + std::to_string(f.TrackCount()) +
        "|Header=" + std::to_string(f.HeaderTrackCount()) + "|Extra=" + f.ExtraHeader() + "|";
    for (int i = 0; i < f.TrackCount(); ++i) {
        const TMidiTrack& t = *f.Track(i);
        std::string events;
        char b[32];
        for (const TMidiEvent& e : t.Events) {
            if (e.Data.empty())
                std::snprintf(b, sizeof b, ",%d:%02X%02X%02X", e.Tick, e.Status, e.Data1, e.Data2);
            else
                std::snprintf(b, sizeof b, ",%d:%02X/%u/", e.Tick, e.Status, e.Length);
            events += b;
            for (uint8_t byte : e.Data) {
                std::snprintf(b, sizeof b, "%02X", byte);
                events += b;
            }
        }
        const std::string n = std::to_string(i);
        s += "T" + n + "=" + events.erase(0, 1) + "|Program" + n + "=" + std::to_string(t.Program) +
             "|Channel" + n + "=" + std::to_string(t.Channel) + "|End" + n + "=" +
             std::to_string(t.Events.empty() ? -1 : t.Events.back().Tick) + "|";
    }
    return s;
}

TTrack Melody() {
    TTrack t;
    t.Tempo(0, 500000).Program(0, 2, 5).NoteOn(0, 2, 60, 100).NoteOff(96, 2, 60).End();
    return t;
}

TTrack Raw(std::initializer_list<int> bytes) {
    TTrack t;
    t.Data = Bytes(bytes);
    return t;
}

TTrack Notes(int ons, int offs) {
    TTrack t;
    for (int i = 0; i < ons; ++i)
        t.NoteOn(1, 0, 64, 90);
    for (int i = 0; i < offs; ++i)
        t.NoteOff(1, 0, 64);
    return t.End();
}

struct TRow {
    std::string Bytes, Want, Name = "song.mid";
};

} // namespace

TEST(MidiFileTest, ByteBuiltFiles) {
    const std::string melody = Melody().Chunk(), body = melody.substr(8);
    TTrack huge;
    for (int i = 0; i < 22; ++i)
        huge.Raw(0x0FFFFFFF, Bytes({0xF8}));
    TTrack cut = Raw({0x00, 0xFF, 0x01, 0x05, 'a', 'b'});
    const std::string smf2 = Smf(1, 120, {Melody(), Melody()}), smf = Smf(0, 96, {Melody()});
    const std::string info = midiwriter::RiffChunk("LIST", "INFOINAM" + LE32(3) + "abc" + '\0');
    const auto rmid = [&smf](uint32_t riffSize, uint32_t dataSize) {
        return "RIFF" + LE32(riffSize) + "RMID" + "data" + LE32(dataSize) + smf;
    };
    const TRow rows[] = {
        {smf, "Load=1|Format=0|Division=96|Tracks=1|T0=0:FF/4/5107A120,0:C20500,0:923C64,"
              "96:823C00,96:FF/1/2F|Program0=5|Channel0=2|"},
        // Channel and program of the first message of their kind.
        {Smf(0, 96, {TTrack().Control(0, 9, 7, 100).Program(0, 3, 41).Program(0, 9, 12).End()}),
         "Channel0=9|Program0=41"},
        // Running status survives a meta event; one-byte messages run too.
        {Smf(0, 96,
             {TTrack().Event(0, {0x90, 60, 64}).Meta(0, 1, "text").Event(10, {60, 0}).End()}),
         "T0=0:903C40,0:FF/5/0174657874,10:903C00,10:FF/1/2F|"},
        {Smf(0, 96,
             {TTrack()
                  .Event(0, {0xC1, 7})
                  .Event(5, {9})
                  .Event(0, {0xD1, 0x40})
                  .Event(1, {0x41})
                  .End()}),
         "T0=0:C10700,5:C10900,5:D14000,6:D14100,6:FF/1/2F|"},
        {Smf(0, 96, {TTrack().Event(0, {0x3C, 0x40}).End()}), "Load=0"}, // no status yet
        // Notes must balance: a note-on of velocity 0 ends a note, any channel's off counts, and
        // only five open notes of one key are counted.
        {Smf(0, 96, {TTrack().NoteOn(0, 0, 60, 100).End(96)}), "Load=0"},
        {Smf(1, 96,
             {Melody(),
              TTrack().NoteOn(0, 0, 60, 100).NoteOn(10, 0, 62, 100).NoteOff(10, 0, 60).End(),
              Melody()}),
         "Load=1|Tracks=1"},
        {Smf(0, 96, {TTrack().NoteOn(0, 0, 60, 100).NoteOn(10, 0, 60, 0).End()}), "Load=1"},
        {Smf(0, 96, {TTrack().NoteOn(0, 0, 60, 100).NoteOff(10, 5, 60).End()}), "Load=1"},
        {Smf(0, 96, {Notes(6, 6)}), "Load=1"},
        {Smf(0, 96, {Notes(6, 5)}), "Load=1"},
        {Smf(0, 96, {Notes(5, 4)}), "Load=0"},
        // A missing end-of-track is added at the last tick.
        {Smf(0, 96, {TTrack().NoteOn(0, 0, 60, 100).NoteOff(200, 0, 60)}),
         "T0=0:903C64,200:803C00,200:FF/1/2F|"},
        {Smf(0, 96, {TTrack()}), "T0=0:FF/1/2F|"},
        // A split system exclusive packet, which leaves running status as it was.
        {Smf(0, 96,
             {TTrack()
                  .Raw(0, Bytes({0xF0, 3, 0x43, 0x12, 0}))
                  .Raw(5, Bytes({0xF7, 2, 1, 0xF7}))
                  .End()}),
         "T0=0:F0/3/431200,5:F7/2/01F7,5:FF/1/2F|"},
        {Smf(0, 96,
             {TTrack()
                  .Event(0, {0x91, 60, 100})
                  .Raw(0, Bytes({0xF0, 1, 0xF7}))
                  .Event(1, {60, 0})
                  .End()}),
         "T0=0:913C64,0:F0/1/F7,1:913C00,1:FF/1/2F|"},
        {Smf(0, 96,
             {TTrack()
                  .Raw(0, Bytes({0xF0, 2, 0x43, 0x12}))
                  .NoteOn(0, 0, 60, 1)
                  .NoteOff(0, 0, 60)
                  .End()}),
         "Load=0"}, // an open system exclusive packet followed by another event
        {Smf(0, 96, {TTrack().Event(0, {0x90, 60, 100}).Event(0, {0xF8}).Event(1, {60, 0}).End()}),
         "T0=0:903C64,0:F80000,1:903C00,1:FF/1/2F|"},
        // 0x80 0x80 0x80 0x81 0x80 0x00: leading zero groups, then 16384.
        {Smf(0, 96, {Raw({0x80, 0x80, 0x80, 0x81, 0x80, 0x00, 0xFF, 0x2F, 0x00})}),
         "T0=16384:FF/1/2F|"},
        {Smf(0, 96, {huge}), "End0=2147483647"}, // huge delta times saturate
        {Header(1, 1, 96, 8) + "xy" + melody, "Load=1|Tracks=1|Extra=xy|"},
        // Broken headers and divisions.
        {"RIFF" + Zeros(40), "Load=0"},
        {Header(0, 1, 96, 5) + melody, "Load=0"},
        {Header(0, 1, 96).substr(0, 11), "Load=0"},
        {"", "Load=0"},
        {Header(0, 1, 96, 0xFFFFFFF0u) + melody, "Load=0|Format=1|Division=180|Tracks=0|"},
        {Smf(0, 0, {Melody()}), "Load=0"},
        {Smf(0, 0xE728, {Melody()}), "Load=0"}, // -25 frames a second, 40 ticks a frame
        {Smf(0, 0x7FFF, {Melody()}), "Load=1"},
        {Header(1, 0, 96) + melody, "Load=0"},
        // Track chunks: fewer than announced, a foreign chunk, lengths past the file or chunk.
        {Header(1, 65535, 96) + melody + melody, "Load=1|Tracks=2|Header=65535|"},
        {Header(1, 3, 96) + melody + "MTrx" + BE32(0), "Load=1|Tracks=1|"},
        {Header(1, 1, 96) + "XTrk" + BE32(0), "Load=0"},
        {Header(0, 1, 96) + "MTrk" + BE32(0xFFFFFFF0u) + body, "Load=0"},
        {Header(0, 1, 96) + "MTrk" + BE32(static_cast<uint32_t>(body.size() + 1)) + body, "Load=0"},
        {Header(1, 2, 96) + melody + "MTrk" + BE32(0xFFFFFFF0u) + body, "Load=1|Tracks=1|"},
        {Smf(0, 96, {Raw({0x00, 0xFF, 0x2F, 0x00, 0x81, 0x82})}), "Load=0"}, // a cut delta time
        {Smf(0, 96, {Raw({0x00, 0xFF, 0x01, 0x8F, 0xFF, 0xFF, 0x7F, 'a'})}), "Load=0"},
        {Smf(0, 96, {Raw({0x00, 0xF0, 0x05, 0x01, 0x02, 0xF7})}), "Load=0"},
        {Smf(0, 96, {Raw({0x00, 0x90, 0x3C})}), "Load=0"},
        // The bytes after a cut track lie inside its chunk: nothing is read beyond the chunk.
        {Header(0, 1, 96) + cut.Chunk() + "cdefg", "Load=0"},
        // RIFF "RMID" forms under their names, whatever the case; a bare file is no RMID.
        {midiwriter::Rmid(smf2, info), "Load=1|Tracks=2|Division=120|", "a.rmi"},
        {midiwriter::Rmid(smf2, info), "Load=1|Tracks=2|Division=120|", "b.RMI"},
        {midiwriter::Rmid(smf2, info), "Load=1|Tracks=2|", "c.Riff"},
        {midiwriter::Rmid(smf2, info), "Load=1|Tracks=2|", "d.RIFF"},
        {midiwriter::Rmid(smf2), "Load=0", "e.mid"},
        {smf2, "Load=0", "f.rmi"},
        {smf2, "Load=1", "g.MiD"},
        {smf2, "Load=1", "h.kar"},
        {midiwriter::RiffChunk("RIFF", "WAVE" + midiwriter::RiffChunk("data", smf)), "Load=0",
         "a.rmi"},
        {midiwriter::RiffChunk("RIFF", "RMID" + midiwriter::RiffChunk("dat2", smf)), "Load=0",
         "b.rmi"},
        {"RIFF" + LE32(0xFFFFFFFFu) + "RMID" + "data" + LE32(0xFFFFFFFFu), "Load=0", "c.rmi"},
        // A data chunk shorter than the MIDI bytes cuts the track; a longer one is cut to the
        // file.
        {rmid(static_cast<uint32_t>(smf.size() + 12), static_cast<uint32_t>(smf.size() - 4)),
         "Load=0", "d.rmi"},
        {rmid(0x7FFFFFFFu, 0x7FFFFFFFu), "Load=1", "e.rmi"},
    };
    TTempDir dir;
    TRef<TMidiFile> file(new TMidiFile);
    ExpectFields(Dump(false, *file), "Format=1|Division=180|Tracks=0|");
    for (const TRow& row : rows) {
        WriteFile(dir.Path(row.Name), row.Bytes);
        const bool loaded = file->LoadFromFile(dir.Path(row.Name));
        ExpectFields(Dump(loaded, *file), row.Want);
    }
    ExpectFields(Dump(file->LoadFromFile(dir.Path("missing.mid")), *file), "Load=0|Tracks=0|");
}

TEST(MidiFileTest, AddMetaEventGoesBeforeTheLastEventOfItsTick) {
    TRef<TMidiTrack> track(new TMidiTrack);
    track->Events.resize(3);
    track->Events[0].Status = 0x90;
    track->Events[1] = {.Tick = 10, .Status = 0x80};
    track->Events[2] = {.Tick = 10, .Status = 0xB0};
    const uint8_t text[] = {'h', 'i'};
    EXPECT_EQ(track->AddMetaEvent(10, 0x01, text, 2).Length, 3u);
    track->AddMetaEvent(20, 0x01, nullptr, 0); // no event at tick 20: appended
    std::string events;
    for (const TMidiEvent& e : track->Events)
        events += std::to_string(e.Tick) + ":" + std::to_string(e.Status) + ",";
    EXPECT_EQ(events, "0:144,10:128,10:255,10:176,20:255,");
    // An earlier end-of-track moves to the tick of a later meta event.
    TRef<TMidiTrack> ended(new TMidiTrack);
    ended->AddMetaEvent(5, MetaEndOfTrack, nullptr, 0);
    ended->AddMetaEvent(50, 0x01, nullptr, 0);
    ASSERT_EQ(ended->Events.size(), 2u);
    EXPECT_TRUE(ended->Events[0].IsMeta(0x01));
    EXPECT_TRUE(ended->Events[1].IsMeta(MetaEndOfTrack));
    EXPECT_EQ(ended->Events[1].Tick, 50);
}

// Every input that once broke the MIDI fuzz target, through the same body again.
TEST(MidiFuzzRegressionTest, KeptFindingsStayFixed) {
    namespace fs = std::filesystem;
    const fs::path kept = fs::path(AUDIOLENS_SOURCE_DIR) / "tests" / "fuzz-regressions";
    std::error_code ec;
    int replayed = 0;
    for (const auto& entry : fs::directory_iterator(kept, ec)) {
        std::string name = entry.path().filename().string();
        if (name.rfind("FuzzMidi-", 0) != 0) continue;
        TTempDir dir;
        EXPECT_EQ(fuzzbody::LoadMidi(ReadFile(entry.path().string()), dir.Root()), "") << name;
        ++replayed;
    }
    std::printf("%d kept MIDI inputs replayed\n", replayed);
}
