#pragma once

#include "generator/webdata.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace kaviro {

// The names of a listing's files beside the pages, relative to the output
// folder.

// "bilder/<key>-<n>.jpg" for the photo at index (n counts from 1), with
// "-klein" before ".jpg" for its thumbnail.
std::string photoFileName(const WebDataRow &row, std::size_t index, bool thumbnail);

// "wohnung-<key>.html"; for a table without key the title made safe for an
// address instead: ASCII letters and digits in lower case, umlauts and ß
// spelt out, every other run of characters one "-".
std::string detailPageName(const WebDataRow &row);

// That safe form of a Windows-1252 text.
std::string urlSafeName(std::string_view text);

} // namespace kaviro
