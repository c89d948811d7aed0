// The edit box shows text with plain line feeds in UTF-8; reports and captions carry "\r\n"
// line ends. These two conversions sit between the caption and the widget.
#pragma once

#include <string>

namespace audiolens::ui {

// Caption to widget: invalid UTF-8 is shown as Windows-1252, "\r\n" becomes one line end.
std::string WidgetText(const std::string& caption);
// Widget to caption: every line end becomes "\r\n" again.
std::string CaptionText(const std::string& widgetText);

} // namespace audiolens::ui
