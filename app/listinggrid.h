#pragma once

#include <QTableView>

#include <array>

namespace kaviro {

class GridColumnsModel;

// The listing grid: the columns Wohnung, Flaeche, Strasse, PLZ, Ort and
// Status of the listing table with their titles, widths and alignment,
// "#0.0" for the area, a check box for Status, rows in alternating colours
// with a navy selection, a narrow indicator column marking the current row,
// and Enter moving to the next cell like Tab. It is for choosing a row; the
// editors below it change the listing.
class ListingGrid : public QTableView {
    Q_OBJECT
public:
    struct Column {
        const char *field;
        const char *title;
        int width;
        Qt::Alignment alignment;
    };
    static const std::array<Column, 6> &columns();

    explicit ListingGrid(QWidget *parent = nullptr);
    ~ListingGrid() override;

    // Shows the listing table's model, whose header names its fields (as a
    // QSqlTableModel's does). Columns not listed above are hidden; the
    // layout is laid anew whenever the model is reset (the table reopened).
    void setListingModel(QAbstractItemModel *model);
    // Column of the grid's model showing the field, -1 when absent.
    int columnOf(const char *field) const;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;

private:
    void layColumns();

    GridColumnsModel *m_columns = nullptr;
};

} // namespace kaviro
