#pragma once

#include "store/connectionstring.h"

#include <QObject>
#include <QSqlDatabase>
#include <QString>

namespace kaviro {

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

signals:
    // Before the connection closes: the tables close themselves on it.
    void aboutToDisconnect();
    void connectedChanged(bool connected);

private:
    void open();
    void close();

    QString m_connectionString;
    QString m_name;
    Provider m_provider = Provider::SQLite;
    bool m_connected = false;
};

} // namespace kaviro
