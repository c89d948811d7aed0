// What the window's MIDI panel asks of a player. The window talks to this seam, so the panel
// can be driven in tests without a MIDI device or a timer.
#pragma once

#include "core/BaseObject.h"

#include <string>

namespace audiolens::ui {

class TMidiCommands : public TObject {
  public:
    virtual bool Load(const std::string& fileName) = 0;
    virtual void Play() = 0;
    virtual void Pause() = 0;
    virtual void Stop() = 0;
    // Back to the start of the song (stopping first).
    virtual void Rewind() = 0;

  protected:
    ~TMidiCommands() override = default;
};

// The real player (TMidiPlayer) behind the seam; the result owns the player.
TMidiCommands* CreatePlayerCommands();

} // namespace audiolens::ui
