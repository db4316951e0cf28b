#pragma once

#include <string>
#include <string_view>

namespace kaviro {

// Texts of the generator, the settings and the pages are Windows-1252 bytes;
// the file system and the terminal speak UTF-8. This turns the former into
// the latter wherever a text leaves the program that way.
std::string cp1252ToUtf8(std::string_view text);

} // namespace kaviro
