#include "storefixture.h"

#include "common/error.h"
#include "store/listingdatabase.h"
#include "store/windows1252.h"
#include "tests/support/failure.h"

#include <QAbstractItemModel>
#include <QFile>
#include <QSqlQuery>

namespace kaviro::test {
namespace {

using namespace Qt::StringLiterals;

const QLocale german(QLocale::German, QLocale::Germany);

std::vector<std::string> wohnungen(const DataModule &module)
{
    std::vector<std::string> result;
    for (int i = 0; i < module.webDataCount(); ++i)
        result.push_back(module.webDataRow(i).text("Wohnung"));
    return result;
}

class DataModuleTest : public StoreTest {
protected:
    // Connects the module with German dates, sorts by Wohnung and builds.
    void connectAndBuild(DataModule &module)
    {
        module.setLocale(german);
        connect(module);
        module.table().setSort(u"Wohnung ASC"_s);
        ASSERT_TRUE(module.buildWebData());
    }
};

TEST_P(DataModuleTest, SnapshotHoldsTheActiveListingsInTheTableOrder)
{
    addListing(u"Altbau Nord"_s, u"Köln"_s, u"TRUE"_s);
    addListing(u"Dachwohnung"_s, u"Aachen"_s, u"TRUE"_s);
    addListing(u"Zentrale Lage"_s, u"München"_s, u"FALSE"_s);
    addListing(u"Bungalow"_s, u"Zwickau"_s, u"NULL"_s);
    addListing(u"Erdgeschoss"_s, u"Bremen"_s, u"TRUE"_s);
    struct Case {
        const char *sort;
        std::vector<std::string> wohnungen;
    } cases[] = {
        {"Wohnung ASC", {"Altbau Nord", "Dachwohnung", "Erdgeschoss"}},
        {"Wohnung DESC", {"Erdgeschoss", "Dachwohnung", "Altbau Nord"}},
        {"Ort DESC", {"Altbau Nord", "Erdgeschoss", "Dachwohnung"}},
        {"Ort ASC", {"Dachwohnung", "Erdgeschoss", "Altbau Nord"}},
        {"Status DESC", {"Altbau Nord", "Dachwohnung", "Erdgeschoss"}}, // equal keys in key order
    };
    DataModule module;
    connect(module);
    ListingTable &table = module.table();
    for (const Case &c : cases) {
        table.setSort(QString::fromUtf8(c.sort));
        table.setCurrentRow(3);
        ASSERT_TRUE(module.buildWebData());
        EXPECT_EQ(wohnungen(module), c.wohnungen) << c.sort;
        // Afterwards the table is unfiltered and on its first row.
        EXPECT_EQ(table.filter(), QString());
        EXPECT_EQ(table.rowCount(), 5);
        EXPECT_EQ(table.currentRow(), 0);
        EXPECT_FALSE(table.viewsPaused());
    }

    // The grid's own filter narrows the snapshot further and stays.
    table.setFilter(u"Ort <> 'Aachen'"_s);
    ASSERT_TRUE(module.buildWebData());
    EXPECT_EQ(module.webDataCount(), 2);
    EXPECT_EQ(table.filter(), u"Ort <> 'Aachen'"_s);

    module.clearWebData();
    EXPECT_TRUE(module.webData().empty());
    EXPECT_EQ(module.webDataCount(), 2); // the count survives the release
}

TEST_P(DataModuleTest, SnapshotConvertsNullsTextsAndDates)
{
    exec(u"INSERT INTO \"Wohnungen\" (\"Wohnung\", \"Flaeche\", \"Strasse\", \"PLZ\", \"Ort\", \"Beschreibung\", "
         "\"Miete\", \"Nebenkosten\", \"ZuMietenAb\", \"Status\") VALUES "
         "('Größe Ω', 54.5, 'Schloßstraße 1', '01099', 'Dresden', 'Zeile 1\nZeile 2 – 45 €', 700.5, 150.25, "
         "'2025-08-01 15:30:00', TRUE), "
         "('Leer', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, TRUE), "
         "('Mitternacht', 10, '', '', '', '', 0, 0, '2025-09-01 00:00:00', TRUE)"_s);
    DataModule module;
    connectAndBuild(module);
    ASSERT_EQ(module.webDataCount(), 3);

    WebDataRow full;
    module.getWebDataRow(0, full);
    EXPECT_EQ(full.text("Wohnung"), "Gr\xF6\xDF" "e &#937;");
    EXPECT_EQ(full.number("Flaeche"), 54.5);
    EXPECT_EQ(full.text("Strasse"), "Schlo\xDFstra\xDF" "e 1");
    EXPECT_EQ(full.text("PLZ"), "01099");
    EXPECT_EQ(full.text("Ort"), "Dresden");
    EXPECT_EQ(full.text("Beschreibung"), "Zeile 1\nZeile 2 \x96 45 \x80");
    EXPECT_EQ(full.number("Miete"), 700.5);
    EXPECT_EQ(full.number("Nebenkosten"), 150.25);
    EXPECT_EQ(full.text("ZuMietenAb"), "01.08.25 15:30:00");

    const WebDataRow &empty = module.webDataRow(1);
    EXPECT_EQ(empty.text("Wohnung"), "Leer");
    EXPECT_EQ(empty.number("Flaeche"), 0.0);
    EXPECT_EQ(empty.text("Strasse"), "");
    EXPECT_EQ(empty.text("Beschreibung"), "");
    EXPECT_EQ(empty.number("Miete"), 0.0);
    EXPECT_EQ(empty.number("Nebenkosten"), 0.0);
    EXPECT_EQ(empty.text("ZuMietenAb"), "");

    EXPECT_EQ(module.webDataRow(2).text("ZuMietenAb"), "01.09.25"); // midnight: the date alone
}

// SQLite keeps a value in the type it was given where the column's affinity
// allows (blobs anywhere, text that is no number in a number column). The
// snapshot reads SQLite without Qt's driver and must give what Qt gives.
TEST_P(DataModuleTest, SnapshotReadsValuesOfAnyStoredTypeAsQtDoes)
{
    if (isPostgres())
        GTEST_SKIP() << "PostgreSQL keeps the column types";
    exec(u"INSERT INTO \"Wohnungen\" (\"Wohnung\", \"Flaeche\", \"Strasse\", \"PLZ\", \"Ort\", \"Beschreibung\", "
         "\"Miete\", \"Nebenkosten\", \"Status\") VALUES "
         "('1 Bytes', X'31322E35', X'4BC3B66C6E', X'3031303939', X'', X'E2809320C3A4', X'3730302E35', NULL, TRUE), "
         "('2 Texte', 'viel', 'Ring 1', '', 'Köln', CAST(X'41E44220C3A4' AS TEXT), '12,5', ' 7 ', TRUE), "
         "('3 Zahlen', 54, CAST(X'EFBBBF576567' AS TEXT), '53111', 'Bonn', 'ä – € Ω', 1e300, -0.0, TRUE)"_s);
    DataModule module;
    connectAndBuild(module);
    ASSERT_EQ(module.webDataCount(), 3);

    QSqlQuery query(m_admin->database());
    ASSERT_TRUE(query.exec(u"SELECT \"Wohnung\", \"Flaeche\", \"Strasse\", \"PLZ\", \"Ort\", \"Beschreibung\", "
                           "\"Miete\", \"Nebenkosten\" FROM \"Wohnungen\" ORDER BY \"Wohnung\""_s));
    const auto text = [&](int column) {
        const QVariant value = query.value(column);
        return value.isNull() ? std::string() : toWindows1252(value.toString());
    };
    for (const WebDataRow &row : module.webData()) {
        ASSERT_TRUE(query.next());
        SCOPED_TRACE(row.text("Wohnung"));
        EXPECT_EQ(row.text("Wohnung"), text(0));
        EXPECT_EQ(row.number("Flaeche"), query.value(1).toDouble());
        EXPECT_EQ(row.text("Strasse"), text(2));
        EXPECT_EQ(row.text("PLZ"), text(3));
        EXPECT_EQ(row.text("Ort"), text(4));
        EXPECT_EQ(row.text("Beschreibung"), text(5));
        EXPECT_EQ(row.number("Miete"), query.value(6).toDouble());
        EXPECT_EQ(row.number("Nebenkosten"), query.value(7).toDouble());
    }
    EXPECT_EQ(module.webDataRow(0).text("Strasse"), "K\xF6ln");
    EXPECT_EQ(module.webDataRow(1).number("Miete"), 0.0); // "12,5" is no number
    EXPECT_EQ(module.webDataRow(2).text("Strasse"), "&#65279;Weg"); // a byte order mark is a character here
}

// Dates that SQLite holds as text: equal ones come out alike (each stored
// text is formatted once), one that is no date fails the build with it.
TEST_P(DataModuleTest, SnapshotDatesFromStoredTexts)
{
    if (isPostgres())
        GTEST_SKIP() << "PostgreSQL keeps the column types";
    exec(u"INSERT INTO \"Wohnungen\" (\"Wohnung\", \"ZuMietenAb\", \"Status\") VALUES "
         "('A', '2025-08-01 15:30:00', TRUE), ('B', '2025-08-01 15:30:00', TRUE), ('C', '2025-08-01', TRUE), "
         "('D', '2025-08-01', TRUE)"_s);
    DataModule module;
    connectAndBuild(module);
    ASSERT_EQ(module.webDataCount(), 4);
    EXPECT_EQ(module.webDataRow(0).text("ZuMietenAb"), "01.08.25 15:30:00");
    EXPECT_EQ(module.webDataRow(1).text("ZuMietenAb"), "01.08.25 15:30:00");
    EXPECT_EQ(module.webDataRow(2).text("ZuMietenAb"), "01.08.25");
    EXPECT_EQ(module.webDataRow(3).text("ZuMietenAb"), "01.08.25");

    for (const QString &stored : {u"'bald'"_s, u"'2025-13-01'"_s, u"20250801"_s}) {
        exec(u"UPDATE \"Wohnungen\" SET \"ZuMietenAb\" = %1 WHERE \"Wohnung\" = 'D'"_s.arg(stored));
        QString shown = stored;
        shown.remove(u'\'');
        EXPECT_EQ(test::failureOf([&] { module.buildWebData(); }),
                  "Ung\xFCltiges Datum im Feld \"ZuMietenAb\": " + shown.toStdString());
    }
}

TEST(ListingDate, FormatsShortDateAndLongTimeOfTheLocale)
{
    struct Case {
        QDateTime value;
        QLocale locale;
        std::string text;
    } cases[] = {
        {QDateTime(QDate(2025, 8, 1), QTime(0, 0)), german, "01.08.25"},
        {QDateTime(QDate(2025, 8, 1), QTime(9, 5, 7)), german, "01.08.25 09:05:07"},
        {QDateTime(QDate(2025, 8, 1), QTime(0, 0, 0, 1)), german, "01.08.25 00:00:00"},
        {QDateTime(QDate(2025, 12, 24), QTime(18, 0)), QLocale(QLocale::English, QLocale::UnitedStates),
         "12/24/25 6:00:00 PM"},
        {QDateTime(), german, ""},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(formatListingDate(c.value, c.locale), c.text) << c.value.toString().toStdString();
    }
}

TEST_P(DataModuleTest, SnapshotIsReadBesideTheModel)
{
    addListing(u"Altbau Nord"_s, u"Köln"_s, u"TRUE"_s);
    addListing(u"Zentrale Lage"_s, u"München"_s, u"FALSE"_s);
    addListing(u"Erdgeschoss"_s, u"Bremen"_s, u"TRUE"_s);
    DataModule module;
    connect(module);
    ListingTable &table = module.table();
    table.setSort(u"Ort DESC"_s);
    // Bound views see the rows they showed before: no reset, no filtering.
    int modelChanges = 0;
    const QAbstractItemModel *model = table.model();
    const auto count = [&] { ++modelChanges; };
    QObject::connect(model, &QAbstractItemModel::modelReset, count);
    QObject::connect(model, &QAbstractItemModel::rowsRemoved, count);
    QObject::connect(model, &QAbstractItemModel::rowsInserted, count);
    QObject::connect(model, &QAbstractItemModel::layoutChanged, count);
    ASSERT_TRUE(module.buildWebData());
    EXPECT_EQ(wohnungen(module), (std::vector<std::string>{"Altbau Nord", "Erdgeschoss"}));
    EXPECT_EQ(modelChanges, 0);
    EXPECT_EQ(model->rowCount(), 3);

    // The same rows straight from a connection whose table was never opened.
    DataModule headless;
    connect(headless, false);
    const QSqlDatabase db = headless.connection().database();
    const WebData rows = readSnapshot(db, ListingQuery::forTable(db), {}, u"Ort DESC"_s, QString(), german);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].text("Ort"), "K\xF6ln");
    EXPECT_EQ(rows[1].text("Wohnung"), "Erdgeschoss");
}

