#include "settings/inifile.h"

#include "settings/integertext.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kaviro {

namespace {

enum class ReadResult { Ok, Missing, Failed };

ReadResult readFile(const std::string &fileName, std::string &content)
{
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? ReadResult::Missing : ReadResult::Failed;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return ReadResult::Failed;
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ReadResult::Ok;
}

bool writeAll(int fd, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// A symbolic link stays a link; the file it points to is replaced.
std::string resolvedTarget(const std::string &fileName)
{
    struct stat st;
    if (::lstat(fileName.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(fileName.c_str(), resolved))
            return resolved;
    }
    return fileName;
}

bool replaceFile(const std::string &fileName, std::string_view text)
{
    const std::string target = resolvedTarget(fileName);
    mode_t mode = 0600;
    struct stat st;
    if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        mode = st.st_mode & 07777;

    std::string temp = target + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    // fsync before the rename, or a crash could leave the new name on an
    // empty file.
    bool ok = writeAll(fd, text) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok)
        ::unlink(temp.c_str());
    return ok;
}

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
    return std::string(value.substr(0, IniFile::maxValueLength));
}

} // namespace

IniFile::IniFile(std::string fileName)
    : m_fileName(std::move(fileName))
{
}

bool IniFile::exists() const
{
    struct stat st;
    return ::stat(m_fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string IniFile::readString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const
{
    std::string content;
    if (readFile(m_fileName, content) != ReadResult::Ok)
        return cut(defaultValue);
    const Location location = locate(splitLines(content).lines, section, key);
    return cut(location.key >= 0 ? location.value : defaultValue);
}

std::int32_t IniFile::readInteger(std::string_view section, std::string_view key,
                                  std::int32_t defaultValue) const
{
    return parseInteger(readString(section, key)).value_or(defaultValue);
}

bool IniFile::readBool(std::string_view section, std::string_view key, bool defaultValue) const
{
    return readInteger(section, key, defaultValue ? 1 : 0) != 0;
}

bool IniFile::writeString(std::string_view section, std::string_view key, std::string_view value)
{
    std::string content;
    // A file that exists but cannot be read must not be replaced by one key.
    if (readFile(m_fileName, content) == ReadResult::Failed)
        return false;
    const Lines split = splitLines(content);
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
    text.reserve(content.size() + value.size() + section.size() + key.size() + 8);
    for (const std::string &line : lines) {
        text += line;
        text += eol;
    }
    return replaceFile(m_fileName, text);
}

bool IniFile::writeInteger(std::string_view section, std::string_view key, std::int32_t value)
{
    return writeString(section, key, std::to_string(value));
}

bool IniFile::writeBool(std::string_view section, std::string_view key, bool value)
{
    return writeString(section, key, value ? "1" : "0");
}

} // namespace kaviro
