#pragma once

#include "store/connectionstring.h"
#include "store/statementwatchdog.h"

#include <QObject>
#include <QSqlDatabase>
#include <QString>

#include <chrono>
#include <memory>

namespace kaviro {

// How long the program waits for the database.
struct DatabaseWaits {
    std::chrono::seconds connect{15};
    std::chrono::seconds statement{30};
    // After a cancel the statement has not answered: the connection is closed.
    std::chrono::milliseconds cancelGrace{5000};
};

// The database connection, configured by a connection string of the form
// "Provider=SQLite;Data Source=/path/listings.db" (see ConnectionString).
class DbConnection : public QObject {
    Q_OBJECT
public:
    explicit DbConnection(QObject *parent = nullptr);
    ~DbConnection() override;

    QString connectionString() const { return m_connectionString; }
    // A string different from the current one closes the connection.
    void setConnectionString(const QString &text);

    bool isConnected() const { return m_connected; }
    // true: connects. An empty connection string leaves the connection closed
    // without error; a malformed string, an unknown provider, a missing driver
    // or a refusal throws kaviro::Error (a refusal with the driver's text).
    // false: closes every table of the connection, then the connection.
    void setConnected(bool connected);

    // The Qt connection while connected; an invalid handle otherwise.
    QSqlDatabase database() const;
    // The provider of the open connection.
    Provider provider() const { return m_provider; }
    // The collation text columns sort in on the open connection, as SQL
    // writes it after COLLATE; empty for the database's own order.
    QString textCollation() const { return m_textCollation; }

    // Take effect at the next connect.
    void setWaits(const DatabaseWaits &waits) { m_waits = waits; }
    const DatabaseWaits &waits() const { return m_waits; }

    // Runs work, which runs statements on this connection, and ends it after
    // waits().statement on PostgreSQL, throwing kaviro::Error "Die Datenbank
    // antwortet nicht (30 s)." instead of what the ended work threw.
    template <class Work>
    decltype(auto) bounded(Work &&work)
    {
        const Watch watch(m_watchdog.get());
        try {
            return work();
        } catch (...) {
            throwIfTimedOut();
            throw;
        }
    }
    // For work that reports failure without throwing: throws the time-out
    // error when the last bounded work was ended.
    void throwIfTimedOut() const;

signals:
    // Before the connection closes: the tables close themselves on it.
    void aboutToDisconnect();
    void connectedChanged(bool connected);

private:
    class Watch {
    public:
        explicit Watch(StatementWatchdog *watchdog);
        ~Watch();
        Watch(const Watch &) = delete;
        Watch &operator=(const Watch &) = delete;

    private:
        StatementWatchdog *m_watchdog;
    };

    void open();
    void close();

    QString m_connectionString;
    QString m_name;
    Provider m_provider = Provider::SQLite;
    bool m_connected = false;
    QString m_textCollation;
    DatabaseWaits m_waits;
    std::unique_ptr<StatementWatchdog> m_watchdog; // on PostgreSQL, while connected
};

} // namespace kaviro
