// The main window: the output box, the audio and tag commands and the MIDI panel.
#pragma once

#include "framework/Registry.h"
#include "ui/FileDialog.h"
#include "ui/MidiCommands.h"
#include "ui/Window.h"

#include <array>

namespace audiolens::ui {

class TMainForm : public TObject {
  public:
    // Everything below is registered with Window and released with it.
    TWindow* Window = nullptr;
    TWindow* OutputBox = nullptr;
    TWindow* OpenAudioButton = nullptr;
    TWindow* VerifyAudioButton = nullptr;
    TWindow* TagsGroup = nullptr;
    TWindow* OpenTagButton = nullptr;
    TWindow* MidiGroup = nullptr;
    TWindow* LoadButton = nullptr;
    TWindow* PauseButton = nullptr;
    TWindow* StopButton = nullptr;
    TWindow* PlayButton = nullptr;

    // One record per format and one stand-alone tag object per kind; nullptr where the reader
    // or the tag kind is not built in.
    std::array<TAudioFile*, FormatCount> Records{};
    std::array<TTagBase*, TagSlotCount> TagObjects{};
    TAudioVerify* Verifier = nullptr;
    TMidiCommands* Midi = nullptr;
    TFileDialog* Dialog = nullptr;

  protected:
    ~TMainForm() override = default;
};

// Builds the form with its objects and controls; it belongs to its Window, which the caller
// holds (one reference) and hands to Run. midi replaces the real player when given (the form
// takes its reference).
TMainForm* CreateMainForm(TMidiCommands* midi = nullptr);

// The commands behind the buttons.
void OpenAudio(TMainForm& form);
void VerifyAudio(TMainForm& form);
void OpenTag(TMainForm& form);
void MidiLoad(TMainForm& form);
void MidiPause(TMainForm& form);
void MidiStop(TMainForm& form);
void MidiPlay(TMainForm& form);

} // namespace audiolens::ui
