#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace kaviro {

// The example scripts shipped in examples/ and built into the program.
enum class ExampleScript {
    SqliteTable,     // examples/wohnungen-sqlite.sql
    PostgresqlTable, // examples/wohnungen-postgresql.sql
    SqlitePhotos,    // examples/bilder-sqlite.sql (the table Bilder)
    PostgresqlPhotos, // examples/bilder-postgresql.sql
    DemoListings,    // examples/demo-wohnungen.sql (INSERTs for either database)
};

QString exampleScript(ExampleScript script);

// The statements of an SQL script: split at ";" outside quotes and comments,
// blank ones left out.
QStringList splitSqlScript(const QString &script);

// Runs a script on an open database in one transaction; throws kaviro::Error
// with the driver's text when a statement fails (nothing is kept then).
void runSqlScript(const QSqlDatabase &db, const QString &script);

// Creates a new SQLite database file holding the tables Wohnungen and Bilder,
// with the demo listings and their photos when asked. Refuses to touch an existing file. Returns the
// connection string that opens it.
QString createSqliteDatabase(const QString &path, bool withDemoListings);

} // namespace kaviro
