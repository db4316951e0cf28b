#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace kaviro {

// The one place where Qt text meets the Windows-1252 bytes that templates,
// pages and the settings file are made of.

// Decodes Windows-1252 bytes. The five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the control characters of the same
// number, so that decoding and encoding give back the same bytes.
QString fromWindows1252(std::string_view bytes);

// Encodes to Windows-1252. A character the code page cannot hold is written
// as an HTML numeric character reference ("&#8364;" form, decimal code point)
// instead of vanishing or turning into "?": the text goes into HTML pages,
// where the browser shows the reference as the character itself.
std::string toWindows1252(const QString &text);

// Appends the encoded text to out; saves an allocation per field when many
// texts are converted in a row.
void appendWindows1252(std::string &out, const QString &text);

// True when every character of text has a Windows-1252 byte, so that
// toWindows1252 would write no character reference. Dialogs use it to refuse
// values (paths, passwords) for which a reference would be wrong.
bool isWindows1252(const QString &text);

} // namespace kaviro
