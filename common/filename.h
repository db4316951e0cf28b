#pragma once

#include <string_view>

namespace kaviro {

// The file-name part of a path: what follows its last "/".
constexpr std::string_view fileNamePart(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

} // namespace kaviro