TEST_P(DataModuleTest, NumbersThatAreNoNumbersBecomeZeroAndAreReported)
{
    if (isPostgres())
        GTEST_SKIP() << "PostgreSQL keeps only numbers in number columns";
    addListing(u"Altbau"_s, u"Köln"_s, u"TRUE"_s);
    addListing(u"Neubau"_s, u"Bonn"_s, u"TRUE"_s);
    exec(u"UPDATE \"Wohnungen\" SET \"Flaeche\" = 'gross', \"Miete\" = '12,50 EUR', \"Nebenkosten\" = '99.5' "
         "WHERE \"Wohnung\" = 'Altbau'"_s);
    DataModule module;
    connectAndBuild(module);
    ASSERT_EQ(module.webDataCount(), 2);
    const WebDataRow &altbau = module.webDataRow(0);
    EXPECT_EQ(altbau.number("Flaeche"), 0.0);
    EXPECT_EQ(altbau.number("Miete"), 0.0);
    EXPECT_EQ(altbau.number("Nebenkosten"), 99.5); // a number stored as text is still a number
    EXPECT_EQ(module.numberWarnings(),
              (QStringList{u"Die Wohnung \"Altbau\" hat im Feld \"Flaeche\" keine Zahl (\"gross\"); auf den Seiten steht 0."_s,
                           u"Die Wohnung \"Altbau\" hat im Feld \"Miete\" keine Zahl (\"12,50 EUR\"); auf den Seiten steht 0."_s}));

    // Empty numbers are 0 without a word, and the next build forgets old warnings.
    exec(u"UPDATE \"Wohnungen\" SET \"Flaeche\" = NULL, \"Miete\" = NULL"_s);
    ASSERT_TRUE(module.buildWebData());
    EXPECT_TRUE(module.numberWarnings().isEmpty());
}

