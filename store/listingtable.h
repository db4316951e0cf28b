#pragma once

#include "common/listingcolumns.h"
#include "store/extracolumns.h"
#include "store/listingquery.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QVariant>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAbstractItemModel;

namespace kaviro {

class DbConnection;
class ListingModel;
class ListingViewModel;

// The table Wohnungen on a DbConnection as a dataset: the current row and
// the browse/edit/insert state over a ListingModel, with the operations the
// main window and the data module use. Its SQL text comes from a
// ListingQuery, its value conversions from listingvalues.h.
//
// Views bind to model(), which stays the same object for the table's whole
// life (empty while the table is closed); a QDataWidgetMapper follows
// currentRowChanged(). Editing a value of the current row through model()
// puts the table into edit state. Post through post(), which runs the
// before-post hook; model() offers no submit of its own.
//
// Errors are kaviro::Error; every failure to open is "Open error!".
class ListingTable : public QObject {
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Edit, Insert };
    Q_ENUM(State)

    explicit ListingTable(DbConnection &connection, QObject *parent = nullptr);
    ~ListingTable() override;

    // --- open and close
    bool isOpen() const { return m_state != State::Inactive; }
    void open();
    // Discards a pending edit.
    void close();

    State state() const { return m_state; }
    // A value of the row in edit or insert state has been changed.
    bool isModified() const { return m_modified; }

    // --- sort and filter
    // "Feld ASC" or "Feld DESC" (several joined by ","); an empty text or an
    // empty field means no order, a missing direction ascending. A new text
    // reorders an open table and moves it to its first row; a closed table
    // applies it when it opens. Throws for a malformed text or, on an open
    // table, an unknown column (the sort is then unchanged).
    QString sort() const { return m_sort; }
    void setSort(const QString &sort);
    // An SQL condition such as "Status = true"; column names in it are quoted
    // as the database needs. Empty: all rows. A change moves to the first row.
    QString filter() const { return m_filter; }
    void setFilter(const QString &filter);

    // --- rows
    // Rows the filter lets through (reads them all from the database).
    int rowCount();
    bool isEmpty();
    // -1 while closed or empty.
    int currentRow() const { return m_current; }
    // Moving posts a pending edit first (or drops an unchanged new row).
    void setCurrentRow(int row);
    void first();
    void next();
    void prior();
    void last();
    bool atEnd() const { return m_eof; }
    // Whether a row stands before or after the current one; reads at most
    // the next batch of rows, never the whole table.
    bool hasPrior() const { return m_current > 0; }
    bool hasNext();
    bool atStart() const { return m_bof; }

    // --- columns of the current row, by name (case does not matter); an
    // unknown name throws kaviro::Error.
    // The column's index in model().
    int columnIndex(const QString &name) const;
    QVariant value(const QString &name) const;
    bool isNull(const QString &name) const;
    QString text(const QString &name) const;      // empty for null
    double number(const QString &name) const;     // 0.0 for null
    QDateTime dateTime(const QString &name) const; // invalid for null
    bool boolean(const QString &name) const;      // false for null
    // Starts edit state when browsing. An empty text or an invalid value
    // makes the column null.
    void setValue(const QString &name, const QVariant &value);

    // --- editing
    void edit();
    void insert();
    void post();
    void cancel();
    // Deletes the current row at once (cancels a new row instead).
    void deleteRow();
    // Reads the rows again and stays on the current listing where it can.
    void refresh();
    // Posts a changed pending row, drops an unchanged one.
    void checkBrowseMode();

    using BeforePost = std::function<void(ListingTable &)>;
    // Runs before every post, with the row still in edit or insert state.
    void setBeforePost(BeforePost hook) { m_beforePost = std::move(hook); }

    // --- bound views
    QAbstractItemModel *model() const;
    // Nested pauses; bound views and the signals below stay silent until the
    // last pause ends, then views are reset and the signals sent once. While
    // paused, a new sort or filter reads no rows until rows are asked for, so
    // a caller without views (the headless publisher) pauses once and never
    // pays for reading the whole table into the model.
    void pauseViews();
    void resumeViews();
    bool viewsPaused() const { return m_pauses > 0; }

    class ViewPause {
    public:
        explicit ViewPause(ListingTable &table) : m_table(table) { m_table.pauseViews(); }
        ~ViewPause() { m_table.resumeViews(); }
        ViewPause(const ViewPause &) = delete;
        ViewPause &operator=(const ViewPause &) = delete;
    private:
        ListingTable &m_table;
    };

    // The SQL text of this table on its connection, for reading rows beside
    // the model (the snapshot does). Throws while closed.
    const ListingQuery &query() const;

    // The table's columns beyond the listing columns and the primary key, as
    // found when it opened; none while closed.
    const std::vector<ExtraColumn> &extraColumns() const { return m_extras; }

    // Values as the model gives them: dates as QDateTime, flags as bool,
    // numbers as double, whatever type the database delivered them in.
    static QDateTime toDateTime(const QVariant &value);

signals:
    void activeChanged(bool open);
    void stateChanged(kaviro::ListingTable::State state);
    void currentRowChanged(int row);

private:
    void requireOpen() const;
    int fieldIndex(const QString &name) const;
    int requireField(const QString &name) const;
    void reselect();
    void ensureSelected() const;
    bool anyRow();
    bool ensureRow(int row);
    QVariantList rowIdentity(int row) const;
    int findRow(const QVariantList &identity);
    void moveTo(int row);
    void setState(State state);
    void notifyRow();
    void notifyState();
    void onDataChanged(int firstRow, int lastRow);

    DbConnection &m_connection;
    std::optional<ListingQuery> m_query; // while open
    std::vector<ExtraColumn> m_extras;
    ListingModel *m_model = nullptr;
    std::unique_ptr<ListingViewModel> m_view;
    State m_state = State::Inactive;
    bool m_modified = false;
    QString m_sort;
    QString m_filter;
    int m_current = -1;
    int m_rowBeforeInsert = -1;
    bool m_bof = true;
    bool m_eof = true;
    int m_pauses = 0;
    mutable int m_internal = 0;
    mutable bool m_stale = false; // the model still holds the rows of an older order or filter
    std::array<int, listingColumns.size()> m_columnIndex{};
    BeforePost m_beforePost;
};

} // namespace kaviro
