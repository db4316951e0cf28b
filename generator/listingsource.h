#pragma once

#include "generator/webdata.h"

#include <string>
#include <vector>

namespace kaviro {

// What the page generator reads: the snapshot's row count and its rows by
// index. The data module implements it; tests answer from memory.
class ListingSource {
public:
    virtual ~ListingSource() = default;
    virtual int webDataCount() const = 0;
    // Valid for 0 <= index < webDataCount() while the snapshot rows exist.
    virtual const WebDataRow &webDataRow(int index) const = 0;
    // The names of the table's extra columns (Windows-1252), in the order of
    // each row's extras; none by default.
    virtual const std::vector<std::string> &extraFieldNames() const
    {
        static const std::vector<std::string> none;
        return none;
    }
};

} // namespace kaviro
