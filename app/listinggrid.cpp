#include "app/listinggrid.h"

#include "app/editors.h"

#include <QApplication>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QKeyEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include <array>

using namespace Qt::StringLiterals;

namespace kaviro {

const std::array<ListingGrid::Column, 6> &ListingGrid::columns()
{
    static const std::array<Column, 6> list{{
        {"Wohnung", "Wohnung", 185, Qt::AlignLeft},
        {"Flaeche", "qm", 45, Qt::AlignHCenter},
        {"Strasse", "Strasse", 185, Qt::AlignLeft},
        {"PLZ", "PLZ", 45, Qt::AlignLeft},
        {"Ort", "Ort", 130, Qt::AlignLeft},
        {"Status", "Aktiv", 50, Qt::AlignHCenter},
    }};
    return list;
}

// The table's model as the grid shows it: the titles of the grid's columns
// in place of the field names.
class GridColumnsModel : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    // Reads the field names from the source's header.
    void findColumns()
    {
        m_fields.clear();
        if (!sourceModel())
            return;
        for (int c = 0; c < sourceModel()->columnCount(); ++c)
            m_fields.append(sourceModel()->headerData(c, Qt::Horizontal).toString());
    }

    int columnOf(const char *field) const
    {
        const QString name = QString::fromLatin1(field);
        for (qsizetype c = 0; c < m_fields.size(); ++c) {
            if (m_fields.at(c).compare(name, Qt::CaseInsensitive) == 0)
                return int(c);
        }
        return -1;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && section >= 0 && section < m_fields.size()) {
            for (const ListingGrid::Column &column : ListingGrid::columns()) {
                if (m_fields.at(section).compare(QString::fromLatin1(column.field), Qt::CaseInsensitive) != 0)
                    continue;
                if (role == Qt::DisplayRole)
                    return QString::fromUtf8(column.title);
                if (role == Qt::TextAlignmentRole)
                    return QVariant::fromValue(column.alignment | Qt::AlignVCenter);
            }
        }
        return QIdentityProxyModel::headerData(section, orientation, role);
    }

private:
    QStringList m_fields;
};

namespace {

class GridDelegate : public QStyledItemDelegate {
public:
    GridDelegate(QObject *parent, const GridColumnsModel *columns)
        : QStyledItemDelegate(parent), m_columns(columns)
    {
    }

    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.column() == m_columns->columnOf("Flaeche")) {
            option->text = displayNumber(index.data(Qt::EditRole), 1, false);
            option->displayAlignment = Qt::AlignCenter;
        } else {
            option->displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
        }
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        if (index.column() != m_columns->columnOf("Status")) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        item.text.clear();
        QStyle *style = item.widget ? item.widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &item, painter, item.widget);

        const QVariant value = index.data(Qt::EditRole);
        QStyleOptionButton box;
        box.rect = style->subElementRect(QStyle::SE_CheckBoxIndicator, &box, item.widget);
        box.rect.moveCenter(option.rect.center());
        box.state = QStyle::State_Enabled;
        if (value.isNull())
            box.state |= QStyle::State_NoChange;
        else
            box.state |= value.toBool() ? QStyle::State_On : QStyle::State_Off;
        style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, item.widget);
    }

private:
    const GridColumnsModel *m_columns;
};

// The indicator column: a triangle at the current row.
class IndicatorHeader : public QHeaderView {
public:
    explicit IndicatorHeader(QWidget *parent) : QHeaderView(Qt::Vertical, parent) {}

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override
    {
        painter->save();
        painter->fillRect(rect, palette().button());
        painter->setPen(palette().mid().color());
        painter->drawLine(rect.topRight(), rect.bottomRight());
        painter->drawLine(rect.bottomLeft(), rect.bottomRight());
        const auto *view = static_cast<const QAbstractItemView *>(parentWidget());
        if (view->currentIndex().isValid() && view->currentIndex().row() == logicalIndex) {
            const QPointF c = QRectF(rect).center();
            painter->setRenderHint(QPainter::Antialiasing);
            painter->setPen(Qt::NoPen);
            painter->setBrush(Qt::black);
            painter->drawPolygon(QPolygonF({c + QPointF(-2, -4), c + QPointF(3, 0), c + QPointF(-2, 4)}));
        }
        painter->restore();
    }
};

} // namespace

ListingGrid::ListingGrid(QWidget *parent) : QTableView(parent)
{
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::ClickFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAlternatingRowColors(true);
    setTabKeyNavigation(true);
    setWordWrap(false);

    QPalette colours = palette();
    colours.setColor(QPalette::Base, QColor(255, 255, 217));
    colours.setColor(QPalette::AlternateBase, QColor(255, 255, 244));
    colours.setColor(QPalette::Highlight, QColor(0, 0, 128));
    colours.setColor(QPalette::HighlightedText, Qt::white);
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        colours.setColor(group, QPalette::Highlight, QColor(0, 0, 128));
        colours.setColor(group, QPalette::HighlightedText, Qt::white);
    }
    setPalette(colours);

    auto *indicator = new IndicatorHeader(this);
    setVerticalHeader(indicator);
    indicator->setSectionResizeMode(QHeaderView::Fixed);
    indicator->setMinimumSectionSize(17);
    indicator->setDefaultSectionSize(17);
    indicator->setFixedWidth(12);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setMinimumSectionSize(10);
}

ListingGrid::~ListingGrid() = default;

void ListingGrid::setListingModel(QAbstractItemModel *model)
{
    if (!m_columns) {
        m_columns = new GridColumnsModel(this);
        setModel(m_columns);
        setItemDelegate(new GridDelegate(this, m_columns));
        connect(m_columns, &QAbstractItemModel::modelReset, this, &ListingGrid::layColumns);
    }
    m_columns->setSourceModel(model);
    layColumns();
}

int ListingGrid::columnOf(const char *field) const
{
    return m_columns ? m_columns->columnOf(field) : -1;
}

void ListingGrid::layColumns()
{
    m_columns->findColumns();
    QHeaderView *header = horizontalHeader();
    for (int c = 0; c < m_columns->columnCount(); ++c)
        setColumnHidden(c, true);
    int visual = 0;
    for (const Column &column : columns()) {
        const int logical = m_columns->columnOf(column.field);
        if (logical < 0)
            continue;
        setColumnHidden(logical, false);
        header->moveSection(header->visualIndex(logical), visual++);
        setColumnWidth(logical, column.width);
    }
}

void ListingGrid::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        && event->modifiers() == Qt::NoModifier) {
        const QModelIndex next = moveCursor(QAbstractItemView::MoveNext, Qt::NoModifier);
        if (next.isValid())
            setCurrentIndex(next);
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void ListingGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    verticalHeader()->viewport()->update();
}

} // namespace kaviro
