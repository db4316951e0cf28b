#include "generator/cp1252.h"

#include <cstdint>

namespace kaviro {

namespace {

// Code points of the bytes 0x80..0x9F. The five bytes Windows-1252 leaves
// undefined keep their C1 control code point, as Windows converts them.
constexpr std::uint16_t highControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

} // namespace

std::string cp1252ToUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        std::uint32_t cp = byte;
        if (byte < 0x80) {
            out += c;
            continue;
        }
        if (byte < 0xA0)
            cp = highControls[byte - 0x80];
        if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
        } else {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        }
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

} // namespace kaviro
