// The player and its sequencer, driven step by step against a clock the test sets, with an
// output that records every message. Timings are worked out from the tempo arithmetic:
// ticks = ms * Division / Tempo (ms per quarter), an event sent once its tick lies before the
// position.
#include "midi/MidiPlayer.h"
#include "ReaderSupport.h"
#include "TestMidiServices.h"
#include "TestMidiWriter.h"
#include "TestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <thread>

using namespace audiolens;
using namespace testsupport;
using miditest::Message;
using miditest::TMidiServices;
using midiwriter::TTrack;

namespace {

using TMessages = std::vector<uint32_t>;

class MidiPlayerTest : public ::testing::Test {
  protected:
    void LoadTracks(int division, const std::vector<TTrack>& tracks) {
        WriteFile(Dir.Path("song.mid"), midiwriter::Smf(1, division, tracks));
        ASSERT_TRUE(Player->Load(Dir.Path("song.mid")));
        TMidiServices::ClearMessages();
    }
    // Timer steps every 4 ms until the clock reads ms.
    void StepTo(uint32_t ms) {
        while (Clock() + 4 <= ms) {
            Clock() += 4;
            Player->TimerStep();
        }
    }
    static std::atomic<uint32_t>& Clock() { return miditest::ManualTimer().Now; }
    static bool Sent(uint32_t message) {
        auto all = TMidiServices::Messages();
        return std::find(all.begin(), all.end(), message) != all.end();
    }
    TMidiSequencer& Seq() { return *Player->Sequencer(); }
    // The player's state and the sequencer's position as "Key=Value|" fields.
    std::string Pos() {
        const TMidiSequencer& s = Seq();
        char text[320];
        std::snprintf(text, sizeof text,
                      "State=%d|Tick=%d|Ms=%d|Tempo=%d|TempoTick=%d|TempoMs=%d|Bar=%d|Beat=%d|"
                      "BeatTick=%d|BeatTicks=%d|BarTicks=%d|SigBar=%d|SigTick=%d|SigNumer=%d|"
                      "Resume=%d|",
                      Player->State(), s.TickPos, s.MsPos, s.Tempo, s.TempoTick, s.TempoMs, s.Bar,
                      s.Beat, s.BeatTick, s.BeatTicks, s.BarTicks, s.SigBar, s.SigTick, s.SigNumer,
                      Player->ResumeTick());
        return text;
    }

