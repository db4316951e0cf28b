#pragma once

#include <QPointer>
#include <QTableView>

namespace kaviro {

class GridColumnsModel;
class GridDelegate;

// The listing grid: the grid columns of listingColumns (Wohnung, Flaeche,
// Strasse, PLZ, Ort and Status) with their titles and widths, numbers
// centred with their decimals, a check box for a flag, rows in alternating
// colours with a navy selection, a narrow indicator column marking the current row,
// and Enter moving to the next cell like Tab, also while a cell is edited.
//
// The current cell carries a frame. Rows are read from the model as they
// scroll into view. Clicking a column's title reports its field.
//
// Cells are edited in place: typing or F2 opens an editor (text limited to
// the column's size, the area as a number), a click or Space toggles the
// Status box. Values go into the table's model, which puts the listing into
// edit state; posting is the window's business, as for the editors below.
class ListingGrid : public QTableView {
    Q_OBJECT
public:
    explicit ListingGrid(QWidget *parent = nullptr);
    ~ListingGrid() override;

    // Shows the listing table's model, whose header names its fields (as a
    // QSqlTableModel's does). Columns that are no grid columns are hidden; the
    // layout is laid anew whenever the model is reset (the table reopened).
    void setListingModel(QAbstractItemModel *model);
    // Column of the grid's model showing the field, -1 when absent.
    int columnOf(const char *field) const;

    // Marks the title of the column the listings are sorted by; none when
    // the field is not shown.
    void showSortColumn(const QString &field, bool descending);

    // Column of the current cell, or of the last one while there is none
    // (the rows were just read anew).
    int currentColumn() const;
    // True while a cell editor is open.
    bool isEditingCell() const;
    // Hands the open cell editor's value to the model and closes it; throws
    // kaviro::Error, leaving the editor open, when the area typed is no
    // number.
    void commitCell();
    // Closes the open cell editor without taking its value.
    void discardCell();

signals:
    // Another row became current by the user's doing (a click, a key). Not
    // sent when rows are taken away under the current one: the table moves
    // itself then, and answering would re-enter it.
    void rowChosen(int row);
    // The user changed a cell's text in its editor (before it is committed).
    void cellEdited();
    // A cell editor refused to close: what was typed is no number.
    void cellRejected(const QString &message);
    // The title of the column showing this field was clicked.
    void titleClicked(const QString &field);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) override;
    void rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end) override;

private:
    friend class GridDelegate;

    void layColumns();
    // Moves the current cell as Tab or Shift+Tab does, not past the last or
    // first cell; opens the editor there when asked and the cell takes one.
    void moveToCell(CursorAction action, bool editThere);

    GridColumnsModel *m_columns = nullptr;
    GridDelegate *m_delegate = nullptr;
    QPointer<QWidget> m_editor;
    int m_lastColumn = -1;
    int m_removingRows = 0;
};

} // namespace kaviro
