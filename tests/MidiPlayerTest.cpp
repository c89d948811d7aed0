// The MIDI player and its sequencer with an output that records every message: stepped by hand
// against a test clock, and on its real timer thread (under ThreadSanitizer by scripts/tsan.sh).
#include "midi/MidiPlayer.h"
#include "ReaderSupport.h"
#include "TestMidiWriter.h"
#include "TestSupport.h"
#include "platform/MidiOut.h"
#include "platform/Timer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>

using namespace audiolens;
using namespace audiolens::platform;
using namespace testsupport;
using namespace std::chrono_literals;
using midiwriter::Smf;
using midiwriter::TTrack;

namespace {

// An output recording every message and, unless realTimer, a timer stepped by hand on a test clock
// whose Kill tries a step on another thread, as a timer firing while a command holds the player.
struct TFakes {
    std::mutex Mutex; // guards Sent
    std::vector<uint32_t> Sent;
    std::atomic<int> Opens{0}, Resets{0}, Closes{0}, Kills{0};
    std::atomic<bool> FailOpen{false}, FailStart{false};
    std::atomic<uint32_t> Now{0};
    TimerStep Step = nullptr;
    void* Context = nullptr;
    static inline TFakes* F = nullptr;

    explicit TFakes(bool realTimer = false) {
        static const TMidiOutService out = {
            nullptr,
            nullptr,
            [](uint32_t id) { return F->FailOpen ? NoMidiOut : ++F->Opens + MidiOutHandle(id); },
            [](MidiOutHandle, uint32_t message) {
                std::lock_guard<std::mutex> lock(F->Mutex);
                F->Sent.push_back(message);
            },
            [](MidiOutHandle) { ++F->Resets; },
            [](MidiOutHandle) { ++F->Closes; }};
        static const TTimerService timer = {
            [] { return F->Now.load(); },
            [](uint32_t, TimerStep step, void* context) {
                return F->Step = step, F->Context = context, F->FailStart ? 0u : 1u;
            },
            [](uint32_t) { ++F->Kills, std::thread(F->Step, F->Context).join(); }};
        F = this;
        SetMidiOutService(&out);
        if (!realTimer) SetTimerService(&timer);
    }
    ~TFakes() {
        SetMidiOutService(nullptr);
        SetTimerService(nullptr);
    }
    std::vector<uint32_t> Take() {
        std::lock_guard<std::mutex> lock(Mutex);
        return std::exchange(Sent, {});
    }
};

TTrack OneNoteAt(int tick, int key = 60) {
    return TTrack().Event(tick, {0x90, key, 100}).Event(96, {0x80, key, 0}).End();
}

// Steps "command [numbers][: fields]" split by ';': after each, the position, the fakes' counts and
// the messages sent during it (Sent=, status data1 data2 in hex) hold the fields. "load D" loads
// the row's next song at division D; "to T" steps the timer every 4 ms until the clock reads T.
// Ticks = ms * Division / Tempo (ms a quarter); an event is sent once its tick lies before them.
struct TScenario {
    std::vector<std::vector<TTrack>> Songs;
    std::string Steps;
};

const TScenario Scenarios[] = {
    // Tempo and time signature outside track 0 are ignored.
    {{{OneNoteAt(96), TTrack().Tempo(0, 250000).TimeSignature(0, 3, 3).End()}},
     "load 96: Tracks=2|; play; to 600: State=2|Tick=96|Ms=600|Tempo=600|BarTicks=384|Sent=|;"
     "to 604: Tick=96|Sent=|;" // 604 * 96 / 600 = 96.6: the note at 96 is not yet due
     "to 608: Tick=97|Bar=0|Beat=1|Sent=903C64,|;"
     "rewind: State=0|Tick=0|Ms=0|Beat=0|Resume=0|Sent=803C00,|;"
     // The end of the song stops the player: its note-off at 192 is due 1208 ms after Play.
     "play; to 1812: State=2|Sent=903C64,|; to 1816: State=0|Kills=2|Sent=803C00,|"},
    // Tempo events set ms per quarter by integer division; tick 96 lies at 500 ms.
    {{{TTrack().Tempo(0, 500000).Tempo(96, 333333).End(96), OneNoteAt(192)}},
     "load 96; play: Tempo=500|; to 500: Tick=96|Tempo=333|TempoTick=96|TempoMs=500|;"
     "to 832: Tick=191|;" // 332 ms at 333 ms a quarter: 95.7 ticks
     "to 836: Tick=192|Sent=|; to 840: Tick=194|Sent=903C64,|;" // 96 + 340 * 96 / 333 = 194.02
     "tick 192: Ms=833|"},                                      // 500 + 96 * 333 / 96
    // 6/8: bars of 288 ticks, beats of 48. Then 4/4 for 100 ticks (part of bar 0) and 3/4,
    // which counts from bar 1. Then half-note and whole-note beats.
    {{{TTrack().TimeSignature(0, 6, 3).End(2000)},
      {TTrack().TimeSignature(100, 3, 2).End(3000)},
      {TTrack().TimeSignature(0, 2, 1).TimeSignature(384, 1, 0).End(3000)}},
     "load 96; tick 341: Bar=1|Beat=1|BeatTick=5|BeatTicks=48|BarTicks=288|;" // 288 + 48 + 5
     "load 96; tick 491: Bar=2|Beat=1|BeatTick=7|BarTicks=288|SigBar=1|SigTick=100|;"
     "bbt 1 2 0: Tick=292|; bbt 0 1 0: Tick=96|Ms=600|;" // 100 + 2 * 96; back under 4/4
     "load 96; tick 200: BeatTicks=192|BarTicks=384|; tick 400: Bar=1|BeatTick=16|BeatTicks=384|"},
    // Chasing sends controllers, programs and bends, no notes; going back resends each program.
    {{{TTrack().Event(10, {0xB0, 7, 100,  10, 0xC0, 33, 10, 0x90, 60,   90, 0,
                           0xE0, 0, 0x50, 10, 0x80, 60, 0,  100,  0xB0, 10, 20})},
      {TTrack().Event(0, {0xC4, 19, 0, 0x94, 60, 1, 10, 0x84, 60, 0})}},
     "load 96; tick 50: Next0=5|Sent=B00764,C02100,E00050,|; load 96; tick 100;"
     "tick 5: Sent=C41300,|"},
    // Stop switches both notes off and releases the sustain pedal; the step tried during Stop
    // skips itself. Play goes on from tick 160 = 1000 * 96 / 600, reaching 480 2000 ms later.
    {{{TTrack()
           .Event(0, {0xB0, 64, 127, 0, 0x90, 60, 100, 0, 0x91, 64, 100})
           .Event(480, {0x80, 60, 0, 0, 0x81, 64, 0, 0, 0x90, 67, 80, 96, 0x80, 67, 0})}},
     "load 96; play; to 1000;"
     "stop: State=0|Tick=160|Ms=1000|Resume=160|Sent=803C00,814000,B04000,|;"
     "clock 6000; play: Tick=160|Sent=|; to 8000: Ms=3000|Tick=480|Sent=|;"
     "to 8008: Sent=803C00,814000,904350,|"},
    // Pause holds the position and Play goes on from it; Load stops and starts over. A step adds
    // at least 1 ms, the time elapsed across a clock wrap, and speed percent of it.
    {{{OneNoteAt(960)}, {OneNoteAt(960)}, {OneNoteAt(960)}, {OneNoteAt(960)}},
     "load 96; play; to 300; pause; to 10300: State=1|Ms=300|;"
     "play; to 10304: State=2|Ms=304|Kills=0|; load 96: State=0|Tick=0|; play: Tick=0|Resume=0|;"
     "step; step: Ms=2|; load 96; clock -16; play; clock 12; step: Ms=28|;"
     "load 96; speed 150; play; to 412: Ms=600|"},
    // No song, no timer ("fail open start"), or a command while stopped: it stays stopped; with
    // no port it plays silently.
    {{{}, {OneNoteAt(0)}, {OneNoteAt(0)}},
     "play: State=0|; load 96: Tracks=0|; play: State=0|; load 96: Tracks=1|;"
     "pause: State=0|; stop: State=0|; fail 0 1; play: State=0|;"
     "fail 1; load 96: Sent=|Opens=1|; play; to 1000: State=0|Sent=|"},
    // One device for all tracks, closed with the last port; a release resets changed controllers.
    {{{OneNoteAt(0), OneNoteAt(0, 61), OneNoteAt(0, 62)},
      {TTrack().Event(0, {0xB3, 7, 100, 0, 91, 40}).End(10)}},
     "load 96: Opens=1|Devices=1|; load 96: Resets=1|Closes=1|; tick 5;"
     "release: Closes=2|Devices=0|Sent=B3075A,|"},
    // Division 1, a tempo of 0, a numerator of 0 and a denominator power of 200 divide by no
    // zero; 2^31 ms at 32767 ticks per quarter overflows 32 bits in the product.
    {{{TTrack().Tempo(0, 0).Tempo(1, 999).TimeSignature(1, 0, 200).TimeSignature(2, 1, 4).End(5),
       OneNoteAt(3)},
      {OneNoteAt(0)}},
     "load 1; play; to 40: Tempo=1|BeatTicks=1|SigNumer=1|; bbt 3 0 0; ms 2147483632;"
     "tick 2147483647: Tick=2147483647|;"
     "load 32767; ms 100000: Tick=5461166|"}, // 100000 * 32767 / 600
};

TEST(MidiPlayerTest, Scenarios) {
    TTempDir dir;
    const std::string mid = dir.Path("song.mid");
    for (const TScenario& row : Scenarios) {
        TFakes fakes;
        TRef<TMidiPlayer> player(new TMidiPlayer);
        size_t n = 0; // the next song
        int64_t a = 0, b = 0, c = 0;
        const std::map<std::string, std::function<void()>> commands = {
            {"load", [&] { WriteFile(mid, Smf(1, int(a), row.Songs.at(n++))), player->Load(mid); }},
            {"play", [&] { player->Play(); }},
            {"pause", [&] { player->Pause(); }},
            {"stop", [&] { player->Stop(); }},
            {"rewind", [&] { player->Rewind(); }},
            {"release", [&] { player.Reset(new TMidiPlayer); }},
            {"to",
             [&] {
                 for (; fakes.Now + 4 <= a; player->TimerStep())
                     fakes.Now += 4;
             }},
            {"step", [&] { player->TimerStep(); }},
            {"clock", [&] { fakes.Now = uint32_t(a); }},
            {"speed", [&] { player->SetSpeed(int32_t(a)); }},
            {"tick", [&] { player->Sequencer()->SetTick(int32_t(a)); }},
            {"ms", [&] { player->Sequencer()->SetTimeMs(int32_t(a)); }},
            {"bbt",
             [&] { player->Sequencer()->SetBarBeatTick(int32_t(a), int32_t(b), int32_t(c)); }},
            {"fail", [&] { fakes.FailOpen = a != 0, fakes.FailStart = b != 0; }}};
        std::istringstream steps(row.Steps);
        for (std::string step; std::getline(steps, step, ';');) {
            SCOPED_TRACE(step);
            const size_t colon = std::min(step.find(':'), step.size());
            std::string command, want;
            a = b = c = 0;
            std::istringstream(step.substr(0, colon)) >> command >> a >> b >> c;
            if (colon < step.size()) std::istringstream(step.substr(colon + 1)) >> want;
            commands.at(command)();
            const TMidiSequencer& seq = *player->Sequencer();
            const size_t tracks = seq.Song ? seq.Song->Tracks.size() : 0;
            char text[512];
            std::snprintf(
                text, sizeof text,
                "State=%d|Tick=%d|Ms=%d|Tempo=%d|TempoTick=%d|TempoMs=%d|Bar=%d|Beat=%d|"
                "BeatTick=%d|BeatTicks=%d|BarTicks=%d|SigBar=%d|SigTick=%d|SigNumer=%d|Resume=%d|"
                "Tracks=%zu|Next0=%zu|Opens=%d|Resets=%d|Closes=%d|Kills=%d|Devices=%d|Sent=",
                player->State(), seq.TickPos, seq.MsPos, seq.Tempo, seq.TempoTick, seq.TempoMs,
                seq.Bar, seq.Beat, seq.BeatTick, seq.BeatTicks, seq.BarTicks, seq.SigBar,
                seq.SigTick, seq.SigNumer, player->ResumeTick(), tracks,
                tracks ? seq.Song->Tracks[0]->NextEvent : 0, fakes.Opens.load(),
                fakes.Resets.load(), fakes.Closes.load(), fakes.Kills.load(),
                TMidiDevice::OpenDeviceCount());
            std::string got = text;
            for (uint32_t m : fakes.Take()) {
                std::snprintf(text, sizeof text, "%02X%02X%02X,", m & 0xFF, m >> 8 & 0xFF, m >> 16);
                got += text;
            }
            ExpectFields(got + "|", want);
        }
    }
}

// A song of quick notes: 10 ms per quarter note, 24 ticks a quarter, a note every 6 ticks.
std::string QuickSong(int notes) {
    TTrack conductor = TTrack().Tempo(0, 10000).TimeSignature(0, 3, 2).End(uint32_t(notes * 6));
    TTrack melody;
    for (int i = 0; i < notes; ++i) // volume, note on, note off (running status)
        melody.Event(0, {0xB0, 7, i % 128, 0, 0x90, 60 + i % 12, 100, 6, 0x80, 60 + i % 12, 0});
    return Smf(1, 24, {conductor, melody.End()});
}

// Commands from two threads against the running steps; then Stop, after which nothing is sent,
// and the song's end, which stops the player from the timer thread.
TEST(MidiThreadTest, CommandsStopAndSongEndAgainstTheTimerThread) {
    TFakes fakes(/*realTimer=*/true);
    TTempDir dir;
    WriteFile(dir.Path("a.mid"), QuickSong(20)); // 120 ticks: 50 ms
    WriteFile(dir.Path("b.mid"), QuickSong(4000));
    TRef<TMidiPlayer> player(new TMidiPlayer);
    std::atomic<bool> done{false};
    int loads = 0; // by the first thread only
    const std::function<void()> commands[] = {
        [&] { player->Play(); },
        [&] { player->Pause(); },
        [&] { player->Stop(); },
        [&] { player->Rewind(); },
        [&] { player->Position(); },
        [&] { player->Load(dir.Path(++loads % 2 ? "a.mid" : "b.mid")), player->Play(); }};
    auto hammer = [&](unsigned seed, bool load) {
        std::mt19937 random(seed);
        while (!done) {
            commands[random() % (load ? 6 : 5)]();
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
        }
    };
    ASSERT_TRUE(player->Load(dir.Path("b.mid")));
    std::thread first(hammer, 1u, true), second(hammer, 2u, false);
    std::this_thread::sleep_for(1500ms);
    done = true;
    first.join();
    second.join();
    // Timer steps did run between the commands: notes were sounded.
    const auto sent = fakes.Take();
    EXPECT_TRUE(std::any_of(sent.begin(), sent.end(),
                            [](uint32_t m) { return (m & 0xF0) == 0x90 && (m >> 16) != 0; }));
    ASSERT_TRUE(player->Load(dir.Path("b.mid")));
    player->Play();
    std::this_thread::sleep_for(40ms);
    player->Stop();
    EXPECT_FALSE(fakes.Take().empty());
    std::this_thread::sleep_for(40ms);
    EXPECT_TRUE(fakes.Take().empty());
    ASSERT_TRUE(player->Load(dir.Path("a.mid")));
    for (int round = 0; round < 3; ++round) {
        player->Rewind();
        player->Play();
        ASSERT_EQ(player->State(), psPlaying);
        const auto until = std::chrono::steady_clock::now() + 5s;
        while (player->State() != psStopped && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(2ms);
        ASSERT_EQ(player->State(), psStopped) << "round " << round;
        EXPECT_GE(player->Position().TickPos, 120);
    }
    player.Reset();
    EXPECT_EQ(TMidiDevice::OpenDeviceCount(), 0);
}

} // namespace
