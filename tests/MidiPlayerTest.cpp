// The player and its sequencer, driven step by step against a clock the test sets, with an
// output that records every message. Timings are worked out from the tempo arithmetic:
// ticks = ms * Division / Tempo (ms per quarter), an event sent once its tick lies before the
// position.
#include "midi/MidiPlayer.h"
#include "TestMidiServices.h"
#include "TestMidiWriter.h"
#include "TestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace audiolens;
using namespace testsupport;
using miditest::Message;
using miditest::TMidiServices;
using midiwriter::TTrack;

namespace {

class MidiPlayerTest : public ::testing::Test {
  protected:
    void LoadTracks(int division, const std::vector<TTrack>& tracks) {
        WriteFile(Dir.Path("song.mid"), midiwriter::Smf(1, division, tracks));
        ASSERT_TRUE(Player->Load(Dir.Path("song.mid")));
        TMidiServices::ClearMessages();
    }
    // Timer steps every 4 ms until the clock reads ms.
    void StepTo(uint32_t ms) {
        while (miditest::ManualTimer().Now + 4 <= ms) {
            miditest::ManualTimer().Now += 4;
            Player->TimerStep();
        }
    }
    bool Sent(uint32_t message) const {
        auto all = TMidiServices::Messages();
        return std::find(all.begin(), all.end(), message) != all.end();
    }
    TMidiSequencer& Seq() { return *Player->Sequencer(); }

