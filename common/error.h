#pragma once

#include <stdexcept>
#include <string>

namespace kaviro {

// Base of every exception the program raises; thrown itself where no
// particular class applies. The message is the user-facing text, in
// Windows-1252 bytes whatever layer throws: Qt code builds it with
// windows1252Error (store/windows1252.h), code without Qt writes umlauts as
// "\xfc" escapes and converts UTF-8 file names with utf8ToCp1252
// (common/cp1252.h). Whoever shows a message decodes it from Windows-1252
// (exceptionText, cp1252ToUtf8); any other std::exception's message is UTF-8.
class Error : public std::runtime_error {
public:
    explicit Error(const std::string &message) : std::runtime_error(message) {}
};

} // namespace kaviro

namespace kaviro {

// The text of the application's default error box, which shows an exception
// that no command caught: the message, with a "." appended when it is not
// empty and its last character sorts after ".". Works on Windows-1252 and
// UTF-8 alike: every byte above 127 sorts after ".".
inline std::string defaultErrorText(std::string message)
{
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        message += '.';
    return message;
}

} // namespace kaviro
