// --play: plays a MIDI file through the first MIDI output port until it ends or Ctrl-C, showing
// the position once a second.
#include "cli/Commands.h"

#include "midi/MidiPlayer.h"
#include "platform/Interrupt.h"
#include "platform/MidiOut.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <system_error>
#include <thread>

namespace audiolens::cli {
namespace {

std::string PositionText(const TPlayerPosition& p) {
    char text[96];
    int32_t seconds = p.MsPos / 1000;
    std::snprintf(text, sizeof text, "%d:%02d  bar %d beat %d tick %d", seconds / 60, seconds % 60,
                  p.Bar + 1, p.Beat + 1, p.BeatTick);
    return text;
}

} // namespace

int RunPlay(const std::string& fileName) {
    TRef<TMidiPlayer> player(new TMidiPlayer);
    if (!player->Load(fileName)) {
        std::error_code ec;
        const bool exists = std::filesystem::is_regular_file(fileName, ec);
        std::cerr << "audiolens: " << fileName << ": "
                  << (exists ? "not a MIDI file that can be played" : "no such file") << "\n";
        return 1;
    }
    if (platform::MidiOut().PortCount() == 0) {
        std::cerr << "audiolens: " << fileName << ": no MIDI output port\n";
        return 1;
    }
    platform::CatchInterrupts();
    std::cout << "Playing " << fileName << " through " << platform::MidiOut().PortName(0)
              << " (Ctrl-C stops)" << std::endl;
    player->Play();
    if (player->State() == psStopped) {
        std::cerr << "audiolens: " << fileName << ": the playback timer did not start\n";
        return 1;
    }
    auto nextReport = std::chrono::steady_clock::now();
    while (!platform::Interrupted()) {
        TPlayerPosition position = player->Position();
        if (position.State == psStopped) break;
        if (std::chrono::steady_clock::now() >= nextReport) {
            std::cout << PositionText(position) << std::endl;
            nextReport += std::chrono::seconds(1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    // Stop switches every sounding note off and releases the sustain pedal.
    player->Stop();
    std::cout << PositionText(player->Position())
              << (platform::Interrupted() ? "  stopped" : "  end") << std::endl;
    return 0;
}

} // namespace audiolens::cli
