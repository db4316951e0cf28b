#include "common/integertext.h"

#include "common/error.h"

#include <limits>

namespace kaviro {

int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<std::int32_t> parseInteger(std::string_view text, IntegerGrammar grammar)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (grammar.leadingTabs && text[i] == '\t')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    const std::string_view rest = text.substr(i);
    if (rest.starts_with('$') || (grammar.bareXPrefix && (rest.starts_with('x') || rest.starts_with('X')))) {
        base = 16;
        ++i;
    } else if (rest.starts_with("0x") || rest.starts_with("0X")) {
        base = 16;
        i += 2;
    }
    if (i == text.size())
        return std::nullopt;

    // One beyond the largest magnitude, so that the most negative value fits.
    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const int digit = hexDigitValue(text[i]);
        if (digit < 0 || digit >= base)
            return std::nullopt;
        value = value * base + digit;
        if (value > limit)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::int32_t toInteger(std::string_view text, IntegerGrammar grammar)
{
    if (const auto value = parseInteger(text, grammar))
        return *value;
    throw Error(notAnIntegerMessage(text));
}

std::string notAnIntegerMessage(std::string_view text)
{
    std::string message = "'";
    message += text;
    message += "' ist kein g\xFC" "ltiger Integerwert";
    return message;
}

} // namespace kaviro
