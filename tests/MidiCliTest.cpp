// The command line's --play on a file that does not load, and on a machine without a MIDI
// sequencer on a song whose missing end-of-track the loader adds.
#include "TestMidiWriter.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace testsupport;

namespace {

// The exit status of --play on the file, then what it wrote to stderr.
std::string Play(const std::string& file, const TTempDir& dir) {
    const int status = Run(Quote(AUDIOLENS_CLI) + " --play " + Quote(file) + " 2>" +
                           Quote(dir.Path("stderr")) + " >/dev/null");
    return std::to_string(status) + " " + ReadFile(dir.Path("stderr"));
}

TEST(MidiCliTest, AFileThatDoesNotLoadOrNoOutputPortFails) {
    TTempDir dir;
    const std::string broken = dir.Path("broken.mid"), song = dir.Path("song.mid");
    WriteFile(broken, "MThd");
    EXPECT_EQ(Play(broken, dir),
              "1 audiolens: " + broken + ": not a MIDI file that can be played\n");
    if (::access("/dev/snd/seq", F_OK) == 0) GTEST_SKIP() << "this machine has a MIDI sequencer";
    WriteFile(song, midiwriter::Smf(0, 96, {midiwriter::TTrack().Event(0, {0xC0, 1})}));
    EXPECT_EQ(Play(song, dir), "1 audiolens: " + song + ": no MIDI output port\n");
}

} // namespace
