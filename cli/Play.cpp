// --play: replaced by the MIDI player's front end once it is built.
#include "cli/Commands.h"

#include <iostream>

namespace audiolens::cli {

int RunPlay(const std::string& fileName) {
    std::cerr << "audiolens: " << fileName << ": MIDI playback is not built in yet\n";
    return 1;
}

} // namespace audiolens::cli
