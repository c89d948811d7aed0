// The ID3v1 genre numbers 0..147 and their names; any other number means "no genre".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace audiolens {

constexpr int ID3v1GenreCount = 148;
constexpr uint8_t ID3v1NoGenre = 255;

// The name of a genre number; empty for 148 and above.
std::string ID3v1GenreName(int index);
// The first genre whose name equals name with ASCII letters folded; ID3v1NoGenre when none.
uint8_t ID3v1GenreByName(std::string_view name);

} // namespace audiolens