TEST_P(DataModuleTest, BuildWithoutActiveListingsOrOnAClosedTable)
{
    addListing(u"Vermietet"_s, u"Ulm"_s, u"FALSE"_s);
    DataModule module;
    EXPECT_FALSE(module.buildWebData()); // closed: nothing happens
    EXPECT_EQ(module.webDataCount(), 0);
    connect(module);
    ASSERT_TRUE(module.buildWebData());
    EXPECT_EQ(module.webDataCount(), 0);

    addListing(u"Frei"_s, u"Ulm"_s, u"TRUE"_s);
    module.table().refresh();
    ASSERT_TRUE(module.buildWebData());
    EXPECT_EQ(module.webDataCount(), 1);
    module.table().close();
    EXPECT_FALSE(module.buildWebData());
    EXPECT_EQ(module.webDataCount(), 1);
    EXPECT_EQ(module.webData().size(), 1u);
}

TEST_P(DataModuleTest, BuildPostsAPendingEdit)
{
    addListing(u"Entwurf"_s, u"Ulm"_s, u"FALSE"_s);
    DataModule module;
    connect(module);
    module.table().setValue(u"Status"_s, true);
    ASSERT_TRUE(module.buildWebData());
    EXPECT_EQ(module.webDataCount(), 1);
    EXPECT_EQ(module.table().state(), ListingTable::State::Browse);
}

