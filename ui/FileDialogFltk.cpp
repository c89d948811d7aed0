// The file dialog over FLTK's own chooser, which behaves the same on every X server.
#include "ui/FileDialog.h"

#include <FL/Fl.H>
#include <FL/Fl_File_Chooser.H>

#include <sys/stat.h>

namespace audiolens::ui {

namespace {

bool IsFile(const char* name) {
    struct stat info {};
    return stat(name, &info) == 0 && !S_ISDIR(info.st_mode);
}

std::string DirectoryOf(const std::string& fileName) {
    size_t slash = fileName.rfind('/');
    return slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1);
}

} // namespace

bool TFileDialog::PlatformExecute() {
    std::string start = !InitialDir.empty() ? InitialDir : DirectoryOf(FileName);
    if (start.empty()) start = ".";
    int type = SaveDialog                       ? Fl_File_Chooser::CREATE
               : (Options & ofAllowMultiSelect) ? Fl_File_Chooser::MULTI
                                                : Fl_File_Chooser::SINGLE;
    std::string title = !Title.empty() ? Title : SaveDialog ? "Save As" : "Open";
    Fl_File_Chooser chooser(start.c_str(), ChooserFilter(Filter).c_str(), type, title.c_str());
    chooser.preview(0);
    chooser.filter_value(FilterIndex > 0 ? FilterIndex - 1 : 0);
    if (!FileName.empty()) chooser.value(FileName.c_str());

    // A name that is no existing file sends the user back to the chooser, as the platform's own
    // dialog does when the file must exist.
    for (;;) {
        chooser.show();
        while (chooser.shown())
            Fl::wait();
        const char* chosen = chooser.value();
        if (!chosen) return false;
        if (!SaveDialog && (Options & ofFileMustExist) && !IsFile(chosen)) continue;
        FileName = chosen;
        FilterIndex = chooser.filter_value() + 1;
        Options &= ~ofReadOnly;
        return true;
    }
}

} // namespace audiolens::ui
