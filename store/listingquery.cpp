#include "store/listingquery.h"

#include "common/listingcolumns.h"
#include "store/windows1252.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlIndex>
#include <QSqlRecord>

namespace kaviro {

namespace {

bool isDirection(const QString &word)
{
    return word.compare(u"ASC", Qt::CaseInsensitive) == 0 || word.compare(u"DESC", Qt::CaseInsensitive) == 0;
}

// The end of the literal or quoted name that starts at from.
qsizetype quotedEnd(const QString &text, qsizetype from)
{
    const QChar quote = text.at(from);
    qsizetype end = from + 1;
    while (end < text.size()) {
        if (text.at(end) == quote) {
            if (end + 1 < text.size() && text.at(end + 1) == quote) {
                end += 2;
                continue;
            }
            return end;
        }
        ++end;
    }
    return end;
}

// The driver's quotes, read off the quoting of a plain name.
IdentifierQuotes driverQuotes(const QSqlDriver &driver)
{
    const QString quoted = driver.escapeIdentifier(QStringLiteral("x"), QSqlDriver::FieldName);
    if (quoted.size() == 3 && quoted.at(1) == u'x')
        return {quoted.at(0), quoted.at(2)};
    return {QChar(), QChar()};
}

} // namespace

QString IdentifierQuotes::quote(const QString &name) const
{
    if (open.isNull())
        return name;
    QString inner = name;
    inner.replace(close, QString(2, close));
    return open + inner + close;
}

QList<SortKey> parseSort(const QString &sort)
{
    QList<SortKey> keys;
    const QStringList parts = sort.split(u',');
    for (const QString &part : parts) {
        const QStringList words = part.split(u' ', Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        if (words.size() == 1 && isDirection(words.first()))
            continue; // " ASC": no field, no order
        if (words.size() > 2 || (words.size() == 2 && !isDirection(words.at(1))))
            throw windows1252Error(QStringLiteral("Ungültige Sortierung \"%1\".").arg(sort));
        keys.append({words.first(), words.size() == 2 && words.at(1).compare(u"DESC", Qt::CaseInsensitive) == 0});
    }
    return keys;
}

ListingQuery::ListingQuery(QStringList fields, QStringList primaryKey, IdentifierQuotes quotes,
                           QString textCollation)
    : m_fields(std::move(fields)), m_primaryKey(std::move(primaryKey)), m_quotes(quotes),
      m_textCollation(std::move(textCollation))
{
}

ListingQuery ListingQuery::forTable(const QSqlDatabase &db, const QString &textCollation)
{
    const QString table = db.driver()->escapeIdentifier(QString::fromLatin1(listingTableName), QSqlDriver::TableName);
    const QSqlRecord record = db.record(table);
    QStringList fields;
    for (int i = 0; i < record.count(); ++i)
        fields.append(record.fieldName(i));
    const QSqlIndex primary = db.primaryIndex(table);
    QStringList primaryKey;
    for (int i = 0; i < primary.count(); ++i)
        primaryKey.append(primary.fieldName(i));
    ListingQuery query(fields, primaryKey, driverQuotes(*db.driver()), textCollation);
    for (const ListingColumn &column : listingColumns) {
        if (query.fieldIndex(QString::fromLatin1(column.name)) < 0)
            throw Error("Open error!");
    }
    return query;
}

QString ListingQuery::quotedTable() const
{
    return m_quotes.quote(QString::fromLatin1(listingTableName));
}

int ListingQuery::fieldIndex(const QString &name) const
{
    const int exact = int(m_fields.indexOf(name));
    if (exact >= 0)
        return exact;
    for (qsizetype i = 0; i < m_fields.size(); ++i) {
        if (m_fields.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

QString ListingQuery::condition(const QString &filter) const
{
    QString out;
    const qsizetype n = filter.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = filter.at(i);
        if (c == u'\'' || c == u'"') {
            const qsizetype end = quotedEnd(filter, i);
            out.append(filter.mid(i, end + 1 - i));
            i = end + 1;
        } else if (c == u'[') {
            const qsizetype end = filter.indexOf(u']', i);
            const QString name = filter.mid(i + 1, (end < 0 ? n : end) - i - 1);
            const int index = fieldIndex(name);
            out.append(index >= 0 ? quotedField(index) : m_quotes.quote(name));
            i = end < 0 ? n : end + 1;
        } else if (c.isLetter() || c == u'_') {
            qsizetype end = i + 1;
            while (end < n && (filter.at(end).isLetterOrNumber() || filter.at(end) == u'_'))
                ++end;
            const QString word = filter.mid(i, end - i);
            const int index = fieldIndex(word);
            out.append(index >= 0 ? quotedField(index) : word);
            i = end;
        } else {
            out.append(c);
            ++i;
        }
    }
    return out.trimmed();
}

QString ListingQuery::where(const QStringList &filters) const
{
    QStringList conditions;
    for (const QString &filter : filters) {
        const QString text = condition(filter);
        if (!text.isEmpty())
            conditions.append(u'(' + text + u')');
    }
    return conditions.join(QStringLiteral(" AND "));
}

QString ListingQuery::orderBy(const QString &sort) const
{
    const QList<SortKey> keys = parseSort(sort);
    if (keys.isEmpty())
        return QString();
    QStringList terms;
    for (const SortKey &key : keys) {
        const int index = fieldIndex(key.field);
        if (index < 0)
            throw windows1252Error(QStringLiteral("Feld \"%1\" nicht gefunden.").arg(key.field));
        QString term = quotedField(index);
        if (!m_textCollation.isEmpty() && isTextField(index))
            term += QStringLiteral(" COLLATE ") + m_textCollation;
        terms.append(term + (key.descending ? QStringLiteral(" DESC") : QStringLiteral(" ASC")));
    }
    for (const QString &field : m_primaryKey)
        terms.append(m_quotes.quote(field) + QStringLiteral(" ASC"));
    return QStringLiteral("ORDER BY ") + terms.join(QStringLiteral(", "));
}

bool ListingQuery::isTextField(int index) const
{
    for (const ListingColumn &column : listingColumns) {
        if (m_fields.at(index).compare(QLatin1StringView(column.name.data(), qsizetype(column.name.size())),
                                       Qt::CaseInsensitive) == 0)
            return column.kind == ColumnKind::Text || column.kind == ColumnKind::Memo;
    }
    return false;
}

QString ListingQuery::from(const QStringList &filters) const
{
    QString sql = QStringLiteral(" FROM ") + quotedTable();
    const QString condition = where(filters);
    if (!condition.isEmpty())
        sql += QStringLiteral(" WHERE ") + condition;
    return sql;
}

QString ListingQuery::select(const QStringList &columns, const QString &sort, const QStringList &filters) const
{
    QStringList names;
    for (const QString &column : columns) {
        const int index = fieldIndex(column);
        if (index < 0)
            throw windows1252Error(QStringLiteral("Feld \"%1\" nicht gefunden.").arg(column));
        names.append(quotedField(index));
    }
    QString sql = QStringLiteral("SELECT ") + names.join(QStringLiteral(", ")) + from(filters);
    const QString order = orderBy(sort);
    if (!order.isEmpty())
        sql += u' ' + order;
    return sql;
}

QString ListingQuery::anyRow(const QStringList &filters) const
{
    return QStringLiteral("SELECT 1") + from(filters);
}

} // namespace kaviro
