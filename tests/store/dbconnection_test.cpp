#include "store/dbconnection.h"
#include "store/listingdatabase.h"
#include "store/windows1252.h"

#include "common/error.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kaviro {
namespace {

using namespace Qt::StringLiterals;

std::string connectError(const QString &connectionString)
{
    DbConnection connection;
    connection.setConnectionString(connectionString);
    try {
        connection.setConnected(true);
    } catch (const Error &error) {
        EXPECT_FALSE(connection.isConnected());
        return error.what();
    }
    return connection.isConnected() ? "(connected)" : "(not connected)";
}

TEST(DbConnection, EmptyStringStaysClosedWithoutError)
{
    EXPECT_EQ(connectError(QString()), "(not connected)");
    EXPECT_EQ(connectError(u"  "_s), "(not connected)");
}

TEST(DbConnection, RefusalsAreErrors)
{
    QTemporaryDir dir;
    EXPECT_EQ(connectError(u"Provider=Access;Data Source=x.mdb"_s),
              "Unbekannter Datenbank-Provider \"Access\". M\xF6glich sind SQLite, PostgreSQL, ODBC und MySQL.");
    const QString missing = dir.filePath(u"fehlt.db"_s);
    EXPECT_EQ(connectError(u"Provider=SQLite;Data Source="_s + missing),
              "Die Datenbankdatei \"" + toWindows1252(missing) + "\" wurde nicht gefunden.");
    EXPECT_FALSE(QFile::exists(missing)); // not created behind the user's back
    // The driver's own text comes through.
    const std::string odbc = connectError(u"Provider=ODBC;DSN=kaviro_gibt_es_nicht"_s);
    EXPECT_NE(odbc.find("QODBC"), std::string::npos) << odbc;
    // PostgreSQL on a port where nobody listens (needs only the driver).
    const std::string pg = connectError(u"Provider=PostgreSQL;Data Source=127.0.0.1;Port=1;Initial Catalog=x"_s);
    EXPECT_NE(pg.find("QPSQL: Unable to connect"), std::string::npos) << pg;
}

TEST(DbConnection, ANewStringClosesTheConnection)
{
    QTemporaryDir dir;
    const QString first = createSqliteDatabase(dir.filePath(u"a.db"_s), false);
    const QString second = createSqliteDatabase(dir.filePath(u"b.db"_s), true);
    DbConnection connection;
    int changes = 0;
    QObject::connect(&connection, &DbConnection::connectedChanged, [&] { ++changes; });
    connection.setConnectionString(first);
    connection.setConnected(true);
    ASSERT_TRUE(connection.isConnected());
    EXPECT_TRUE(connection.database().isOpen());
    connection.setConnectionString(first); // the same string keeps it
    EXPECT_TRUE(connection.isConnected());
    connection.setConnectionString(second);
    EXPECT_FALSE(connection.isConnected());
    EXPECT_FALSE(connection.database().isValid());
    connection.setConnected(true);
    EXPECT_EQ(connection.provider(), Provider::SQLite);
    EXPECT_EQ(changes, 3);
}

TEST(ListingDatabase, CreatesDemoAndEmptyDatabasesButNeverOverwrites)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"demo;neu.db"_s);
    EXPECT_EQ(createSqliteDatabase(path, true), u"Provider=SQLite;Data Source=\""_s + path + u"\""_s);
    QFile file(path);
    const qint64 size = file.size();
    try {
        createSqliteDatabase(path, false);
        ADD_FAILURE() << "overwrote";
    } catch (const Error &error) {
        EXPECT_EQ(error.what(),
                  "Die Datei \"" + toWindows1252(path) + "\" gibt es schon; sie wird nicht \xFC" "berschrieben.");
    }
    EXPECT_EQ(file.size(), size);
    // A folder that is a file: fails, and leaves nothing behind.
    const QString blocked = path + u"/x.db"_s;
    EXPECT_THROW(createSqliteDatabase(blocked, false), Error);
    EXPECT_FALSE(QFile::exists(blocked));
}

TEST(ListingDatabase, SplitsScriptsAtSemicolonsOutsideQuotesAndComments)
{
    const QStringList statements = splitSqlScript(
        u"-- a comment; with a semicolon\nCREATE TABLE \"a;b\" (x TEXT);\n"
        "INSERT INTO \"a;b\" VALUES ('it''s; fine');;\n  \n"
        "SELECT 1"_s);
    EXPECT_EQ(statements, (QStringList{u"CREATE TABLE \"a;b\" (x TEXT)"_s,
                                       u"INSERT INTO \"a;b\" VALUES ('it''s; fine')"_s, u"SELECT 1"_s}));
}

} // namespace
} // namespace kaviro
