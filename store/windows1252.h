#pragma once

#include "common/error.h"

#include <QString>

#include <exception>
#include <string>
#include <string_view>

namespace kaviro {

// The one place where Qt text meets the Windows-1252 bytes that templates,
// pages, the settings file and error messages are made of.

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

// A kaviro::Error with the message encoded, as every Error message is
// Windows-1252 (common/error.h).
Error windows1252Error(const QString &message);

// The message of an exception as a window or the terminal shows it: a
// kaviro::Error's decoded from Windows-1252, any other's from UTF-8.
QString exceptionText(const std::exception &error);

} // namespace kaviro
