#include "storefixture.h"

#include "store/listingdatabase.h"

#include <QCoreApplication>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>
#include <cstdlib>

namespace kaviro::test {

namespace {

// Qt SQL loads its drivers through the application object.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "kaviro_store_tests";
        static char *argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            m_app = std::make_unique<QCoreApplication>(argc, argv);
    }
    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<QCoreApplication> m_app;
};

[[maybe_unused]] ::testing::Environment *const qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

bool pgRequired()
{
    const char *value = std::getenv("KAVIRO_REQUIRE_PG");
    return value && std::string(value) == "1";
}

std::atomic<int> schemaCounter{0};

} // namespace

void StoreTest::SetUp()
{
    ASSERT_TRUE(m_dir.isValid());
    m_admin = std::make_unique<DbConnection>();
    if (!isPostgres()) {
        m_connectionString = createSqliteDatabase(m_dir.filePath(QStringLiteral("wohnungen.db")), false);
        m_admin->setConnectionString(m_connectionString);
        m_admin->setConnected(true);
        return;
    }
    const char *pg = std::getenv("KAVIRO_TEST_PG");
    if (!pg || !*pg) {
        if (pgRequired())
            FAIL() << "KAVIRO_REQUIRE_PG=1, but KAVIRO_TEST_PG is not set";
        GTEST_SKIP() << "KAVIRO_TEST_PG is not set";
    }
    m_connectionString = QString::fromUtf8(pg);
    m_admin->setConnectionString(m_connectionString);
    try {
        m_admin->setConnected(true);
    } catch (const std::exception &error) {
        if (pgRequired())
            FAIL() << "PostgreSQL not reachable: " << error.what();
        GTEST_SKIP() << "PostgreSQL not reachable: " << error.what();
    }
    m_schema = QStringLiteral("kaviro_test_%1_%2").arg(QCoreApplication::applicationPid()).arg(++schemaCounter);
    exec(QStringLiteral("SET client_min_messages TO warning"));
    exec(QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(m_schema));
    exec(QStringLiteral("CREATE SCHEMA %1").arg(m_schema));
    exec(QStringLiteral("SET search_path TO %1").arg(m_schema));
    runSqlScript(m_admin->database(), exampleScript(ExampleScript::PostgresqlTable));
}

void StoreTest::TearDown()
{
    if (m_admin && m_admin->isConnected() && !m_schema.isEmpty()) {
        QSqlQuery query(m_admin->database());
        query.exec(QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(m_schema));
    }
    m_admin.reset();
}

void StoreTest::connect(DataModule &module, bool openTable)
{
    module.connection().setConnectionString(m_connectionString);
    module.connection().setConnected(true);
    if (isPostgres()) {
        QSqlQuery query(module.connection().database());
        ASSERT_TRUE(query.exec(QStringLiteral("SET search_path TO %1").arg(m_schema)))
            << query.lastError().text().toStdString();
    }
    if (openTable)
        module.table().open();
}

void StoreTest::exec(const QString &sql)
{
    QSqlQuery query(m_admin->database());
    ASSERT_TRUE(query.exec(sql)) << query.lastError().text().toStdString() << "\n" << sql.toStdString();
}

QVariant StoreTest::scalar(const QString &sql)
{
    QSqlQuery query(m_admin->database());
    EXPECT_TRUE(query.exec(sql) && query.next()) << query.lastError().text().toStdString() << "\n" << sql.toStdString();
    return query.value(0);
}

void StoreTest::useTableWithoutKey()
{
    exec(QStringLiteral("DROP TABLE \"Wohnungen\""));
    QString script = exampleScript(isPostgres() ? ExampleScript::PostgresqlTable : ExampleScript::SqliteTable);
    // Drop the key column: the table as an older database may hold it.
    const qsizetype comma = script.lastIndexOf(u',');
    const qsizetype close = script.lastIndexOf(u')');
    script.remove(comma, close - comma);
    runSqlScript(m_admin->database(), script);
}

void StoreTest::addListing(const QString &wohnung, const QString &ort, const QString &status,
                           const QString &zuMietenAb, const QString &timestamp)
{
    exec(QStringLiteral("INSERT INTO \"Wohnungen\" (\"Wohnung\", \"Ort\", \"Status\", \"ZuMietenAb\", \"Timestamp\") "
                        "VALUES ('%1', '%2', %3, %4, %5)")
             .arg(wohnung, ort, status, zuMietenAb, timestamp));
}

} // namespace kaviro::test
