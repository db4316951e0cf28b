#include "store/snapshot.h"

#include "common/cp1252.h"
#include "common/error.h"
#include "store/listingvalues.h"
#include "store/windows1252.h"

#include <QHash>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <functional>
#include <memory>
#include <string_view>
#include <unordered_map>

#include <sqlite3.h>

namespace kaviro {

namespace {

// The long time format without its time-zone part: a listing is available
// from a local time, and "15:00:00 MESZ" would only add noise.
QString longTimeFormat(const QLocale &locale)
{
    QString format = locale.timeFormat(QLocale::LongFormat);
    QString result;
    bool quoted = false;
    for (QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && c == u't')
            continue;
        result.append(c);
    }
    return result.trimmed();
}

// Formats dates for one build; listings share few distinct dates, so each
// is formatted once.
class DateFormatter {
public:
    explicit DateFormatter(const QLocale &locale) : m_locale(locale), m_timeFormat(longTimeFormat(locale)) {}

    void append(std::string &out, const QDate &date, const QTime &time)
    {
        auto it = m_dates.find(date.toJulianDay());
        if (it == m_dates.end())
            it = m_dates.insert(date.toJulianDay(), toWindows1252(m_locale.toString(date, QLocale::ShortFormat)));
        out += *it;
        if (time != QTime(0, 0)) {
            out += ' ';
            appendWindows1252(out, m_locale.toString(time, m_timeFormat));
        }
    }

private:
    QLocale m_locale;
    QString m_timeFormat;
    QHash<qint64, std::string> m_dates;
};

int digits(const QChar *text, int count)
{
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

// Date and time of day of a stored value. SQLite hands dates over as ISO
// text; reading that directly avoids building a QDateTime per listing, which
// would cost more than the rest of the row.
bool dateAndTime(const QVariant &value, QDate &date, QTime &time)
{
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString();
        const QChar *p = text.constData();
        const qsizetype n = text.size();
        if ((n == 10 || n == 19 || n == 23) && p[4] == u'-' && p[7] == u'-') {
            date = QDate(digits(p, 4), digits(p + 5, 2), digits(p + 8, 2));
            time = QTime(0, 0);
            if (n > 10 && (p[10] == u'T' || p[10] == u' ') && p[13] == u':' && p[16] == u':'
                && (n == 19 || p[19] == u'.'))
                time = QTime(digits(p + 11, 2), digits(p + 14, 2), digits(p + 17, 2), n == 23 ? digits(p + 20, 3) : 0);
            else if (n > 10)
                time = QTime();
            if (date.isValid() && time.isValid())
                return true;
        }
    }
    const QDateTime dateTime = storedDateTime(value);
    date = dateTime.date();
    time = dateTime.time();
    return dateTime.isValid();
}

void appendValue(std::string &out, const QVariant &value)
{
    if (!value.isNull())
        appendWindows1252(out, value.toString());
}

ListingDateTime listingDateTime(const QDate &date, const QTime &time)
{
    return {std::int16_t(date.year()), std::int8_t(date.month()),   std::int8_t(date.day()),
            std::int8_t(time.hour()),  std::int8_t(time.minute()), std::int8_t(time.second()),
            std::int16_t(time.msec())};
}

// A date column's text, and its date and time for a template's own format.
struct SnapshotDate {
    std::string text;
    ListingDateTime moment;
};

void readDate(SnapshotDate &out, const QVariant &value, std::string_view column, DateFormatter &dates)
{
    if (value.isNull())
        return;
    QDate date;
    QTime time;
    if (!dateAndTime(value, date, time))
        throw windows1252Error(QStringLiteral("Ungültiges Datum im Feld \"%1\": %2")
                                   .arg(fromWindows1252(column), value.toString()));
    dates.append(out.text, date, time);
    // Years the snapshot's small fields cannot hold keep their text only.
    if (date.year() > 0 && date.year() < 10000)
        out.moment = listingDateTime(date, time);
}

double numberOf(const QVariant &value, bool &ok)
{
    ok = true;
    if (value.isNull())
        return 0.0;
    const double number = value.toDouble(&ok);
    return ok ? number : 0.0;
}

// The snapshot's columns, row by row, forward only.
class SnapshotRows {
public:
    virtual ~SnapshotRows() = default;
    virtual bool next() = 0;
    // The value as Qt's driver delivers it.
    virtual QVariant value(int column) const = 0;
    virtual void appendText(std::string &out, int column) const { appendValue(out, value(column)); }
    // 0 for null; ok false, and 0, for a value that is no number.
    virtual double number(int column, bool &ok) const { return numberOf(value(column), ok); }
    virtual void readDate(SnapshotDate &out, int column, std::string_view name, DateFormatter &dates)
    {
        kaviro::readDate(out, value(column), name, dates);
    }
};

class QueryRows : public SnapshotRows {
public:
    QueryRows(const QSqlDatabase &db, const QString &statement) : m_query(db)
    {
        m_query.setForwardOnly(true);
        if (!m_query.exec(statement)) {
            const QString text = m_query.lastError().text().trimmed();
            throw windows1252Error(text.isEmpty() ? QStringLiteral("Die Tabelle konnte nicht gelesen werden.") : text);
        }
    }
    bool next() override { return m_query.next(); }
    QVariant value(int column) const override { return m_query.value(column); }

private:
    QSqlQuery m_query;
};

// The same rows read through SQLite's own interface. Qt's driver turns each
// text into UTF-16 and wraps every value in a QVariant, which costs more
// than all the rest of the snapshot; here valid UTF-8 text goes straight to
// Windows-1252. Values of other types are wrapped as Qt's driver wraps them,
// so both readers give the same snapshot.
class SqliteRows : public SnapshotRows {
public:
    SqliteRows(sqlite3 *db, const QString &statement) : m_db(db)
    {
        const QByteArray sql = statement.toUtf8();
        if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &m_statement, nullptr) != SQLITE_OK)
            fail();
    }
    ~SqliteRows() override { sqlite3_finalize(m_statement); }

    bool next() override
    {
        const int result = sqlite3_step(m_statement);
        if (result != SQLITE_ROW && result != SQLITE_DONE)
            fail();
        return result == SQLITE_ROW;
    }

    QVariant value(int column) const override
    {
        switch (sqlite3_column_type(m_statement, column)) {
        case SQLITE_INTEGER:
            return QVariant(qlonglong(sqlite3_column_int64(m_statement, column)));
        case SQLITE_FLOAT:
            return QVariant(sqlite3_column_double(m_statement, column));
        case SQLITE_BLOB:
            return QVariant(QByteArray(static_cast<const char *>(sqlite3_column_blob(m_statement, column)),
                                       sqlite3_column_bytes(m_statement, column)));
        case SQLITE_NULL:
            return QVariant();
        default:
            return QVariant(QString::fromUtf8(text(column)));
        }
    }

    void appendText(std::string &out, int column) const override
    {
        if (sqlite3_column_type(m_statement, column) != SQLITE_TEXT) {
            appendValue(out, value(column));
            return;
        }
        const std::string_view utf8 = text(column);
        const std::size_t start = out.size();
        out.reserve(start + utf8.size());
        if (!appendUtf8AsCp1252(out, utf8)) {
            // Not UTF-8 throughout: with the decoder's replacement
            // characters instead, as through Qt's driver.
            out.resize(start);
            appendWindows1252(out, QString::fromUtf8(utf8));
        }
    }

    double number(int column, bool &ok) const override
    {
        const int type = sqlite3_column_type(m_statement, column);
        if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
            ok = true;
            return sqlite3_column_double(m_statement, column);
        }
        return numberOf(value(column), ok);
    }

    // Listings share few distinct dates: each stored text is read and
    // formatted once.
    void readDate(SnapshotDate &out, int column, std::string_view name, DateFormatter &dates) override
    {
        if (sqlite3_column_type(m_statement, column) != SQLITE_TEXT) {
            SnapshotRows::readDate(out, column, name, dates);
            return;
        }
        const std::string_view stored = text(column);
        auto known = m_dates.find(stored);
        if (known == m_dates.end()) {
            SnapshotDate formatted;
            SnapshotRows::readDate(formatted, column, name, dates);
            known = m_dates.emplace(stored, std::move(formatted)).first;
        }
        out.text += known->second.text;
        out.moment = known->second.moment;
    }

