#include "store/listingtable.h"

#include "store/dbconnection.h"
#include "store/windows1252.h"

#include <QIdentityProxyModel>
#include <QLocale>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlIndex>
#include <QSqlRecord>
#include <QSqlTableModel>

namespace kaviro {

namespace {

const char openError[] = "Open error!";

Error closedError()
{
    return windows1252Error(
        QStringLiteral("Diese Operation kann nicht mit einer geschlossenen Datenmenge ausgeführt werden."));
}

Error emptyError()
{
    return windows1252Error(QStringLiteral("Diese Operation kann nicht mit einer leeren Datenmenge ausgeführt werden."));
}

Error sqlError(const QSqlError &error, const char *fallback)
{
    const QString text = error.text().trimmed();
    return windows1252Error(text.isEmpty() ? QString::fromUtf8(fallback) : text);
}

bool isNullValue(const QVariant &value)
{
    return !value.isValid() || value.isNull();
}

// A value as the model shows it: null as an invalid variant, texts never
// empty, numbers as double, flags as bool, dates as QDateTime.
QVariant normalized(ColumnKind kind, const QVariant &value)
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
    case ColumnKind::DateTime: {
        const QDateTime dateTime = ListingTable::toDateTime(value);
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

// Dates are stored as ISO text in local time: free of the time-zone shifts
// a driver may apply, and in SQLite the very text the driver writes for a
// date it is given, so that a row is found again by its old values.
QString dateTimeText(const QDateTime &dateTime)
{
    return dateTime.toString(Qt::ISODateWithMs);
}

// What the model stores for a value given by a view or a caller; ok is false
// for a value the column cannot take. An invalid variant means null.
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
    case ColumnKind::Float: {
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
    case ColumnKind::DateTime: {
        if (value.typeId() == QMetaType::QString && value.toString().trimmed().isEmpty())
            return QVariant();
        const QDateTime dateTime = ListingTable::toDateTime(value);
        if (!dateTime.isValid()) {
            // A cleared date editor hands over an invalid date: null.
            *ok = value.typeId() == QMetaType::QDateTime || value.typeId() == QMetaType::QDate;
            return QVariant();
        }
        return dateTimeText(dateTime);
    }
    case ColumnKind::Boolean: {
        const QVariant flag = normalized(kind, value);
        *ok = flag.typeId() == QMetaType::Bool;
        return *ok ? flag : QVariant();
    }
    case ColumnKind::Other:
        break;
    }
    return value;
}

// Finds a column: the exact name first, then regardless of case (a table
// created without quotes on PostgreSQL has lower-case names).
int findField(const QSqlRecord &record, const QString &name)
{
    const int exact = record.indexOf(name);
    if (exact >= 0 && record.fieldName(exact) == name)
        return exact;
    for (int i = 0; i < record.count(); ++i) {
        if (record.fieldName(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

struct SortKey {
    QString field;
    bool descending = false;
};

// "Feld ASC, Feld2 DESC"; an empty field gives no key.
QList<SortKey> parseSort(const QString &sort)
{
    QList<SortKey> keys;
    const QStringList parts = sort.split(u',');
    for (const QString &part : parts) {
        const QStringList words = part.split(u' ', Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        const auto isDirection = [](const QString &word) {
            return word.compare(u"ASC", Qt::CaseInsensitive) == 0 || word.compare(u"DESC", Qt::CaseInsensitive) == 0;
        };
        if (words.size() == 1 && isDirection(words.first()))
            continue; // " ASC": no field, no order
        if (words.size() > 2 || (words.size() == 2 && !isDirection(words.at(1))))
            throw windows1252Error(QStringLiteral("Ungültige Sortierung \"%1\".").arg(sort));
        keys.append({words.first(), words.size() == 2 && words.at(1).compare(u"DESC", Qt::CaseInsensitive) == 0});
    }
    return keys;
}

} // namespace

// The model views bind to; it outlives the database model behind it, which
// is made anew at each open because a model is tied to one connection.
class ListingViewModel : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    void resetAll()
    {
        beginResetModel();
        endResetModel();
    }
};

class ListingModel : public QSqlTableModel {
public:
    ListingModel(ListingTable &table, const QSqlDatabase &db) : QSqlTableModel(nullptr, db), m_table(table) {}

    QString orderBy;

    ColumnKind kindOf(int column) const
    {
        return column >= 0 && column < int(m_table.m_kinds.size()) ? m_table.m_kinds[std::size_t(column)]
                                                                    : ColumnKind::Other;
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        const QVariant value = QSqlTableModel::data(index, role);
        if (role != Qt::DisplayRole && role != Qt::EditRole)
            return value;
        return normalized(kindOf(index.column()), value);
    }

    bool setData(const QModelIndex &index, const QVariant &value, int role) override
    {
        if (role != Qt::DisplayRole && role != Qt::EditRole)
            return QSqlTableModel::setData(index, value, role);
        const ColumnKind kind = kindOf(index.column());
        bool ok = false;
        QVariant stored = storageValue(kind, value, &ok);
        if (!ok)
            return false;
        // An editor handing back the value it was given changes nothing.
        if (sameValue(data(index, Qt::EditRole), normalized(kind, stored)))
            return true;
        if (!stored.isValid())
            stored = QVariant(record().field(index.column()).metaType());
        return QSqlTableModel::setData(index, stored, role);
    }

protected:
    QString orderByClause() const override { return orderBy; }

    bool updateRowInTable(int row, const QSqlRecord &values) override
    {
        return matchesOneRow(row, "geändert") && QSqlTableModel::updateRowInTable(row, values);
    }

    bool deleteRowFromTable(int row) override
    {
        return matchesOneRow(row, "gelöscht") && QSqlTableModel::deleteRowFromTable(row);
    }

private:
    // The row must still be there, and be the only one: without a primary
    // key a row is found by all its old values, and an update or delete
    // would hit every identical row. The driver reports neither case.
    bool matchesOneRow(int row, const char *verb)
    {
        const QSqlRecord where = primaryValues(row);
        QSqlDriver *driver = database().driver();
        QSqlQuery query(database());
        query.prepare(QStringLiteral("SELECT COUNT(*) FROM ") + tableName() + u' '
                      + driver->sqlStatement(QSqlDriver::WhereStatement, tableName(), where, true));
        for (int i = 0; i < where.count(); ++i) {
            if (where.isGenerated(i) && !where.isNull(i))
                query.addBindValue(where.value(i));
        }
        if (!query.exec() || !query.next()) {
            setLastError(query.lastError());
            return false;
        }
        const qlonglong count = query.value(0).toLongLong();
        if (count == 1)
            return true;
        const QString text = count == 0
            ? QStringLiteral("Der Datensatz wurde in der Datenbank nicht mehr gefunden; vielleicht wurde er "
                             "inzwischen geändert oder gelöscht.")
            : QStringLiteral("Der Datensatz steht mehrmals gleich in der Tabelle und kann ohne Primärschlüssel "
                             "nicht allein %1 werden.").arg(QString::fromUtf8(verb));
        setLastError(QSqlError(text, QString(), QSqlError::StatementError));
        return false;
    }

    ListingTable &m_table;
};

ListingTable::ListingTable(DbConnection &connection, QObject *parent)
    : QObject(parent), m_connection(connection), m_view(std::make_unique<ListingViewModel>())
{
    connect(&connection, &DbConnection::aboutToDisconnect, this, &ListingTable::close);
}

ListingTable::~ListingTable()
{
    close();
}

QAbstractItemModel *ListingTable::model() const
{
    return m_view.get();
}

void ListingTable::requireOpen() const
{
    if (!isOpen())
        throw closedError();
}

void ListingTable::open()
{
    if (isOpen())
        return;
    if (!m_connection.isConnected())
        throw Error(openError);
    const QSqlDatabase db = m_connection.database();
    m_model = new ListingModel(*this, db);
    bool any = false;
    try {
        m_model->setEditStrategy(QSqlTableModel::OnManualSubmit);
        m_model->setTable(db.driver()->escapeIdentifier(QString::fromLatin1(listingTableName), QSqlDriver::TableName));
        const QSqlRecord record = m_model->record();
        if (record.isEmpty())
            throw Error(openError);
        m_kinds.assign(std::size_t(record.count()), ColumnKind::Other);
        for (std::size_t i = 0; i < listingColumns.size(); ++i) {
            const int index = findField(record, QString::fromLatin1(listingColumns[i].name));
            if (index < 0)
                throw Error(openError);
            m_columnIndex[i] = index;
            m_kinds[std::size_t(index)] = listingColumns[i].kind;
        }
        reselect();
        any = anyRow();
    } catch (const std::exception &) {
        delete m_model;
        m_model = nullptr;
        m_kinds.clear();
        m_stale = false;
        throw Error(openError);
    }
    connect(m_model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
                onDataChanged(topLeft.row(), bottomRight.row());
            });
    m_view->setSourceModel(m_model);
    m_modified = false;
    m_state = State::Browse;
    m_current = any ? 0 : -1;
    m_bof = true;
    m_eof = !any;
    notifyState();
    notifyRow();
    emit activeChanged(true);
}

void ListingTable::close()
{
    if (!isOpen())
        return;
    ++m_internal;
    if (m_state == State::Edit || m_state == State::Insert)
        m_model->revertAll();
    m_view->setSourceModel(nullptr);
    delete m_model;
    m_model = nullptr;
    --m_internal;
    m_kinds.clear();
    m_stale = false;
    m_state = State::Inactive;
    m_modified = false;
    m_current = -1;
    m_bof = m_eof = true;
    notifyState();
    notifyRow();
    emit activeChanged(false);
}

int ListingTable::fieldIndex(const QString &name) const
{
    return m_model ? findField(m_model->record(), name) : -1;
}

int ListingTable::requireField(const QString &name) const
{
    if (!m_model)
        throw closedError();
    const int index = fieldIndex(name);
    if (index < 0)
        throw windows1252Error(QStringLiteral("Feld \"%1\" nicht gefunden.").arg(name));
    return index;
}

QString ListingTable::quotedField(int index) const
{
    return m_model->database().driver()->escapeIdentifier(m_model->record().fieldName(index), QSqlDriver::FieldName);
}

QString ListingTable::translateFilter(const QString &filter) const
{
    // Quote the column names of a simple condition; literals and quoted
    // names pass unchanged.
    QString out;
    const qsizetype n = filter.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = filter.at(i);
        if (c == u'\'' || c == u'"') {
            qsizetype end = i + 1;
            while (end < n) {
                if (filter.at(end) == c) {
                    if (end + 1 < n && filter.at(end + 1) == c) {
                        end += 2;
                        continue;
                    }
                    break;
                }
                ++end;
            }
            out.append(filter.mid(i, end + 1 - i));
            i = end + 1;
        } else if (c == u'[') {
            const qsizetype end = filter.indexOf(u']', i);
            const QString name = filter.mid(i + 1, (end < 0 ? n : end) - i - 1);
            const int index = fieldIndex(name);
            out.append(index >= 0 ? quotedField(index)
                                  : m_model->database().driver()->escapeIdentifier(name, QSqlDriver::FieldName));
            i = end < 0 ? n : end + 1;
        } else if (c.isLetter() || c == u'_') {
            qsizetype end = i + 1;
            while (end < n && (filter.at(end).isLetterOrNumber() || filter.at(end) == u'_'))
                ++end;
            const QString word = filter.mid(i, end - i);
            const int index = fieldIndex(word);
            out.append(index >= 0 ? quotedField(index) : word);
            i = end;
        } else {
            out.append(c);
            ++i;
        }
    }
    return out.trimmed();
}

QString ListingTable::orderByFor(const QString &sort) const
{
    const QList<SortKey> keys = parseSort(sort);
    if (keys.isEmpty())
        return QString();
    QStringList terms;
    for (const SortKey &key : keys)
        terms.append(quotedField(requireField(key.field)) + (key.descending ? QStringLiteral(" DESC") : QStringLiteral(" ASC")));
    // Ties in the primary key's order, so that the grid and the snapshot
    // list equal keys alike.
    const QSqlIndex primary = m_model->primaryKey();
    for (int i = 0; i < primary.count(); ++i)
        terms.append(quotedField(m_model->record().indexOf(primary.fieldName(i))) + QStringLiteral(" ASC"));
    return QStringLiteral("ORDER BY ") + terms.join(QStringLiteral(", "));
}

QString ListingTable::whereClause(const QString &extraFilter) const
{
    QStringList conditions;
    for (const QString &filter : {extraFilter, m_filter}) {
        const QString condition = translateFilter(filter);
        if (!condition.isEmpty())
            conditions.append(u'(' + condition + u')');
    }
    return conditions.join(QStringLiteral(" AND "));
}

// " FROM table WHERE ..." for queries beside the model.
QString ListingTable::fromClause(const QString &extraFilter) const
{
    QString sql = QStringLiteral(" FROM ") + m_model->tableName();
    const QString where = whereClause(extraFilter);
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where;
    return sql;
}

void ListingTable::reselect()
{
    m_model->orderBy = orderByFor(m_sort);
    m_model->setFilter(whereClause(QString()));
    // Nobody looks while views are paused: read when rows are asked for or
    // when the pause ends. A headless caller that never resumes thus never
    // pays for sorting the whole table into the model.
    m_stale = true;
    if (m_pauses == 0)
        ensureSelected();
}

void ListingTable::ensureSelected() const
{
    if (!m_stale || !m_model)
        return;
    ++m_internal;
    const bool ok = m_model->select();
    --m_internal;
    if (!ok)
        throw sqlError(m_model->lastError(), "Die Tabelle konnte nicht gelesen werden.");
    m_stale = false;
}

bool ListingTable::anyRow()
{
    if (!m_stale)
        return ensureRow(0);
    // Whether the filter lets any row through, without reading the rows.
    QSqlQuery query(m_model->database());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT 1") + fromClause(QString())))
        throw sqlError(query.lastError(), "Die Tabelle konnte nicht gelesen werden.");
    return query.next();
}

void ListingTable::setSort(const QString &sort)
{
    if (sort == m_sort)
        return;
    parseSort(sort); // a malformed text fails before anything changes
    if (!isOpen()) {
        m_sort = sort;
        return;
    }
    orderByFor(sort); // so does an unknown column
    checkBrowseMode();
    m_sort = sort;
    reselect();
    first();
}

void ListingTable::setFilter(const QString &filter)
{
    if (filter == m_filter)
        return;
    if (!isOpen()) {
        m_filter = filter;
        return;
    }
    checkBrowseMode();
    const QString previous = m_filter;
    m_filter = filter;
    try {
        reselect();
    } catch (...) {
        m_filter = previous;
        reselect();
        throw;
    }
    first();
}

bool ListingTable::ensureRow(int row)
{
    if (!m_model || row < 0)
        return false;
    ensureSelected();
    while (row >= m_model->rowCount() && m_model->canFetchMore())
        m_model->fetchMore();
    return row < m_model->rowCount();
}

bool ListingTable::hasNext()
{
    return m_current >= 0 && ensureRow(m_current + 1);
}

int ListingTable::rowCount()
{
    if (!m_model)
        return 0;
    ensureSelected();
    while (m_model->canFetchMore())
        m_model->fetchMore();
    return m_model->rowCount();
}

bool ListingTable::isEmpty()
{
    return !anyRow();
}

void ListingTable::moveTo(int row)
{
    m_current = row;
    m_bof = m_eof = row < 0;
    notifyRow();
}

void ListingTable::setCurrentRow(int row)
{
    requireOpen();
    if (row == m_current)
        return;
    checkBrowseMode();
    if (!ensureRow(row))
        row = rowCount() - 1;
    moveTo(row);
}

void ListingTable::first()
{
    requireOpen();
    checkBrowseMode();
    moveTo(anyRow() ? 0 : -1);
    m_bof = true;
}

void ListingTable::next()
{
    requireOpen();
    checkBrowseMode();
    if (m_current >= 0 && ensureRow(m_current + 1)) {
        moveTo(m_current + 1);
    } else {
        m_eof = true;
    }
}

void ListingTable::prior()
{
    requireOpen();
    checkBrowseMode();
    if (m_current > 0) {
        moveTo(m_current - 1);
    } else {
        m_bof = true;
    }
}

void ListingTable::last()
{
    requireOpen();
    checkBrowseMode();
    moveTo(rowCount() - 1);
    m_eof = true;
}

int ListingTable::columnIndex(const QString &name) const
{
    return requireField(name);
}

QVariant ListingTable::value(const QString &name) const
{
    const int column = requireField(name);
    if (m_current < 0)
        return QVariant();
    ensureSelected();
    return m_model->data(m_model->index(m_current, column), Qt::EditRole);
}

bool ListingTable::isNull(const QString &name) const
{
    return isNullValue(value(name));
}

QString ListingTable::text(const QString &name) const
{
    return value(name).toString();
}

double ListingTable::number(const QString &name) const
{
    return value(name).toDouble();
}

QDateTime ListingTable::dateTime(const QString &name) const
{
    return toDateTime(value(name));
}

bool ListingTable::boolean(const QString &name) const
{
    return value(name).toBool();
}

void ListingTable::setValue(const QString &name, const QVariant &value)
{
    const int column = requireField(name);
    ensureSelected();
    edit();
    if (!m_model->setData(m_model->index(m_current, column), value, Qt::EditRole))
        throw windows1252Error(QStringLiteral("Ungültiger Wert für das Feld \"%1\".").arg(name));
}

void ListingTable::onDataChanged(int firstRow, int lastRow)
{
    if (m_internal > 0)
        return;
    if (m_state == State::Browse) {
        if (m_current < firstRow || m_current > lastRow)
            moveTo(firstRow);
        setState(State::Edit);
    }
    m_modified = true;
}

void ListingTable::edit()
{
    requireOpen();
    ensureSelected();
    if (m_state != State::Browse)
        return;
    if (m_current < 0) {
        insert();
        return;
    }
    m_modified = false;
    setState(State::Edit);
}

void ListingTable::insert()
{
    requireOpen();
    ensureSelected();
    checkBrowseMode();
    const int row = std::max(m_current, 0);
    ++m_internal;
    const bool ok = m_model->insertRow(row);
    --m_internal;
    if (!ok)
        throw sqlError(m_model->lastError(), "Es konnte kein neuer Datensatz angelegt werden.");
    m_rowBeforeInsert = m_current;
    m_modified = false;
    moveTo(row);
    setState(State::Insert);
}

void ListingTable::post()
{
    requireOpen();
    if (m_state != State::Edit && m_state != State::Insert)
        return;
    if (m_beforePost)
        m_beforePost(*this);
    const QVariantList identity = rowIdentity(m_current);
    ++m_internal;
    const bool ok = m_model->submitAll();
    --m_internal;
    if (!ok)
        throw sqlError(m_model->lastError(), "Der Datensatz konnte nicht gespeichert werden.");
    m_modified = false;
    setState(State::Browse);
    const int row = findRow(identity);
    moveTo(row >= 0 ? row : (ensureRow(m_current) ? m_current : rowCount() - 1));
}

void ListingTable::cancel()
{
    if (m_state != State::Edit && m_state != State::Insert)
        return;
    const bool wasInsert = m_state == State::Insert;
    ++m_internal;
    m_model->revertAll();
    --m_internal;
    m_modified = false;
    setState(State::Browse);
    int row = wasInsert ? m_rowBeforeInsert : m_current;
    if (row < 0 || !ensureRow(row))
        row = ensureRow(0) ? std::min(std::max(row, 0), rowCount() - 1) : -1;
    moveTo(row);
}

void ListingTable::deleteRow()
{
    requireOpen();
    ensureSelected();
    if (m_state == State::Insert) {
        cancel();
        return;
    }
    if (m_current < 0)
        throw emptyError();
    const int row = m_current;
    ++m_internal;
    if (m_state == State::Edit)
        m_model->revertAll();
    const bool ok = m_model->removeRow(row) && m_model->submitAll();
    QSqlError error;
    if (!ok) {
        error = m_model->lastError();
        m_model->revertAll();
    }
    --m_internal;
    m_modified = false;
    setState(State::Browse);
    if (!ok) {
        notifyRow();
        throw sqlError(error, "Der Datensatz konnte nicht gelöscht werden.");
    }
    moveTo(ensureRow(row) ? row : rowCount() - 1);
}

void ListingTable::refresh()
{
    requireOpen();
    ensureSelected();
    checkBrowseMode();
    const QVariantList identity = rowIdentity(m_current);
    const int previous = m_current;
    reselect();
    const int row = findRow(identity);
    moveTo(row >= 0 ? row : (ensureRow(previous) ? previous : rowCount() - 1));
}

void ListingTable::checkBrowseMode()
{
    if (m_state != State::Edit && m_state != State::Insert)
        return;
    if (m_modified)
        post();
    else
        cancel();
}

// The primary key's values when the row has them, else the values of the
// listing columns: what finds the row again after the model re-reads.
QVariantList ListingTable::rowIdentity(int row) const
{
    QVariantList identity;
    if (row < 0)
        return identity;
    const QSqlIndex primary = m_model->primaryKey();
    bool complete = !primary.isEmpty();
    for (int i = 0; complete && i < primary.count(); ++i) {
        const int column = m_model->record().indexOf(primary.fieldName(i));
        const QVariant value = m_model->data(m_model->index(row, column), Qt::EditRole);
        complete = !isNullValue(value);
        identity.append(column);
        identity.append(value);
    }
    if (complete)
        return identity;
    identity.clear();
    for (int column : m_columnIndex) {
        identity.append(column);
        identity.append(m_model->data(m_model->index(row, column), Qt::EditRole));
    }
    return identity;
}

int ListingTable::findRow(const QVariantList &identity)
{
    if (identity.isEmpty())
        return -1;
    for (int row = 0; ensureRow(row); ++row) {
        bool match = true;
        for (qsizetype i = 0; match && i + 1 < identity.size(); i += 2) {
            const QVariant value = m_model->data(m_model->index(row, identity.at(i).toInt()), Qt::EditRole);
            match = sameValue(value, identity.at(i + 1));
        }
        if (match)
            return row;
    }
    return -1;
}

void ListingTable::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    notifyState();
}

void ListingTable::notifyRow()
{
    if (m_pauses == 0)
        emit currentRowChanged(m_current);
}

void ListingTable::notifyState()
{
    if (m_pauses == 0)
        emit stateChanged(m_state);
}

void ListingTable::pauseViews()
{
    if (m_pauses++ == 0)
        m_view->blockSignals(true);
}

void ListingTable::resumeViews()
{
    if (m_pauses == 0 || --m_pauses > 0)
        return;
    try {
        ensureSelected();
    } catch (const std::exception &) {
        // Resuming must not fail; the next access reports the error.
    }
    m_view->blockSignals(false);
    m_view->resetAll();
    emit stateChanged(m_state);
    emit currentRowChanged(m_current);
}

QString ListingTable::selectRowsStatement(const QStringList &columns, const QString &extraFilter) const
{
    requireOpen();
    QStringList fields;
    for (const QString &column : columns)
        fields.append(quotedField(requireField(column)));
    QString sql = QStringLiteral("SELECT ") + fields.join(QStringLiteral(", ")) + fromClause(extraFilter);
    const QString orderBy = orderByFor(m_sort);
    if (!orderBy.isEmpty())
        sql += u' ' + orderBy;
    return sql;
}

QSqlQuery ListingTable::selectRows(const QStringList &columns, const QString &extraFilter) const
{
    const QString sql = selectRowsStatement(columns, extraFilter);
    QSqlQuery query(m_model->database());
    query.setForwardOnly(true);
    if (!query.exec(sql))
        throw sqlError(query.lastError(), "Die Tabelle konnte nicht gelesen werden.");
    return query;
}

QDateTime ListingTable::toDateTime(const QVariant &value)
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
