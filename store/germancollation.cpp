#include "store/germancollation.h"

#include <QLocale>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlQuery>

#include <algorithm>
#include <numeric>

#include <sqlite3.h>

namespace kaviro {

namespace {

const char sqliteCollationName[] = "kaviro_de";

// The server's German collations, most exact first.
const char *const postgresCollations[] = {"de-DE-x-icu", "de-x-icu", "de_DE.utf8", "de_DE.UTF-8", "de_DE"};

bool isPrintableAscii(char c)
{
    return c >= ' ' && c <= '~';
}

bool isUpperAscii(char c)
{
    return c >= 'A' && c <= 'Z';
}

int sqliteCompare(void *collation, int lengthA, const void *a, int lengthB, const void *b)
{
    return static_cast<const GermanCollation *>(collation)->compare(
        {static_cast<const char *>(a), std::size_t(lengthA)}, {static_cast<const char *>(b), std::size_t(lengthB)});
}

void deleteCollation(void *collation)
{
    delete static_cast<GermanCollation *>(collation);
}

QString registerOnSqlite(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return QString();
    sqlite3 *connection = *static_cast<sqlite3 *const *>(handle.constData());
    // SQLite owns the collation from here on, also when registering fails.
    if (sqlite3_create_collation_v2(connection, sqliteCollationName, SQLITE_UTF8, new GermanCollation,
                                    sqliteCompare, deleteCollation) != SQLITE_OK)
        return QString();
    return QString::fromLatin1(sqliteCollationName);
}

QString postgresCollation(const QSqlDatabase &db)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT collname FROM pg_collation WHERE collencoding IN "
                                   "(-1, pg_char_to_encoding(getdatabaseencoding()))")))
        return QString();
    QStringList available;
    while (query.next())
        available.append(query.value(0).toString());
    for (const char *name : postgresCollations) {
        if (available.contains(QLatin1StringView(name)))
            return u'"' + QString::fromLatin1(name) + u'"';
    }
    return QString();
}

} // namespace

GermanCollation::GermanCollation() : m_collator(QLocale(QLocale::German, QLocale::Germany))
{
    // Rank the printable ASCII characters as the collator does without
    // regard to case; equal ones (a and A) share a weight.
    QCollator caseless(m_collator.locale());
    caseless.setCaseSensitivity(Qt::CaseInsensitive);
    std::array<char, printableCount> chars{};
    std::iota(chars.begin(), chars.end(), first);
    const auto text = [](char c) { return QString(QLatin1Char(c)); };
    std::stable_sort(chars.begin(), chars.end(),
                     [&](char a, char b) { return caseless.compare(text(a), text(b)) < 0; });
    std::uint8_t weight = 0;
    for (std::size_t i = 0; i < chars.size(); ++i) {
        if (i == 0 || caseless.compare(text(chars[i - 1]), text(chars[i])) != 0)
            ++weight;
        m_primary[std::size_t(chars[i] - first)] = weight;
    }
}

int GermanCollation::compare(std::string_view a, std::string_view b) const
{
    // Sorted neighbours share long starts; the same bytes weigh the same, so
    // the first bytes that differ decide when they differ in base letter.
    const auto [endA, endB] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    if (endA == a.end() && endB == b.end())
        return 0;
    if (endA != a.end() && endB != b.end() && isPrintableAscii(*endA) && isPrintableAscii(*endB)) {
        const int primary = int(m_primary[std::size_t(*endA - first)]) - int(m_primary[std::size_t(*endB - first)]);
        if (primary != 0)
            return primary;
    }
    return compareWhole(a, b);
}

int GermanCollation::compareWhole(std::string_view a, std::string_view b) const
{
    // The first difference of base characters decides, whatever follows; a
    // difference in case only when none is found. Anything beyond printable
    // ASCII goes to the collator.
    const std::size_t common = std::min(a.size(), b.size());
    int caseOrder = 0;
    std::size_t i = 0;
    for (; i < common; ++i) {
        const char ca = a[i];
        const char cb = b[i];
        if (!isPrintableAscii(ca) || !isPrintableAscii(cb))
            break;
        const int primary = int(m_primary[std::size_t(ca - first)]) - int(m_primary[std::size_t(cb - first)]);
        if (primary != 0)
            return primary;
        if (caseOrder == 0 && ca != cb)
            caseOrder = isUpperAscii(ca) ? 1 : -1; // lower case first
    }
    const bool restAscii = std::all_of(a.begin() + std::ptrdiff_t(i), a.end(), isPrintableAscii)
        && std::all_of(b.begin() + std::ptrdiff_t(i), b.end(), isPrintableAscii);
    if (i == common && restAscii) {
        if (a.size() != b.size())
            return a.size() < b.size() ? -1 : 1;
        return caseOrder;
    }
    return m_collator.compare(QString::fromUtf8(a.data(), qsizetype(a.size())),
                              QString::fromUtf8(b.data(), qsizetype(b.size())));
}

QString useGermanCollation(const QSqlDatabase &db, Provider provider)
{
    switch (provider) {
    case Provider::SQLite: return registerOnSqlite(db);
    case Provider::PostgreSQL: return postgresCollation(db);
    case Provider::ODBC:
    case Provider::MySQL: break;
    }
    return QString();
}

} // namespace kaviro