private:
    std::string_view text(int column) const
    {
        const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
        return {bytes, std::size_t(sqlite3_column_bytes(m_statement, column))};
    }

    [[noreturn]] void fail() const
    {
        throw windows1252Error(QString::fromUtf8(sqlite3_errmsg(m_db)));
    }

    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
    };

    sqlite3 *m_db;
    sqlite3_stmt *m_statement = nullptr;
    std::unordered_map<std::string, SnapshotDate, TextHash, std::equal_to<>> m_dates; // by stored text
};

// The SQLite connection behind db, or nullptr for other drivers.
sqlite3 *sqliteHandle(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}


// Where each snapshot column is read from and where it goes.
struct SnapshotColumn {
    int position; // in the statement
    std::size_t slot;
    int dateSlot;
    const ListingColumn *column;
};

std::vector<SnapshotColumn> snapshotColumns(QStringList &names)
{
    std::vector<SnapshotColumn> columns;
    for (std::size_t i = 0; i < listingColumns.size(); ++i) {
        if (!listingColumns[i].snapshot)
            continue;
        columns.push_back({int(names.size()), std::size_t(snapshotSlot(i)), snapshotDateSlot(i), &listingColumns[i]});
        names.append(QString::fromLatin1(listingColumns[i].name));
    }
    return columns;
}

