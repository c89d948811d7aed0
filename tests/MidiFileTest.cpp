// The MIDI file loader against files built byte by byte: running status, meta and split sysex
// events, the note balance check, the added end-of-track, RIFF wrapping, and lengths that
// promise more than the file holds.
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
using midiwriter::TTrack;

namespace {

class MidiFileTest : public ::testing::Test {
  protected:
    // Writes the bytes under the name and loads them.
    bool Load(const std::string& bytes, const std::string& name = "song.mid") {
        WriteFile(Dir.Path(name), bytes);
        return File->LoadFromFile(Dir.Path(name));
    }
    TTempDir Dir;
    TRef<TMidiFile> File{new TMidiFile};
};

TTrack Melody() {
    TTrack t;
    t.Tempo(0, 500000).Program(0, 2, 5).NoteOn(0, 2, 60, 100).NoteOff(96, 2, 60).End();
    return t;
}

TEST_F(MidiFileTest, ClearedFileIsFormatOneWithoutTracksAtDivision180) {
    EXPECT_EQ(File->Format(), 1);
    EXPECT_EQ(File->TrackCount(), 0);
    EXPECT_EQ(File->Division(), 180);
    EXPECT_EQ(File->Track(0), nullptr);
}

TEST_F(MidiFileTest, FormatZeroLoadsAsOneTrackWithAbsoluteTicks) {
    ASSERT_TRUE(Load(midiwriter::Smf(0, 96, {Melody()})));
    EXPECT_EQ(File->Format(), 0);
    EXPECT_EQ(File->Division(), 96);
    ASSERT_EQ(File->TrackCount(), 1);
    EXPECT_EQ(File->Track(1), nullptr);
    const auto& events = File->Track(0)->Events;
    ASSERT_EQ(events.size(), 5u);
    EXPECT_TRUE(events[0].IsMeta(MetaTempo));
    EXPECT_EQ(events[0].Length, 4u); // payload 3 + the type byte
    EXPECT_EQ(events[0].Data, std::vector<uint8_t>({0x51, 0x07, 0xA1, 0x20}));
    EXPECT_EQ(events[1].Status, 0xC2);
    EXPECT_EQ(events[1].Data1, 5);
    EXPECT_EQ(events[3].Tick, 96);
    EXPECT_EQ(events[3].Status, 0x82);
    EXPECT_EQ(events[4].Tick, 96);
    EXPECT_TRUE(events[4].IsMeta(MetaEndOfTrack));
    EXPECT_EQ(File->Track(0)->Program, 5);
    EXPECT_EQ(File->Track(0)->Channel, 2);
}

TEST_F(MidiFileTest, ChannelAndProgramComeFromTheFirstOfTheirKind) {
    TTrack t;
    t.Control(0, 9, 7, 100).Program(0, 3, 41).Program(0, 9, 12).End();
    ASSERT_TRUE(Load(midiwriter::Smf(0, 96, {t})));
    EXPECT_EQ(File->Track(0)->Channel, 9);
    EXPECT_EQ(File->Track(0)->Program, 41);
}

TEST_F(MidiFileTest, RunningStatusSurvivesAMetaEvent) {
    TTrack t;
    t.Event(0, {0x90, 0x3C, 0x40}).Meta(0, 0x01, "text").Event(10, {0x3C, 0x00}).End();
    ASSERT_TRUE(Load(midiwriter::Smf(0, 96, {t})));
    const auto& events = File->Track(0)->Events;
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[2].Status, 0x90);
    EXPECT_EQ(events[2].Data1, 0x3C);
    EXPECT_EQ(events[2].Data2, 0x00);
    EXPECT_EQ(events[2].Tick, 10);
}

TEST_F(MidiFileTest, RunningStatusOfOneByteMessages) {
    TTrack t;
    t.Event(0, {0xC1, 7}).Event(5, {9}).Event(0, {0xD1, 0x40}).Event(1, {0x41}).End();
    ASSERT_TRUE(Load(midiwriter::Smf(0, 96, {t})));
    const auto& events = File->Track(0)->Events;
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[1].Status, 0xC1);
    EXPECT_EQ(events[1].Data1, 9);
    EXPECT_EQ(events[1].Data2, 0);
    EXPECT_EQ(events[3].Status, 0xD1);
    EXPECT_EQ(events[3].Data1, 0x41);
}

