#include "storefixture.h"

#include "common/error.h"
#include "store/listingdatabase.h"
#include "tests/support/failure.h"

#include <QAbstractItemModel>

namespace kaviro::test {
namespace {

using namespace Qt::StringLiterals;

using State = ListingTable::State;

QStringList columnValues(ListingTable &table, const QString &column)
{
    QStringList values;
    for (table.first(); !table.atEnd(); table.next())
        values.append(table.text(column));
    return values;
}

class ListingTableTest : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        addListing(QStringLiteral("Altbau Nord"), QStringLiteral("Köln"), QStringLiteral("TRUE"));
        addListing(QStringLiteral("Dachwohnung"), QStringLiteral("Aachen"), QStringLiteral("TRUE"));
        addListing(QStringLiteral("Zentrale Lage"), QStringLiteral("München"), QStringLiteral("FALSE"));
        addListing(QStringLiteral("Bungalow"), QStringLiteral("Zwickau"), QStringLiteral("NULL"));
        addListing(QStringLiteral("Erdgeschoss"), QStringLiteral("Bremen"), QStringLiteral("TRUE"));
    }
};

TEST_P(ListingTableTest, OpensWithTheElevenColumnsInOrder)
{
    DataModule module;
    connect(module);
    ListingTable &table = module.table();
    ASSERT_TRUE(table.isOpen());
    EXPECT_EQ(table.state(), State::Browse);
    EXPECT_EQ(table.rowCount(), 5);
    EXPECT_EQ(table.currentRow(), 0);
    for (std::size_t i = 0; i < listingColumns.size(); ++i)
        EXPECT_EQ(table.columnIndex(QString::fromLatin1(listingColumns[i].name)), int(i));
    EXPECT_EQ(table.columnIndex(QStringLiteral("ort")), 4); // case does not matter
    EXPECT_EQ(failureOf([&] { table.value(QStringLiteral("Preis")); }), "Feld \"Preis\" nicht gefunden.");
    EXPECT_EQ(table.model()->rowCount(), 5);
    EXPECT_EQ(table.model()->columnCount(), 12); // the key is there, though never shown
}

TEST_P(ListingTableTest, SortTextsOrderTheRows)
{
    struct Case {
        const char *sort;
        QStringList wohnungen;
    } cases[] = {
        {"Wohnung ASC", {u"Altbau Nord"_s, u"Bungalow"_s, u"Dachwohnung"_s, u"Erdgeschoss"_s, u"Zentrale Lage"_s}},
        {"Wohnung DESC", {u"Zentrale Lage"_s, u"Erdgeschoss"_s, u"Dachwohnung"_s, u"Bungalow"_s, u"Altbau Nord"_s}},
        {"Ort DESC", {u"Bungalow"_s, u"Zentrale Lage"_s, u"Altbau Nord"_s, u"Erdgeschoss"_s, u"Dachwohnung"_s}},
        {"ort desc", {u"Bungalow"_s, u"Zentrale Lage"_s, u"Altbau Nord"_s, u"Erdgeschoss"_s, u"Dachwohnung"_s}},
        {"Ort ", {u"Dachwohnung"_s, u"Erdgeschoss"_s, u"Altbau Nord"_s, u"Zentrale Lage"_s, u"Bungalow"_s}},
        {"Strasse ASC, Wohnung DESC",
         {u"Zentrale Lage"_s, u"Erdgeschoss"_s, u"Dachwohnung"_s, u"Bungalow"_s, u"Altbau Nord"_s}},
    };
    DataModule module;
    connect(module);
    ListingTable &table = module.table();
    for (const Case &c : cases) {
        table.setCurrentRow(3);
        table.setSort(QString::fromUtf8(c.sort));
        EXPECT_EQ(table.sort(), QString::fromUtf8(c.sort));
        EXPECT_EQ(table.currentRow(), 0) << c.sort; // a new sort moves to the first row
        EXPECT_EQ(columnValues(table, QStringLiteral("Wohnung")), c.wohnungen) << c.sort;
    }
    table.setSort(QStringLiteral(" ASC")); // no field: no order, no error
    EXPECT_EQ(table.rowCount(), 5);
}