    TMidiServices Services;
    TTempDir Dir;
    TRef<TMidiPlayer> Player{new TMidiPlayer};
};

TTrack OneNoteAt(int tick, int key = 60) {
    TTrack t;
    t.NoteOn(tick, 0, key, 100).NoteOff(96, 0, key).End();
    return t;
}

TEST_F(MidiPlayerTest, CreatedStoppedWithDefaultsOfTheSequencer) {
    EXPECT_EQ(Player->State(), psStopped);
    EXPECT_EQ(Seq().Division, 180);
    EXPECT_EQ(Seq().Tempo, 600);
    EXPECT_EQ(Seq().BeatTicks, 180);
    EXPECT_EQ(Seq().BarTicks, 720);
    EXPECT_EQ(Player->ResumeTick(), 0);
}

TEST_F(MidiPlayerTest, DefaultTempoIs600MsPerQuarter) {
    LoadTracks(96, {OneNoteAt(96)});
    Player->Play();
    ASSERT_EQ(Player->State(), psPlaying);
    StepTo(600);
    // 600 ms at 600 ms per quarter: tick 96 exactly, which is not yet due.
    EXPECT_EQ(Seq().TickPos, 96);
    EXPECT_EQ(Seq().MsPos, 600);
    EXPECT_FALSE(Sent(Message(0x90, 60, 100)));
    StepTo(604); // 604 * 96 / 600 = 96.6: still tick 96
    EXPECT_FALSE(Sent(Message(0x90, 60, 100)));
    StepTo(608); // 97.3: the note is now before the position
    EXPECT_EQ(Seq().TickPos, 97);
    EXPECT_TRUE(Sent(Message(0x90, 60, 100)));
}

TEST_F(MidiPlayerTest, TempoEventsSetMsPerQuarterByIntegerDivision) {
    TTrack conductor;
    conductor.Tempo(0, 500000).Tempo(96, 333333).End(96);
    LoadTracks(96, {conductor, OneNoteAt(0)});
    Player->Play();
    EXPECT_EQ(Seq().Tempo, 500);
    StepTo(500); // tick 96, where the second tempo starts
    EXPECT_EQ(Seq().TickPos, 96);
    EXPECT_EQ(Seq().Tempo, 333);
    EXPECT_EQ(Seq().TempoTick, 96);
    EXPECT_EQ(Seq().TempoMs, 500);
    StepTo(832); // 332 ms at 333 ms per quarter: 95.7 ticks
    EXPECT_EQ(Seq().TickPos, 191);
    StepTo(836); // 336 ms: 96.9 ticks
    EXPECT_EQ(Seq().TickPos, 192);
}

TEST_F(MidiPlayerTest, EventAfterATempoChangeIsSentOnItsNewTime) {
    // 96 ticks at 600 ms, then 300 ms per quarter: tick 192 lies at 600 + 300 = 900 ms.
    TTrack conductor;
    conductor.Tempo(96, 300000).End(96);
    LoadTracks(96, {conductor, OneNoteAt(192)});
    Player->Play();
    StepTo(900);
    EXPECT_EQ(Seq().TickPos, 192);
    EXPECT_FALSE(Sent(Message(0x90, 60, 100)));
    StepTo(904); // 192 + 4 * 96 / 300 = 193
    EXPECT_TRUE(Sent(Message(0x90, 60, 100)));
    // Positioning by tick gives the same time back.
    Seq().SetTick(192);
    EXPECT_EQ(Seq().MsPos, 900);
}

TEST_F(MidiPlayerTest, TempoAndSignatureOutsideTrackZeroAreIgnored) {
    TTrack other;
    other.Tempo(0, 250000).TimeSignature(0, 3, 3).NoteOn(0, 0, 60, 1).NoteOff(96, 0, 60).End();
    LoadTracks(96, {OneNoteAt(0, 50), other});
    Player->Play();
    StepTo(600);
    EXPECT_EQ(Seq().Tempo, 600);
    EXPECT_EQ(Seq().TickPos, 96);
    EXPECT_EQ(Seq().BarTicks, 384);
}

TEST_F(MidiPlayerTest, SixEightAtDivision96CountsBarsOf288Ticks) {
    TTrack conductor;
    conductor.TimeSignature(0, 6, 3).End(2000);
    LoadTracks(96, {conductor});
    Seq().SetTick(288 + 48 + 5);
    EXPECT_EQ(Seq().BeatTicks, 48);
    EXPECT_EQ(Seq().BarTicks, 288);
    EXPECT_EQ(Seq().Bar, 1);
    EXPECT_EQ(Seq().Beat, 1);
    EXPECT_EQ(Seq().BeatTick, 5);
}

TEST_F(MidiPlayerTest, SignatureChangeMidBarStartsTheNextBar) {
    // 4/4 for 100 ticks (part of bar 0), then 3/4: the new signature counts from bar 1.
    TTrack conductor;
    conductor.TimeSignature(100, 3, 2).End(3000);
    LoadTracks(96, {conductor});
    Seq().SetTick(100 + 288 + 96 + 7);
    EXPECT_EQ(Seq().SigBar, 1);
    EXPECT_EQ(Seq().SigTick, 100);
    EXPECT_EQ(Seq().BarTicks, 288);
    EXPECT_EQ(Seq().Bar, 2);
    EXPECT_EQ(Seq().Beat, 1);
    EXPECT_EQ(Seq().BeatTick, 7);
    // Bar 1, beat 2 is 100 + 2 * 96.
    Seq().SetBarBeatTick(1, 2, 0);
    EXPECT_EQ(Seq().TickPos, 292);
    // Back to the start and forward by bars: bar 0 beat 1 under 4/4 is tick 96.
    Seq().SetBarBeatTick(0, 1, 0);
    EXPECT_EQ(Seq().TickPos, 96);
    EXPECT_EQ(Seq().MsPos, 600);
}

TEST_F(MidiPlayerTest, HalfNoteAndWholeNoteBeats) {
    TTrack conductor;
    conductor.TimeSignature(0, 2, 1).TimeSignature(384, 1, 0).End(3000);
    LoadTracks(96, {conductor});
    Seq().SetTick(200);
    EXPECT_EQ(Seq().BeatTicks, 192);
    EXPECT_EQ(Seq().BarTicks, 384);
    Seq().SetTick(400);
    EXPECT_EQ(Seq().BeatTicks, 384);
    EXPECT_EQ(Seq().Bar, 1);
    EXPECT_EQ(Seq().BeatTick, 16);
}

TEST_F(MidiPlayerTest, ChasingSendsControllersAndProgramsButNoNotes) {
    TTrack t;
    t.Control(10, 0, 7, 100)
        .Program(10, 0, 33)
        .NoteOn(10, 0, 60, 90)
        .Event(0, {0xE0, 0, 0x50})
        .NoteOff(10, 0, 60)
        .Control(100, 0, 10, 20)
        .End();
    LoadTracks(96, {t});
    Seq().SetTick(50);
    auto sent = TMidiServices::Messages();
    EXPECT_EQ(sent, std::vector<uint32_t>(
                        {Message(0xB0, 7, 100), Message(0xC0, 33, 0), Message(0xE0, 0, 0x50)}));
    EXPECT_EQ(Seq().Song->Tracks[0]->NextEvent, 5u);
}

TEST_F(MidiPlayerTest, ResetSendsEachTracksProgramOnItsChannel) {
    TTrack t;
    t.Program(0, 4, 19).NoteOn(0, 4, 60, 1).NoteOff(10, 4, 60).End();
    LoadTracks(96, {t});
    Seq().SetTick(100);
    TMidiServices::ClearMessages();
    Seq().SetTick(5); // backwards: reset, then chase again
    EXPECT_EQ(TMidiServices::Messages(), std::vector<uint32_t>({Message(0xC4, 19, 0)}));
}

TEST_F(MidiPlayerTest, PlayStopPlayResumesAtTheStoppedTick) {
    TTrack t;
    t.Control(0, 0, 64, 127)
        .NoteOn(0, 0, 60, 100)
        .NoteOn(0, 1, 64, 100)
        .NoteOff(480, 0, 60)
        .NoteOff(0, 1, 64)
        .NoteOn(0, 0, 67, 80)
        .NoteOff(96, 0, 67)
        .End();
    LoadTracks(96, {t});
    Player->Play();
    StepTo(1000);
    int32_t stoppedAt = Seq().TickPos;
    EXPECT_EQ(stoppedAt, 160); // 1000 * 96 / 600
    TMidiServices::ClearMessages();
    Player->Stop();
    EXPECT_EQ(Player->State(), psStopped);
    EXPECT_EQ(Player->ResumeTick(), 160);
    // Both sounding notes off and the sustain pedal released.
    EXPECT_EQ(
        TMidiServices::Messages(),
        std::vector<uint32_t>({Message(0x80, 60, 0), Message(0x81, 64, 0), Message(0xB0, 64, 0)}));
    miditest::ManualTimer().Now += 5000; // time passes while stopped
    TMidiServices::ClearMessages();
    Player->Play();
    EXPECT_EQ(Seq().TickPos, stoppedAt);
    EXPECT_TRUE(TMidiServices::Messages().empty());
    StepTo(miditest::ManualTimer().Now + 2000);
    // 480 ticks lie at 3000 ms; resumed at 1000 ms, they come 2000 ms later.
    EXPECT_EQ(Seq().MsPos, 3000);
    StepTo(miditest::ManualTimer().Now + 8);
    EXPECT_TRUE(Sent(Message(0x90, 67, 80)));
}

TEST_F(MidiPlayerTest, PauseForTenSecondsContinuesWhereItPaused) {
    LoadTracks(96, {OneNoteAt(960)});
    Player->Play();
    StepTo(300);
    Player->Pause();
    EXPECT_EQ(Player->State(), psPaused);
    StepTo(10300);
    EXPECT_EQ(Seq().MsPos, 300);
    Player->Play();
    EXPECT_EQ(Player->State(), psPlaying);
    StepTo(10304);
    EXPECT_EQ(Seq().MsPos, 304);
    // Pause never stopped the timer.
    EXPECT_EQ(miditest::ManualTimer().Kills, 0);
}

TEST_F(MidiPlayerTest, PauseWhileStoppedLeavesItStopped) {
    LoadTracks(96, {OneNoteAt(0)});
    Player->Pause();
    EXPECT_EQ(Player->State(), psStopped);
    Player->Stop();
    EXPECT_EQ(Player->State(), psStopped);
}

TEST_F(MidiPlayerTest, AStepWithNoTimeElapsedStillAdvancesOneMs) {
    LoadTracks(96, {OneNoteAt(960)});
    Player->Play();
    Player->TimerStep();
    Player->TimerStep();
    EXPECT_EQ(Seq().MsPos, 2);
}

TEST_F(MidiPlayerTest, SpeedScalesTheElapsedTime) {
    LoadTracks(96, {OneNoteAt(960)});
    Player->SetSpeed(150);
    Player->Play();
    StepTo(400);
    EXPECT_EQ(Seq().MsPos, 600);
}

TEST_F(MidiPlayerTest, TheClockMayWrapBetweenSteps) {
    LoadTracks(96, {OneNoteAt(960)});
    miditest::ManualTimer().Now = 0xFFFFFFF0u;
    Player->Play();
    miditest::ManualTimer().Now = 12; // 28 ms later
    Player->TimerStep();
    EXPECT_EQ(Seq().MsPos, 28);
}

TEST_F(MidiPlayerTest, TheEndOfTheSongStopsThePlayer) {
    LoadTracks(96, {OneNoteAt(0)});
    Player->Play();
    StepTo(600); // the note-off at tick 96 and the end-of-track at 96 are not yet due
    EXPECT_EQ(Player->State(), psPlaying);
    StepTo(608);
    EXPECT_EQ(Player->State(), psStopped);
    EXPECT_EQ(miditest::ManualTimer().Kills, 1);
    EXPECT_TRUE(Sent(Message(0x80, 60, 0)));
}

TEST_F(MidiPlayerTest, PlayWithoutASongOrATimerStaysStopped) {
    Player->Play();
    EXPECT_EQ(Player->State(), psStopped);
    WriteFile(Dir.Path("bad.mid"), "MThd");
    EXPECT_FALSE(Player->Load(Dir.Path("bad.mid")));
    Player->Play();
    EXPECT_EQ(Player->State(), psStopped);
    LoadTracks(96, {OneNoteAt(0)});
    miditest::ManualTimer().FailStart = true;
    Player->Play();
    EXPECT_EQ(Player->State(), psStopped);
}

TEST_F(MidiPlayerTest, LoadStopsAndStartsTheNewSongAtZero) {
    LoadTracks(96, {OneNoteAt(0)});
    Player->Play();
    StepTo(300);
    LoadTracks(96, {OneNoteAt(960)});
    EXPECT_EQ(Player->State(), psStopped);
    EXPECT_EQ(Seq().TickPos, 0);
    EXPECT_EQ(Player->ResumeTick(), 0);
    Player->Play();
    EXPECT_EQ(Seq().TickPos, 0);
}

TEST_F(MidiPlayerTest, TracksShareOneDeviceWhichClosesWithTheLastPort) {
    int before = TMidiDevice::OpenDeviceCount();
    LoadTracks(96, {OneNoteAt(0), OneNoteAt(0, 61), OneNoteAt(0, 62)});
    EXPECT_EQ(miditest::Recorded().Opens, 1);
    EXPECT_EQ(TMidiDevice::OpenDeviceCount(), before + 1);
    TTrack t;
    t.Control(0, 3, 7, 100).Control(0, 3, 91, 40).End(10);
    LoadTracks(96, {t});
    EXPECT_EQ(miditest::Recorded().Resets, 1);
    EXPECT_EQ(miditest::Recorded().Closes, 1);
    Seq().SetTick(5);
    TMidiServices::ClearMessages();
    Player.Reset();
    // Releasing the player puts the changed controller back to its default; 91 was unchanged.
    EXPECT_EQ(TMidiServices::Messages(), std::vector<uint32_t>({Message(0xB3, 7, 90)}));
    EXPECT_EQ(miditest::Recorded().Closes, 2);
    EXPECT_EQ(TMidiDevice::OpenDeviceCount(), before);
}

TEST_F(MidiPlayerTest, AnOutputThatDoesNotOpenIsPlayedSilently) {
    miditest::Recorded().FailOpen = true;
    LoadTracks(96, {OneNoteAt(0)});
    Player->Play();
    StepTo(1000);
    EXPECT_EQ(Player->State(), psStopped);
    EXPECT_TRUE(TMidiServices::Messages().empty());
}

TEST_F(MidiPlayerTest, DegenerateTimingValuesDivideByNothingZero) {
    // Division 1, a tempo of 0, a numerator of 0 and a denominator power of 200.
    TTrack conductor;
    conductor.Tempo(0, 0).Tempo(1, 999).TimeSignature(1, 0, 200).TimeSignature(2, 1, 4).End(5);
    LoadTracks(1, {conductor, OneNoteAt(3)});
    Player->Play();
    StepTo(40);
    EXPECT_EQ(Seq().Tempo, 1);
    EXPECT_EQ(Seq().BeatTicks, 1);
    EXPECT_EQ(Seq().SigNumer, 1);
    Seq().SetBarBeatTick(3, 0, 0);
    Seq().SetTimeMs(0x7FFFFFF0);
    Seq().SetTick(0x7FFFFFFF);
    EXPECT_GE(Seq().TickPos, 0);
}

TEST_F(MidiPlayerTest, LongSongsAtAFineDivisionDoNotOverflow) {
    // 2^31 ms at 32767 ticks per quarter overflows 32 bits in the product.
    LoadTracks(32767, {OneNoteAt(0)});
    Seq().SetTimeMs(100000);
    EXPECT_EQ(Seq().TickPos, 100000LL * 32767 / 600);
}

} // namespace
