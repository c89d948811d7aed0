// The toolkit's platform window on Windows, shared by the window and file dialog backends.
#pragma once

#include "ui/Window.h"

#include <windows.h>

namespace audiolens::ui {

struct TNativeWindow {
    HWND Handle = nullptr;
    TWindow* Owner = nullptr;
    // The platform class's own procedure of a control ("BUTTON", "EDIT"); unhandled messages
    // go there.
    WNDPROC BaseProc = nullptr;
    // The background brush of a colour that is not a system colour.
    HBRUSH Brush = nullptr;
};

// The main window given to Run, or none before.
HWND MainWindowHandle();

} // namespace audiolens::ui