TEST_P(ListingTableTest, BadSortTextsAreErrorsAndChangeNothing)
{
    DataModule module;
    connect(module);
    ListingTable &table = module.table();
    table.setSort(QStringLiteral("Wohnung DESC"));
    EXPECT_EQ(failureOf([&] { table.setSort(QStringLiteral("Preis ASC")); }), "Feld \"Preis\" nicht gefunden.");
    EXPECT_EQ(failureOf([&] { table.setSort(QStringLiteral("Wohnung UP")); }), "Ung\xFCltige Sortierung \"Wohnung UP\".");
    EXPECT_EQ(table.sort(), u"Wohnung DESC");
    EXPECT_EQ(table.text(QStringLiteral("Wohnung")), u"Zentrale Lage");

    // A closed table keeps the sort and applies it when it opens; a sort on
    // a column the table lacks then makes the open fail.
    table.close();
    table.setSort(QStringLiteral("Ort ASC"));
    table.open();
    EXPECT_EQ(table.text(QStringLiteral("Ort")), u"Aachen");
    table.close();
    table.setSort(QStringLiteral("Preis ASC"));
    EXPECT_EQ(failureOf([&] { table.open(); }), "Open error!");
    EXPECT_FALSE(table.isOpen());
}

TEST_P(ListingTableTest, FiltersQuoteTheColumnNames)
{
    DataModule module;
    connect(module);
    ListingTable &table = module.table();
    table.setSort(QStringLiteral("Ort ASC"));
    table.setCurrentRow(2);
    table.setFilter(QStringLiteral("Ort = 'Köln' OR [Ort] = 'Bremen' OR Wohnung = 'Status = true'"));
    EXPECT_EQ(table.rowCount(), 2);
    EXPECT_EQ(table.currentRow(), 0);
    EXPECT_EQ(columnValues(table, QStringLiteral("Ort")), (QStringList{u"Bremen"_s, u"Köln"_s}));
    table.setFilter(QStringLiteral("Status = true"));
    EXPECT_EQ(columnValues(table, QStringLiteral("Ort")), (QStringList{u"Aachen"_s, u"Bremen"_s, u"Köln"_s}));
    table.setFilter(QString());
    EXPECT_EQ(table.rowCount(), 5);
}

TEST_P(ListingTableTest, NavigatesLikeADataset)
{
    DataModule module;
    connect(module);
    ListingTable &table = module.table();
    table.setSort(QStringLiteral("Wohnung ASC"));
    EXPECT_TRUE(table.atStart());
    EXPECT_FALSE(table.atEnd());
    table.prior();
    EXPECT_EQ(table.currentRow(), 0);
    table.last();
    EXPECT_EQ(table.currentRow(), 4);
    EXPECT_TRUE(table.atEnd());
    table.prior();
    EXPECT_FALSE(table.atEnd());
    table.next();
    table.next(); // past the last row: stays, end reached
    EXPECT_EQ(table.currentRow(), 4);
    EXPECT_TRUE(table.atEnd());
    table.setCurrentRow(99);
    EXPECT_EQ(table.currentRow(), 4);

    table.setFilter(QStringLiteral("Ort = 'Nirgendwo'"));
    EXPECT_TRUE(table.isEmpty());
    EXPECT_EQ(table.currentRow(), -1);
    EXPECT_TRUE(table.atStart() && table.atEnd());
    EXPECT_TRUE(table.isNull(QStringLiteral("Wohnung")));
}