// An extra column's value as the pages show it: numbers in the locale's
// form without thousands separators (as the listing columns' macros),
// flags as "Ja" or "Nein", dates as ZuMietenAb.
void appendExtra(std::string &out, SnapshotRows &rows, int position, const ExtraColumn &extra, const QLocale &numbers,
                 DateFormatter &dates)
{
    switch (extra.kind) {
    case ColumnKind::Text:
    case ColumnKind::Memo:
    case ColumnKind::Other:
        rows.appendText(out, position);
        return;
    case ColumnKind::DateTime: {
        SnapshotDate date;
        rows.readDate(date, position, toWindows1252(extra.name), dates);
        out += date.text;
        return;
    }
    case ColumnKind::Float:
    case ColumnKind::Integer:
    case ColumnKind::Boolean:
        break;
    }
    const QVariant value = normalizedValue(extra.kind, rows.value(position));
    if (!value.isValid())
        return;
    if (value.typeId() == QMetaType::Double)
        appendWindows1252(out, numbers.toString(value.toDouble(), 'f', QLocale::FloatingPointShortest));
    else if (value.typeId() == QMetaType::LongLong)
        appendWindows1252(out, numbers.toString(value.toLongLong()));
    else if (value.typeId() == QMetaType::Bool)
        out += value.toBool() ? "Ja" : "Nein";
    else
        appendValue(out, value); // a value the column's kind does not fit, as it stands
}

void readDate(SnapshotRows &rows, WebDataRow &row, const SnapshotColumn &c, DateFormatter &dates)
{
    SnapshotDate date;
    date.text = std::move(row.texts[c.slot]);
    rows.readDate(date, c.position, c.column->name, dates);
    row.texts[c.slot] = std::move(date.text);
    row.dates[std::size_t(c.dateSlot)] = date.moment;
}

QString notANumberWarning(const WebDataRow &row, const SnapshotColumn &column, const QVariant &value)
{
    constexpr int wohnung = snapshotSlot(listingColumnIndex("Wohnung"));
    return QStringLiteral("Die Wohnung \"%1\" hat im Feld \"%2\" keine Zahl (\"%3\"); auf den Seiten steht 0.")
        .arg(fromWindows1252(row.texts[std::size_t(wohnung)]),
             QLatin1StringView(column.column->name.data(), qsizetype(column.column->name.size())),
             value.toString());
}

} // namespace

std::string formatListingDate(const ListingDateTime &date, const std::string &format, const QLocale &locale)
{
    const QDateTime value(QDate(date.year, date.month, date.day),
                          QTime(date.hour, date.minute, date.second, date.msec));
    std::string result;
    appendWindows1252(result, locale.toString(value, fromWindows1252(format)));
    return result;
}

std::string formatListingDate(const QDateTime &value, const QLocale &locale)
{
    std::string result;
    if (value.isValid())
        DateFormatter(locale).append(result, value.date(), value.time());
    return result;
}

WebData readSnapshot(const QSqlDatabase &db, const ListingQuery &query, const std::vector<ExtraColumn> &extras,
                     const QString &sort, const QString &filter, const QLocale &locale, QStringList *numberWarnings)
{
    QStringList names;
    const std::vector<SnapshotColumn> columns = snapshotColumns(names);
    const int firstExtra = int(names.size());
    for (const ExtraColumn &extra : extras)
        names.append(extra.name);
    // The key names the listing's detail page and photos.
    const int keyPosition = query.primaryKey().size() == 1 ? int(names.size()) : -1;
    if (keyPosition >= 0)
        names.append(query.primaryKey().first());
    QLocale numbers = locale;
    numbers.setNumberOptions(numbers.numberOptions() | QLocale::OmitGroupSeparator);
    const QString statement = query.select(names, sort, {QStringLiteral("Status = true"), filter});
    std::unique_ptr<SnapshotRows> rows;
    if (sqlite3 *handle = sqliteHandle(db))
        rows = std::make_unique<SqliteRows>(handle, statement);
    else
        rows = std::make_unique<QueryRows>(db, statement);
    WebData snapshot;
    DateFormatter dates(locale);
    std::vector<const SnapshotColumn *> notNumbers; // of the current row
    while (rows->next()) {
        WebDataRow &row = snapshot.emplace_back();
        notNumbers.clear();
        for (const SnapshotColumn &c : columns) {
            if (isSnapshotNumber(*c.column)) {
                bool ok = true;
                row.numbers[c.slot] = rows->number(c.position, ok);
                if (!ok)
                    notNumbers.push_back(&c);
            } else if (c.dateSlot >= 0) {
                readDate(*rows, row, c, dates);
            } else {
                rows->appendText(row.texts[c.slot], c.position);
            }
        }
        if (keyPosition >= 0)
            rows->appendText(row.key, keyPosition);
        if (numberWarnings) {
            for (const SnapshotColumn *c : notNumbers)
                numberWarnings->append(notANumberWarning(row, *c, rows->value(c->position)));
        }
        if (extras.empty())
            continue;
        row.extras.resize(extras.size());
        for (std::size_t i = 0; i < extras.size(); ++i)
            appendExtra(row.extras[i], *rows, firstExtra + int(i), extras[i], numbers, dates);
    }
    return snapshot;
}

} // namespace kaviro
