#pragma once

// The columns of the table Wohnungen: the one place that says what a column
// is. The store opens and converts by it, the snapshot copies by it, the
// generator answers its macros by it, the grid and the editors of the main
// window show by it. A new column is one entry here (plus the SQL scripts
// that create the table and the templates that use its macro).

#include <array>
#include <cstddef>
#include <string_view>

namespace kaviro {

enum class ColumnKind {
    Text,     // at most size characters
    Memo,     // text of any length
    Float,    // shown with decimals digits after the separator
    Integer,  // a whole number (only extra columns have this kind)
    DateTime, // the snapshot and the window show the locale's date (and time)
    Boolean,
    Other, // a primary key, or an extra column of a type the program cannot edit
};

struct ListingColumn {
    std::string_view name;
    ColumnKind kind;
    int size = 0;     // most characters of a Text column, 0 otherwise
    int decimals = 0; // digits after the separator of a Float column
    bool grouped = false; // a Float column shows thousands separators in the window
    std::string_view gridTitle = {}; // empty: not a column of the grid
    int gridWidth = 0;
    std::string_view editor = {}; // object name of the main window's editor bound to it, if any
    bool snapshot = false; // copied into the snapshot the generator reads
    std::string_view macro = {}; // the page macro that answers with the value, if any
    std::string_view unit = {};  // Windows-1252; a Float macro's value ends in a blank and this
};

inline constexpr char listingTableName[] = "Wohnungen";

// In field order, which the grid follows. A table may have further columns:
// its primary key, which the program does not show, and extra columns, which
// the editor shows under "Weitere Angaben" and the pages as macros of their
// own name.
inline constexpr auto listingColumns = std::to_array<ListingColumn>({
    {.name = "Wohnung", .kind = ColumnKind::Text, .size = 80, .gridTitle = "Wohnung", .gridWidth = 185,
     .editor = "dbeWohnung", .snapshot = true, .macro = "Wohnung"},
    {.name = "Flaeche", .kind = ColumnKind::Float, .decimals = 1, .gridTitle = "qm", .gridWidth = 45,
     .editor = "dbeFlaeche", .snapshot = true, .macro = "Flaeche", .unit = "qm"},
    {.name = "Strasse", .kind = ColumnKind::Text, .size = 50, .gridTitle = "Strasse", .gridWidth = 185,
     .editor = "dbeStrasse", .snapshot = true, .macro = "Strasse"},
    {.name = "PLZ", .kind = ColumnKind::Text, .size = 8, .gridTitle = "PLZ", .gridWidth = 45, .editor = "dbePLZ",
     .snapshot = true, .macro = "PLZ"},
    {.name = "Ort", .kind = ColumnKind::Text, .size = 35, .gridTitle = "Ort", .gridWidth = 130, .editor = "dbeOrt",
     .snapshot = true, .macro = "Ort"},
    {.name = "Beschreibung", .kind = ColumnKind::Memo, .editor = "dbeBeschreibung", .snapshot = true,
     .macro = "Beschreibung"},
    {.name = "Miete", .kind = ColumnKind::Float, .decimals = 2, .grouped = true, .editor = "dbeMiete",
     .snapshot = true, .macro = "Miete", .unit = "\x80"},
    {.name = "Nebenkosten", .kind = ColumnKind::Float, .decimals = 2, .grouped = true, .editor = "dbeNebenkosten",
     .snapshot = true, .macro = "Nebenkosten", .unit = "\x80"},
    {.name = "ZuMietenAb", .kind = ColumnKind::DateTime, .editor = "dbeZuMietenAb", .snapshot = true,
     .macro = "ZuMietenAb"},
    // Shown by a label of its own, not by an editor.
    {.name = "Timestamp", .kind = ColumnKind::DateTime},
    {.name = "Status", .kind = ColumnKind::Boolean, .gridTitle = "Aktiv", .gridWidth = 50,
     .editor = "DBCheckBox1"},
});

// The index of a column in listingColumns; a name that is no column does not
// compile.
consteval std::size_t listingColumnIndex(std::string_view name)
{
    for (std::size_t i = 0; i < listingColumns.size(); ++i) {
        if (listingColumns[i].name == name)
            return i;
    }
    throw "no column of that name";
}

// The snapshot keeps numbers as numbers and every other value as text.
constexpr bool isSnapshotNumber(const ListingColumn &column)
{
    return column.kind == ColumnKind::Float;
}

// Where a snapshot column lives in its row: its place among the snapshot's
// numbers or among its texts, in column order; -1 for a column not copied.
constexpr int snapshotSlot(std::size_t index)
{
    const ListingColumn &column = listingColumns[index];
    if (!column.snapshot)
        return -1;
    int slot = 0;
    for (std::size_t i = 0; i < index; ++i)
        slot += listingColumns[i].snapshot && isSnapshotNumber(listingColumns[i]) == isSnapshotNumber(column);
    return slot;
}

// Where a date column keeps its date and time beside its text: its place
// among the snapshot's dates; -1 for any other column.
constexpr int snapshotDateSlot(std::size_t index)
{
    if (!listingColumns[index].snapshot || listingColumns[index].kind != ColumnKind::DateTime)
        return -1;
    int slot = 0;
    for (std::size_t i = 0; i < index; ++i)
        slot += listingColumns[i].snapshot && listingColumns[i].kind == ColumnKind::DateTime;
    return slot;
}

constexpr std::size_t snapshotDateCount()
{
    std::size_t count = 0;
    for (const ListingColumn &column : listingColumns)
        count += column.snapshot && column.kind == ColumnKind::DateTime;
    return count;
}

constexpr std::size_t snapshotColumnCount(bool numbers)
{
    std::size_t count = 0;
    for (const ListingColumn &column : listingColumns)
        count += column.snapshot && isSnapshotNumber(column) == numbers;
    return count;
}

} // namespace kaviro
