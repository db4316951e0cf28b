#pragma once

#include <cstddef>
#include <string>

namespace kaviro {

// Bytes as hex digit pairs, lower case, or upper case joined by colons as
// certificate fingerprints are shown.
inline std::string hexText(const unsigned char *bytes, std::size_t length, bool fingerprintStyle = false)
{
    const char *digits = fingerprintStyle ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        if (fingerprintStyle && i > 0)
            text += ':';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0xf];
    }
    return text;
}

} // namespace kaviro
