#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kaviro {

// Reads an integer the way settings values and port fields are read: leading
// blanks, an optional sign, then decimal digits or hexadecimal digits after
// "0x", "0X" or "$". Anything else, trailing blanks included, and any value
// outside the signed 32-bit range gives nothing.
std::optional<std::int32_t> parseInteger(std::string_view text);

// The same, but a text that is no integer raises kaviro::Error with
// notAnIntegerMessage(text).
std::int32_t toInteger(std::string_view text);

// 0..15 for "0".."9", "a".."f", "A".."F"; -1 for any other character.
int hexDigitValue(char c);

// "'<text>' ist kein gültiger Integerwert", Windows-1252 like every text of
// the settings layer.
std::string notAnIntegerMessage(std::string_view text);

} // namespace kaviro
