#include "cli/Json.h"

#include "core/Text.h"

#include <cmath>
#include <cstdio>

namespace audiolens::cli {

namespace {

// One byte of a JSON string: what JSON must not hold literally is escaped, the rest copied.
void AppendEscaped(std::string& out, char c) {
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

size_t Utf8SequenceLength(std::string_view bytes, size_t at) {
    for (size_t n = 1; n <= 4 && at + n <= bytes.size(); ++n)
        if (IsValidUtf8(bytes.substr(at, n))) return n;
    return 0;
}

} // namespace

std::string JsonString(std::string_view raw) {
    std::string out = "\"";
    for (char c : DisplayText(raw))
        AppendEscaped(out, c);
    return out + "\"";
}

std::string JsonName(std::string_view bytes) {
    std::string out = "\"";
    for (size_t at = 0; at < bytes.size();) {
        const size_t n = Utf8SequenceLength(bytes, at);
        if (n == 0) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x",
                          0xDC00u | static_cast<unsigned char>(bytes[at++]));
            out += escape;
            continue;
        }
        for (size_t i = 0; i < n; ++i)
            AppendEscaped(out, bytes[at + i]);
        at += n;
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
