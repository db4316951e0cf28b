#pragma once

#include <stdexcept>
#include <string>

namespace kaviro {

// Base of every exception the program raises; thrown itself where no
// particular class applies. The message is the user-facing text.
class Error : public std::runtime_error {
public:
    explicit Error(const std::string &message) : std::runtime_error(message) {}
};

} // namespace kaviro
