#pragma once

// Reading the engine's tags out of a template text. Both passes of the engine
// (expansion and declarations) find tags and read their parameters with these
// functions. Positions are 0-based byte offsets; std::string_view::npos
// stands for "none". Text is bytes (Windows-1252), nothing is converted.

#include "common/error.h"
#include "generator/parameters.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kaviro {

class TemplateEngine;

// An error found in a template. The message carries the line and column of
// the place where the pass stood: "Can not analyze tag. Line: 4, Char: 17."
class TemplateError : public Error {
public:
    TemplateError(const std::string &reason, int line, int column, const TemplateEngine *engine);

    // Throws the TemplateError for position (0-based) in text. A position at
    // or beyond the end of the text cannot be placed on a line; that throws
    // the plain Error "Error while detecting position in line. Index (%d) out
    // of range (%d)." instead (1-based index, text length).
    [[noreturn]] static void raise(std::string_view reason, std::string_view text, std::size_t position,
                                   const TemplateEngine *engine);

    int line() const { return m_line; }
    int column() const { return m_column; }
    // The engine that raised the error; it may be gone by the time the error
    // is looked at, so only compare it.
    const TemplateEngine *engine() const { return m_engine; }

private:
    int m_line;
    int m_column;
    const TemplateEngine *m_engine;
};

inline bool isLineBreakChar(char c) { return c == '\r' || c == '\n'; }
inline bool isBlankOrTab(char c) { return c == ' ' || c == '\t'; }

// Length of the line break starting at pos: 2 for CR LF or LF CR, 1 for a
// lone CR or LF, 0 when no line break starts there.
std::size_t lineBreakLength(std::string_view text, std::size_t pos);

// Position after the first line break at or after from; npos when the text
// ends first.
std::size_t skipLineBreak(std::string_view text, std::size_t from);

struct LineColumn {
    int line;
    int column;
};
// 1-based line and column of position (which must lie inside the text).
LineColumn lineAndColumn(std::string_view text, std::size_t position);

// Splits text into lines at CR LF, CR or LF; a final line break does not
// start another line.
std::vector<std::string> splitLines(std::string_view text);

// Replaces "#hh" escapes (two hexadecimal digits) by the byte they name in a
// value of three or more characters; anything else stays as written.
std::string decodeValue(std::string_view value);

// A candidate tag: the "<" and the name that follows it. Blanks and ">" right
// after the "<" are skipped; the name runs to the next blank or ">". When a
// blank follows the character that ended the name, the name gets a trailing
// blank so that it matches no tag word ("<if  name=x>" stays literal).
struct TagName {
    std::size_t open = std::string_view::npos; // position of "<"
    std::string_view name;                     // may point into scratch
};

// Finds the next "<" at or after from and reads its name into out (using
// scratch when a blank must be appended). With stripSlash a "/" ending the
// name is dropped ("<code/>" reads as "code"). False when there is no "<".
bool findTag(std::string_view text, std::size_t from, bool stripSlash, std::string &scratch, TagName &out);

// Reads the parameters of a recognised tag starting at pos (right after its
// tag word) into params (emptied first), leaves pos right after the tag's
// ">", and returns whether the tag was closed by "/>". Throws TemplateError
// "Can not analyze tag" at the offending character.
//
// Between parameters blanks and tabs separate; a line break there is an
// error. A tag left unclosed would otherwise swallow the lines after it and
// report its error far from the cause. Inside a quoted value a line break
// reads as one blank.
bool readTagParams(std::string_view text, std::size_t &pos, StringParameters &params,
                   const TemplateEngine *engine);

// The line rule. When only blanks and tabs stand between the tag at tagOpen
// and the preceding line break (or the start of the text), and that line
// break lies inside the pending text starting at pendingStart or is the
// character just before it, returns where that indentation begins; npos when
// the tag does not begin its line.
std::size_t tagIndentStart(std::string_view text, std::size_t pendingStart, std::size_t tagOpen);

// From pos, when only blanks and tabs stand before the next line break,
// returns the position after that line break (or the end of the text when it
// ends first); otherwise pos.
std::size_t skipBlankRestOfLine(std::string_view text, std::size_t pos);

} // namespace kaviro
