#include "app/listinggrid.h"

#include "app/editors.h"
#include "common/error.h"
#include "common/listingcolumns.h"
#include "store/windows1252.h"

#include <QApplication>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace kaviro {

namespace {

QString columnName(const ListingColumn &column)
{
    return QString::fromLatin1(column.name);
}

// Numbers and flags sit in the middle of their cells, texts on the left.
bool isCentred(const ListingColumn &column)
{
    return column.kind == ColumnKind::Float || column.kind == ColumnKind::Boolean;
}

} // namespace

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

    int columnOf(const QString &name) const
    {
        for (qsizetype c = 0; c < m_fields.size(); ++c) {
            if (m_fields.at(c).compare(name, Qt::CaseInsensitive) == 0)
                return int(c);
        }
        return -1;
    }

    QString fieldAt(int column) const { return column >= 0 && column < m_fields.size() ? m_fields.at(column) : QString(); }

    // The listing column a column of the model shows, nullptr for another.
    const ListingColumn *listingColumn(int column) const
    {
        if (column < 0 || column >= m_fields.size())
            return nullptr;
        for (const ListingColumn &listing : listingColumns) {
            if (m_fields.at(column).compare(columnName(listing), Qt::CaseInsensitive) == 0)
                return &listing;
        }
        return nullptr;
    }

    ColumnKind kindAt(int column) const
    {
        const ListingColumn *listing = listingColumn(column);
        return listing ? listing->kind : ColumnKind::Other;
    }

    // A flag is toggled by the delegate, not edited as text.
    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        Qt::ItemFlags flags = QIdentityProxyModel::flags(index);
        if (kindAt(index.column()) == ColumnKind::Boolean)
            flags &= ~Qt::ItemIsEditable;
        return flags;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        const ListingColumn *column = orientation == Qt::Horizontal ? listingColumn(section) : nullptr;
        if (column && !column->gridTitle.empty()) {
            if (role == Qt::DisplayRole)
                return QString::fromUtf8(column->gridTitle);
            if (role == Qt::TextAlignmentRole)
                return QVariant::fromValue((isCentred(*column) ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
        }
        return QIdentityProxyModel::headerData(section, orientation, role);
    }

private:
    QStringList m_fields;
};

namespace {

bool isEnterKey(const QKeyEvent *key)
{
    return (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
        && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

} // namespace

class GridDelegate : public QStyledItemDelegate {
public:
    GridDelegate(ListingGrid *grid, const GridColumnsModel *columns)
        : QStyledItemDelegate(grid), m_grid(grid), m_columns(columns)
    {
    }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &index) const override
    {
        QLineEdit *editor = nullptr;
        const ListingColumn *column = m_columns->listingColumn(index.column());
        if (column && column->kind == ColumnKind::Float) {
            auto *number = new NumberEdit(parent);
            number->setDisplayFormat(column->decimals, column->grouped);
            connect(number, &NumberEdit::valueEdited, m_grid, &ListingGrid::cellEdited);
            editor = number;
        } else if (!column || column->kind != ColumnKind::Boolean) {
            editor = new QLineEdit(parent);
            if (column && column->size > 0)
                editor->setMaxLength(column->size);
            connect(editor, &QLineEdit::textEdited, m_grid, &ListingGrid::cellEdited);
        }
        m_grid->m_editor = editor;
        return editor;
    }

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        const QVariant value = index.data(Qt::EditRole);
        if (auto *number = qobject_cast<NumberEdit *>(editor))
            number->setValue(value);
        else if (auto *line = qobject_cast<QLineEdit *>(editor))
            line->setText(value.toString());
    }

    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override
    {
        if (auto *number = qobject_cast<NumberEdit *>(editor))
            model->setData(index, number->value(), Qt::EditRole);
        else if (auto *line = qobject_cast<QLineEdit *>(editor))
            model->setData(index, line->text(), Qt::EditRole);
    }

    // A click on a flag's cell (Status) or Space there toggles it; an empty
    // flag becomes true.
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override
    {
        if (m_columns->kindAt(index.column()) != ColumnKind::Boolean)
            return QStyledItemDelegate::editorEvent(event, model, option, index);
        switch (event->type()) {
        case QEvent::MouseButtonRelease: {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() != Qt::LeftButton || !option.rect.contains(mouse->position().toPoint()))
                return false;
            break;
        }
        case QEvent::MouseButtonDblClick:
            return true;
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent *>(event)->key() != Qt::Key_Space)
                return false;
            break;
        default:
            return false;
        }
        const QVariant value = index.data(Qt::EditRole);
        return model->setData(index, value.isNull() || !value.toBool(), Qt::EditRole);
    }

    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const ListingColumn *column = m_columns->listingColumn(index.column());
        if (column && column->kind == ColumnKind::Float) {
            option->text = displayNumber(index.data(Qt::EditRole), column->decimals, column->grouped);
            option->displayAlignment = Qt::AlignCenter;
        } else {
            option->displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
        }
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        paintCell(painter, option, index);
        // The whole row is marked; the frame shows which of its cells a key
        // press edits, also while the grid has no focus.
        if (index == m_grid->currentIndex()) {
            painter->save();
            painter->setPen(QPen(Qt::white, 1, Qt::DotLine));
            painter->drawRect(option.rect.adjusted(1, 1, -2, -2));
            painter->restore();
        }
    }

