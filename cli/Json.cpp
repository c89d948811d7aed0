#include "cli/Json.h"

#include "core/Text.h"

#include <cmath>
#include <cstdio>

namespace audiolens::cli {

std::string JsonString(std::string_view raw) {
    std::string text = DisplayText(raw);
    std::string out = "\"";
    for (char c : text) {
        auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (b < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", b);
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

TJsonObject& TJsonObject::Raw(std::string_view key, std::string_view json) {
    if (!Body.empty()) Body += ",";
    Body += JsonString(key) + ":";
    Body += json;
    return *this;
}

TJsonObject& TJsonObject::Real(std::string_view key, double value) {
    if (!std::isfinite(value)) return Raw(key, "null");
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", value);
    return Raw(key, buf);
}

} // namespace audiolens::cli
