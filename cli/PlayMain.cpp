// audiolens-play: the MIDI player of `audiolens --play`, a program of its own so that the
// command line that reads files never loads the MIDI libraries.
#include "cli/Commands.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("Usage: audiolens-play FILE.mid\n", stderr);
        return 2;
    }
    return audiolens::cli::RunPlay(argv[1]);
}
