#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QSqlDatabase;

namespace kaviro {

// How a driver quotes a name: between open and close, a close inside
// doubled. A driver that quotes nothing has null characters here.
struct IdentifierQuotes {
    QChar open = u'"';
    QChar close = u'"';

    QString quote(const QString &name) const;
};

struct SortKey {
    QString field;
    bool descending = false;
};

// "Feld ASC, Feld2 DESC": a missing direction is ascending, an empty part no
// key. Throws kaviro::Error "Ungültige Sortierung ..." for anything else.
QList<SortKey> parseSort(const QString &sort);

// The SQL text for the table Wohnungen: its sort and filter texts turned
// into ORDER BY and WHERE with every column name quoted as the driver needs,
// and the statements that read rows beside the model. Knows the table's
// fields (in the database's spelling and order) and its primary key; needs
// no connection, so it is tested on its own.
class ListingQuery {
public:
    // textCollation: the collation text columns sort in, as SQL writes it
    // after COLLATE; empty for the database's own order.
    ListingQuery(QStringList fields, QStringList primaryKey, IdentifierQuotes quotes, QString textCollation = {});

    // The shape of the table on an open connection; throws kaviro::Error
    // "Open error!" when it lacks the table or one of the listing columns.
    static ListingQuery forTable(const QSqlDatabase &db, const QString &textCollation = {});

    const QStringList &fields() const { return m_fields; }
    const QStringList &primaryKey() const { return m_primaryKey; }
    QString quotedTable() const;

    // The field of that name: the exact spelling first, then regardless of
    // case (a table created without quotes on PostgreSQL has lower-case
    // names); -1 when there is none.
    int fieldIndex(const QString &name) const;
    QString quotedField(int index) const { return m_quotes.quote(m_fields.at(index)); }

    // A condition such as "Status = true" with its column names quoted;
    // literals and quoted names pass unchanged, a name in brackets is quoted
    // as a name.
    QString condition(const QString &filter) const;
    // The conditions joined by AND, each in parentheses; empty ones left out.
    QString where(const QStringList &filters) const;
    // "ORDER BY ..." for a sort text, text columns in the text collation,
    // ties in the primary key's order so that every reader lists equal keys
    // alike; empty for no sort. Throws
    // kaviro::Error for a malformed text or an unknown column.
    QString orderBy(const QString &sort) const;

    // The named columns of the rows the filters let through, in the order
    // of the sort text.
    QString select(const QStringList &columns, const QString &sort, const QStringList &filters) const;
    // A row when the filters let any through.
    QString anyRow(const QStringList &filters) const;

private:
    QString from(const QStringList &filters) const;
    bool isTextField(int index) const;

    QStringList m_fields;
    QStringList m_primaryKey;
    IdentifierQuotes m_quotes;
    QString m_textCollation;
};

} // namespace kaviro
