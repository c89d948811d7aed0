// The command line's --play on a machine without a MIDI sequencer, and on files that do not load.
#include "TestMidiWriter.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace testsupport;

namespace {

int Play(const std::string& file, std::string& errors, const TTempDir& dir) {
    std::string command = Quote(AUDIOLENS_CLI) + " --play " + Quote(file) + " 2>" +
                          Quote(dir.Path("stderr")) + " >/dev/null";
    int status = Run(command);
    errors = ReadFile(dir.Path("stderr"));
    return status;
}

TEST(MidiCliTest, AFileThatDoesNotLoadIsReported) {
    TTempDir dir;
    WriteFile(dir.Path("broken.mid"), "MThd");
    std::string errors;
    EXPECT_EQ(Play(dir.Path("broken.mid"), errors, dir), 1);
    EXPECT_EQ(errors,
              "audiolens: " + dir.Path("broken.mid") + ": not a MIDI file that can be played\n");
}

TEST(MidiCliTest, WithoutAnOutputPortItSaysSoAndFails) {
    if (::access("/dev/snd/seq", F_OK) == 0) GTEST_SKIP() << "this machine has a MIDI sequencer";
    TTempDir dir;
    midiwriter::TTrack t;
    t.NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60).End();
    WriteFile(dir.Path("song.mid"), midiwriter::Smf(0, 96, {t}));
    std::string errors;
    EXPECT_EQ(Play(dir.Path("song.mid"), errors, dir), 1);
    EXPECT_EQ(errors, "audiolens: " + dir.Path("song.mid") + ": no MIDI output port\n");
}

} // namespace
