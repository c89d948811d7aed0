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
using midiwriter::RiffChunk;
using midiwriter::Smf;
using midiwriter::TTrack;

namespace {

std::string Dump(bool loaded, const TMidiFile& f) {
    char b[96];
    std::snprintf(b, sizeof b, "Load=%d|Format=%d|Division=%d|Tracks=%d|Header=%d|Extra=", loaded,
                  f.Format(), f.Division(), f.TrackCount(), f.HeaderTrackCount());
    std::string s = b + f.ExtraHeader();
    for (int i = 0; i < f.TrackCount(); ++i) {
        const TMidiTrack& t = *f.Track(i);
        std::snprintf(b, sizeof b, "|Program%d=%d|Channel%d=%d|End%d=%d|T%d=", i, t.Program, i,
                      t.Channel, i, t.Events.back().Tick, i);
        s += b;
        for (const TMidiEvent& e : t.Events) {
            if (e.Data.empty())
                std::snprintf(b, sizeof b, "%d:%02X%02X%02X,", e.Tick, e.Status, e.Data1, e.Data2);
            else
                std::snprintf(b, sizeof b, "%d:%02X/%u/", e.Tick, e.Status, e.Length);
            s += b;
            for (uint8_t byte : e.Data)
                s.append({"0123456789ABCDEF"[byte >> 4], "0123456789ABCDEF"[byte & 15]});
            if (!e.Data.empty()) s += ',';
        }
        s.pop_back();
    }
    return s + "|";
}

TTrack Melody() {
    return TTrack()
        .Tempo(0, 500000)
        .Event(0, {0xC2, 5})
        .NoteOn(0, 2, 60, 100)
        .Event(96, {0x82, 60, 0})
        .End();
}

// A format 0 file at 96 ticks a quarter with one track of these bytes.
std::string One(std::initializer_list<int> track) {
    return Smf(0, 96, {TTrack{Bytes(track)}});
}

TTrack Notes(int ons, int offs) { // of key 64
    TTrack t;
    for (int i = 0; i < ons + offs; ++i)
        i < ons ? t.NoteOn(1, 0, 64, 90) : t.Event(1, {0x80, 64, 0});
    return t;
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
    const std::string smf2 = Smf(1, 120, {Melody(), Melody()}), smf = Smf(0, 96, {Melody()});
    const std::string info = RiffChunk("LIST", "INFOINAM" + LE32(3) + "abc" + '\0');
    const std::string rmid = RiffChunk("RIFF", "RMID" + info + RiffChunk("data", smf2));
    const auto riff = [&smf](uint32_t riffSize, uint32_t dataSize) {
        return "RIFF" + LE32(riffSize) + "RMID" + "data" + LE32(dataSize) + smf;
    };
    const TRow rows[] = {
        {smf, "Load=1|Format=0|Division=96|Tracks=1|T0=0:FF/4/5107A120,0:C20500,0:923C64,"
              "96:823C00,96:FF/1/2F|Program0=5|Channel0=2|"},
        // Channel and program of the first message of their kind.
        {One({0, 0xB9, 7, 100, 0, 0xC3, 41, 0, 0xC9, 12}), "Channel0=9|Program0=41"},
        // Running status survives a meta event; one-byte messages run too.
        {One({0, 0x90, 60, 64, 0, 0xFF, 1, 4, 't', 'e', 'x', 't', 10, 60, 0}),
         "T0=0:903C40,0:FF/5/0174657874,10:903C00,10:FF/1/2F|"},
        {One({0, 0xC1, 7, 5, 9, 0, 0xD1, 0x40, 1, 0x41}),
         "T0=0:C10700,5:C10900,5:D14000,6:D14100,6:FF/1/2F|"},
        {One({0, 0x3C, 0x40}), "Load=0"}, // no status yet
        // Notes must balance: a note-on of velocity 0 ends a note, any channel's off counts, and
        // only five open notes of one key are counted.
        {One({0, 0x90, 60, 100, 96, 0xFF, 0x2F, 0}), "Load=0"},
        {Smf(1, 96,
             {Melody(), TTrack{Bytes({0, 0x90, 60, 100, 10, 62, 100, 10, 0x80, 60, 0})}, Melody()}),
         "Load=1|Tracks=1"},
        {One({0, 0x90, 60, 100, 10, 60, 0}), "Load=1"},
        {One({0, 0x90, 60, 100, 10, 0x85, 60, 0}), "Load=1"},
        {Smf(0, 96, {Notes(6, 6)}), "Load=1"},
        {Smf(0, 96, {Notes(6, 5)}), "Load=1"},
        {Smf(0, 96, {Notes(5, 4)}), "Load=0"},
        // A missing end-of-track is added at the last tick (200 = 0x81 0x48).
        {One({0, 0x90, 60, 100, 0x81, 0x48, 0x80, 60, 0}), "T0=0:903C64,200:803C00,200:FF/1/2F|"},
        {One({}), "T0=0:FF/1/2F|"},
        // A split system exclusive packet, which leaves running status as it was.
        {One({0, 0xF0, 3, 0x43, 0x12, 0, 5, 0xF7, 2, 1, 0xF7}),
         "T0=0:F0/3/431200,5:F7/2/01F7,5:FF/1/2F|"},
        {One({0, 0x91, 60, 100, 0, 0xF0, 1, 0xF7, 1, 60, 0}),
         "T0=0:913C64,0:F0/1/F7,1:913C00,1:FF/1/2F|"},
        // An open system exclusive packet followed by another event.
        {One({0, 0xF0, 2, 0x43, 0x12, 0, 0x90, 60, 1, 0, 0x80, 60, 0}), "Load=0"},
        {One({0, 0x90, 60, 100, 0, 0xF8, 1, 60, 0}), "T0=0:903C64,0:F80000,1:903C00,1:FF/1/2F|"},
        // 0x80 0x80 0x80 0x81 0x80 0x00: leading zero groups, then 16384.
        {One({0x80, 0x80, 0x80, 0x81, 0x80, 0x00, 0xFF, 0x2F, 0x00}), "T0=16384:FF/1/2F|"},
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
        {One({0x00, 0xFF, 0x2F, 0x00, 0x81, 0x82}), "Load=0"}, // a cut delta time
        {One({0x00, 0xFF, 0x01, 0x8F, 0xFF, 0xFF, 0x7F, 'a'}), "Load=0"},
        {One({0x00, 0xF0, 0x05, 0x01, 0x02, 0xF7}), "Load=0"},
        {One({0x00, 0x90, 0x3C}), "Load=0"},
        // The bytes after a cut track lie inside its chunk: nothing is read beyond the chunk.
        {One({0x00, 0xFF, 0x01, 0x05, 'a', 'b'}) + "cdefg", "Load=0"},
        // RIFF "RMID" forms under their names, whatever the case; a bare file is no RMID.
        {rmid, "Load=1|Tracks=2|Division=120|", "a.rmi"},
        {rmid, "Load=1|Tracks=2|Division=120|", "b.RMI"},
        {rmid, "Load=1|Tracks=2|", "c.Riff"},
        {rmid, "Load=1|Tracks=2|", "d.RIFF"},
        {rmid, "Load=0", "e.mid"},
        {smf2, "Load=0", "f.rmi"},
        {smf2, "Load=1", "g.MiD"},
        {smf2, "Load=1", "h.kar"},
        {RiffChunk("RIFF", "WAVE" + RiffChunk("data", smf)), "Load=0", "a.rmi"},
        {RiffChunk("RIFF", "RMID" + RiffChunk("dat2", smf)), "Load=0", "b.rmi"},
        {"RIFF" + LE32(0xFFFFFFFFu) + "RMID" + "data" + LE32(0xFFFFFFFFu), "Load=0", "c.rmi"},
        // A data chunk shorter than the MIDI bytes cuts the track, a longer one is cut to the file.
        {riff(static_cast<uint32_t>(smf.size() + 12), static_cast<uint32_t>(smf.size() - 4)),
         "Load=0", "d.rmi"},
        {riff(0x7FFFFFFFu, 0x7FFFFFFFu), "Load=1", "e.rmi"},
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
    track->Events = {{.Status = 0x90}, {.Tick = 10, .Status = 0x80}, {.Tick = 10, .Status = 0xB0}};
    const uint8_t text[] = {'h', 'i'};
    EXPECT_EQ(track->AddMetaEvent(10, 0x01, text, 2).Length, 3u);
    track->AddMetaEvent(20, 0x01, nullptr, 0); // no event at tick 20: appended
    // An earlier end-of-track moves to the tick of a later meta event.
    TRef<TMidiTrack> ended(new TMidiTrack);
    ended->AddMetaEvent(5, MetaEndOfTrack, nullptr, 0);
    ended->AddMetaEvent(50, 0x01, nullptr, 0);
    std::string events;
    for (const TMidiTrack* t : {track.Get(), ended.Get()})
        for (const TMidiEvent& e : t->Events)
            events += std::to_string(e.Tick) + ":" + std::to_string(e.Status) + "/" +
                      std::to_string(e.Data.empty() ? -1 : e.Data[0]) + ",";
    EXPECT_EQ(events, "0:144/-1,10:128/-1,10:255/1,10:176/-1,20:255/1,50:255/1,50:255/47,");
}

// Every input that once broke the MIDI fuzz target, through the same body again.
TEST(MidiFuzzRegressionTest, KeptFindingsStayFixed) {
    namespace fs = std::filesystem;
    int replayed = 0;
    for (const auto& entry :
         fs::directory_iterator(fs::path(AUDIOLENS_SOURCE_DIR) / "tests" / "fuzz-regressions")) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("FuzzMidi-", 0) != 0) continue;
        TTempDir dir;
        EXPECT_EQ(fuzzbody::LoadMidi(ReadFile(entry.path().string()), dir.Root()), "") << name;
        ++replayed;
    }
    EXPECT_GT(replayed, 0);
}
