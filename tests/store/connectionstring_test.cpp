#include "store/connectionstring.h"

#include "common/error.h"

#include <gtest/gtest.h>

namespace kaviro {
namespace {

TEST(ConnectionString, ParsesKeysAndValues)
{
    const ConnectionString cs = ConnectionString::parse(QStringLiteral(
        " Provider = PostgreSQL ; data source=db.example.org;PORT=5433;;Initial Catalog=\"a;b\"\"c\";"
        "UserID='o''brien';Password= ; Extra = x=y ; extra=z"));
    EXPECT_EQ(cs.value(QStringLiteral("provider")), u"PostgreSQL");
    EXPECT_EQ(cs.value(QStringLiteral("Data Source")), u"db.example.org");
    EXPECT_EQ(cs.value(QStringLiteral("DataSource")), u"db.example.org"); // blanks in keys do not count
    EXPECT_EQ(cs.value(QStringLiteral("Port")), u"5433");
    EXPECT_EQ(cs.value(QStringLiteral("Initial Catalog")), u"a;b\"c");
    EXPECT_EQ(cs.value(QStringLiteral("User ID")), u"o'brien");
    EXPECT_TRUE(cs.contains(QStringLiteral("Password")));
    EXPECT_EQ(cs.value(QStringLiteral("Password")), QString());
    EXPECT_EQ(cs.value(QStringLiteral("Extra")), u"z"); // the last one given wins
    EXPECT_EQ(cs.value(QStringLiteral("Missing")), QString());
    EXPECT_TRUE(ConnectionString::parse(QStringLiteral(" ; ")).isEmpty());
}

TEST(ConnectionString, WritesWhatItReadsBack)
{
    ConnectionString cs;
    cs.setValue(QStringLiteral("Provider"), QStringLiteral("SQLite"));
    cs.setValue(QStringLiteral("Data Source"), QStringLiteral("/home/anna/Miet;listen/\"neu\".db"));
    cs.setValue(QStringLiteral("Password"), QStringLiteral(" secret "));
    const QString text = cs.toString();
    EXPECT_EQ(text, u"Provider=SQLite;Data Source=\"/home/anna/Miet;listen/\"\"neu\"\".db\";Password=\" secret \"");
    const ConnectionString back = ConnectionString::parse(text);
    EXPECT_EQ(back.value(QStringLiteral("Data Source")), cs.value(QStringLiteral("Data Source")));
    EXPECT_EQ(back.value(QStringLiteral("Password")), u" secret ");
    cs.setValue(QStringLiteral("data source"), QStringLiteral("/tmp/x.db")); // keeps place and spelling
    cs.remove(QStringLiteral("PASSWORD"));
    EXPECT_EQ(cs.toString(), u"Provider=SQLite;Data Source=/tmp/x.db");
}

TEST(ConnectionString, MalformedTextIsAnError)
{
    for (const char *text : {"Provider=SQLite;Data Source", "=x", "Password=\"open", "Password=\"a\"b"}) {
        try {
            ConnectionString::parse(QString::fromUtf8(text));
            ADD_FAILURE() << text;
        } catch (const Error &error) {
            EXPECT_TRUE(std::string(error.what()).starts_with("Der Verbindungstext ist fehlerhaft: ")) << error.what();
        }
    }
}

TEST(ConnectionString, MapsProvidersToQtDrivers)
{
    struct Case {
        const char *text;
        const char *driver;
        const char *database;
        const char *host;
        int port;
        const char *user;
        const char *password;
    } cases[] = {
        {"Provider=SQLite;Data Source=/data/listings.db", "QSQLITE", "/data/listings.db", "", -1, "", ""},
        {"provider=sqlite3;Database=x.db", "QSQLITE", "x.db", "", -1, "", ""},
        {"Provider=PostgreSQL;Data Source=db;Port=5432;Initial Catalog=kaviro;User ID=u;Password=p",
         "QPSQL", "kaviro", "db", 5432, "u", "p"},
        {"Provider=Postgres;Server=h;Database=d;UID=u;PWD=p", "QPSQL", "d", "h", -1, "u", "p"},
        {"Provider=ODBC;DSN=Wohnungen", "QODBC", "Wohnungen", "", -1, "", ""},
        {"Provider=ODBC;DSN=Wohnungen;UID=u;PWD=p;Trusted=no", "QODBC", "Wohnungen;Trusted=no", "", -1, "u", "p"},
        {"Provider=ODBC;Driver={SQL Server};Server=s;Database=d", "QODBC", "Driver={SQL Server};Server=s;Database=d",
         "", -1, "", ""},
        {"Provider=MySQL;Server=m;Port=3306;Database=d;User=u", "QMYSQL", "d", "m", 3306, "u", ""},
    };
    for (const Case &c : cases) {
        const DriverSettings s = driverSettings(ConnectionString::parse(QString::fromUtf8(c.text)));
        EXPECT_EQ(s.driverName, QString::fromUtf8(c.driver)) << c.text;
        EXPECT_EQ(s.databaseName, QString::fromUtf8(c.database)) << c.text;
        EXPECT_EQ(s.hostName, QString::fromUtf8(c.host)) << c.text;
        EXPECT_EQ(s.port, c.port) << c.text;
        EXPECT_EQ(s.userName, QString::fromUtf8(c.user)) << c.text;
        EXPECT_EQ(s.password, QString::fromUtf8(c.password)) << c.text;
    }
}

TEST(ConnectionString, ProviderErrorsSayWhatIsWrong)
{
    struct Case {
        const char *text;
        const char *message;
    } cases[] = {
        {"Provider=SQLOLEDB.1;Data Source=x",
         "Unbekannter Datenbank-Provider \"SQLOLEDB.1\". M\xF6glich sind SQLite, PostgreSQL, ODBC und MySQL."},
        {"Data Source=x.db", "Im Verbindungstext fehlt der Provider (zum Beispiel \"Provider=SQLite\")."},
        {"Provider=SQLite", "Im Verbindungstext fehlt die Datenbankdatei (\"Data Source=...\")."},
        {"Provider=PostgreSQL;Port=fünf", "Ung\xFCltiger Port im Verbindungstext: \"f\xFCnf\""},
        {"Provider=ODBC;UID=u", "Im Verbindungstext fehlt die ODBC-Datenquelle (\"DSN=...\" oder \"Driver=...\")."},
    };
    for (const Case &c : cases) {
        try {
            driverSettings(ConnectionString::parse(QString::fromUtf8(c.text)));
            ADD_FAILURE() << c.text;
        } catch (const Error &error) {
            EXPECT_STREQ(error.what(), c.message);
        }
    }
}

} // namespace
} // namespace kaviro
