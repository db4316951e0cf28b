#include "generator/tagreader.h"

#include <algorithm>
#include <charconv>

namespace kaviro {

namespace {

constexpr std::string_view kCannotAnalyze = "Can not analyze tag";

std::string withFinalDot(std::string_view reason)
{
    if (reason.empty())
        return "Error.";
    std::string message(reason);
    if (message.back() != '.')
        message += '.';
    return message;
}

std::string positionMessage(const std::string &reason, int line, int column)
{
    return reason + " Line: " + std::to_string(line) + ", Char: " + std::to_string(column) + ".";
}

} // namespace

TemplateError::TemplateError(const std::string &reason, int line, int column, const TemplateEngine *engine)
    : Error(positionMessage(withFinalDot(reason), line, column)), m_line(line), m_column(column), m_engine(engine)
{
}

void TemplateError::raise(std::string_view reason, std::string_view text, std::size_t position,
                          const TemplateEngine *engine)
{
    if (position >= text.size()) {
        throw Error("Error while detecting position in line. Index (" + std::to_string(position + 1) +
                    ") out of range (" + std::to_string(text.size()) + ").");
    }
    const LineColumn at = lineAndColumn(text, position);
    throw TemplateError(std::string(reason), at.line, at.column, engine);
}

std::size_t lineBreakLength(std::string_view text, std::size_t pos)
{
    if (pos >= text.size())
        return 0;
    const char c = text[pos];
    if (c != '\r' && c != '\n')
        return 0;
    const char pair = c == '\r' ? '\n' : '\r';
    return pos + 1 < text.size() && text[pos + 1] == pair ? 2 : 1;
}

std::size_t skipLineBreak(std::string_view text, std::size_t from)
{
    const std::size_t at = text.find_first_of("\r\n", from);
    if (at == std::string_view::npos)
        return std::string_view::npos;
    return at + lineBreakLength(text, at);
}

LineColumn lineAndColumn(std::string_view text, std::size_t position)
{
    // Only line breaks that end before the position count; a position inside
    // a CR LF pair still belongs to the line the pair ends.
    int line = 1;
    std::size_t lineStart = 0;
    for (std::size_t next = skipLineBreak(text, 0); next != std::string_view::npos && next <= position;
         next = skipLineBreak(text, next)) {
        ++line;
        lineStart = next;
    }
    return {line, static_cast<int>(position - lineStart) + 1};
}

std::vector<std::string> splitLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t at = text.find_first_of("\r\n", start);
        if (at == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, at - start));
        start = at + lineBreakLength(text, at);
    }
    return lines;
}

std::string decodeValue(std::string_view value)
{
    if (value.size() <= 2)
        return std::string(value);
    std::string out;
    out.reserve(value.size());
    std::size_t i = 0;
    while (i < value.size()) {
        const std::size_t hash = value.find('#', i);
        if (hash == std::string_view::npos || hash + 1 == value.size()) {
            out.append(value.substr(i));
            break;
        }
        out.append(value.substr(i, hash - i));
        // Two characters after "#", or the one that ends the value.
        const std::size_t digits = std::min<std::size_t>(2, value.size() - hash - 1);
        const char *first = value.data() + hash + 1;
        unsigned code = 0;
        const auto [end, error] = std::from_chars(first, first + digits, code, 16);
        const bool hex = error == std::errc() && end == first + digits;
        if (hex)
            out += static_cast<char>(code);
        else
            out.append(value.substr(hash, digits + 1));
        i = hash + digits + 1;
    }
    return out;
}

bool findTag(std::string_view text, std::size_t from, bool stripSlash, std::string &scratch, TagName &out)
{
    const std::size_t open = text.find('<', from);
    if (open == std::string_view::npos)
        return false;
    const std::size_t n = text.size();
    std::size_t p = open + 1;
    while (p < n && (text[p] == ' ' || text[p] == '>'))
        ++p;
    const std::size_t begin = p;
    while (p < n && text[p] != ' ' && text[p] != '>')
        ++p;
    std::string_view name = text.substr(begin, p - begin);
    if (p + 1 < n && text[p + 1] == ' ') {
        scratch.assign(name);
        scratch += ' ';
        name = scratch;
    } else if (stripSlash && !name.empty() && name.back() == '/') {
        name.remove_suffix(1);
    }
    out.open = open;
    out.name = name;
    return true;
}

