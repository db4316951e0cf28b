#include "settings/inifile.h"

#include "common/fileio.h"

#include <optional>
#include <sys/stat.h>
#include <vector>

namespace kaviro {

namespace {

struct Lines {
    std::vector<std::string_view> lines;
    bool crlf = false;
};

Lines splitLines(std::string_view content)
{
    Lines result;
    while (!content.empty()) {
        const std::size_t end = content.find('\n');
        std::string_view line = content.substr(0, end);
        const bool cr = !line.empty() && line.back() == '\r';
        if (cr)
            line.remove_suffix(1);
        if (result.lines.empty())
            result.crlf = cr && end != std::string_view::npos;
        result.lines.push_back(line);
        content.remove_prefix(end == std::string_view::npos ? content.size() : end + 1);
    }
    return result;
}

std::string_view trim(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

bool isComment(std::string_view trimmed)
{
    return !trimmed.empty() && (trimmed.front() == ';' || trimmed.front() == '#');
}

std::optional<std::string_view> sectionName(std::string_view trimmed)
{
    if (trimmed.empty() || trimmed.front() != '[')
        return std::nullopt;
    const std::size_t close = trimmed.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return trim(trimmed.substr(1, close - 1));
}

bool splitEntry(std::string_view trimmed, std::string_view &key, std::string_view &value)
{
    if (isComment(trimmed))
        return false;
    const std::size_t equals = trimmed.find('=');
    if (equals == std::string_view::npos)
        return false;
    key = trim(trimmed.substr(0, equals));
    value = trim(trimmed.substr(equals + 1));
    return true;
}

struct Location {
    std::ptrdiff_t section = -1;   // header of the first matching section
    std::ptrdiff_t lastEntry = -1; // its last key line, or its header
    std::ptrdiff_t key = -1;       // first matching key in any matching section
    std::string_view value;
};

Location locate(const std::vector<std::string_view> &lines, std::string_view section,
                std::string_view key)
{
    Location location;
    bool inSection = false;
    bool inFirstSection = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = trim(lines[i]);
        if (const auto name = sectionName(line)) {
            inSection = equalsNoCase(*name, section);
            inFirstSection = inSection && location.section < 0;
            if (inFirstSection)
                location.section = location.lastEntry = std::ptrdiff_t(i);
            continue;
        }
        std::string_view entryKey;
        std::string_view entryValue;
        if (!inSection || !splitEntry(line, entryKey, entryValue))
            continue;
        if (equalsNoCase(entryKey, key)) {
            location.key = std::ptrdiff_t(i);
            location.value = entryValue;
            break;
        }
        if (inFirstSection)
            location.lastEntry = std::ptrdiff_t(i);
    }
    return location;
}

std::string cut(std::string_view value)
{
    return std::string(value.substr(0, IniText::maxValueLength));
}

} // namespace

IniText::IniText(std::string text)
    : m_text(std::move(text))
{
}

std::string IniText::readString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const
{
    const Location location = locate(splitLines(m_text).lines, section, key);
    return cut(location.key >= 0 ? location.value : defaultValue);
}

void IniText::writeString(std::string_view section, std::string_view key, std::string_view value)
{
    const Lines split = splitLines(m_text);
    std::vector<std::string> lines(split.lines.begin(), split.lines.end());
    const Location location = locate(split.lines, section, key);

    std::string entry = std::string(key) + '=';
    for (const char c : value)
        entry += c == '\r' || c == '\n' ? ' ' : c;

    if (location.key >= 0) {
        lines[std::size_t(location.key)] = std::move(entry);
    } else if (location.section >= 0) {
        lines.insert(lines.begin() + location.lastEntry + 1, std::move(entry));
    } else {
        if (!lines.empty() && !trim(lines.back()).empty())
            lines.emplace_back();
        lines.push_back('[' + std::string(section) + ']');
        lines.push_back(std::move(entry));
    }

    const char *eol = split.crlf ? "\r\n" : "\n";
    std::string text;
    text.reserve(m_text.size() + value.size() + section.size() + key.size() + 8);
    for (const std::string &line : lines) {
        text += line;
        text += eol;
    }
    m_text = std::move(text);
}

IniFile::IniFile(std::string fileName)
    : m_fileName(std::move(fileName))
{
}

bool IniFile::exists() const
{
    struct stat st;
    return ::stat(m_fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

FileRead IniFile::read(IniText &ini) const
{
    std::string content;
    const FileRead result = readWholeFile(m_fileName, content);
    ini = IniText(result == FileRead::Ok ? std::move(content) : std::string());
    return result;
}

bool IniFile::replace(const IniText &ini)
{
    // A new file is private: it holds a password anyone with the program can decode.
    return replaceFile(m_fileName, ini.text(), 0600);
}

std::string IniFile::readString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const
{
    IniText ini;
    read(ini);
    return ini.readString(section, key, defaultValue);
}

bool IniFile::writeString(std::string_view section, std::string_view key, std::string_view value)
{
    IniText ini;
    // A file that exists but cannot be read must not be replaced by one key.
    if (read(ini) == FileRead::Failed)
        return false;
    ini.writeString(section, key, value);
    return replace(ini);
}

} // namespace kaviro