TEST_F(MidiFileTest, DataByteWithoutRunningStatusFailsTheTrack) {
    TTrack t;
    t.Event(0, {0x3C, 0x40}).End();
    EXPECT_FALSE(Load(midiwriter::Smf(0, 96, {t})));
}

TEST_F(MidiFileTest, NoteOnWithoutNoteOffFailsTheTrack) {
    TTrack t;
    t.NoteOn(0, 0, 60, 100).End(96);
    EXPECT_FALSE(Load(midiwriter::Smf(0, 96, {t})));
}

TEST_F(MidiFileTest, UnbalancedSecondTrackLeavesTheFirst) {
    TTrack bad;
    bad.NoteOn(0, 0, 60, 100).NoteOn(10, 0, 62, 100).NoteOff(10, 0, 60).End();
    ASSERT_TRUE(Load(midiwriter::Smf(1, 96, {Melody(), bad, Melody()})));
    EXPECT_EQ(File->TrackCount(), 1);
}

TEST_F(MidiFileTest, NoteOnWithVelocityZeroEndsANote) {
    TTrack t;
    t.NoteOn(0, 0, 60, 100).NoteOn(10, 0, 60, 0).End();
    EXPECT_TRUE(Load(midiwriter::Smf(0, 96, {t})));
}

TEST_F(MidiFileTest, NotesOfAKeyCountWhateverTheChannel) {
    TTrack t;
    t.NoteOn(0, 0, 60, 100).NoteOff(10, 5, 60).End();
    EXPECT_TRUE(Load(midiwriter::Smf(0, 96, {t})));
}

TEST_F(MidiFileTest, SixOverlappingNotesOfOneKeyAreBalancedBySixOffs) {
    TTrack t;
    for (int i = 0; i < 6; ++i)
        t.NoteOn(1, 0, 64, 90);
    for (int i = 0; i < 6; ++i)
        t.NoteOff(1, 0, 64);
    t.End();
    EXPECT_TRUE(Load(midiwriter::Smf(0, 96, {t})));
}

TEST_F(MidiFileTest, OnlyFiveOpenNotesOfAKeyAreCounted) {
    // Six on, five off: the sixth on was never counted, so the key is balanced.
    TTrack t;
    for (int i = 0; i < 6; ++i)
        t.NoteOn(1, 0, 64, 90);
    for (int i = 0; i < 5; ++i)
        t.NoteOff(1, 0, 64);
    t.End();
    EXPECT_TRUE(Load(midiwriter::Smf(0, 96, {t})));
}

TEST_F(MidiFileTest, TrackWithoutEndOfTrackGetsOneAtItsLastTick) {
    TTrack t;
    t.NoteOn(0, 0, 60, 100).NoteOff(200, 0, 60);
    ASSERT_TRUE(Load(midiwriter::Smf(0, 96, {t})));
    const auto& events = File->Track(0)->Events;
    ASSERT_EQ(events.size(), 3u);
    EXPECT_TRUE(events[2].IsMeta(MetaEndOfTrack));
    EXPECT_EQ(events[2].Tick, 200);
    EXPECT_EQ(events[2].Length, 1u);
}

TEST_F(MidiFileTest, EmptyTrackGetsAnEndOfTrackAtTickZero) {
    ASSERT_TRUE(Load(midiwriter::Smf(0, 96, {TTrack()})));
    ASSERT_EQ(File->Track(0)->Events.size(), 1u);
    EXPECT_TRUE(File->Track(0)->Events[0].IsMeta(MetaEndOfTrack));
    EXPECT_EQ(File->Track(0)->Events[0].Tick, 0);
}

TEST_F(MidiFileTest, SplitSystemExclusivePacketParses) {
    TTrack t;
    t.Raw(0, Bytes({0xF0, 3, 0x43, 0x12, 0x00})).Raw(5, Bytes({0xF7, 2, 0x01, 0xF7})).End();
    ASSERT_TRUE(Load(midiwriter::Smf(0, 96, {t})));
    const auto& events = File->Track(0)->Events;
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].Status, 0xF0);
    EXPECT_EQ(events[0].Length, 3u);
    EXPECT_EQ(events[0].Data, std::vector<uint8_t>({0x43, 0x12, 0x00}));
    EXPECT_EQ(events[1].Status, 0xF7);
    EXPECT_EQ(events[1].Tick, 5);
    EXPECT_EQ(events[1].Data, std::vector<uint8_t>({0x01, 0xF7}));
}

