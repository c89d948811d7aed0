#include "ui/MidiCommands.h"

#include "midi/MidiPlayer.h"

namespace audiolens::ui {

namespace {

class TPlayerCommands : public TMidiCommands {
  public:
    bool Load(const std::string& fileName) override { return Player->Load(fileName); }
    void Play() override { Player->Play(); }
    void Pause() override { Player->Pause(); }
    void Stop() override { Player->Stop(); }
    void Rewind() override { Player->Rewind(); }

  private:
    TRef<TMidiPlayer> Player{new TMidiPlayer};
};

} // namespace

TMidiCommands* CreatePlayerCommands() {
    return new TPlayerCommands;
}

} // namespace audiolens::ui
