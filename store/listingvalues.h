#pragma once

#include "common/listingcolumns.h"

#include <QDateTime>
#include <QVariant>

namespace kaviro {

// The values of the listing columns between the database, the model and
// its views. Drivers deliver a column in whatever type it is stored as;
// these functions give every caller the same kind of value for it.

bool isNullValue(const QVariant &value);

// A value as the model shows it: null as an invalid variant, texts never
// empty, numbers as double, flags as bool, dates as QDateTime. A value that
// does not convert stays as it was.
QVariant normalizedValue(ColumnKind kind, const QVariant &value);

// Null equals null only; otherwise as QVariant compares.
bool sameValue(const QVariant &a, const QVariant &b);

// What is stored for a value given by a view or a caller; ok is false for a
// value the column cannot take. An invalid variant means null.
QVariant storageValue(ColumnKind kind, const QVariant &value, bool *ok);

// A stored date: QDateTime, QDate or ISO text (with "T" or a blank before
// the time) in local time; invalid for null or anything else.
QDateTime storedDateTime(const QVariant &value);

} // namespace kaviro
