#include "store/connectionstring.h"

#include "store/windows1252.h"

namespace kaviro {

namespace {

Error syntaxError(const QString &text)
{
    return windows1252Error(QStringLiteral("Der Verbindungstext ist fehlerhaft: %1").arg(text));
}

bool needsQuotes(const QString &value)
{
    if (value.isEmpty())
        return false;
    return value.contains(u';') || value.contains(u'"') || value.contains(u'\'')
        || value.front().isSpace() || value.back().isSpace();
}

} // namespace

QString ConnectionString::normalizedKey(const QString &key)
{
    QString result;
    result.reserve(key.size());
    for (QChar c : key) {
        if (!c.isSpace())
            result.append(c.toLower());
    }
    return result;
}

ConnectionString ConnectionString::parse(const QString &text)
{
    ConnectionString result;
    qsizetype pos = 0;
    const qsizetype length = text.size();
    while (pos < length) {
        const qsizetype equals = text.indexOf(u'=', pos);
        const qsizetype semicolon = text.indexOf(u';', pos);
        if (equals < 0 || (semicolon >= 0 && semicolon < equals)) {
            // Only blanks up to the next ";" (or the end) is an empty part.
            const qsizetype end = semicolon < 0 ? length : semicolon;
            const QString part = text.mid(pos, end - pos).trimmed();
            if (!part.isEmpty())
                throw syntaxError(part);
            pos = end + 1;
            continue;
        }
        const QString key = text.mid(pos, equals - pos).trimmed();
        if (key.isEmpty())
            throw syntaxError(text.mid(pos).section(u';', 0, 0));
        pos = equals + 1;
        while (pos < length && text.at(pos).isSpace())
            ++pos;
        QString value;
        if (pos < length && (text.at(pos) == u'"' || text.at(pos) == u'\'')) {
            const QChar quote = text.at(pos++);
            bool closed = false;
            while (pos < length) {
                const QChar c = text.at(pos++);
                if (c == quote) {
                    if (pos < length && text.at(pos) == quote) {
                        value.append(quote);
                        ++pos;
                        continue;
                    }
                    closed = true;
                    break;
                }
                value.append(c);
            }
            if (!closed)
                throw syntaxError(key + u'=');
            while (pos < length && text.at(pos).isSpace())
                ++pos;
            if (pos < length && text.at(pos) != u';')
                throw syntaxError(key + u'=' + quote + value + quote);
            ++pos;
        } else {
            const qsizetype end = semicolon < 0 ? length : semicolon;
            value = text.mid(pos, end - pos).trimmed();
            pos = end + 1;
        }
        result.setValue(key, value);
    }
    return result;
}

qsizetype ConnectionString::indexOf(const QString &key) const
{
    const QString wanted = normalizedKey(key);
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        if (normalizedKey(m_entries.at(i).key) == wanted)
            return i;
    }
    return -1;
}

bool ConnectionString::contains(const QString &key) const
{
    return indexOf(key) >= 0;
}

QString ConnectionString::value(const QString &key) const
{
    const qsizetype i = indexOf(key);
    return i < 0 ? QString() : m_entries.at(i).value;
}

QString ConnectionString::value(std::initializer_list<QString> keys) const
{
    for (const QString &key : keys) {
        const qsizetype i = indexOf(key);
        if (i >= 0)
            return m_entries.at(i).value;
    }
    return QString();
}

void ConnectionString::setValue(const QString &key, const QString &value)
{
    const qsizetype i = indexOf(key);
    if (i >= 0)
        m_entries[i].value = value;
    else
        m_entries.append({key, value});
}

void ConnectionString::remove(const QString &key)
{
    const qsizetype i = indexOf(key);
    if (i >= 0)
        m_entries.removeAt(i);
}

QString ConnectionString::toString() const
{
    QString result;
    for (const Entry &entry : m_entries) {
        if (!result.isEmpty())
            result.append(u';');
        result.append(entry.key).append(u'=');
        if (needsQuotes(entry.value)) {
            QString quoted = entry.value;
            quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
            result.append(u'"').append(quoted).append(u'"');
        } else {
            result.append(entry.value);
        }
    }
    return result;
}

QString providerName(Provider provider)
{
    switch (provider) {
    case Provider::SQLite: return QStringLiteral("SQLite");
    case Provider::PostgreSQL: return QStringLiteral("PostgreSQL");
    case Provider::ODBC: return QStringLiteral("ODBC");
    case Provider::MySQL: return QStringLiteral("MySQL");
    }
    return QString();
}

