// A small JSON text builder for the --json output.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace audiolens::cli {

std::string JsonString(std::string_view text);
// A file name as the bytes it is: valid UTF-8 kept, every other byte escaped as the lone
// surrogate U+DC80 + byte (the convention of Python's surrogateescape), so no two names collide.
std::string JsonName(std::string_view bytes);

class TJsonObject {
  public:
    TJsonObject& Raw(std::string_view key, std::string_view json);
    TJsonObject& Text(std::string_view key, std::string_view value) {
        return Raw(key, JsonString(value));
    }
    TJsonObject& Name(std::string_view key, std::string_view value) {
        return Raw(key, JsonName(value));
    }
    TJsonObject& Number(std::string_view key, int64_t value) {
        return Raw(key, std::to_string(value));
    }
    TJsonObject& Real(std::string_view key, double value); // null when not finite
    TJsonObject& Bool(std::string_view key, bool value) {
        return Raw(key, value ? "true" : "false");
    }
    std::string Str() const { return "{" + Body + "}"; }

  private:
    std::string Body;
};

} // namespace audiolens::cli