TEST_P(ListingTableTest, EditsThroughTheBoundModelPostAndCancel)
{
    QList<State> states; // outlives the module, which still signals as it closes
    DataModule module;
    connect(module);
    ListingTable &table = module.table();
    table.setSort(QStringLiteral("Wohnung ASC"));
    QObject::connect(&table, &ListingTable::stateChanged, [&](State s) { states.append(s); });
    QAbstractItemModel *model = table.model();
    const int ort = table.columnIndex(QStringLiteral("Ort"));

    // A view writing the value it shows changes nothing.
    EXPECT_TRUE(model->setData(model->index(0, ort), u"Köln"_s));
    EXPECT_EQ(table.state(), State::Browse);

    EXPECT_TRUE(model->setData(model->index(0, ort), u"Bonn"_s));
    EXPECT_EQ(table.state(), State::Edit);
    EXPECT_TRUE(table.isModified());
    table.cancel();
    EXPECT_EQ(table.state(), State::Browse);
    EXPECT_EQ(table.text(QStringLiteral("Ort")), u"Köln");

    // Moving to another row posts the change.
    EXPECT_TRUE(model->setData(model->index(0, ort), u"Bonn"_s));
    table.next();
    EXPECT_EQ(table.state(), State::Browse);
    EXPECT_EQ(scalar(u"SELECT \"Ort\" FROM \"Wohnungen\" WHERE \"Wohnung\" = 'Altbau Nord'"_s).toString(), u"Bonn");
    EXPECT_EQ(table.currentRow(), 1);

    // An edit state without a change is dropped, not posted.
    table.edit();
    table.next();
    EXPECT_EQ(table.state(), State::Browse);

    EXPECT_EQ(states, (QList<State>{State::Edit, State::Browse, State::Edit, State::Browse, State::Edit, State::Browse}));

    // Values a column cannot take are refused.
    EXPECT_EQ(failureOf([&] { table.setValue(QStringLiteral("Flaeche"), u"groß"_s); }),
              "Ung\xFCltiger Wert f\xFCr das Feld \"Flaeche\".");
    table.setValue(QStringLiteral("Flaeche"), u"54.5"_s);
    table.setValue(QStringLiteral("Strasse"), QString()); // empty text: null
    table.setValue(QStringLiteral("ZuMietenAb"), QDateTime(QDate(2025, 8, 1), QTime(15, 30)));
    table.post();
    EXPECT_EQ(table.number(QStringLiteral("Flaeche")), 54.5);
    EXPECT_TRUE(table.isNull(QStringLiteral("Strasse")));
    EXPECT_EQ(table.dateTime(QStringLiteral("ZuMietenAb")), QDateTime(QDate(2025, 8, 1), QTime(15, 30)));
}

TEST_P(ListingTableTest, InsertsAndDeletesRows)
{
    DataModule module;
    connect(module);
    ListingTable &table = module.table();
    table.setSort(QStringLiteral("Wohnung ASC"));
    table.setCurrentRow(2);

    table.insert();
    EXPECT_EQ(table.state(), State::Insert);
    EXPECT_EQ(table.rowCount(), 6);
    table.cancel();
    EXPECT_EQ(table.state(), State::Browse);
    EXPECT_EQ(table.rowCount(), 5);
    EXPECT_EQ(table.currentRow(), 2);

    table.insert();
    table.setValue(QStringLiteral("Wohnung"), u"Neubau Süd"_s);
    table.setValue(QStringLiteral("Status"), true);
    table.post();
    EXPECT_EQ(table.state(), State::Browse);
    EXPECT_EQ(table.text(QStringLiteral("Wohnung")), u"Neubau Süd"); // stays on the new listing
    EXPECT_TRUE(table.boolean(QStringLiteral("Status")));
    EXPECT_EQ(scalar(u"SELECT COUNT(*) FROM \"Wohnungen\""_s).toInt(), 6);

    table.setCurrentRow(1); // Bungalow
    table.deleteRow();
    EXPECT_EQ(table.currentRow(), 1);
    EXPECT_EQ(table.text(QStringLiteral("Wohnung")), u"Dachwohnung");
    EXPECT_EQ(scalar(u"SELECT COUNT(*) FROM \"Wohnungen\" WHERE \"Wohnung\" = 'Bungalow'"_s).toInt(), 0);
    table.last();
    table.deleteRow();
    EXPECT_EQ(table.text(QStringLiteral("Wohnung")), u"Neubau Süd");

    table.setFilter(QStringLiteral("Ort = 'Nirgendwo'"));
    EXPECT_EQ(failureOf([&] { table.deleteRow(); }),
              "Diese Operation kann nicht mit einer leeren Datenmenge ausgef\xFChrt werden.");
    table.edit(); // on an empty table: a new row
    EXPECT_EQ(table.state(), State::Insert);
}

