// The MIDI file loader against files built byte by byte: running status, meta and split sysex
// events, note balance, the added end-of-track, RIFF forms, lengths past the file's end.
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
using namespace midiwriter;

namespace {

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string s;
    for (uint8_t b : bytes)
        s.append({"0123456789ABCDEF"[b >> 4], "0123456789ABCDEF"[b & 15]});
    return s;
}

// Events "tick:status data1 data2," in hex, or "tick:status/length/data," for meta and system
// exclusive events.
std::string Events(const TMidiTrack& t) {
    std::string s;
    for (const TMidiEvent& e : t.Events)
        s += std::to_string(e.Tick) + ":" + Hex({e.Status}) +
             (e.Data.empty() ? Hex({e.Data1, e.Data2})
                             : "/" + std::to_string(e.Length) + "/" + Hex(e.Data)) +
             ",";
    return s;
}

// The loaded file as "Key=Value|" fields, with its first track's.
std::string Dump(bool loaded, const TMidiFile& f) {
    char b[96];
    std::snprintf(b, sizeof b, "Load=%d|Format=%d|Division=%d|Tracks=%d|Header=%d|Extra=", loaded,
                  f.Format(), f.Division(), f.TrackCount(), f.HeaderTrackCount());
    std::string s = b + f.ExtraHeader();
    if (const TMidiTrack* t = f.Track(0)) {
        std::snprintf(b, sizeof b, "|Program=%d|Channel=%d|T=", t->Program, t->Channel);
        s += b + Events(*t);
    }
    return s + "|";
}

// A format 0 file at 96 ticks a quarter with one track of these bytes.
std::string One(std::initializer_list<int> track) {
    return Smf(0, 96, {TTrack{Bytes(track)}});
}

TTrack Notes(int ons, int offs) { // of key 64
    TTrack t;
    for (int i = 0; i < ons + offs; ++i)
        t.Event(1, {i < ons ? 0x90 : 0x80, 64, i < ons ? 90 : 0});
    return t;
}

struct TRow {
    std::string Data, Want, Name = "song.mid";
};

} // namespace