namespace {

Provider providerFromName(const QString &name)
{
    const QString key = ConnectionString::normalizedKey(name);
    if (key == u"sqlite" || key == u"sqlite3" || key == u"qsqlite")
        return Provider::SQLite;
    if (key == u"postgresql" || key == u"postgres" || key == u"pgsql" || key == u"qpsql")
        return Provider::PostgreSQL;
    if (key == u"odbc" || key == u"msdasql" || key == u"qodbc")
        return Provider::ODBC;
    if (key == u"mysql" || key == u"mariadb" || key == u"qmysql")
        return Provider::MySQL;
    if (name.trimmed().isEmpty())
        throw Error("Im Verbindungstext fehlt der Provider (zum Beispiel \"Provider=SQLite\").");
    throw windows1252Error(QStringLiteral("Unbekannter Datenbank-Provider \"%1\". Möglich sind SQLite, PostgreSQL, "
                                          "ODBC und MySQL.").arg(name));
}

int portValue(const QString &text)
{
    if (text.isEmpty())
        return -1;
    bool ok = false;
    const int port = text.toInt(&ok);
    if (!ok || port <= 0 || port > 65535)
        throw windows1252Error(QStringLiteral("Ungültiger Port im Verbindungstext: \"%1\"").arg(text));
    return port;
}

QString odbcValue(const QString &value)
{
    // ODBC puts values holding separators into braces; braced ones stay.
    if (value.startsWith(u'{') && value.endsWith(u'}'))
        return value;
    if (value.contains(u';') || value.contains(u'{') || value.contains(u'}') || value.contains(u'='))
        return u'{' + QString(value).replace(QStringLiteral("}"), QStringLiteral("}}")) + u'}';
    return value;
}

void takeServerKeys(const ConnectionString &cs, DriverSettings &s)
{
    s.hostName = cs.value({QStringLiteral("Data Source"), QStringLiteral("Server"), QStringLiteral("Host")});
    s.port = portValue(cs.value(QStringLiteral("Port")));
    s.databaseName = cs.value({QStringLiteral("Initial Catalog"), QStringLiteral("Database")});
    s.userName = cs.value({QStringLiteral("User ID"), QStringLiteral("UID"), QStringLiteral("User")});
    s.password = cs.value({QStringLiteral("Password"), QStringLiteral("PWD")});
}

} // namespace

DriverSettings driverSettings(const ConnectionString &cs)
{
    DriverSettings s;
    s.provider = providerFromName(cs.value(QStringLiteral("Provider")));
    switch (s.provider) {
    case Provider::SQLite:
        s.driverName = QStringLiteral("QSQLITE");
        s.databaseName = cs.value({QStringLiteral("Data Source"), QStringLiteral("Database")});
        if (s.databaseName.isEmpty())
            throw Error("Im Verbindungstext fehlt die Datenbankdatei (\"Data Source=...\").");
        // Wait for a lock held by another program as long as a command may take.
        s.connectOptions = QStringLiteral("QSQLITE_BUSY_TIMEOUT=30000");
        break;
    case Provider::PostgreSQL:
        s.driverName = QStringLiteral("QPSQL");
        takeServerKeys(cs, s);
        // A peer that went silent is noticed after about 25 s of quiet; the
        // connection adds its time-outs (DbConnection).
        s.connectOptions = QStringLiteral("keepalives=1;keepalives_idle=10;keepalives_interval=5;keepalives_count=3");
        break;
    case Provider::MySQL:
        s.driverName = QStringLiteral("QMYSQL");
        takeServerKeys(cs, s);
        s.connectOptions = QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=15;MYSQL_OPT_READ_TIMEOUT=30;MYSQL_OPT_WRITE_TIMEOUT=30");
        break;
    case Provider::ODBC: {
        s.driverName = QStringLiteral("QODBC");
        s.userName = cs.value({QStringLiteral("User ID"), QStringLiteral("UID")});
        s.password = cs.value({QStringLiteral("Password"), QStringLiteral("PWD")});
        // The Qt driver puts "DSN=" before the name unless the text names a
        // driver or server itself, so a DSN is passed as the name plus the rest.
        const QString dsn = cs.value(QStringLiteral("DSN"));
        QStringList rest;
        for (const ConnectionString::Entry &e : cs.entries()) {
            const QString key = ConnectionString::normalizedKey(e.key);
            if (key == u"provider" || key == u"dsn" || key == u"userid" || key == u"uid"
                || key == u"password" || key == u"pwd")
                continue;
            rest.append(e.key + u'=' + odbcValue(e.value));
        }
        const bool namesDriver = cs.contains(QStringLiteral("Driver")) || cs.contains(QStringLiteral("Server"));
        if (namesDriver)
            s.databaseName = rest.join(u';');
        else if (!dsn.isEmpty())
            s.databaseName = (QStringList{dsn} + rest).join(u';');
        else
            throw Error("Im Verbindungstext fehlt die ODBC-Datenquelle (\"DSN=...\" oder \"Driver=...\").");
        s.connectOptions = QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=15");
        break;
    }
    }
    return s;
}

} // namespace kaviro