TEST_P(ListingTableTest, RefreshReadsNewRowsAndKeepsTheCurrentListing)
{
    DataModule module;
    connect(module);
    ListingTable &table = module.table();
    table.setSort(QStringLiteral("Wohnung ASC"));
    table.setCurrentRow(2);
    addListing(QStringLiteral("Aaa Erster"), QStringLiteral("Ulm"), QStringLiteral("TRUE"));
    table.refresh();
    EXPECT_EQ(table.rowCount(), 6);
    EXPECT_EQ(table.text(QStringLiteral("Wohnung")), u"Dachwohnung");
    EXPECT_EQ(table.currentRow(), 3);
}

TEST_P(ListingTableTest, PausedViewsHearNothingUntilTheLastResume)
{
    int resets = 0, rowSignals = 0;
    DataModule module;
    connect(module);
    ListingTable &table = module.table();
    QObject::connect(table.model(), &QAbstractItemModel::modelReset, [&] { ++resets; });
    QObject::connect(&table, &ListingTable::currentRowChanged, [&] { ++rowSignals; });
    table.pauseViews();
    {
        ListingTable::ViewPause inner(table);
        table.setSort(QStringLiteral("Ort DESC"));
        table.next();
    }
    EXPECT_TRUE(table.viewsPaused());
    EXPECT_EQ(resets, 0);
    EXPECT_EQ(rowSignals, 0);
    table.resumeViews();
    EXPECT_FALSE(table.viewsPaused());
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(rowSignals, 1);
    table.resumeViews(); // one too many does no harm
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(table.text(QStringLiteral("Ort")), u"München"); // the row reached while paused

    // Opened and sorted while paused, the table still stands on the right
    // listing, and the views see the sorted rows once resumed.
    table.close();
    table.pauseViews();
    table.open();
    table.setSort(QStringLiteral("Wohnung DESC"));
    EXPECT_EQ(table.currentRow(), 0);
    EXPECT_EQ(table.text(QStringLiteral("Wohnung")), u"Zentrale Lage");
    table.setSort(QStringLiteral("Ort DESC"));
    table.resumeViews();
    const QAbstractItemModel *model = table.model();
    EXPECT_EQ(model->data(model->index(0, table.columnIndex(QStringLiteral("Ort")))).toString(), u"Zwickau");
    EXPECT_EQ(model->rowCount(), 5);
}

TEST_P(ListingTableTest, TheKeyKeepsAnUpdateToOneOfTwoIdenticalRows)
{
    addListing(QStringLiteral("Doppelt"), QStringLiteral("Köln"), QStringLiteral("TRUE"));
    addListing(QStringLiteral("Doppelt"), QStringLiteral("Köln"), QStringLiteral("TRUE"));
    DataModule module;
    connect(module);
    ListingTable &table = module.table();
    table.setFilter(QStringLiteral("Wohnung = 'Doppelt'"));
    table.setValue(QStringLiteral("Ort"), u"Bonn"_s);
    table.post();
    EXPECT_EQ(scalar(u"SELECT COUNT(*) FROM \"Wohnungen\" WHERE \"Ort\" = 'Bonn'"_s).toInt(), 1);
    table.deleteRow();
    EXPECT_EQ(scalar(u"SELECT COUNT(*) FROM \"Wohnungen\" WHERE \"Wohnung\" = 'Doppelt'"_s).toInt(), 1);
}