bool readTagParams(std::string_view text, std::size_t &pos, StringParameters &params, const TemplateEngine *engine)
{
    params.clear();
    const std::size_t n = text.size();
    auto fail = [&](std::size_t at) { TemplateError::raise(kCannotAnalyze, text, at, engine); };
    // True when "/>" stands at p; a "/" followed by anything else is an error.
    auto selfCloseAt = [&](std::size_t p) {
        if (p + 1 < n && text[p + 1] == '>')
            return true;
        fail(p);
        return false;
    };

    for (;;) {
        while (pos < n && isBlankOrTab(text[pos]))
            ++pos;
        if (pos >= n)
            fail(pos);

        const std::size_t nameStart = pos;
        bool ended = false;
        bool selfClosed = false;
        while (pos < n) {
            const char c = text[pos];
            if (c == ' ' || c == '\t' || isLineBreakChar(c) || c == '=' || c == '>')
                break;
            if (c == '"' || c == '<')
                fail(pos);
            if (c == '/' && selfCloseAt(pos)) {
                ended = selfClosed = true;
                break;
            }
            ++pos;
        }
        if (pos >= n)
            fail(pos);
        const std::string_view name = text.substr(nameStart, pos - nameStart);
        if (selfClosed) {
            pos += 2;
        } else if (text[pos] == '>') {
            ended = true;
            ++pos;
        }
        if (name.empty()) {
            if (ended)
                return selfClosed;
            fail(pos); // "=" or a line break where a name should begin
        }

        StringParameters::Pair &param = params.addEmpty();
        param.name.assign(name);
        std::string &value = param.value;
        bool escapes = false; // a "#" in the value
        if (!ended && text[pos] == '=') {
            ++pos;
            if (pos < n && text[pos] == '"') {
                ++pos;
                for (;;) {
                    if (pos >= n)
                        fail(pos);
                    const char c = text[pos];
                    if (c == '"') {
                        ++pos;
                        break;
                    }
                    if (const std::size_t br = lineBreakLength(text, pos)) {
                        value += ' ';
                        pos += br;
                    } else {
                        escapes = escapes || c == '#';
                        value += c;
                        ++pos;
                    }
                }
            } else {
                const std::size_t valueStart = pos;
                for (;;) {
                    if (pos >= n)
                        fail(pos);
                    const char c = text[pos];
                    if (c == ' ' || c == '\t' || isLineBreakChar(c) || c == '>')
                        break;
                    if (c == '"')
                        fail(pos);
                    if (c == '/' && selfCloseAt(pos)) {
                        selfClosed = true;
                        break;
                    }
                    escapes = escapes || c == '#';
                    ++pos;
                }
                value.assign(text.substr(valueStart, pos - valueStart));
                const char c = text[pos];
                if (selfClosed) {
                    ended = true;
                    pos += 2;
                } else if (c == '>') {
                    ended = true;
                    ++pos;
                } else if (c == ' ' || c == '\t') {
                    ++pos;
                }
            }
        }
        if (escapes)
            value = decodeValue(value);
        if (ended)
            return selfClosed;
    }
}

std::size_t tagIndentStart(std::string_view text, std::size_t pendingStart, std::size_t tagOpen)
{
    // The walk back stops at the pending start, so the line break found is
    // inside the pending text or the character just before it.
    std::size_t j = tagOpen;
    while (j > pendingStart && isBlankOrTab(text[j - 1]))
        --j;
    if (j == 0 || isLineBreakChar(text[j - 1]))
        return j;
    return std::string_view::npos;
}

std::size_t skipBlankRestOfLine(std::string_view text, std::size_t pos)
{
    std::size_t q = pos;
    while (q < text.size() && isBlankOrTab(text[q]))
        ++q;
    if (q >= text.size())
        return text.size();
    const std::size_t br = lineBreakLength(text, q);
    return br ? q + br : pos;
}

} // namespace kaviro
