#include "store/windows1252.h"

#include <array>

namespace kaviro {

namespace {

// Code points of the bytes 0x80..0x9F; the undefined ones map to themselves.
constexpr std::array<char16_t, 32> highControlBlock = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The byte for a UTF-16 unit, or -1 when the code page has none.
int byteFor(char16_t unit)
{
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF))
        return unit;
    for (std::size_t i = 0; i < highControlBlock.size(); ++i) {
        if (highControlBlock[i] == unit)
            return int(0x80 + i);
    }
    return -1;
}

} // namespace

QString fromWindows1252(std::string_view bytes)
{
    QString result(qsizetype(bytes.size()), Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(result.data());
    for (unsigned char byte : bytes) {
        *out++ = (byte >= 0x80 && byte < 0xA0) ? highControlBlock[byte - 0x80] : char16_t(byte);
    }
    return result;
}

void appendWindows1252(std::string &out, const QString &text)
{
    const char16_t *units = reinterpret_cast<const char16_t *>(text.constData());
    const qsizetype length = text.size();
    out.reserve(out.size() + std::size_t(length));
    for (qsizetype i = 0; i < length; ++i) {
        const char16_t unit = units[i];
        if (unit < 0x80) {
            out.push_back(char(unit));
            continue;
        }
        const int byte = byteFor(unit);
        if (byte >= 0) {
            out.push_back(char(byte));
            continue;
        }
        char32_t codePoint = unit;
        if (QChar::isHighSurrogate(unit) && i + 1 < length && QChar::isLowSurrogate(units[i + 1])) {
            codePoint = QChar::surrogateToUcs4(unit, units[i + 1]);
            ++i;
        }
        // Not representable: an HTML numeric character reference keeps it.
        out += "&#";
        out += std::to_string(std::uint32_t(codePoint));
        out += ';';
    }
}

std::string toWindows1252(const QString &text)
{
    std::string result;
    result.reserve(std::size_t(text.size()));
    appendWindows1252(result, text);
    return result;
}

bool isWindows1252(const QString &text)
{
    for (QChar c : text) {
        if (byteFor(c.unicode()) < 0)
            return false;
    }
    return true;
}

} // namespace kaviro
