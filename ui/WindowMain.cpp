// audiolens-window: the main window around the analysis library.
#include "ui/Main.h"

#include <cstdlib>
#include <fstream>

using namespace audiolens::ui;

int main() {
    TMainForm* form = CreateMainForm();
    // For scripted runs: the output box's text is written to this file when the window closes.
    if (const char* dump = std::getenv("AUDIOLENS_WINDOW_DUMP")) {
        std::string path = dump;
        TWindow* box = form->OutputBox;
        form->Window->OnClose = [path, box](TWindow&) {
            std::ofstream(path, std::ios::binary) << box->GetCaption();
        };
    }
    Run(form->Window);
    return 0;
}
