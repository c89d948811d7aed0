// The file dialog over comdlg32's open and save dialogs.
#include "ui/FileDialog.h"
#include "ui/Win32Native.h"

#include <commdlg.h>

#include <vector>

namespace audiolens::ui {

namespace {

struct TFlag {
    TFileDialogOptions Option;
    DWORD Flag;
};

const TFlag Flags[] = {
    {ofReadOnly, OFN_READONLY},           {ofOverwritePrompt, OFN_OVERWRITEPROMPT},
    {ofHideReadOnly, OFN_HIDEREADONLY},   {ofAllowMultiSelect, OFN_ALLOWMULTISELECT},
    {ofPathMustExist, OFN_PATHMUSTEXIST}, {ofFileMustExist, OFN_FILEMUSTEXIST},
    {ofExplorer, OFN_EXPLORER},           {ofLongNames, OFN_LONGNAMES},
    {ofEnableSizing, OFN_ENABLESIZING},
};

} // namespace

bool TFileDialog::PlatformExecute() {
    // Description and pattern are separated by zeros on this platform, the list ends in two.
    std::string filter = Filter;
    for (char& c : filter)
        if (c == '|') c = '\0';
    filter.push_back('\0');
    filter.push_back('\0');

    std::vector<char> name((Options & ofAllowMultiSelect) ? 65520 : 262, '\0');
    FileName.copy(name.data(), name.size() - 1);

    OPENFILENAMEA request{};
    request.lStructSize = sizeof(request);
    HWND owner = nullptr;
    if (Owner && Owner->HandleAllocated()) owner = Owner->GetHandle()->Handle;
    request.hwndOwner = owner ? owner : MainWindowHandle();
    request.lpstrFilter = filter.c_str();
    request.nFilterIndex = static_cast<DWORD>(FilterIndex > 0 ? FilterIndex : 1);
    request.lpstrFile = name.data();
    request.nMaxFile = static_cast<DWORD>(name.size());
    request.lpstrTitle = Title.empty() ? nullptr : Title.c_str();
    request.lpstrInitialDir = InitialDir.empty() ? nullptr : InitialDir.c_str();
    for (const TFlag& f : Flags)
        if (Options & f.Option) request.Flags |= f.Flag;

    bool chosen = SaveDialog ? GetSaveFileNameA(&request) : GetOpenFileNameA(&request);
    // On cancel the name is what the buffer holds, which is the name it was preset with.
    FileName = std::string(name.data());
    if (!chosen) return false;
    FilterIndex = static_cast<int32_t>(request.nFilterIndex);
    if (request.Flags & OFN_READONLY)
        Options |= ofReadOnly;
    else
        Options &= ~ofReadOnly;
    return true;
}

} // namespace audiolens::ui
