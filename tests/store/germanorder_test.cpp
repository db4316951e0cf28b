// German order (DIN 5007, variant 1) in the grid's model and in the snapshot,
// on SQLite and PostgreSQL; the collation's quick way for ASCII against the
// collator it stands in for.

#include "storefixture.h"

#include "store/germancollation.h"

#include <QCollator>

#include <random>

namespace kaviro::test {
namespace {

using namespace Qt::StringLiterals;

const std::vector<std::string> germanOrder = {"apfel", "Äpfel", "Ärger", "Bach", "Bäcker", "Zell"};

std::vector<std::string> modelOrder(ListingTable &table)
{
    std::vector<std::string> result;
    for (table.first(); !table.atEnd(); table.next())
        result.push_back(table.text(u"Wohnung"_s).toStdString());
    return result;
}

std::vector<std::string> snapshotOrder(DataModule &module)
{
    std::vector<std::string> result;
    EXPECT_TRUE(module.buildWebData());
    for (int i = 0; i < module.webDataCount(); ++i)
        result.push_back(QString::fromLatin1(module.webDataRow(i).text("Wohnung")).toStdString());
    return result;
}

using GermanOrderTest = StoreTest;

TEST_P(GermanOrderTest, TextSortsAsInATelephoneBookInGridAndSnapshot)
{
    for (const char *wohnung : {"Zell", "Ärger", "apfel", "Bach", "Äpfel", "Bäcker"})
        addListing(QString::fromUtf8(wohnung), u"Ort"_s, u"TRUE"_s);
    DataModule module;
    connect(module);
    ASSERT_FALSE(module.connection().textCollation().isEmpty()) << "the test server has no German collation";
    ListingTable &table = module.table();

    table.setSort(u"Wohnung ASC"_s);
    EXPECT_EQ(modelOrder(table), germanOrder);
    EXPECT_EQ(snapshotOrder(module), germanOrder);

    const std::vector<std::string> descending(germanOrder.rbegin(), germanOrder.rend());
    table.setSort(u"Wohnung DESC"_s);
    EXPECT_EQ(modelOrder(table), descending);
    EXPECT_EQ(snapshotOrder(module), descending);
}

TEST_P(GermanOrderTest, EqualTextsKeepTheKeyOrder)
{
    for (const char *ort : {"Köln", "Bonn", "Köln", "Aachen", "Köln"})
        addListing(QString::fromUtf8(ort) + u" Wohnung"_s, QString::fromUtf8(ort), u"TRUE"_s);
    exec(u"UPDATE \"Wohnungen\" SET \"Wohnung\" = \"Wohnung\" || \"Id\" WHERE \"Ort\" = 'Köln'"_s);
    DataModule module;
    connect(module);
    module.table().setSort(u"Ort DESC"_s);
    const std::vector<std::string> rows = snapshotOrder(module);
    ASSERT_EQ(rows.size(), 5u);
    // The three of Köln in the order they were stored, then Bonn, Aachen.
    EXPECT_LT(rows[0], rows[1]);
    EXPECT_LT(rows[1], rows[2]);
    EXPECT_EQ(std::vector<std::string>(rows.begin() + 3, rows.end()),
              (std::vector<std::string>{"Bonn Wohnung", "Aachen Wohnung"}));
}

INSTANTIATE_TEST_SUITE_P(Databases, GermanOrderTest, ::testing::Values("SQLite", "PostgreSQL"),
                         [](const auto &info) { return info.param; });

int sign(int value)
{
    return (value > 0) - (value < 0);
}

TEST(GermanCollation, GivesTheCollatorsOrderForAnyText)
{
    // Short texts of letters in both cases, umlauts, digits and punctuation,
    // so that pairs often share a start and differ only in case.
    const std::vector<QString> pieces = {u"a"_s, u"A"_s, u"b"_s, u"B"_s, u"z"_s, u"ä"_s, u"Ä"_s, u"ß"_s, u"s"_s,
                                         u" "_s, u"-"_s, u"_"_s, u"."_s, u"1"_s, u"9"_s, u"é"_s, u"\t"_s};
    std::mt19937 random(7);
    const auto text = [&] {
        QString result;
        for (int n = int(random() % 6); n > 0; --n)
            result += pieces[random() % pieces.size()];
        return result;
    };
    const GermanCollation collation;
    const QCollator collator(QLocale(QLocale::German, QLocale::Germany));
    for (int i = 0; i < 20000; ++i) {
        const QString a = text();
        const QString b = text();
        ASSERT_EQ(sign(collation.compare(a.toUtf8().toStdString(), b.toUtf8().toStdString())),
                  sign(collator.compare(a, b)))
            << '"' << a.toStdString() << "\" vs \"" << b.toStdString() << '"';
    }
}

} // namespace
} // namespace kaviro::test
