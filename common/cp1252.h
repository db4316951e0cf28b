#pragma once

// Windows-1252 without Qt: the code page's table and the conversions to and
// from UTF-8 that the libraries without Qt need. Texts of the generator, the
// settings, the FTP client and the pages are Windows-1252 bytes; the file
// system and the terminal speak UTF-8. store/windows1252.h converts to and
// from QString on the same table.

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace kaviro {

// Code points of the bytes 0x80..0x9F; every other byte is its own code
// point. The five bytes the code page leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) keep the C1 control code point of the same number, as Windows
// converts them, so that every byte survives a round trip.
inline constexpr std::array<char16_t, 32> cp1252HighBlock = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The byte for a code point, or -1 when the code page has none.
constexpr int cp1252Byte(char32_t codePoint)
{
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF))
        return int(codePoint);
    for (std::size_t i = 0; i < cp1252HighBlock.size(); ++i) {
        if (cp1252HighBlock[i] == codePoint)
            return int(0x80 + i);
    }
    return -1;
}

// Windows-1252 bytes as UTF-8, for file names and the terminal.
inline std::string cp1252ToUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
            continue;
        }
        const std::uint32_t cp = byte < 0xA0 ? cp1252HighBlock[byte - 0x80] : byte;
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

// Appends UTF-8 (a file name, the texts of an SQLite table) as Windows-1252
// bytes. A character the code page cannot hold becomes an HTML numeric
// character reference ("&#8364;" form), as toWindows1252 writes it; a byte
// that starts no valid UTF-8 sequence is kept as it is. False when there was
// such a byte.
inline bool appendUtf8AsCp1252(std::string &out, std::string_view text)
{
    bool allValid = true;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            // ASCII, the same in both, in one piece; found eight bytes at a
            // time while none of them has its high bit set.
            std::size_t end = i + 1;
            for (std::uint64_t eight; end + 8 <= text.size(); end += 8) {
                std::memcpy(&eight, text.data() + end, 8);
                if (eight & 0x8080808080808080ULL)
                    break;
            }
            while (end < text.size() && static_cast<unsigned char>(text[end]) < 0x80)
                ++end;
            out.append(text, i, end - i);
            i = end;
            continue;
        }
        const std::size_t length = lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
        char32_t cp = lead & (0x7F >> length);
        bool valid = length > 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            cp = (cp << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and code points past U+10FFFF are no
        // characters either.
        constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (valid && (cp < smallest[length] || (cp >= 0xD800 && cp < 0xE000) || cp > 0x10FFFF))
            valid = false;
        if (!valid) {
            allValid = false;
            out += text[i++];
            continue;
        }
        i += length;
        if (const int byte = cp1252Byte(cp); byte >= 0) {
            out += static_cast<char>(byte);
        } else {
            out += "&#";
            out += std::to_string(std::uint32_t(cp));
            out += ';';
        }
    }
    return allValid;
}

inline std::string utf8ToCp1252(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    appendUtf8AsCp1252(out, text);
    return out;
}

} // namespace kaviro