TEST(MidiFileTest, ByteBuiltFiles) {
    const TTrack tune =
        TTrack().Tempo(0, 500000).Event(0, {0xC2, 5, 0, 0x92, 60, 100, 96, 0x82, 60, 0}).End();
    const std::string melody = tune.Chunk(), body = melody.substr(8);
    const std::string smf2 = Smf(1, 120, {tune, tune}), smf = Smf(0, 96, {tune});
    const std::string rmid =
        RiffChunk("RIFF", "RMID" + RiffChunk("LIST", "INFOINAM" + LE32(3) + "abc" + '\0') +
                              RiffChunk("data", smf2));
    const TRow rows[] = {
        {smf, "Load=1|Format=0|Division=96|Tracks=1|T=0:FF/4/5107A120,0:C20500,0:923C64,"
              "96:823C00,96:FF/1/2F,|Program=5|Channel=2|"},
        // Channel and program of the first message of their kind.
        {One({0, 0xB9, 7, 100, 0, 0xC3, 41, 0, 0xC9, 12}), "Channel=9|Program=41"},
        // Running status survives a meta event; one-byte messages run too.
        {One({0, 0x90, 60, 64, 0, 0xFF, 1, 4, 't', 'e', 'x', 't', 10, 60, 0}),
         "T=0:903C40,0:FF/5/0174657874,10:903C00,10:FF/1/2F,|"},
        {One({0, 0xC1, 7, 5, 9, 0, 0xD1, 0x40, 1, 0x41}),
         "T=0:C10700,5:C10900,5:D14000,6:D14100,6:FF/1/2F,|"},
        {One({0, 0x3C, 0x40}), "Load=0"}, // no status yet
        // Notes must balance: a note-on of velocity 0 ends a note, any channel's off counts, and
        // only five open notes of one key are counted.
        {One({0, 0x90, 60, 100, 96, 0xFF, 0x2F, 0}), "Load=0"},
        {Smf(1, 96, {tune, TTrack{Bytes({0, 0x90, 60, 100, 10, 62, 100, 10, 0x80, 60, 0})}, tune}),
         "Load=1|Tracks=1"},
        {One({0, 0x90, 60, 100, 10, 60, 0}), "Load=1"},
        {One({0, 0x90, 60, 100, 10, 0x85, 60, 0, 0, 60, 0}), "Load=1"}, // the second off is stray
        {Smf(0, 96, {Notes(6, 5)}), "Load=1"},
        {Smf(0, 96, {Notes(5, 4)}), "Load=0"},
        // A missing end-of-track is added at the last tick (200 = 0x81 0x48).
        {One({0, 0x90, 60, 100, 0x81, 0x48, 0x80, 60, 0}), "T=0:903C64,200:803C00,200:FF/1/2F,|"},
        {One({}), "T=0:FF/1/2F,|"},
        // A split system exclusive packet, which leaves running status as it was.
        {One({0, 0xF0, 3, 0x43, 0x12, 0, 5, 0xF7, 2, 1, 0xF7}),
         "T=0:F0/3/431200,5:F7/2/01F7,5:FF/1/2F,|"},
        {One({0, 0x91, 60, 100, 0, 0xF0, 1, 0xF7, 1, 60, 0}),
         "T=0:913C64,0:F0/1/F7,1:913C00,1:FF/1/2F,|"},
        // An open system exclusive packet followed by another event.
        {One({0, 0xF0, 2, 0x43, 0x12, 0, 0x90, 60, 1, 0, 0x80, 60, 0}), "Load=0"},
        {One({0, 0x90, 60, 100, 0, 0xF8, 1, 60, 0}), "T=0:903C64,0:F80000,1:903C00,1:FF/1/2F,|"},
        // 0x80 0x80 0x80 0x81 0x80 0x00: leading zero groups, then 16384.
        {One({0x80, 0x80, 0x80, 0x81, 0x80, 0x00, 0xFF, 0x2F, 0x00}), "T=16384:FF/1/2F,|"},
        {Smf(0, 96, {TTrack().Raw(0xFFFFFFFF, Bytes({0xF8}))}), // a delta time past 2^31 saturates
         "T=2147483647:F80000,2147483647:FF/1/2F,|"},
        {Header(1, 1, 96, 8) + "xy" + melody, "Load=1|Tracks=1|Extra=xy|"},
        // Broken headers and divisions.
        {Header(0, 1, 96, 5) + melody, "Load=0"},
        {Header(0, 1, 96).substr(0, 11), "Load=0"},
        {Header(0, 1, 96, 0xFFFFFFF0u) + melody, "Load=0|Format=1|Division=180|Tracks=0|"},
        {Smf(0, 0, {tune}), "Load=0"},
        {Smf(0, 0xE728, {tune}), "Load=0"}, // -25 frames a second, 40 ticks a frame
        {Smf(0, 0x7FFF, {tune}), "Load=1"},
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
        {rmid, "Load=1|Tracks=2|Division=120|", "b.RMI"},
        {rmid, "Load=1|Tracks=2|", "c.Riff"},
        {rmid, "Load=0", "e.mid"},
        {smf2, "Load=0", "f.rmi"},
        {smf2, "Load=1", "h.kar"},
        {RiffChunk("RIFF", "WAVE" + RiffChunk("data", smf)), "Load=0", "a.rmi"},
        {RiffChunk("RIFF", "RMID" + RiffChunk("dat2", smf)), "Load=0", "b.rmi"},
        {"RIFF" + LE32(0xFFFFFFFFu) + "RMIDdata" + LE32(0xFFFFFFFFu), "Load=0", "c.rmi"},
        // A data chunk shorter than the MIDI bytes cuts the track, a longer one is cut to the file.
        {RiffChunk("RIFF", "RMIDdata" + LE32(uint32_t(smf.size() - 4)) + smf), "Load=0", "d.rmi"},
        {"RIFF" + LE32(0x7FFFFFFFu) + "RMIDdata" + LE32(0x7FFFFFFFu) + smf, "Load=1", "e.rmi"},
    };
    TTempDir dir;
    TRef<TMidiFile> file(new TMidiFile);
    ExpectFields(Dump(false, *file), "Format=1|Division=180|Tracks=0|");
    for (const TRow& row : rows) {
        WriteFile(dir.Path(row.Name), row.Data);
        const bool loaded = file->LoadFromFile(dir.Path(row.Name));
        ExpectFields(Dump(loaded, *file), row.Want);
    }
    ExpectFields(Dump(file->LoadFromFile(dir.Path("missing.mid")), *file), "Load=0|Tracks=0|");
}

TEST(MidiFileTest, AddMetaEventGoesBeforeTheLastEventOfItsTick) {
    TRef<TMidiTrack> track(new TMidiTrack), ended(new TMidiTrack);
    track->Events = {{.Status = 0x90}, {.Tick = 10, .Status = 0x80}, {.Tick = 10, .Status = 0xB0}};
    const uint8_t text[] = {'h', 'i'};
    EXPECT_EQ(track->AddMetaEvent(10, 0x01, text, 2).Length, 3u);
    track->AddMetaEvent(20, 0x01, nullptr, 0); // no event at tick 20: appended
    // An earlier end-of-track moves to the tick of a later meta event.
    ended->AddMetaEvent(5, MetaEndOfTrack, nullptr, 0);
    ended->AddMetaEvent(50, 0x01, nullptr, 0);
    EXPECT_EQ(Events(*track) + Events(*ended),
              "0:900000,10:800000,10:FF/3/016869,10:B00000,20:FF/1/01,50:FF/1/01,50:FF/1/2F,");
}

// Every input that once broke the MIDI fuzz target, through the same body again.
TEST(MidiFuzzRegressionTest, KeptFindingsStayFixed) {
    int replayed = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(AUDIOLENS_SOURCE_DIR "/tests/fuzz-regressions"))
        if (entry.path().filename().string().rfind("FuzzMidi-", 0) == 0) {
            TTempDir dir;
            EXPECT_EQ(fuzzbody::LoadMidi(ReadFile(entry.path().string()), dir.Root()), "")
                << entry.path();
            ++replayed;
        }
    EXPECT_GT(replayed, 0);
}
