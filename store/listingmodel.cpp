#include "store/listingmodel.h"

#include "store/listingvalues.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

namespace kaviro {

ListingModel::ListingModel(const QSqlDatabase &db, QString quotedTable) : QSqlTableModel(nullptr, db)
{
    setEditStrategy(QSqlTableModel::OnManualSubmit);
    setTable(quotedTable);
}

ColumnKind ListingModel::kindOf(int column) const
{
    return column >= 0 && column < int(m_kinds.size()) ? m_kinds[std::size_t(column)] : ColumnKind::Other;
}

QVariant ListingModel::data(const QModelIndex &index, int role) const
{
    const QVariant value = QSqlTableModel::data(index, role);
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return value;
    return normalizedValue(kindOf(index.column()), value);
}

bool ListingModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return QSqlTableModel::setData(index, value, role);
    const ColumnKind kind = kindOf(index.column());
    bool ok = false;
    QVariant stored = storageValue(kind, value, &ok);
    if (!ok)
        return false;
    // An editor handing back the value it was given changes nothing.
    if (sameValue(data(index, Qt::EditRole), normalizedValue(kind, stored)))
        return true;
    if (!stored.isValid())
        stored = QVariant(record().field(index.column()).metaType());
    return QSqlTableModel::setData(index, stored, role);
}

bool ListingModel::updateRowInTable(int row, const QSqlRecord &values)
{
    return matchesOneRow(row, "geändert") && QSqlTableModel::updateRowInTable(row, values);
}

bool ListingModel::deleteRowFromTable(int row)
{
    return matchesOneRow(row, "gelöscht") && QSqlTableModel::deleteRowFromTable(row);
}

// The row must still be there, and be the only one: without a primary key
// a row is found by all its old values, and an update or delete would hit
// every identical row. The driver reports neither case.
bool ListingModel::matchesOneRow(int row, const char *verb)
{
    const QSqlRecord where = primaryValues(row);
    QSqlDriver *driver = database().driver();
    QSqlQuery query(database());
    query.prepare(QStringLiteral("SELECT COUNT(*) FROM ") + tableName() + u' '
                  + driver->sqlStatement(QSqlDriver::WhereStatement, tableName(), where, true));
    for (int i = 0; i < where.count(); ++i) {
        if (where.isGenerated(i) && !where.isNull(i))
            query.addBindValue(where.value(i));
    }
    if (!query.exec() || !query.next()) {
        setLastError(query.lastError());
        return false;
    }
    const qlonglong count = query.value(0).toLongLong();
    if (count == 1)
        return true;
    const QString text = count == 0
        ? QStringLiteral("Der Datensatz wurde in der Datenbank nicht mehr gefunden; vielleicht wurde er "
                         "inzwischen geändert oder gelöscht.")
        : QStringLiteral("Der Datensatz steht mehrmals gleich in der Tabelle und kann ohne Primärschlüssel "
                         "nicht allein %1 werden.").arg(QString::fromUtf8(verb));
    setLastError(QSqlError(text, QString(), QSqlError::StatementError));
    return false;
}

} // namespace kaviro