    TMidiServices Services;
    TTempDir Dir;
    TRef<TMidiPlayer> Player{new TMidiPlayer};
};

const std::string Stopped = "State=0|", Paused = "State=1|", Playing = "State=2|";

TTrack OneNoteAt(int tick, int key = 60) {
    TTrack t;
    t.NoteOn(tick, 0, key, 100).NoteOff(96, 0, key).End();
    return t;
}

TEST_F(MidiPlayerTest, DefaultTempoIs600MsPerQuarter) {
    LoadTracks(96, {OneNoteAt(96)});
    Player->Play();
    StepTo(600); // tick 96 exactly, which is not yet due
    ExpectFields(Pos(), Playing + "Tick=96|Ms=600|Tempo=600");
    StepTo(604); // 604 * 96 / 600 = 96.6: still tick 96
    EXPECT_FALSE(Sent(Message(0x90, 60, 100)));
    StepTo(608); // 97.3: the note is now before the position
    ExpectFields(Pos(), "Tick=97|Bar=0|Beat=1");
    EXPECT_TRUE(Sent(Message(0x90, 60, 100)));
    Player->Rewind(); // back from beat 1 of bar 0
    ExpectFields(Pos(), Stopped + "Tick=0|Ms=0|Beat=0|Resume=0|");
}

TEST_F(MidiPlayerTest, TempoEventsSetMsPerQuarterByIntegerDivision) {
    LoadTracks(96, {TTrack().Tempo(0, 500000).Tempo(96, 333333).End(96), OneNoteAt(0)});
    Player->Play();
    ExpectFields(Pos(), "Tempo=500");
    StepTo(500); // tick 96, where the second tempo starts
    ExpectFields(Pos(), "Tick=96|Tempo=333|TempoTick=96|TempoMs=500");
    StepTo(832); // 332 ms at 333 ms per quarter: 95.7 ticks
    ExpectFields(Pos(), "Tick=191");
    StepTo(836); // 336 ms: 96.9 ticks
    ExpectFields(Pos(), "Tick=192");
}

TEST_F(MidiPlayerTest, EventAfterATempoChangeIsSentOnItsNewTime) {
    // 96 ticks at 600 ms, then 300 ms per quarter: tick 192 lies at 600 + 300 = 900 ms.
    LoadTracks(96, {TTrack().Tempo(96, 300000).End(96), OneNoteAt(192)});
    Player->Play();
    StepTo(900);
    ExpectFields(Pos(), "Tick=192");
    EXPECT_FALSE(Sent(Message(0x90, 60, 100)));
    StepTo(904); // 192 + 4 * 96 / 300 = 193
    EXPECT_TRUE(Sent(Message(0x90, 60, 100)));
    Seq().SetTick(192); // positioning by tick gives the same time back
    ExpectFields(Pos(), "Ms=900");
}

TEST_F(MidiPlayerTest, TempoAndSignatureOutsideTrackZeroAreIgnored) {
    TTrack other = TTrack().Tempo(0, 250000).TimeSignature(0, 3, 3);
    LoadTracks(96, {OneNoteAt(0, 50), other.NoteOn(0, 0, 60, 1).NoteOff(96, 0, 60).End()});
    Player->Play();
    StepTo(600);
    ExpectFields(Pos(), "Tick=96|Tempo=600|BarTicks=384");
}

TEST_F(MidiPlayerTest, BarsAndBeatsOfTimeSignatures) {
    LoadTracks(96, {TTrack().TimeSignature(0, 6, 3).End(2000)});
    Seq().SetTick(288 + 48 + 5); // 6/8: bars of 288 ticks, beats of 48
    ExpectFields(Pos(), "Bar=1|Beat=1|BeatTick=5|BeatTicks=48|BarTicks=288");
    // 4/4 for 100 ticks (part of bar 0), then 3/4: the new signature counts from bar 1.
    LoadTracks(96, {TTrack().TimeSignature(100, 3, 2).End(3000)});
    Seq().SetTick(100 + 288 + 96 + 7);
    ExpectFields(Pos(), "Bar=2|Beat=1|BeatTick=7|BarTicks=288|SigBar=1|SigTick=100");
    Seq().SetBarBeatTick(1, 2, 0); // 100 + 2 * 96
    ExpectFields(Pos(), "Tick=292");
    Seq().SetBarBeatTick(0, 1, 0); // back under 4/4: tick 96
    ExpectFields(Pos(), "Tick=96|Ms=600");
    // Half-note and whole-note beats.
    LoadTracks(96, {TTrack().TimeSignature(0, 2, 1).TimeSignature(384, 1, 0).End(3000)});
    Seq().SetTick(200);
    ExpectFields(Pos(), "BeatTicks=192|BarTicks=384");
    Seq().SetTick(400);
    ExpectFields(Pos(), "Bar=1|BeatTick=16|BeatTicks=384");
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
    EXPECT_EQ(TMidiServices::Messages(),
              TMessages({Message(0xB0, 7, 100), Message(0xC0, 33, 0), Message(0xE0, 0, 0x50)}));
    EXPECT_EQ(Seq().Song->Tracks[0]->NextEvent, 5u);
    // Backwards: a reset sends each track's program on its channel, then chases again.
    LoadTracks(96, {TTrack().Program(0, 4, 19).NoteOn(0, 4, 60, 1).NoteOff(10, 4, 60).End()});
    Seq().SetTick(100);
    TMidiServices::ClearMessages();
    Seq().SetTick(5);
    EXPECT_EQ(TMidiServices::Messages(), TMessages({Message(0xC4, 19, 0)}));
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
    TMidiServices::ClearMessages();
    // A timer step that comes while Stop holds the player skips itself: no millisecond added.
    miditest::Recorded().OnMessage = [this] {
        std::thread([this] { Player->TimerStep(); }).join();
    };
    Player->Stop();
    miditest::Recorded().OnMessage = nullptr;
    ExpectFields(Pos(), Stopped + "Tick=160|Ms=1000|Resume=160"); // 1000 * 96 / 600
    // Both sounding notes off and the sustain pedal released.
    EXPECT_EQ(TMidiServices::Messages(),
              TMessages({Message(0x80, 60, 0), Message(0x81, 64, 0), Message(0xB0, 64, 0)}));
    Clock() += 5000; // time passes while stopped
    TMidiServices::ClearMessages();
    Player->Play();
    ExpectFields(Pos(), "Tick=160");
    EXPECT_TRUE(TMidiServices::Messages().empty());
    StepTo(Clock() + 2000); // 480 ticks lie at 3000 ms, 2000 ms after the resumed 1000
    ExpectFields(Pos(), "Ms=3000");
    StepTo(Clock() + 8);
    EXPECT_TRUE(Sent(Message(0x90, 67, 80)));
}

TEST_F(MidiPlayerTest, PauseForTenSecondsContinuesWhereItPaused) {
    LoadTracks(96, {OneNoteAt(960)});
    Player->Play();
    StepTo(300);
    Player->Pause();
    StepTo(10300);
    ExpectFields(Pos(), Paused + "Ms=300");
    Player->Play();
    StepTo(10304);
    ExpectFields(Pos(), Playing + "Ms=304");
    EXPECT_EQ(miditest::ManualTimer().Kills, 0); // pause never stopped the timer
}

TEST_F(MidiPlayerTest, ElapsedTimeOfASteps) {
    LoadTracks(96, {OneNoteAt(960)});
    Player->Play();
    Player->TimerStep(); // no time elapsed: still one ms
    Player->TimerStep();
    ExpectFields(Pos(), "Ms=2");
    LoadTracks(96, {OneNoteAt(960)});
    Player->SetSpeed(150);
    Player->Play();
    StepTo(Clock() + 400);
    ExpectFields(Pos(), "Ms=600");
    Player->SetSpeed(100);
    LoadTracks(96, {OneNoteAt(960)});
    Clock() = 0xFFFFFFF0u;
    Player->Play();
    Clock() = 12; // the clock wrapped: 28 ms later
    Player->TimerStep();
    ExpectFields(Pos(), "Ms=28");
}

TEST_F(MidiPlayerTest, TheEndOfTheSongStopsThePlayer) {
    LoadTracks(96, {OneNoteAt(0)});
    Player->Play();
    StepTo(600); // the note-off at tick 96 and the end-of-track at 96 are not yet due
    ExpectFields(Pos(), Playing);
    StepTo(608);
    ExpectFields(Pos(), Stopped);
    EXPECT_EQ(miditest::ManualTimer().Kills, 1);
    EXPECT_TRUE(Sent(Message(0x80, 60, 0)));
}

TEST_F(MidiPlayerTest, PlayWithoutASongOrATimerStaysStopped) {
    Player->Play();
    ExpectFields(Pos(), Stopped);
    WriteFile(Dir.Path("bad.mid"), "MThd");
    EXPECT_FALSE(Player->Load(Dir.Path("bad.mid")));
    Player->Play();
    ExpectFields(Pos(), Stopped);
    LoadTracks(96, {OneNoteAt(0)});
    Player->Pause(); // while stopped: stays stopped
    Player->Stop();
    ExpectFields(Pos(), Stopped);
    miditest::ManualTimer().FailStart = true;
    Player->Play();
    ExpectFields(Pos(), Stopped);
}

TEST_F(MidiPlayerTest, AnOutputThatDoesNotOpenIsPlayedSilently) {
    miditest::Recorded().FailOpen = true;
    LoadTracks(96, {OneNoteAt(0)});
    Player->Play();
    StepTo(1000);
    ExpectFields(Pos(), Stopped);
    EXPECT_TRUE(TMidiServices::Messages().empty());
}

TEST_F(MidiPlayerTest, LoadStopsAndStartsTheNewSongAtZero) {
    LoadTracks(96, {OneNoteAt(0)});
    Player->Play();
    StepTo(300);
    LoadTracks(96, {OneNoteAt(960)});
    ExpectFields(Pos(), Stopped + "Tick=0|");
    Player->Play();
    ExpectFields(Pos(), "Tick=0|Resume=0|");
}

TEST_F(MidiPlayerTest, TracksShareOneDeviceWhichClosesWithTheLastPort) {
    int before = TMidiDevice::OpenDeviceCount();
    LoadTracks(96, {OneNoteAt(0), OneNoteAt(0, 61), OneNoteAt(0, 62)});
    EXPECT_EQ(miditest::Recorded().Opens, 1);
    EXPECT_EQ(TMidiDevice::OpenDeviceCount(), before + 1);
    LoadTracks(96, {TTrack().Control(0, 3, 7, 100).Control(0, 3, 91, 40).End(10)});
    EXPECT_EQ(miditest::Recorded().Resets, 1);
    EXPECT_EQ(miditest::Recorded().Closes, 1);
    Seq().SetTick(5);
    TMidiServices::ClearMessages();
    Player.Reset();
    // Releasing the player puts the changed controller back to its default; 91 was unchanged.
    EXPECT_EQ(TMidiServices::Messages(), TMessages({Message(0xB3, 7, 90)}));
    EXPECT_EQ(miditest::Recorded().Closes, 2);
    EXPECT_EQ(TMidiDevice::OpenDeviceCount(), before);
}

TEST_F(MidiPlayerTest, DegenerateTimingValuesDivideByNothingZero) {
    // Division 1, a tempo of 0, a numerator of 0 and a denominator power of 200.
    LoadTracks(
        1,
        {TTrack().Tempo(0, 0).Tempo(1, 999).TimeSignature(1, 0, 200).TimeSignature(2, 1, 4).End(5),
         OneNoteAt(3)});
    Player->Play();
    StepTo(40);
    ExpectFields(Pos(), "Tempo=1|BeatTicks=1|SigNumer=1");
    Seq().SetBarBeatTick(3, 0, 0);
    Seq().SetTimeMs(0x7FFFFFF0);
    Seq().SetTick(0x7FFFFFFF);
    EXPECT_GE(Seq().TickPos, 0);
    // 2^31 ms at 32767 ticks per quarter overflows 32 bits in the product.
    LoadTracks(32767, {OneNoteAt(0)});
    Seq().SetTimeMs(100000);
    EXPECT_EQ(Seq().TickPos, 100000LL * 32767 / 600);
}

} // namespace
