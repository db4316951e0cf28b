#pragma once

#include "common/fileio.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace kaviro {

// The text of an INI file, read and edited with profile-string semantics.
//
// Reading: section and key names match without regard to ASCII letter case;
// blanks and tabs around names and values are dropped; lines starting with
// ";" or "#" are comments; the first matching key wins. A value is delivered
// with at most maxValueLength characters.
//
// Writing replaces the value of the first matching key in place, or adds the
// key at the end of its section, or adds the section at the end of the text.
// Every other line (comments, blank lines, keys it does not know) stays as it
// was. A text whose lines end in CR LF keeps CR LF; a new one uses LF.
//
// Texts are bytes (Windows-1252); no conversion happens here.
class IniText {
public:
    static constexpr std::size_t maxValueLength = 2047;

    IniText() = default;
    explicit IniText(std::string text);

    const std::string &text() const { return m_text; }

    // The value, or defaultValue when the section or the key is missing;
    // either is cut to maxValueLength characters.
    std::string readString(std::string_view section, std::string_view key,
                           std::string_view defaultValue = {}) const;
    // A line break inside the value would split it into lines of its own (and
    // could forge keys), so each CR and LF is written as a blank.
    void writeString(std::string_view section, std::string_view key, std::string_view value);

private:
    std::string m_text;
};

// An INI file on disk. Nothing is held open or cached: each call is one
// complete read or write of the file.
//
// The file is replaced atomically (replaceFile), so a crash never leaves half
// a file, and a symbolic link stays a link. A new file gets mode 0600; an
// existing file keeps its mode.
class IniFile {
public:
    static constexpr std::size_t maxValueLength = IniText::maxValueLength;

    explicit IniFile(std::string fileName);

    const std::string &fileName() const { return m_fileName; }

    // True when a regular file exists under the name.
    bool exists() const;

    // The whole file; an empty text unless it was read.
    FileRead read(IniText &ini) const;
    // Replaces the file by the text in one step; false when it cannot be
    // written, and the file is then left as it was.
    bool replace(const IniText &ini);

    // One key, for the main window's start-up and for test fixtures. A file
    // that cannot be read counts as empty.
    std::string readString(std::string_view section, std::string_view key,
                           std::string_view defaultValue = {}) const;
    // One key, a replacement of the whole file, for test fixtures; false when
    // the file exists but cannot be read, or cannot be written.
    bool writeString(std::string_view section, std::string_view key, std::string_view value);

private:
    std::string m_fileName;
};

} // namespace kaviro
