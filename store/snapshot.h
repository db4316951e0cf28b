#pragma once

#include "generator/webdata.h"
#include "store/extracolumns.h"
#include "store/listingquery.h"

#include <QDateTime>
#include <QLocale>
#include <QSqlDatabase>
#include <QStringList>

#include <string>
#include <vector>

namespace kaviro {

// The active listings (Status true) that the filter lets through, in the
// order of the sort text, read from the connection as the snapshot holds
// them; needs no model. On SQLite the rows are stepped through SQLite's own
// interface on the connection Qt opened, which reads them at about the cost
// of the query itself. The extra columns follow in each row's extras, as
// texts. Errors reading a row are thrown as kaviro::Error. A value of a
// number column that is no number is taken as 0 and, when numberWarnings is
// given, reported there naming the listing and the column.
WebData readSnapshot(const QSqlDatabase &db, const ListingQuery &query, const std::vector<ExtraColumn> &extras,
                     const QString &sort, const QString &filter, const QLocale &locale,
                     QStringList *numberWarnings = nullptr);

// A date as the snapshot holds it, in Windows-1252: the locale's short
// date, then a blank and the long time when the time of day is not
// midnight; empty for an invalid (null) value.
std::string formatListingDate(const QDateTime &value, const QLocale &locale);

// A snapshot date in a template's own format (QLocale's date-time format
// syntax, such as "dd.MM.yyyy"); both texts are Windows-1252.
std::string formatListingDate(const ListingDateTime &date, const std::string &format, const QLocale &locale);

} // namespace kaviro
