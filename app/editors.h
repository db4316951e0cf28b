#pragma once

#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QVariant>

#include <optional>

namespace kaviro {

// Number in a column's display format: "#0.0" is one decimal without
// grouping, "#,##0.00" two decimals with thousands grouping; separators of
// the user's locale. Null shows as empty text.
QString displayNumber(const QVariant &value, int decimals, bool grouping);

// Editor of a floating-point column. While it has the focus it shows the
// plain number to edit; otherwise the column's display format. The value
// written back is the number typed, or the value it was given when the user
// did not touch it (so a rounded display never changes a stored number).
class NumberEdit : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(QVariant value READ value WRITE setValue USER true)
public:
    explicit NumberEdit(QWidget *parent = nullptr);

    void setDisplayFormat(int decimals, bool grouping);

    QVariant value() const;
    void setValue(const QVariant &value);

    // False while the text typed is not a number; value() then keeps the
    // last value given.
    bool hasValidText() const;
    // "'<text>' ist kein gültiger Gleitkommawert" for the text as it stands.
    QString invalidTextMessage() const;

signals:
    void valueEdited();

protected:
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    std::optional<QVariant> parsedText() const;
    void showValue();

    QVariant m_value;
    bool m_edited = false;
    int m_decimals = 2;
    bool m_grouping = true;
};

// Date picker of a date-time column that can be empty: an empty column shows
// an empty picker (not today's date), and Delete (or Backspace over the whole
// text) clears the date. Typed as Germans type dates: "." or "/" moves from
// day to month to year, Tab leaves the picker, and a date typed in full into
// an empty picker is that date. Dates from 1 January 1900 on; drop-down calendar,
// no spin buttons, the system's short date format with a four-digit year.
class DateEdit : public QDateEdit {
    Q_OBJECT
    Q_PROPERTY(QVariant value READ value WRITE setValue USER true)
public:
    explicit DateEdit(QWidget *parent = nullptr);

    QVariant value() const;
    void setValue(const QVariant &value);
    bool isEmpty() const;
    void clear() override;

signals:
    void valueEdited();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void userChangedDate();
    void startTypedDate();

    QVariant m_value;
    bool m_edited = false;
    bool m_setting = false;
    bool m_sectionFilled = false;
};

// Check box of a Boolean column: ticked for true, clear for false, greyed
// for an empty column. A click sets true or false, never empty.
class StatusCheckBox : public QCheckBox {
    Q_OBJECT
    Q_PROPERTY(QVariant value READ value WRITE setValue USER true)
public:
    explicit StatusCheckBox(QWidget *parent = nullptr);

    QVariant value() const;
    void setValue(const QVariant &value);

signals:
    void valueEdited();

protected:
    void nextCheckState() override;

private:
    bool m_edited = false;
    QVariant m_value;
};

} // namespace kaviro
