#pragma once

#include "store/datamodule.h"

#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace kaviro::test {

// Runs each store test on an SQLite file and on PostgreSQL. PostgreSQL comes
// from KAVIRO_TEST_PG (a connection string); without it those cases skip,
// unless KAVIRO_REQUIRE_PG=1, where an unreachable server fails them. Each
// PostgreSQL case works in a schema of its own, so cases may run in parallel.
class StoreTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override;
    void TearDown() override;

    bool isPostgres() const { return GetParam() == "PostgreSQL"; }
    // Connects a module to the test database and opens its table.
    void connect(DataModule &module, bool openTable = true);
    // Runs SQL on the fixture's own connection (table names quoted).
    void exec(const QString &sql);
    QVariant scalar(const QString &sql);
    // Replaces Wohnungen by a table with the same columns and no key.
    void useTableWithoutKey();
    // Adds a listing; values are SQL literals.
    void addListing(const QString &wohnung, const QString &ort, const QString &status,
                    const QString &zuMietenAb = QStringLiteral("NULL"),
                    const QString &timestamp = QStringLiteral("NULL"));

    QString m_connectionString;
    QString m_schema;
    QTemporaryDir m_dir;
    std::unique_ptr<DbConnection> m_admin;
};


} // namespace kaviro::test