TEST_P(ListingTableTest, ATableWithoutKeyWorksAndRefusesAmbiguousChanges)
{
    useTableWithoutKey();
    addListing(QStringLiteral("Einzeln"), QStringLiteral("Ulm"), QStringLiteral("TRUE"));
    addListing(QStringLiteral("Doppelt"), QStringLiteral("Köln"), QStringLiteral("TRUE"));
    addListing(QStringLiteral("Doppelt"), QStringLiteral("Köln"), QStringLiteral("TRUE"));
    DataModule module;
    connect(module);
    ListingTable &table = module.table();
    EXPECT_EQ(table.model()->columnCount(), 11);
    table.setSort(QStringLiteral("Wohnung DESC"));
    table.setValue(QStringLiteral("Ort"), u"Ulm an der Donau"_s);
    table.post();
    EXPECT_EQ(scalar(u"SELECT \"Ort\" FROM \"Wohnungen\" WHERE \"Wohnung\" = 'Einzeln'"_s).toString(),
              u"Ulm an der Donau");
    EXPECT_FALSE(table.isNull(QStringLiteral("Timestamp"))); // stamped on that save

    table.next();
    table.setValue(QStringLiteral("Ort"), u"Bonn"_s);
    EXPECT_EQ(failureOf([&] { table.post(); }),
              "Der Datensatz steht mehrmals gleich in der Tabelle und kann ohne Prim\xE4rschl\xFCssel nicht allein "
              "ge\xE4ndert werden.");
    EXPECT_EQ(table.state(), State::Edit);
    table.cancel();
    EXPECT_EQ(failureOf([&] { table.deleteRow(); }),
              "Der Datensatz steht mehrmals gleich in der Tabelle und kann ohne Prim\xE4rschl\xFCssel nicht allein "
              "gel\xF6scht werden.");
    EXPECT_EQ(scalar(u"SELECT COUNT(*) FROM \"Wohnungen\" WHERE \"Ort\" = 'Köln'"_s).toInt(), 2);
    table.insert();
    table.setValue(QStringLiteral("Wohnung"), u"Neu"_s);
    table.post();
    EXPECT_EQ(table.text(QStringLiteral("Wohnung")), u"Neu");
    table.deleteRow();
    EXPECT_EQ(scalar(u"SELECT COUNT(*) FROM \"Wohnungen\""_s).toInt(), 3);
}

TEST_P(ListingTableTest, OpenFailuresAreOpenErrors)
{
    int closes = 0;
    DataModule module;
    EXPECT_TRUE(module.openTable()); // no connection: nothing to open, no failure
    EXPECT_FALSE(module.table().isOpen());
    EXPECT_EQ(failureOf([&] { module.table().open(); }), "Open error!");

    connect(module, false);
    QObject::connect(&module.table(), &ListingTable::activeChanged, [&](bool open) { closes += !open; });
    EXPECT_TRUE(module.openTable());
    EXPECT_TRUE(module.table().isOpen());
    module.connection().setConnected(false); // closes the table first
    EXPECT_FALSE(module.table().isOpen());
    EXPECT_EQ(closes, 1);

    exec(QStringLiteral("ALTER TABLE \"Wohnungen\" RENAME COLUMN \"Miete\" TO \"Kaltmiete\""));
    module.connection().setConnected(true);
    if (isPostgres())
        connect(module, false);
    EXPECT_FALSE(module.openTable());
    exec(QStringLiteral("DROP TABLE \"Wohnungen\""));
    EXPECT_FALSE(module.openTable());
    EXPECT_FALSE(module.table().isOpen());
}

INSTANTIATE_TEST_SUITE_P(Databases, ListingTableTest, ::testing::Values("SQLite", "PostgreSQL"),
                         [](const auto &info) { return info.param; });

} // namespace
} // namespace kaviro::test