TEST_P(DataModuleTest, TimestampIsSetOnFirstSaveAndNeverChanged)
{
    addListing(u"Alt ohne Stempel"_s, u"Ulm"_s, u"TRUE"_s);
    QDateTime now(QDate(2025, 6, 1), QTime(12, 34, 56));
    DataModule module;
    module.setClock([&] { return now; });
    connect(module);
    ListingTable &table = module.table();
    table.setSort(u"Wohnung ASC"_s);
    const auto stored = [&](const QString &wohnung) {
        return ListingTable::toDateTime(
            scalar(u"SELECT \"Timestamp\" FROM \"Wohnungen\" WHERE \"Wohnung\" = '%1'"_s.arg(wohnung)));
    };

    table.insert();
    table.setValue(u"Wohnung"_s, u"Neu"_s);
    table.post();
    EXPECT_EQ(stored(u"Neu"_s), now);
    EXPECT_EQ(table.dateTime(u"Timestamp"_s), now);

    now = now.addDays(3);
    table.setValue(u"Ort"_s, u"Bonn"_s);
    table.post();
    EXPECT_EQ(stored(u"Neu"_s), QDateTime(QDate(2025, 6, 1), QTime(12, 34, 56)));

    // A listing stored without a stamp gets one at its next save.
    table.first();
    ASSERT_EQ(table.text(u"Wohnung"_s), u"Alt ohne Stempel");
    table.setValue(u"Ort"_s, u"Neu-Ulm"_s);
    table.post();
    EXPECT_EQ(stored(u"Alt ohne Stempel"_s), now);
}

TEST_P(DataModuleTest, DemoListingsLoadAndPublishTwentyFive)
{
    runSqlScript(m_admin->database(), exampleScript(ExampleScript::DemoListings));
    DataModule module;
    connect(module);
    EXPECT_EQ(module.table().rowCount(), 30);
    module.table().setSort(u"Wohnung ASC"_s);
    ASSERT_TRUE(module.buildWebData());
    EXPECT_EQ(module.webDataCount(), 25);
    for (const WebDataRow &row : module.webData()) {
        EXPECT_FALSE(row.text("Wohnung").empty());
        EXPECT_LE(module.table().text(u"Wohnung"_s).size(), 80);
    }
}

INSTANTIATE_TEST_SUITE_P(Databases, DataModuleTest, ::testing::Values("SQLite", "PostgreSQL"),
                         [](const auto &info) { return info.param; });

} // namespace
} // namespace kaviro::test
