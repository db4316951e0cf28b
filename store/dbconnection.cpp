#include "store/dbconnection.h"

#include "store/germancollation.h"
#include "store/windows1252.h"

#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimeZone>

#include <atomic>

#include <libpq-fe.h>

namespace kaviro {

namespace {

std::atomic<int> connectionCounter{0};

QString errorText(const QSqlError &error)
{
    const QString text = error.text().trimmed();
    return text.isEmpty() ? QStringLiteral("Unbekannter Fehler des Datenbanktreibers") : text;
}

// The Qt driver sends dates as UTC and the server turns them into the wall
// time of the session's zone; with the session in our zone a date written
// or compared is the one the user sees. A zone the server does not know
// leaves its default in place.
void useLocalTimeZone(const QSqlDatabase &db)
{
    const QString zone = QString::fromLatin1(QTimeZone::systemTimeZoneId());
    if (zone.isEmpty() || zone.contains(u'\''))
        return;
    QSqlQuery query(db);
    query.exec(QStringLiteral("SET TIME ZONE '%1'").arg(zone));
}

// SQLite leaves references unchecked unless asked: deleting a listing would
// keep its photos, and a new listing given the freed key would show them.
// A reference to a column that is no key (photos beside a table from before
// the key) would make every change fail; such a database stays as it was.
// Preparing the check finds such references without reading a row.
void useForeignKeys(const QSqlDatabase &db)
{
    QSqlQuery query(db);
    query.exec(QStringLiteral("PRAGMA foreign_keys = ON"));
    if (!query.prepare(QStringLiteral("PRAGMA foreign_key_check")))
        query.exec(QStringLiteral("PRAGMA foreign_keys = OFF"));
}

// libpq's own time-outs: the connect bound, and a peer that keeps sent data
// unacknowledged for the statement bound counts as gone. The server ends
// its own statements at the bound too; the watchdog covers the rest.
QString postgresWaitOptions(const DatabaseWaits &waits)
{
    const auto statement = std::chrono::milliseconds(waits.statement).count();
    return QStringLiteral("connect_timeout=%1;tcp_user_timeout=%2;options='-c statement_timeout=%2'")
        .arg(waits.connect.count())
        .arg(statement);
}

pg_conn *postgresHandle(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    // Qt names the type by the struct behind libpq's typedef.
    if (!handle.isValid()
        || (qstrcmp(handle.typeName(), "pg_conn*") != 0 && qstrcmp(handle.typeName(), "PGconn*") != 0))
        return nullptr;
    return *static_cast<pg_conn *const *>(handle.constData());
}

} // namespace

DbConnection::Watch::Watch(StatementWatchdog *watchdog) : m_watchdog(watchdog)
{
    if (m_watchdog)
        m_watchdog->begin();
}

DbConnection::Watch::~Watch()
{
    if (m_watchdog)
        m_watchdog->end();
}

void DbConnection::throwIfTimedOut() const
{
    if (m_watchdog && m_watchdog->fired())
        throw windows1252Error(
            QStringLiteral("Die Datenbank antwortet nicht (%1 s).").arg(m_watchdog->bound().count()));
}

DbConnection::DbConnection(QObject *parent)
    : QObject(parent), m_name(QStringLiteral("kaviro-db-%1").arg(++connectionCounter))
{
}

DbConnection::~DbConnection()
{
    close();
}

void DbConnection::setConnectionString(const QString &text)
{
    if (text == m_connectionString)
        return;
    close();
    m_connectionString = text;
}

void DbConnection::setConnected(bool connected)
{
    if (connected == m_connected)
        return;
    if (connected)
        open();
    else
        close();
}

QSqlDatabase DbConnection::database() const
{
    if (!m_connected)
        return QSqlDatabase();
    return QSqlDatabase::database(m_name, false);
}

void DbConnection::open()
{
    if (m_connectionString.trimmed().isEmpty())
        return;
    const DriverSettings settings = driverSettings(ConnectionString::parse(m_connectionString));
    if (settings.provider == Provider::SQLite && settings.databaseName != u":memory:") {
        // SQLite would quietly create a missing file; a mistyped path should
        // say so instead of showing an empty database.
        const QFileInfo file(settings.databaseName);
        if (!file.exists() || file.isDir())
            throw windows1252Error(
                QStringLiteral("Die Datenbankdatei \"%1\" wurde nicht gefunden.").arg(settings.databaseName));
    }
    QString failure;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(settings.driverName, m_name);
        if (!db.isValid()) {
            failure = QStringLiteral("Der Datenbanktreiber für %1 (%2) ist nicht installiert.")
                          .arg(providerName(settings.provider), settings.driverName);
        } else {
            db.setDatabaseName(settings.databaseName);
            if (!settings.hostName.isEmpty())
                db.setHostName(settings.hostName);
            if (settings.port > 0)
                db.setPort(settings.port);
            if (!settings.userName.isEmpty())
                db.setUserName(settings.userName);
            if (!settings.password.isEmpty())
                db.setPassword(settings.password);
            QString options = settings.connectOptions;
            if (settings.provider == Provider::PostgreSQL)
                options += u';' + postgresWaitOptions(m_waits);
            db.setConnectOptions(options);
            if (!db.open()) {
                failure = errorText(db.lastError());
            } else {
                if (pg_conn *handle = postgresHandle(db))
                    m_watchdog = std::make_unique<StatementWatchdog>(handle, m_waits.statement, m_waits.cancelGrace);
                try {
                    bounded([&] {
                        if (settings.provider == Provider::PostgreSQL)
                            useLocalTimeZone(db);
                        else if (settings.provider == Provider::SQLite)
                            useForeignKeys(db);
                        m_textCollation = useGermanCollation(db, settings.provider);
                    });
                } catch (const Error &error) {
                    failure = fromWindows1252(error.what());
                    m_watchdog.reset();
                    db.close();
                }
            }
        }
    }
    if (!failure.isEmpty()) {
        QSqlDatabase::removeDatabase(m_name);
        throw windows1252Error(failure);
    }
    m_provider = settings.provider;
    m_connected = true;
    emit connectedChanged(true);
}

void DbConnection::close()
{
    if (!m_connected)
        return;
    emit aboutToDisconnect();
    m_connected = false;
    // Before libpq frees the socket the watchdog may shut down.
    m_watchdog.reset();
    m_textCollation.clear();
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
    emit connectedChanged(false);
}

} // namespace kaviro