TEST_F(MidiFileTest, OpenSystemExclusiveFollowedByAnotherEventFails) {
    TTrack t;
    t.Raw(0, Bytes({0xF0, 2, 0x43, 0x12})).NoteOn(0, 0, 60, 1).NoteOff(0, 0, 60).End();
    EXPECT_FALSE(Load(midiwriter::Smf(0, 96, {t})));
}

TEST_F(MidiFileTest, SystemExclusiveLeavesRunningStatusAsItWas) {
    TTrack t;
    t.Event(0, {0x91, 60, 100}).Raw(0, Bytes({0xF0, 1, 0xF7})).Event(1, {60, 0}).End();
    ASSERT_TRUE(Load(midiwriter::Smf(0, 96, {t})));
    EXPECT_EQ(File->Track(0)->Events[2].Status, 0x91);
}

TEST_F(MidiFileTest, SystemCommonStatusesStandAlone) {
    TTrack t;
    t.Event(0, {0x90, 60, 100}).Event(0, {0xF8}).Event(1, {60, 0}).End();
    ASSERT_TRUE(Load(midiwriter::Smf(0, 96, {t})));
    const auto& events = File->Track(0)->Events;
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[1].Status, 0xF8);
    EXPECT_EQ(events[2].Status, 0x90);
}

TEST_F(MidiFileTest, LongVariableLengthNumbersAreRead) {
    // 0x81 0x80 0x00 is 16384; leading zero groups are allowed in any number.
    TTrack t;
    t.Data = Bytes({0x80, 0x80, 0x80, 0x81, 0x80, 0x00, 0xFF, 0x2F, 0x00});
    ASSERT_TRUE(Load(midiwriter::Smf(0, 96, {t})));
    EXPECT_EQ(File->Track(0)->Events[0].Tick, 16384);
}

TEST_F(MidiFileTest, HeaderExtraBytesAreKept) {
    std::string smf = midiwriter::Header(1, 1, 96, 8) + "xy" + Melody().Chunk();
    ASSERT_TRUE(Load(smf));
    EXPECT_EQ(File->ExtraHeader(), "xy");
    EXPECT_EQ(File->TrackCount(), 1);
}

TEST_F(MidiFileTest, BrokenHeadersAreRefused) {
    EXPECT_FALSE(Load("RIFF" + Zeros(40)));
    EXPECT_FALSE(Load(midiwriter::Header(0, 1, 96, 5) + Melody().Chunk()));
    EXPECT_FALSE(Load(midiwriter::Header(0, 1, 96).substr(0, 11)));
    EXPECT_FALSE(Load(""));
    // A header chunk longer than the whole file.
    EXPECT_FALSE(Load(midiwriter::Header(0, 1, 96, 0xFFFFFFF0u) + Melody().Chunk()));
    EXPECT_EQ(File->TrackCount(), 0);
    EXPECT_EQ(File->Division(), 180);
}

TEST_F(MidiFileTest, ZeroAndFrameBasedDivisionsAreRefused) {
    EXPECT_FALSE(Load(midiwriter::Smf(0, 0, {Melody()})));
    // -25 frames per second, 40 ticks a frame.
    EXPECT_FALSE(Load(midiwriter::Smf(0, 0xE728, {Melody()})));
    EXPECT_TRUE(Load(midiwriter::Smf(0, 0x7FFF, {Melody()})));
}

TEST_F(MidiFileTest, TrackCountZeroGivesFalse) {
    EXPECT_FALSE(Load(midiwriter::Header(1, 0, 96) + Melody().Chunk()));
}

TEST_F(MidiFileTest, MoreTracksAnnouncedThanPresentLoadsWhatIsThere) {
    std::string smf = midiwriter::Header(1, 65535, 96) + Melody().Chunk() + Melody().Chunk();
    ASSERT_TRUE(Load(smf));
    EXPECT_EQ(File->TrackCount(), 2);
    EXPECT_EQ(File->HeaderTrackCount(), 65535);
}

