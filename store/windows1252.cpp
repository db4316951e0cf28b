#include "store/windows1252.h"

#include "common/cp1252.h"

namespace kaviro {

QString fromWindows1252(std::string_view bytes)
{
    QString result(qsizetype(bytes.size()), Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(result.data());
    for (unsigned char byte : bytes) {
        *out++ = (byte >= 0x80 && byte < 0xA0) ? cp1252HighBlock[byte - 0x80] : char16_t(byte);
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
        const int byte = cp1252Byte(unit);
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
        if (cp1252Byte(c.unicode()) < 0)
            return false;
    }
    return true;
}

Error windows1252Error(const QString &message)
{
    return Error(toWindows1252(message));
}

QString exceptionText(const std::exception &error)
{
    if (dynamic_cast<const Error *>(&error))
        return fromWindows1252(error.what());
    return QString::fromUtf8(error.what());
}

} // namespace kaviro
