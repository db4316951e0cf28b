#pragma once

#include "common/listingcolumns.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kaviro {

// A snapshot column named at compile time: row.text("Wohnung"),
// row.number("Miete"). A name that is no snapshot column of that kind does
// not compile.
template <bool Number>
struct SnapshotField {
    template <std::size_t N>
    consteval SnapshotField(const char (&name)[N]) : slot(checkedSlot(std::string_view(name, N - 1)))
    {
    }

    static consteval std::size_t checkedSlot(std::string_view name)
    {
        const std::size_t index = listingColumnIndex(name);
        if (!listingColumns[index].snapshot || isSnapshotNumber(listingColumns[index]) != Number)
            throw "not a snapshot column of this kind";
        return std::size_t(snapshotSlot(index));
    }

    std::size_t slot;
};

// A photo of a listing as the pages name it; its bytes come from a
// PhotoSource when the image files are written.
struct WebPhoto {
    std::int64_t id = 0;
    std::string title; // Windows-1252
    int width = 0;
    int height = 0;
};

// A stored date and time of day in local time, kept beside its text so that
// a template may ask for another format; year 0 for none (null).
struct ListingDateTime {
    std::int16_t year = 0;
    std::int8_t month = 0;
    std::int8_t day = 0;
    std::int8_t hour = 0;
    std::int8_t minute = 0;
    std::int8_t second = 0;
    std::int16_t msec = 0;

    bool isNull() const { return year == 0; }
};

// One active listing copied out of the table for page generation: the
// columns of listingColumns marked for the snapshot, in column order. Texts
// are Windows-1252 bytes (empty when null; a date in the locale's short
// form, plus the long time when not midnight); numbers stay numbers (0.0
// when null) so the generator can format them. The table's extra columns
// follow as texts, in the order the source names them.
struct WebDataRow {
    std::array<std::string, snapshotColumnCount(false)> texts;
    std::array<double, snapshotColumnCount(true)> numbers{};
    // The table's key in decimal, empty for a table without one; names the
    // listing's detail page and image files.
    std::string key;
    std::vector<WebPhoto> photos; // in their order
    std::array<ListingDateTime, snapshotDateCount()> dates{};
    std::vector<std::string> extras;

    const std::string &text(SnapshotField<false> field) const { return texts[field.slot]; }
    std::string &text(SnapshotField<false> field) { return texts[field.slot]; }
    double number(SnapshotField<true> field) const { return numbers[field.slot]; }
    double &number(SnapshotField<true> field) { return numbers[field.slot]; }
};

using WebData = std::vector<WebDataRow>;

} // namespace kaviro
