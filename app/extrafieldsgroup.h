#pragma once

#include "store/extracolumns.h"

#include <QGroupBox>

#include <utility>
#include <vector>

namespace kaviro {

// The group "Weitere Angaben" below the editors: a label with the column's
// name and an editor fitting its kind for each extra column of the table;
// columns of a kind the program cannot edit are shown read-only. Empty and
// hidden for a table without extra columns.
class ExtraFieldsGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit ExtraFieldsGroup(QWidget *parent = nullptr);

    // Makes the labels and editors anew for these columns.
    void setColumns(const std::vector<ExtraColumn> &columns);
    // Each editor with the name of the column it edits.
    const std::vector<std::pair<QWidget *, QString>> &editors() const { return m_editors; }
    // Editors that can change their column follow enabled; read-only ones
    // stay as they are.
    void setEditorsEnabled(bool enabled);

signals:
    // The user changed a value.
    void edited();

private:
    QWidget *makeEditor(const ExtraColumn &column);

    std::vector<std::pair<QWidget *, QString>> m_editors;
};

} // namespace kaviro