TEST_F(MidiFileTest, MissingTrackChunkAfterTracksKeepsThem) {
    std::string smf = midiwriter::Header(1, 3, 96) + Melody().Chunk() + "MTrx" + BE32(0);
    ASSERT_TRUE(Load(smf));
    EXPECT_EQ(File->TrackCount(), 1);
    EXPECT_FALSE(Load(midiwriter::Header(1, 1, 96) + "XTrk" + BE32(0)));
}

TEST_F(MidiFileTest, TrackLengthBeyondTheFileFailsTheTrack) {
    std::string chunk = Melody().Chunk();
    std::string oversized = "MTrk" + BE32(0xFFFFFFF0u) + chunk.substr(8);
    EXPECT_FALSE(Load(midiwriter::Header(0, 1, 96) + oversized));
    std::string longByOne =
        "MTrk" + BE32(static_cast<uint32_t>(chunk.size() - 8 + 1)) + chunk.substr(8);
    EXPECT_FALSE(Load(midiwriter::Header(0, 1, 96) + longByOne));
    ASSERT_TRUE(Load(midiwriter::Header(1, 2, 96) + chunk + oversized));
    EXPECT_EQ(File->TrackCount(), 1);
}

TEST_F(MidiFileTest, NumbersAndPayloadsRunningPastTheChunkFailTheTrack) {
    TTrack delta;
    delta.Data = Bytes({0x00, 0xFF, 0x2F, 0x00, 0x81, 0x82}); // delta time cut off
    EXPECT_FALSE(Load(midiwriter::Smf(0, 96, {delta})));
    TTrack metaLength;
    metaLength.Data = Bytes({0x00, 0xFF, 0x01, 0x8F, 0xFF, 0xFF, 0x7F, 'a'});
    EXPECT_FALSE(Load(midiwriter::Smf(0, 96, {metaLength})));
    TTrack sysexLength;
    sysexLength.Data = Bytes({0x00, 0xF0, 0x05, 0x01, 0x02, 0xF7});
    EXPECT_FALSE(Load(midiwriter::Smf(0, 96, {sysexLength})));
    TTrack dataByte;
    dataByte.Data = Bytes({0x00, 0x90, 0x3C});
    EXPECT_FALSE(Load(midiwriter::Smf(0, 96, {dataByte})));
    // The track after the broken one lies inside its chunk: nothing is read beyond the chunk.
    TTrack cut;
    cut.Data = Bytes({0x00, 0xFF, 0x01, 0x05, 'a', 'b'});
    std::string smf = midiwriter::Header(0, 1, 96) + cut.Chunk() + "cdefg";
    EXPECT_FALSE(Load(smf));
}

TEST_F(MidiFileTest, HugeDeltaTimesSaturateInsteadOfOverflowing) {
    TTrack t;
    t.Raw(0x0FFFFFFF, Bytes({0xF8})).Raw(0x0FFFFFFF, Bytes({0xF8}));
    for (int i = 0; i < 20; ++i)
        t.Raw(0x0FFFFFFF, Bytes({0xF8}));
    ASSERT_TRUE(Load(midiwriter::Smf(0, 96, {t})));
    EXPECT_EQ(File->Track(0)->Events[1].Tick, 2 * 0x0FFFFFFF);
    EXPECT_EQ(File->Track(0)->Events.back().Tick, 0x7FFFFFFF);
}

TEST_F(MidiFileTest, RiffWrappedFileLoadsWhateverTheCaseOfItsExtension) {
    std::string smf = midiwriter::Smf(1, 120, {Melody(), Melody()});
    std::string info = midiwriter::RiffChunk("LIST", "INFOINAM" + LE32(3) + "abc" + '\0');
    for (const char* name : {"a.rmi", "b.RMI", "c.Riff", "d.RIFF"}) {
        ASSERT_TRUE(Load(midiwriter::Rmid(smf, info), name)) << name;
        EXPECT_EQ(File->TrackCount(), 2) << name;
        EXPECT_EQ(File->Division(), 120) << name;
    }
    // The same bytes under a bare name are no standard MIDI file, and the reverse.
    EXPECT_FALSE(Load(midiwriter::Rmid(smf), "e.mid"));
    EXPECT_FALSE(Load(smf, "f.rmi"));
    EXPECT_TRUE(Load(smf, "g.MiD"));
    EXPECT_TRUE(Load(smf, "h.kar"));
}

