#include "store/datamodule.h"

#include "common/error.h"
#include "store/windows1252.h"

#include <QHash>
#include <QSqlQuery>

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
    const QDateTime dateTime = ListingTable::toDateTime(value);
    date = dateTime.date();
    time = dateTime.time();
    return dateTime.isValid();
}

} // namespace

std::string formatListingDate(const QDateTime &value, const QLocale &locale)
{
    std::string result;
    if (value.isValid())
        DateFormatter(locale).append(result, value.date(), value.time());
    return result;
}

DataModule::DataModule(QObject *parent)
    : QObject(parent), m_table(m_connection), m_clock([] { return QDateTime::currentDateTime(); })
{
    m_table.setBeforePost([this](ListingTable &table) { tableBeforePost(table); });
}

DataModule::~DataModule() = default;

bool DataModule::openTable()
{
    if (!m_connection.isConnected())
        return true;
    try {
        m_table.open();
    } catch (const std::exception &) {
        return false;
    }
    return true;
}

void DataModule::tableBeforePost(ListingTable &table)
{
    if (table.isNull(QStringLiteral("Timestamp")))
        table.setValue(QStringLiteral("Timestamp"), m_clock());
}

bool DataModule::buildWebData()
{
    if (!m_table.isOpen())
        return false;
    m_table.checkBrowseMode();
    ListingTable::ViewPause pause(m_table);
    // One forward-only query with the table's own filter and order plus
    // "Status = true" reads the rows without filtering the table itself, so
    // the build costs about what reading the rows costs; the table stays
    // unfiltered throughout.
    static const QStringList columns = {
        QStringLiteral("Wohnung"), QStringLiteral("Flaeche"), QStringLiteral("Strasse"),
        QStringLiteral("PLZ"), QStringLiteral("Ort"), QStringLiteral("Beschreibung"),
        QStringLiteral("Miete"), QStringLiteral("Nebenkosten"), QStringLiteral("ZuMietenAb"),
    };
    QSqlQuery query = m_table.selectRows(columns, QStringLiteral("Status = true"));
    WebData rows;
    DateFormatter dates(m_locale);
    const auto text = [&query](int column, std::string &out) {
        const QVariant value = query.value(column);
        if (!value.isNull())
            appendWindows1252(out, value.toString());
    };
    while (query.next()) {
        WebDataRow &row = rows.emplace_back();
        text(0, row.wohnung);
        row.flaeche = query.value(1).toDouble();
        text(2, row.strasse);
        text(3, row.plz);
        text(4, row.ort);
        text(5, row.beschreibung);
        row.miete = query.value(6).toDouble();
        row.nebenkosten = query.value(7).toDouble();
        const QVariant available = query.value(8);
        if (!available.isNull()) {
            QDate date;
            QTime time;
            if (!dateAndTime(available, date, time))
                throw Error(QStringLiteral("Ungültiges Datum im Feld \"ZuMietenAb\": %1")
                                .arg(available.toString()).toStdString());
            dates.append(row.zuMietenAb, date, time);
        }
    }
    m_webData = std::move(rows);
    m_webDataCount = int(m_webData.size());
    m_table.first();
    return true;
}

void DataModule::clearWebData()
{
    m_webData.clear();
    m_webData.shrink_to_fit();
}

} // namespace kaviro
