#include "app/editors.h"

#include <QCalendarWidget>
#include <QKeyEvent>
#include <QLocale>

#include <utility>

using namespace Qt::StringLiterals;

namespace kaviro {

QString displayNumber(const QVariant &value, int decimals, bool grouping)
{
    if (value.isNull() || !value.isValid())
        return {};
    QLocale locale = QLocale::system();
    locale.setNumberOptions(grouping ? QLocale::DefaultNumberOptions : QLocale::OmitGroupSeparator);
    return locale.toString(value.toDouble(), 'f', decimals);
}

// ---------------------------------------------------------------- NumberEdit

NumberEdit::NumberEdit(QWidget *parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::textEdited, this, [this] {
        m_edited = true;
        emit valueEdited();
    });
}

void NumberEdit::setDisplayFormat(int decimals, bool grouping)
{
    m_decimals = decimals;
    m_grouping = grouping;
    showValue();
}

std::optional<QVariant> NumberEdit::parsedText() const
{
    const QString typed = text().trimmed();
    if (typed.isEmpty())
        return QVariant();
    QLocale locale = QLocale::system();
    bool ok = false;
    double number = locale.toDouble(typed, &ok);
    if (!ok)
        number = QLocale::c().toDouble(typed, &ok);
    if (!ok)
        return std::nullopt;
    return QVariant(number);
}

QVariant NumberEdit::value() const
{
    if (!m_edited)
        return m_value;
    return parsedText().value_or(m_value);
}

void NumberEdit::setValue(const QVariant &value)
{
    m_value = value.isNull() ? QVariant() : QVariant(value.toDouble());
    m_edited = false;
    showValue();
}

bool NumberEdit::hasValidText() const
{
    return !m_edited || parsedText().has_value();
}

QString NumberEdit::invalidTextMessage() const
{
    return u"'%1' ist kein gültiger Gleitkommawert"_s.arg(text());
}

void NumberEdit::showValue()
{
    if (m_edited)
        return;
    if (hasFocus()) {
        QLocale locale = QLocale::system();
        locale.setNumberOptions(QLocale::OmitGroupSeparator);
        setText(m_value.isNull() ? QString() : locale.toString(m_value.toDouble(), 'g', 15));
    } else {
        setText(displayNumber(m_value, m_decimals, m_grouping));
    }
}

void NumberEdit::focusInEvent(QFocusEvent *event)
{
    showValue();
    QLineEdit::focusInEvent(event);
}

void NumberEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    if (m_edited) {
        if (const auto parsed = parsedText())
            setText(displayNumber(*parsed, m_decimals, m_grouping));
    } else {
        showValue();
    }
}

// ------------------------------------------------------------------ DateEdit

namespace {

// What Germans type between day, month and year, whatever the format's own
// separator is.
bool isDateSeparator(const QString &typed)
{
    return typed == u"."_s || typed == u"/"_s || typed == u"-"_s || typed == u","_s;
}

// One day before the first accepted date stands for "no date".
const QDate emptyDate(1899, 12, 31);

QString shortDateFormatWithFullYear()
{
    QString format = QLocale::system().dateFormat(QLocale::ShortFormat);
    if (!format.contains(u"yyyy"_s))
        format.replace(u"yy"_s, u"yyyy"_s);
    return format;
}

} // namespace

DateEdit::DateEdit(QWidget *parent) : QDateEdit(parent)
{
    setCalendarPopup(true);
    setButtonSymbols(QAbstractSpinBox::NoButtons);
    setAlignment(Qt::AlignCenter);
    setDisplayFormat(shortDateFormatWithFullYear());
    setMinimumDate(emptyDate);
    setSpecialValueText(u" "_s);
    setDate(emptyDate);
    connect(this, &QDateEdit::dateChanged, this, &DateEdit::userChangedDate);
}

QVariant DateEdit::value() const
{
    if (!m_edited)
        return m_value;
    if (isEmpty())
        return QVariant();
    // Keep the time of day the column held; a new date starts at midnight.
    const QTime time = m_value.isNull() ? QTime(0, 0) : m_value.toDateTime().time();
    return QDateTime(date(), time);
}

void DateEdit::setValue(const QVariant &value)
{
    m_setting = true;
    m_value = value.isNull() ? QVariant() : QVariant(value.toDateTime());
    m_edited = false;
    setDate(m_value.isNull() ? emptyDate : m_value.toDateTime().date());
    m_setting = false;
}

bool DateEdit::isEmpty() const
{
    return date() <= emptyDate;
}

void DateEdit::clear()
{
    setDate(emptyDate);
}

void DateEdit::userChangedDate()
{
    if (m_setting)
        return;
    m_edited = true;
    emit valueEdited();
}

void DateEdit::keyPressEvent(QKeyEvent *event)
{
    const bool wholeTextSelected = lineEdit()->selectedText() == lineEdit()->text();
    if (event->key() == Qt::Key_Delete
        || (event->key() == Qt::Key_Backspace && wholeTextSelected)) {
        clear();
        event->accept();
        return;
    }
    if (isDateSeparator(event->text())) {
        // "15." steps from the day to the month. When the digits filled the
        // section and it moved on by itself, the separator is only typed
        // along and must not skip the next section.
        if (!std::exchange(m_sectionFilled, false) && currentSectionIndex() + 1 < sectionCount())
            setSelectedSection(sectionAt(currentSectionIndex() + 1));
        event->accept();
        return;
    }
    const bool digit = !event->text().isEmpty() && event->text().at(0).isDigit();
    if (isEmpty() && digit)
        startTypedDate();
    const int section = currentSectionIndex();
    QDateEdit::keyPressEvent(event);
    m_sectionFilled = digit && currentSectionIndex() != section;
}

// Typing into an empty picker starts from a date of this year whose day
// takes any number up to 31, so that every date typed in full arrives as
// typed; the day section is the one typed into first.
void DateEdit::startTypedDate()
{
    setDate(QDate(QDate::currentDate().year(), 1, 1));
    setSelectedSection(sectionAt(0));
}

void DateEdit::mousePressEvent(QMouseEvent *event)
{
    QDateEdit::mousePressEvent(event);
    if (isEmpty() && calendarWidget()) {
        const QDate today = QDate::currentDate();
        calendarWidget()->setCurrentPage(today.year(), today.month());
    }
}

// Tab leaves the picker like any editor instead of stepping through its
// day, month and year.
bool DateEdit::focusNextPrevChild(bool next)
{
    return QWidget::focusNextPrevChild(next);
}

// ------------------------------------------------------------ StatusCheckBox

StatusCheckBox::StatusCheckBox(QWidget *parent) : QCheckBox(parent)
{
    connect(this, &QCheckBox::clicked, this, [this] {
        m_edited = true;
        emit valueEdited();
    });
}

QVariant StatusCheckBox::value() const
{
    if (!m_edited)
        return m_value;
    return QVariant(checkState() == Qt::Checked);
}

void StatusCheckBox::setValue(const QVariant &value)
{
    m_edited = false;
    m_value = value.isNull() ? QVariant() : QVariant(value.toBool());
    if (m_value.isNull()) {
        setTristate(true);
        setCheckState(Qt::PartiallyChecked);
    } else {
        setTristate(false);
        setCheckState(m_value.toBool() ? Qt::Checked : Qt::Unchecked);
    }
}

void StatusCheckBox::nextCheckState()
{
    // Read before leaving tri-state: a greyed box reports itself ticked
    // once tri-state is off.
    const Qt::CheckState next = checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked;
    setTristate(false);
    setCheckState(next);
}

} // namespace kaviro
