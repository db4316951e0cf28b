#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kaviro {

// An INI file read and written with profile-string semantics: every call is
// one complete read or write of the file, nothing is held open or cached.
//
// Reading: section and key names match without regard to ASCII letter case;
// blanks and tabs around names and values are dropped; lines starting with
// ";" or "#" are comments; the first matching key wins. A value is delivered
// with at most maxValueLength characters.
//
// Writing replaces the value of the first matching key in place, or adds the
// key at the end of its section, or adds the section at the end of the file.
// Every other line (comments, blank lines, keys it does not know) stays as it
// was. The file is replaced atomically: the new text goes into a temporary
// file beside it, which is then renamed over it, so a crash never leaves half
// a file. A new file gets mode 0600 because it holds a password that anyone
// with the program can decode; an existing file keeps its mode. A file whose
// lines end in CR LF keeps CR LF; a new file uses LF.
//
// Texts are bytes (Windows-1252); no conversion happens here.
class IniFile {
public:
    static constexpr std::size_t maxValueLength = 2047;

    explicit IniFile(std::string fileName);

    const std::string &fileName() const { return m_fileName; }

    // True when a regular file exists under the name.
    bool exists() const;

    // The value, or defaultValue when the file, the section or the key is
    // missing; either is cut to maxValueLength characters.
    std::string readString(std::string_view section, std::string_view key,
                           std::string_view defaultValue = {}) const;
    // The value read as text and converted by parseInteger; defaultValue when
    // it is missing, empty or no integer.
    std::int32_t readInteger(std::string_view section, std::string_view key,
                             std::int32_t defaultValue) const;
    // An integer; any non-zero number is true.
    bool readBool(std::string_view section, std::string_view key, bool defaultValue) const;

    // False when the file cannot be written; it is then left as it was.
    // A line break inside the value would split it into lines of its own (and
    // could forge keys), so each CR and LF is written as a blank.
    bool writeString(std::string_view section, std::string_view key, std::string_view value);
    bool writeInteger(std::string_view section, std::string_view key, std::int32_t value);
    // Written as "1" or "0".
    bool writeBool(std::string_view section, std::string_view key, bool value);

private:
    std::string m_fileName;
};

} // namespace kaviro
