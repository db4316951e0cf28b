#include "store/listingdatabase.h"

#include "store/connectionstring.h"
#include "store/demophotos.h"
#include "store/windows1252.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>

namespace kaviro {

QString exampleScript(ExampleScript script)
{
    QString name;
    switch (script) {
    case ExampleScript::SqliteTable: name = QStringLiteral("wohnungen-sqlite.sql"); break;
    case ExampleScript::PostgresqlTable: name = QStringLiteral("wohnungen-postgresql.sql"); break;
    case ExampleScript::SqlitePhotos: name = QStringLiteral("bilder-sqlite.sql"); break;
    case ExampleScript::PostgresqlPhotos: name = QStringLiteral("bilder-postgresql.sql"); break;
    case ExampleScript::DemoListings: name = QStringLiteral("demo-wohnungen.sql"); break;
    }
    QFile file(QStringLiteral(":/kaviro/examples/") + name);
    if (!file.open(QIODevice::ReadOnly))
        throw windows1252Error(QStringLiteral("Das Beispielskript %1 fehlt im Programm.").arg(name));
    return QString::fromUtf8(file.readAll());
}

QStringList splitSqlScript(const QString &script)
{
    QStringList statements;
    QString current;
    const qsizetype n = script.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = script.at(i);
        if (c == u'-' && i + 1 < n && script.at(i + 1) == u'-') {
            while (i < n && script.at(i) != u'\n')
                ++i;
            current.append(u'\n');
            continue;
        }
        if (c == u'\'' || c == u'"') {
            // Copy the quoted text; a doubled quote stays inside.
            current.append(c);
            while (++i < n) {
                current.append(script.at(i));
                if (script.at(i) == c) {
                    if (i + 1 < n && script.at(i + 1) == c) {
                        current.append(script.at(++i));
                        continue;
                    }
                    break;
                }
            }
            continue;
        }
        if (c == u';') {
            if (!current.trimmed().isEmpty())
                statements.append(current.trimmed());
            current.clear();
            continue;
        }
        current.append(c);
    }
    if (!current.trimmed().isEmpty())
        statements.append(current.trimmed());
    return statements;
}

void runSqlScript(const QSqlDatabase &db, const QString &script)
{
    QSqlDatabase database = db;
    const bool transaction = database.transaction();
    QSqlQuery query(database);
    for (const QString &statement : splitSqlScript(script)) {
        if (!query.exec(statement)) {
            const QString text = query.lastError().text().trimmed();
            if (transaction)
                database.rollback();
            throw windows1252Error(QStringLiteral("%1\n%2").arg(text, statement.left(200)));
        }
    }
    if (transaction && !database.commit())
        throw windows1252Error(database.lastError().text().trimmed());
}

QString createSqliteDatabase(const QString &path, bool withDemoListings)
{
    if (QFileInfo::exists(path))
        throw windows1252Error(QStringLiteral("Die Datei \"%1\" gibt es schon; sie wird nicht überschrieben.").arg(path));
    static std::atomic<int> counter{0};
    const QString name = QStringLiteral("kaviro-create-%1").arg(++counter);
    QString failure;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (!db.open()) {
            failure = db.lastError().text().trimmed();
        } else {
            try {
                runSqlScript(db, exampleScript(ExampleScript::SqliteTable));
                runSqlScript(db, exampleScript(ExampleScript::SqlitePhotos));
                if (withDemoListings) {
                    runSqlScript(db, exampleScript(ExampleScript::DemoListings));
                    addDemoPhotos(db);
                }
            } catch (const Error &error) {
                failure = fromWindows1252(error.what());
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (!failure.isEmpty()) {
        QFile::remove(path);
        throw windows1252Error(
            QStringLiteral("Die Datenbank \"%1\" konnte nicht angelegt werden: %2").arg(path, failure));
    }
    ConnectionString connection;
    connection.setValue(QStringLiteral("Provider"), providerName(Provider::SQLite));
    connection.setValue(QStringLiteral("Data Source"), path);
    return connection.toString();
}

} // namespace kaviro
