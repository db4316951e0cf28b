#pragma once

#include <string>

namespace kaviro {

// A received line as it is shown: without its CR LF (or lone LF, or CR).
inline std::string withoutLineEnd(std::string line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    return line;
}

} // namespace kaviro
