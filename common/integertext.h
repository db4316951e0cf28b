#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kaviro {

// What an integer text may look like. Always: leading blanks, an optional
// sign, then decimal digits or hexadecimal ones after "0x", "0X" or "$";
// nothing after the digits; a value within the signed 32-bit range.
struct IntegerGrammar {
    bool leadingTabs = false; // tabs count as leading blanks
    bool bareXPrefix = false; // "x" and "X" also introduce hexadecimal digits
};

// Settings values and port fields.
inline constexpr IntegerGrammar profileInteger{.leadingTabs = true, .bareXPrefix = false};
// Offsets in template tags.
inline constexpr IntegerGrammar tagInteger{.leadingTabs = false, .bareXPrefix = true};

// The value, or nothing when text does not follow the grammar.
std::optional<std::int32_t> parseInteger(std::string_view text, IntegerGrammar grammar = profileInteger);

// The same, but a text that is no integer raises kaviro::Error with
// notAnIntegerMessage(text).
std::int32_t toInteger(std::string_view text, IntegerGrammar grammar = profileInteger);

// 0..15 for "0".."9", "a".."f", "A".."F"; -1 for any other character.
int hexDigitValue(char c);

// "'<text>' ist kein gültiger Integerwert", in Windows-1252 like every
// message.
std::string notAnIntegerMessage(std::string_view text);

} // namespace kaviro
