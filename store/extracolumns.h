#pragma once

#include "common/listingcolumns.h"

#include <QString>

#include <vector>

class QSqlDatabase;

namespace kaviro {

class ListingQuery;

// A column of Wohnungen beyond the listing columns and the primary key:
// its name as the database spells it, and the kind the editor, the model
// and the snapshot treat it as. Other: a type the program cannot edit (a
// blob, say), shown read-only.
struct ExtraColumn {
    QString name;
    ColumnKind kind = ColumnKind::Other;
    int size = 0; // most characters of a Text column, 0 for no limit
};

// The extra columns of the table query describes, in field order.
std::vector<ExtraColumn> extraColumns(const QSqlDatabase &db, const ListingQuery &query);

// The kind of a column SQLite declares with this type name (SQLite keeps
// any name; Qt's driver tells only a few of them apart), and the size in
// parentheses after a character type.
ColumnKind sqliteColumnKind(const QString &declaredType, int *size);

} // namespace kaviro
