// The player against its real timer thread: commands from other threads hammer Load, Play,
// Pause and Stop while steps run, and songs end (and stop the player) from the timer thread
// itself. Run under ThreadSanitizer by scripts/tsan.sh.
#include "TestMidiServices.h"
#include "TestMidiWriter.h"
#include "TestSupport.h"
#include "midi/MidiPlayer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <thread>

using namespace audiolens;
using namespace testsupport;
using miditest::TMidiServices;
using midiwriter::TTrack;

namespace {

// A song of quick notes: 10 ms per quarter note, 24 ticks a quarter.
std::string QuickSong(int notes) {
    TTrack conductor;
    conductor.Tempo(0, 10000).TimeSignature(0, 3, 2).End(static_cast<uint32_t>(notes * 6));
    TTrack melody;
    for (int i = 0; i < notes; ++i)
        melody.Control(0, 0, 7, i % 128).NoteOn(0, 0, 60 + i % 12, 100).NoteOff(6, 0, 60 + i % 12);
    melody.End();
    return midiwriter::Smf(1, 24, {conductor, melody});
}

bool WaitForStop(TMidiPlayer& player, std::chrono::milliseconds limit) {
    auto until = std::chrono::steady_clock::now() + limit;
    while (player.State() != psStopped && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return player.State() == psStopped;
}

TEST(MidiThreadTest, SongEndStopsThePlayerFromTheTimerThread) {
    TMidiServices services(/*realTimer=*/true);
    TTempDir dir;
    WriteFile(dir.Path("quick.mid"), QuickSong(20)); // 20 notes of 1/4 quarter: 50 ms
    TRef<TMidiPlayer> player(new TMidiPlayer);
    ASSERT_TRUE(player->Load(dir.Path("quick.mid")));
    for (int round = 0; round < 3; ++round) {
        player->Rewind();
        player->Play();
        ASSERT_EQ(player->State(), psPlaying);
        ASSERT_TRUE(WaitForStop(*player, std::chrono::seconds(5))) << "round " << round;
        EXPECT_GE(player->Position().TickPos, 120);
    }
    player.Reset();
    EXPECT_EQ(TMidiDevice::OpenDeviceCount(), 0);
}

TEST(MidiThreadTest, NothingIsSentAfterStopReturns) {
    TMidiServices services(true);
    TTempDir dir;
    WriteFile(dir.Path("long.mid"), QuickSong(4000));
    TRef<TMidiPlayer> player(new TMidiPlayer);
    ASSERT_TRUE(player->Load(dir.Path("long.mid")));
    player->Play();
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    player->Stop();
    size_t afterStop = TMidiServices::Messages().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    EXPECT_EQ(TMidiServices::Messages().size(), afterStop);
    EXPECT_GT(afterStop, 0u);
}

TEST(MidiThreadTest, CommandsFromTwoThreadsAgainstRunningSteps) {
    TMidiServices services(true);
    TTempDir dir;
    WriteFile(dir.Path("a.mid"), QuickSong(30));
    WriteFile(dir.Path("b.mid"), QuickSong(300));
    TRef<TMidiPlayer> player(new TMidiPlayer);
    std::atomic<bool> done{false};
    const std::function<void(std::mt19937&)> commands[] = {
        [&](std::mt19937&) { player->Play(); },
        [&](std::mt19937&) { player->Pause(); },
        [&](std::mt19937&) { player->Stop(); },
        [&](std::mt19937&) { player->Rewind(); },
        [&](std::mt19937&) { player->Position(); },
        [&](std::mt19937& random) {
            player->Load(dir.Path(random() % 2 ? "a.mid" : "b.mid"));
            player->Play();
        }};
    auto hammer = [&](unsigned seed, bool loads) {
        std::mt19937 random(seed);
        while (!done) {
            commands[random() % (loads ? 6 : 5)](random);
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
        }
    };
    ASSERT_TRUE(player->Load(dir.Path("b.mid")));
    TMidiServices::ClearMessages();
    std::thread first(hammer, 1u, true), second(hammer, 2u, false);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    done = true;
    first.join();
    second.join();
    player->Stop();
    EXPECT_EQ(player->State(), psStopped);
    // Timer steps did run between the commands: notes were sounded.
    auto sent = TMidiServices::Messages();
    EXPECT_TRUE(std::any_of(sent.begin(), sent.end(),
                            [](uint32_t m) { return (m & 0xF0) == 0x90 && (m >> 16) != 0; }));
    player.Reset();
    EXPECT_EQ(TMidiDevice::OpenDeviceCount(), 0);
}

} // namespace
