// The command line's --play on a file that does not load, and on a machine without a MIDI
// sequencer on a song whose missing end-of-track the loader adds.
#include "TestMidiWriter.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace testsupport;

TEST(MidiCliTest, AFileThatDoesNotLoadOrNoOutputPortFails) {
    const auto play = [](const std::string& file) {
        std::string err;
        const int status = testsupport::Run(
            Quote(AUDIOLENS_CLI) + " --play " + Quote(file) + " 2>&1 >/dev/null", &err);
        return std::to_string(status) + " " + err;
    };
    TTempDir dir;
    const std::string broken = dir.Path("broken.mid"), song = dir.Path("song.mid");
    WriteFile(broken, "MThd");
    EXPECT_EQ(play(broken), "1 audiolens: " + broken + ": not a MIDI file that can be played\n");
    if (::access("/dev/snd/seq", F_OK) == 0) GTEST_SKIP() << "this machine has a MIDI sequencer";
    WriteFile(song, midiwriter::Smf(0, 96, {midiwriter::TTrack().Event(0, {0xC0, 1})}));
    EXPECT_EQ(play(song), "1 audiolens: " + song + ": no MIDI output port\n");
}
