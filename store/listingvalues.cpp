#include "store/listingvalues.h"

#include <QLocale>

#include <cmath>

namespace kaviro {

namespace {

// Dates are stored as ISO text in local time: free of the time-zone shifts
// a driver may apply, and in SQLite the very text the driver writes for a
// date it is given, so that a row is found again by its old values.
QString dateTimeText(const QDateTime &dateTime)
{
    return dateTime.toString(Qt::ISODateWithMs);
}

QVariant storageNumber(const QVariant &value, bool *ok)
{
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString().trimmed();
        if (text.isEmpty())
            return QVariant();
        double number = QLocale().toDouble(text, ok);
        if (!*ok)
            number = QLocale::c().toDouble(text, ok);
        return *ok ? QVariant(number) : QVariant();
    }
    const double number = value.toDouble(ok);
    return *ok ? QVariant(number) : QVariant();
}

QVariant storageDate(const QVariant &value, bool *ok)
{
    if (value.typeId() == QMetaType::QString && value.toString().trimmed().isEmpty())
        return QVariant();
    const QDateTime dateTime = storedDateTime(value);
    if (!dateTime.isValid()) {
        // A cleared date editor hands over an invalid date: null.
        *ok = value.typeId() == QMetaType::QDateTime || value.typeId() == QMetaType::QDate;
        return QVariant();
    }
    return dateTimeText(dateTime);
}

} // namespace

bool isNullValue(const QVariant &value)
{
    return !value.isValid() || value.isNull();
}

QVariant normalizedValue(ColumnKind kind, const QVariant &value)
{
    if (isNullValue(value))
        return QVariant();
    switch (kind) {
    case ColumnKind::Text:
    case ColumnKind::Memo: {
        QString text = value.toString();
        return text.isEmpty() ? QVariant() : QVariant(text);
    }
    case ColumnKind::Float: {
        bool ok = false;
        const double number = value.toDouble(&ok);
        return ok ? QVariant(number) : value;
    }
    case ColumnKind::Integer: {
        bool ok = false;
        const qlonglong number = value.toLongLong(&ok);
        return ok ? QVariant(number) : value;
    }
    case ColumnKind::DateTime: {
        const QDateTime dateTime = storedDateTime(value);
        return dateTime.isValid() ? QVariant(dateTime) : value;
    }
    case ColumnKind::Boolean:
        if (value.typeId() == QMetaType::QString) {
            const QString text = value.toString().trimmed().toLower();
            if (text == u"true" || text == u"t" || text == u"1" || text == u"yes" || text == u"wahr")
                return true;
            if (text == u"false" || text == u"f" || text == u"0" || text == u"no" || text == u"falsch")
                return false;
            return value;
        }
        return value.toBool();
    case ColumnKind::Other:
        break;
    }
    return value;
}

bool sameValue(const QVariant &a, const QVariant &b)
{
    if (isNullValue(a) || isNullValue(b))
        return isNullValue(a) && isNullValue(b);
    return a == b;
}

QVariant storageValue(ColumnKind kind, const QVariant &value, bool *ok)
{
    *ok = true;
    if (isNullValue(value))
        return QVariant();
    switch (kind) {
    case ColumnKind::Text:
    case ColumnKind::Memo: {
        const QString text = value.toString();
        return text.isEmpty() ? QVariant() : QVariant(text);
    }
    case ColumnKind::Float:
        return storageNumber(value, ok);
    case ColumnKind::Integer: {
        const QVariant number = storageNumber(value, ok);
        const double whole = number.toDouble();
        // A number that has a fraction or no exact integer is refused, not cut.
        *ok = *ok && (!number.isValid() || (whole == std::trunc(whole) && std::fabs(whole) < 0x1p53));
        return *ok && number.isValid() ? QVariant(qlonglong(whole)) : QVariant();
    }
    case ColumnKind::DateTime:
        return storageDate(value, ok);
    case ColumnKind::Boolean: {
        const QVariant flag = normalizedValue(kind, value);
        *ok = flag.typeId() == QMetaType::Bool;
        return *ok ? flag : QVariant();
    }
    case ColumnKind::Other:
        break;
    }
    return value;
}

QDateTime storedDateTime(const QVariant &value)
{
    if (isNullValue(value))
        return QDateTime();
    switch (value.typeId()) {
    case QMetaType::QDateTime:
        return value.toDateTime();
    case QMetaType::QDate:
        return value.toDate().startOfDay();
    case QMetaType::QString: {
        QString text = value.toString().trimmed();
        if (text.size() > 10 && text.at(10) == u' ')
            text[10] = u'T';
        QDateTime dateTime = QDateTime::fromString(text, Qt::ISODateWithMs);
        if (dateTime.isValid())
            return dateTime.timeSpec() == Qt::LocalTime ? dateTime : dateTime.toLocalTime();
        const QDate date = QDate::fromString(text, Qt::ISODate);
        return date.isValid() ? date.startOfDay() : QDateTime();
    }
    default:
        return value.toDateTime();
    }
}

} // namespace kaviro
