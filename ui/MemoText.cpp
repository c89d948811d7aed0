#include "ui/MemoText.h"

#include "core/Text.h"

namespace audiolens::ui {

std::string WidgetText(const std::string& caption) {
    std::string text = DisplayText(caption), out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

std::string CaptionText(const std::string& widgetText) {
    std::string out;
    out.reserve(widgetText.size() + widgetText.size() / 16);
    for (size_t i = 0; i < widgetText.size(); ++i) {
        if (widgetText[i] == '\n' && (i == 0 || widgetText[i - 1] != '\r')) out += '\r';
        out += widgetText[i];
    }
    return out;
}

} // namespace audiolens::ui
