#pragma once

#include <QList>
#include <QString>

namespace kaviro {

// A connection string of the form "Key=Value;Key=Value": keys are compared
// without regard to case or blanks ("User ID" = "userid"); a value holding a
// ";", a quote or outer blanks is written in double quotes, with a quote
// inside doubled. A key given twice keeps its last value.
class ConnectionString {
public:
    struct Entry {
        QString key;
        QString value;
    };

    ConnectionString() = default;

    // Throws kaviro::Error for a part without "=" or an unterminated quote.
    static ConnectionString parse(const QString &text);

    bool isEmpty() const { return m_entries.isEmpty(); }
    bool contains(const QString &key) const;
    // The value of the first key that is given, or empty text.
    QString value(const QString &key) const;
    QString value(std::initializer_list<QString> keys) const;
    // Replaces the value of a key (keeping its place and spelling) or adds it.
    void setValue(const QString &key, const QString &value);
    void remove(const QString &key);
    const QList<Entry> &entries() const { return m_entries; }

    QString toString() const;

    // "User ID" -> "userid": the form keys are compared in.
    static QString normalizedKey(const QString &key);

private:
    qsizetype indexOf(const QString &key) const;

    QList<Entry> m_entries;
};

// The database providers the program can connect with.
enum class Provider { SQLite, PostgreSQL, ODBC, MySQL };

// How a connection string maps onto a Qt SQL driver.
struct DriverSettings {
    Provider provider = Provider::SQLite;
    QString driverName;     // "QSQLITE", "QPSQL", "QODBC", "QMYSQL"
    QString databaseName;
    QString hostName;
    int port = -1;
    QString userName;
    QString password;
    QString connectOptions;
};

// Reads the provider and its keys. Throws kaviro::Error when the provider is
// missing or unknown, or a key the provider needs is missing or malformed.
DriverSettings driverSettings(const ConnectionString &connection);

// The canonical provider name as written into connection strings.
QString providerName(Provider provider);

} // namespace kaviro
