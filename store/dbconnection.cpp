#include "store/dbconnection.h"

#include "store/windows1252.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimeZone>

#include <atomic>

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

// SQLite sorts a table that has no fitting index (every sort of the
// listings) in a temporary file; in memory the same sort is faster and
// takes little more memory, which is freed as the sorted rows are read.
void keepTemporaryDataInMemory(const QSqlDatabase &db)
{
    QSqlQuery query(db);
    query.exec(QStringLiteral("PRAGMA temp_store = MEMORY"));
}

} // namespace

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
            db.setConnectOptions(settings.connectOptions);
            if (!db.open())
                failure = errorText(db.lastError());
            else if (settings.provider == Provider::PostgreSQL)
                useLocalTimeZone(db);
            else if (settings.provider == Provider::SQLite)
                keepTemporaryDataInMemory(db);
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
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
    emit connectedChanged(false);
}

} // namespace kaviro