TEST_F(MidiFileTest, RiffWithoutRmidFormOrDataChunkIsRefused) {
    std::string smf = midiwriter::Smf(0, 96, {Melody()});
    EXPECT_FALSE(
        Load(midiwriter::RiffChunk("RIFF", "WAVE" + midiwriter::RiffChunk("data", smf)), "a.rmi"));
    EXPECT_FALSE(
        Load(midiwriter::RiffChunk("RIFF", "RMID" + midiwriter::RiffChunk("dat2", smf)), "b.rmi"));
    EXPECT_FALSE(Load("RIFF" + LE32(0xFFFFFFFFu) + "RMID" + "data" + LE32(0xFFFFFFFFu), "c.rmi"));
}

TEST_F(MidiFileTest, RiffDataChunkBoundsTheTracks) {
    // The data chunk says it is shorter than the MIDI bytes: the track then runs past it.
    std::string smf = midiwriter::Smf(0, 96, {Melody()});
    std::string form =
        "RMID" + std::string("data") + LE32(static_cast<uint32_t>(smf.size() - 4)) + smf;
    EXPECT_FALSE(Load("RIFF" + LE32(static_cast<uint32_t>(form.size())) + form, "a.rmi"));
    // A data chunk claiming more than the file holds is cut to the file.
    std::string big = "RMID" + std::string("data") + LE32(0x7FFFFFFFu) + smf;
    EXPECT_TRUE(Load("RIFF" + LE32(0x7FFFFFFFu) + big, "b.rmi"));
}

TEST_F(MidiFileTest, AddMetaEventGoesBeforeTheLastEventOfItsTick) {
    TRef<TMidiTrack> track(new TMidiTrack);
    TMidiEvent a, b, c;
    a.Tick = 0;
    a.Status = 0x90;
    b.Tick = 10;
    b.Status = 0x80;
    c.Tick = 10;
    c.Status = 0xB0;
    track->Events = {a, b, c};
    const uint8_t text[] = {'h', 'i'};
    TMidiEvent& added = track->AddMetaEvent(10, 0x01, text, 2);
    EXPECT_EQ(added.Length, 3u);
    ASSERT_EQ(track->Events.size(), 4u);
    EXPECT_EQ(track->Events[1].Status, 0x80);
    EXPECT_TRUE(track->Events[2].IsMeta(0x01));
    EXPECT_EQ(track->Events[3].Status, 0xB0);
    // No event at tick 20: appended.
    track->AddMetaEvent(20, 0x01, nullptr, 0);
    EXPECT_EQ(track->Events.back().Tick, 20);
}

TEST_F(MidiFileTest, AddMetaEventMovesAnEarlierEndOfTrackToItsTick) {
    TRef<TMidiTrack> track(new TMidiTrack);
    track->AddMetaEvent(5, MetaEndOfTrack, nullptr, 0);
    track->AddMetaEvent(50, 0x01, nullptr, 0);
    ASSERT_EQ(track->Events.size(), 2u);
    EXPECT_TRUE(track->Events[0].IsMeta(0x01));
    EXPECT_TRUE(track->Events[1].IsMeta(MetaEndOfTrack));
    EXPECT_EQ(track->Events[1].Tick, 50);
}

TEST_F(MidiFileTest, LoadingAgainForgetsTheEarlierFile) {
    ASSERT_TRUE(Load(midiwriter::Smf(1, 96, {Melody(), Melody()})));
    ASSERT_TRUE(Load(midiwriter::Smf(0, 480, {Melody()})));
    EXPECT_EQ(File->TrackCount(), 1);
    EXPECT_EQ(File->Division(), 480);
    EXPECT_FALSE(File->LoadFromFile(Dir.Path("missing.mid")));
    EXPECT_EQ(File->TrackCount(), 0);
}

} // namespace

namespace {

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

} // namespace
