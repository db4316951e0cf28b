#pragma once

#include <QWidget>

#include <array>

class QToolButton;

namespace kaviro {

// The record navigator: ten flat buttons that move through, insert, delete,
// edit, post, cancel and refresh rows. It only reports clicks; the window
// decides what each does and which buttons are enabled.
class RecordNavigator : public QWidget {
    Q_OBJECT
public:
    enum Button { First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel, Refresh };
    static constexpr int buttonCount = 10;

    explicit RecordNavigator(QWidget *parent = nullptr);

    QToolButton *button(Button which) const { return m_buttons[which]; }
    void setButtonEnabled(Button which, bool enabled);
    // Hint shown by each button.
    static QString hint(Button which);

signals:
    void clicked(kaviro::RecordNavigator::Button which);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    std::array<QToolButton *, buttonCount> m_buttons{};
};

} // namespace kaviro
