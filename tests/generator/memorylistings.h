#pragma once

#include "generator/listingsource.h"

namespace kaviro::test {

// Listings held in memory, as the snapshot holds them.
struct MemoryListings : ListingSource {
    WebData rows;
    std::vector<std::string> extras;
    int webDataCount() const override { return static_cast<int>(rows.size()); }
    const WebDataRow &webDataRow(int index) const override { return rows.at(static_cast<std::size_t>(index)); }
    const std::vector<std::string> &extraFieldNames() const override { return extras; }
};

} // namespace kaviro::test
