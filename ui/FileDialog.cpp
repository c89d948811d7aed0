#include "ui/FileDialog.h"

#include <vector>

namespace audiolens::ui {

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : text) {
        if (c == separator) {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    parts.push_back(part);
    return parts;
}

} // namespace

bool TFileDialog::Execute() {
    return Request ? Request(*this) : PlatformExecute();
}

TFileDialog* CreateFileDialog(const std::string& title, const std::string& initialDir,
                              TFileDialogOptions options) {
    auto* dialog = new TFileDialog;
    dialog->Title = title;
    dialog->InitialDir = initialDir;
    dialog->Options = (options ? options : ofDefaultOptions) | ofAlwaysOptions;
    return dialog;
}

std::string ChooserFilter(const std::string& filter) {
    std::vector<std::string> fields = Split(filter, '|');
    std::string result;
    for (size_t i = 0; i + 1 < fields.size(); i += 2) {
        std::vector<std::string> patterns;
        for (const std::string& p : Split(fields[i + 1], ';'))
            if (!p.empty()) patterns.push_back(p);
        if (patterns.empty()) continue;
        std::string joined = patterns.size() == 1 ? patterns[0] : "{";
        if (patterns.size() > 1) {
            for (size_t k = 0; k < patterns.size(); ++k)
                joined += (k ? "," : "") + patterns[k];
            joined += "}";
        }
        if (!result.empty()) result += '\t';
        result += fields[i] + " (" + joined + ")";
    }
    return result;
}

} // namespace audiolens::ui
