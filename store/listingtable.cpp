#include "store/listingtable.h"

#include "store/dbconnection.h"
#include "store/listingmodel.h"
#include "store/listingvalues.h"
#include "store/windows1252.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlIndex>
#include <QSqlQuery>
#include <QSqlRecord>

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

} // namespace

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
    bool any = false;
    try {
        m_connection.bounded([&] {
            m_query = ListingQuery::forTable(m_connection.database(), m_connection.textCollation());
            m_model = new ListingModel(m_connection.database(), m_query->quotedTable());
        });
        if (m_model->record().isEmpty())
            throw Error(openError);
        std::vector<ColumnKind> kinds(std::size_t(m_model->record().count()), ColumnKind::Other);
        for (std::size_t i = 0; i < listingColumns.size(); ++i) {
            m_columnIndex[i] = m_query->fieldIndex(QString::fromLatin1(listingColumns[i].name));
            kinds[std::size_t(m_columnIndex[i])] = listingColumns[i].kind;
        }
        m_extras = kaviro::extraColumns(m_connection.database(), *m_query);
        for (const ExtraColumn &extra : m_extras)
            kinds[std::size_t(m_query->fieldIndex(extra.name))] = extra.kind;
        m_model->setKinds(std::move(kinds));
        reselect();
        any = anyRow();
    } catch (const std::exception &) {
        delete m_model;
        m_model = nullptr;
        m_query.reset();
        m_extras.clear();
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
    m_query.reset();
    m_extras.clear();
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
    return m_query ? m_query->fieldIndex(name) : -1;
}

int ListingTable::requireField(const QString &name) const
{
    if (!m_query)
        throw closedError();
    const int index = fieldIndex(name);
    if (index < 0)
        throw windows1252Error(QStringLiteral("Feld \"%1\" nicht gefunden.").arg(name));
    return index;
}

const ListingQuery &ListingTable::query() const
{
    requireOpen();
    return *m_query;
}

void ListingTable::reselect()
{
    m_model->setOrderBy(m_query->orderBy(m_sort));
    // The model reads its rows again at once when given a filter; a new
    // sort alone must not read them twice.
    const QString where = m_query->where({m_filter});
    if (where != m_model->filter())
        m_connection.bounded([&] { m_model->setFilter(where); });
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
    const bool ok = m_connection.bounded([this] { return m_model->select(); });
    --m_internal;
    if (!ok) {
        m_connection.throwIfTimedOut();
        throw sqlError(m_model->lastError(), "Die Tabelle konnte nicht gelesen werden.");
    }
    m_stale = false;
}

bool ListingTable::anyRow()
{
    if (!m_stale)
        return ensureRow(0);
    // Whether the filter lets any row through, without reading the rows.
    QSqlQuery query(m_model->database());
    query.setForwardOnly(true);
    return m_connection.bounded([&] {
        if (!query.exec(m_query->anyRow({m_filter})))
            throw sqlError(query.lastError(), "Die Tabelle konnte nicht gelesen werden.");
        return query.next();
    });
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
    m_query->orderBy(sort); // so does an unknown column
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
    const bool ok = m_connection.bounded([this] { return m_model->submitAll(); });
    --m_internal;
    if (!ok) {
        m_connection.throwIfTimedOut();
        throw sqlError(m_model->lastError(), "Der Datensatz konnte nicht gespeichert werden.");
    }
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
    const bool ok = m_connection.bounded([&] { return m_model->removeRow(row) && m_model->submitAll(); });
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
        m_connection.throwIfTimedOut();
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

QDateTime ListingTable::toDateTime(const QVariant &value)
{
    return storedDateTime(value);
}

} // namespace kaviro
