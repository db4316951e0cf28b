#pragma once

#include "common/listingcolumns.h"

#include <QIdentityProxyModel>
#include <QSqlTableModel>

#include <vector>

namespace kaviro {

// The table Wohnungen as a QSqlTableModel (manual submit) on one
// connection. Shows values as normalizedValue() gives them and stores them
// as storageValue() makes them; an edit a column cannot take is refused.
// Updates and deletes touch exactly one row or fail with a German message.
class ListingModel : public QSqlTableModel {
public:
    ListingModel(const QSqlDatabase &db, QString quotedTable);

    // The listing columns' kinds by model column (Other for the rest).
    void setKinds(std::vector<ColumnKind> kinds) { m_kinds = std::move(kinds); }
    // "ORDER BY ..." for the next select().
    void setOrderBy(QString orderBy) { m_orderBy = std::move(orderBy); }

    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;

protected:
    QString orderByClause() const override { return m_orderBy; }
    bool updateRowInTable(int row, const QSqlRecord &values) override;
    bool deleteRowFromTable(int row) override;

private:
    ColumnKind kindOf(int column) const;
    bool matchesOneRow(int row, const char *verb);

    std::vector<ColumnKind> m_kinds;
    QString m_orderBy;
};

// The model views bind to; it outlives the database model behind it, which
// is made anew at each open because a model is tied to one connection.
class ListingViewModel : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    void resetAll()
    {
        beginResetModel();
        endResetModel();
    }
};

} // namespace kaviro
