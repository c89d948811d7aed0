// The open and save file dialog. Request, when set, answers in place of the platform's dialog:
// scripts and tests choose a file (or cancel) through it without a display.
#pragma once

#include "core/BaseObject.h"

#include <cstdint>
#include <functional>
#include <string>

namespace audiolens::ui {

class TWindow;

using TFileDialogOptions = uint32_t;
constexpr TFileDialogOptions ofReadOnly = 1u << 0;
constexpr TFileDialogOptions ofOverwritePrompt = 1u << 1;
constexpr TFileDialogOptions ofHideReadOnly = 1u << 2;
constexpr TFileDialogOptions ofAllowMultiSelect = 1u << 3;
constexpr TFileDialogOptions ofPathMustExist = 1u << 4;
constexpr TFileDialogOptions ofFileMustExist = 1u << 5;
constexpr TFileDialogOptions ofExplorer = 1u << 6;
constexpr TFileDialogOptions ofLongNames = 1u << 7;
constexpr TFileDialogOptions ofEnableSizing = 1u << 8;
constexpr TFileDialogOptions ofDefaultOptions =
    ofFileMustExist | ofPathMustExist | ofHideReadOnly | ofOverwritePrompt;
constexpr TFileDialogOptions ofAlwaysOptions = ofExplorer | ofLongNames | ofEnableSizing;

class TFileDialog : public TObject {
  public:
    // Description and pattern pairs separated by "|"; patterns within a pair by ";".
    std::string Filter;
    // 1-based, as the pairs are counted in Filter.
    int32_t FilterIndex = 1;
    bool SaveDialog = false;
    std::string Title;
    std::string InitialDir;
    std::string FileName;
    TFileDialogOptions Options = ofDefaultOptions | ofAlwaysOptions;
    TWindow* Owner = nullptr;

    std::function<bool(TFileDialog&)> Request;

    // True with FileName, FilterIndex and the read-only state set when the user chose a file;
    // false on cancel, with FileName as it was.
    bool Execute();

  protected:
    ~TFileDialog() override = default;

  private:
    bool PlatformExecute();
};

// No options means the default set; explorer style, long names and sizing are always added.
TFileDialog* CreateFileDialog(const std::string& title, const std::string& initialDir,
                              TFileDialogOptions options = 0);

// "Audio files|*.wav;*.mp3" as the chooser's filter: "Audio files ({*.wav,*.mp3})"; several
// pairs are separated by tabs.
std::string ChooserFilter(const std::string& filter);

} // namespace audiolens::ui