private:
    void paintCell(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
    {
        if (m_columns->kindAt(index.column()) != ColumnKind::Boolean) {
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

protected:
    // Enter in a cell editor moves on like Tab. An area that is no number
    // keeps its editor open and says why.
    bool eventFilter(QObject *object, QEvent *event) override
    {
        auto *editor = qobject_cast<QWidget *>(object);
        if (editor && event->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(event);
            const bool enter = isEnterKey(key);
            if (enter || key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
                if (const auto *number = qobject_cast<NumberEdit *>(editor); number && !number->hasValidText()) {
                    emit m_grid->cellRejected(number->invalidTextMessage());
                    return true;
                }
                if (enter) {
                    emit commitData(editor);
                    emit closeEditor(editor, QAbstractItemDelegate::EditNextItem);
                    return true;
                }
            }
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    ListingGrid *m_grid;
    const GridColumnsModel *m_columns;
};

namespace {

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
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                    | QAbstractItemView::AnyKeyPressed);
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
    horizontalHeader()->setSectionsClickable(true);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int logical) {
        if (m_columns)
            emit titleClicked(m_columns->fieldAt(logical));
    });
}

void ListingGrid::showSortColumn(const QString &field, bool descending)
{
    const int column = m_columns ? m_columns->columnOf(field) : -1;
    horizontalHeader()->setSortIndicatorShown(column >= 0);
    if (column >= 0)
        horizontalHeader()->setSortIndicator(column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

ListingGrid::~ListingGrid() = default;

void ListingGrid::setListingModel(QAbstractItemModel *model)
{
    if (!m_columns) {
        m_columns = new GridColumnsModel(this);
        setModel(m_columns);
        m_delegate = new GridDelegate(this, m_columns);
        setItemDelegate(m_delegate);
        connect(m_columns, &QAbstractItemModel::modelReset, this, &ListingGrid::layColumns);
        connect(m_columns, &QAbstractItemModel::rowsRemoved, this, [this] { m_removingRows = std::max(0, m_removingRows - 1); });
    }
    m_columns->setSourceModel(model);
    layColumns();
}

int ListingGrid::columnOf(const char *field) const
{
    return m_columns ? m_columns->columnOf(QString::fromLatin1(field)) : -1;
}

void ListingGrid::layColumns()
{
    m_columns->findColumns();
    QHeaderView *header = horizontalHeader();
    for (int c = 0; c < m_columns->columnCount(); ++c)
        setColumnHidden(c, true);
    int visual = 0;
    for (const ListingColumn &column : listingColumns) {
        const int logical = m_columns->columnOf(columnName(column));
        if (logical < 0 || column.gridTitle.empty())
            continue;
        setColumnHidden(logical, false);
        header->moveSection(header->visualIndex(logical), visual++);
        setColumnWidth(logical, column.gridWidth);
    }
}

int ListingGrid::currentColumn() const
{
    return currentIndex().isValid() ? currentIndex().column() : m_lastColumn;
}

bool ListingGrid::isEditingCell() const
{
    return m_editor && state() == QAbstractItemView::EditingState;
}

void ListingGrid::commitCell()
{
    if (!isEditingCell())
        return;
    if (const auto *number = qobject_cast<NumberEdit *>(m_editor.data()); number && !number->hasValidText())
        throw Error(toWindows1252(number->invalidTextMessage()));
    QWidget *editor = m_editor;
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void ListingGrid::discardCell()
{
    if (isEditingCell())
        closeEditor(m_editor, QAbstractItemDelegate::NoHint);
}

void ListingGrid::closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint)
{
    if (editor == m_editor)
        m_editor = nullptr;
    // Moving on is done here: the post that a change of row brings re-reads
    // the rows, which Qt's own move to the next editor does not survive.
    const bool next = hint == QAbstractItemDelegate::EditNextItem;
    const bool previous = hint == QAbstractItemDelegate::EditPreviousItem;
    QTableView::closeEditor(editor, next || previous ? QAbstractItemDelegate::NoHint : hint);
    if (next || previous)
        moveToCell(next ? MoveNext : MovePrevious, true);
}

void ListingGrid::moveToCell(CursorAction action, bool editThere)
{
    const QModelIndex from = currentIndex();
    const QModelIndex to = moveCursor(action, Qt::NoModifier);
    if (!from.isValid() || !to.isValid() || (action == MoveNext ? to.row() < from.row() : to.row() > from.row()))
        return;
    setCurrentIndex(to);
    const QModelIndex now = currentIndex();
    if (editThere && now.isValid() && (model()->flags(now) & Qt::ItemIsEditable))
        edit(now, EditKeyPressed, nullptr);
}

void ListingGrid::keyPressEvent(QKeyEvent *event)
{
    if (isEnterKey(event)) {
        moveToCell(MoveNext, false);
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void ListingGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (current.isValid())
        m_lastColumn = current.column();
    verticalHeader()->viewport()->update();
    if (m_removingRows == 0 && current.isValid() && current.row() != previous.row())
        emit rowChosen(current.row());
}

// The view moves its current index off rows about to go; that is no choice
// of the user's.
void ListingGrid::rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end)
{
    ++m_removingRows;
    QTableView::rowsAboutToBeRemoved(parent, start, end);
}

} // namespace kaviro
