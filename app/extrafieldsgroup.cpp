#include "app/extrafieldsgroup.h"

#include "app/editors.h"

#include <QGridLayout>
#include <QLabel>

namespace kaviro {

namespace {

// Label and editor pairs side by side, as many as fit the editor area's width.
constexpr int pairsPerRow = 2;

} // namespace

ExtraFieldsGroup::ExtraFieldsGroup(QWidget *parent) : QGroupBox(QStringLiteral("Weitere Angaben"), parent)
{
    setObjectName(QStringLiteral("grpWeitereAngaben"));
    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(8, 4, 8, 6);
    layout->setHorizontalSpacing(8);
    layout->setVerticalSpacing(6);
    hide();
}

QWidget *ExtraFieldsGroup::makeEditor(const ExtraColumn &column)
{
    switch (column.kind) {
    case ColumnKind::Float:
    case ColumnKind::Integer: {
        auto *number = new NumberEdit(this);
        const bool whole = column.kind == ColumnKind::Integer;
        // A year or a count reads without a separator in it.
        number->setDisplayFormat(whole ? 0 : 2, !whole);
        connect(number, &NumberEdit::valueEdited, this, &ExtraFieldsGroup::edited);
        return number;
    }
    case ColumnKind::DateTime: {
        auto *date = new DateEdit(this);
        connect(date, &DateEdit::valueEdited, this, &ExtraFieldsGroup::edited);
        return date;
    }
    case ColumnKind::Boolean: {
        auto *check = new StatusCheckBox(this);
        connect(check, &StatusCheckBox::valueEdited, this, &ExtraFieldsGroup::edited);
        return check;
    }
    case ColumnKind::Text:
    case ColumnKind::Memo:
    case ColumnKind::Other:
        break;
    }
    auto *line = new QLineEdit(this);
    if (column.kind == ColumnKind::Other) {
        line->setReadOnly(true);
        line->setToolTip(QStringLiteral("Dieses Feld kann Kaviro nur anzeigen."));
    } else {
        if (column.size > 0)
            line->setMaxLength(column.size);
        connect(line, &QLineEdit::textEdited, this, &ExtraFieldsGroup::edited);
    }
    return line;
}

void ExtraFieldsGroup::setColumns(const std::vector<ExtraColumn> &columns)
{
    auto *grid = static_cast<QGridLayout *>(layout());
    while (QLayoutItem *item = grid->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    m_editors.clear();
    int index = 0;
    for (const ExtraColumn &column : columns) {
        QWidget *editor = makeEditor(column);
        editor->setObjectName(QStringLiteral("dbe") + column.name);
        auto *label = new QLabel(column.name, this);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setBuddy(editor);
        const int row = index / pairsPerRow;
        const int pair = index % pairsPerRow;
        grid->addWidget(label, row, pair * 2);
        grid->addWidget(editor, row, pair * 2 + 1);
        m_editors.emplace_back(editor, column.name);
        ++index;
    }
    setVisible(!columns.empty());
    adjustSize();
}

void ExtraFieldsGroup::setEditorsEnabled(bool enabled)
{
    for (const auto &[editor, name] : m_editors) {
        const auto *line = qobject_cast<QLineEdit *>(editor);
        if (!line || !line->isReadOnly())
            editor->setEnabled(enabled);
    }
}

} // namespace kaviro
