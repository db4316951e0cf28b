// The table's columns beyond the eleven: found with their kinds, edited
// like the others, copied into the snapshot as text and printed by their
// macros; ZuMietenAb's own format and the condition Gesetzt on real rows.

#include "storefixture.h"

#include "generator/listingpagegenerator.h"
#include "store/listingdatabase.h"
#include "store/snapshot.h"
#include "tests/support/testfiles.h"

#include <QFile>

namespace kaviro::test {
namespace {

using namespace Qt::StringLiterals;

const QLocale german(QLocale::German, QLocale::Germany);

QString exampleFile(const char *name)
{
    QFile file(QStringLiteral(KAVIRO_EXAMPLES_DIR "/") + QString::fromLatin1(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return QString::fromUtf8(file.readAll());
}

class ExtraColumnsTest : public StoreTest {
protected:
    void addExtraColumns()
    {
        runSqlScript(m_admin->database(), exampleFile(isPostgres() ? "weitere-angaben-postgresql.sql"
                                                                   : "weitere-angaben-sqlite.sql"));
    }

    // Generates one page from the template text and returns it.
    std::string page(DataModule &module, const std::string &templateText)
    {
        module.setLocale(german);
        EXPECT_TRUE(module.buildWebData());
        test::TempDir work;
        ListingPageGenerator generator(module);
        generator.setTemplateFile(work.write("seite.templ", templateText));
        generator.setOutputDir(work.path());
        generator.setDateFormatter([](const ListingDateTime &date, const std::string &format) {
            return formatListingDate(date, format, german);
        });
        generator.run();
        return test::readFile(work.file("seite.html"));
    }
};

TEST_P(ExtraColumnsTest, AreFoundEditedAndPrinted)
{
    addExtraColumns();
    exec(u"INSERT INTO \"Wohnungen\" (\"Wohnung\", \"Status\", \"ZuMietenAb\", \"Zimmer\", \"Kaution\", "
         "\"Baujahr\", \"Energieausweis\", \"Energiekennwert\", \"Effizienzklasse\") VALUES "
         "('Altbau', TRUE, '2025-08-01 15:30:00', 3, 2360.5, 1905, 'Verbrauchsausweis', 131.25, 'Ä')"_s);
    exec(u"INSERT INTO \"Wohnungen\" (\"Wohnung\", \"Status\") VALUES ('Neubau', TRUE)"_s);
    DataModule module;
    connect(module);
    module.table().setSort(u"Wohnung ASC"_s);

    const std::vector<ExtraColumn> &extras = module.table().extraColumns();
    std::vector<std::pair<QString, ColumnKind>> found;
    for (const ExtraColumn &extra : extras)
        found.emplace_back(extra.name, extra.kind);
    const std::vector<std::pair<QString, ColumnKind>> expected{
        {u"Zimmer"_s, ColumnKind::Integer},         {u"Kaution"_s, ColumnKind::Float},
        {u"Heizkosten"_s, ColumnKind::Float},       {u"Baujahr"_s, ColumnKind::Integer},
        {u"Energieausweis"_s, ColumnKind::Text},    {u"Energiekennwert"_s, ColumnKind::Float},
        {u"Energietraeger"_s, ColumnKind::Text},    {u"Effizienzklasse"_s, ColumnKind::Text}};
    EXPECT_EQ(found, expected); // the key "Id" is no extra column
    EXPECT_EQ(extras[4].size, 20);

    // An edit is stored like the others': a typed text for a number, too.
    ListingTable &table = module.table();
    table.setCurrentRow(1);
    table.setValue(u"Zimmer"_s, u"2"_s);
    table.setValue(u"Energietraeger"_s, u"Fernwärme"_s);
    table.post();
    EXPECT_EQ(scalar(u"SELECT \"Zimmer\" FROM \"Wohnungen\" WHERE \"Wohnung\" = 'Neubau'"_s).toInt(), 2);
    EXPECT_EQ(scalar(u"SELECT \"Energietraeger\" FROM \"Wohnungen\" WHERE \"Wohnung\" = 'Neubau'"_s).toString(),
              u"Fernwärme"_s);
    EXPECT_THROW(table.setValue(u"Zimmer"_s, u"2,5"_s), Error) << "a whole-number column takes no fraction";

    EXPECT_EQ(page(module, "<repeat name=Loop>\r\n"
                           "<macro name=Wohnung/>: <macro name=Zimmer/> Zi., <macro name=Kaution/> \x80, "
                           "<macro name=Baujahr/>, <macro name=Energiekennwert/>, <macro name=Effizienzklasse/>\r\n"
                           "<macro name=ZuMietenAb/>|<macro name=ZuMietenAb format=\"dd.MM.yyyy\"/>|"
                           "<macro name=ZuMietenAb format=\"d. MMMM yyyy, HH:mm\"/>|\r\n"
                           "<if name=Gesetzt feld=Energieausweis>\r\n"
                           "Energieausweis: <macro name=Energieausweis/>\r\n"
                           "<else name=Gesetzt/>\r\n"
                           "kein Energieausweis\r\n"
                           "</if name=Gesetzt>\r\n"
                           "</repeat name=Loop>\r\n"),
              "Altbau: 3 Zi., 2360,5 \x80, 1905, 131,25, \xC4\r\n"
              "01.08.25 15:30:00|01.08.2025|1. August 2025, 15:30|\r\n"
              "Energieausweis: Verbrauchsausweis\r\n"
              "Neubau: 2 Zi.,  \x80, , , \r\n"
              "|||\r\n" // an empty date stays empty in any format
              "kein Energieausweis\r\n");
}

TEST_P(ExtraColumnsTest, TableWithoutThemBehavesAsBefore)
{
    addListing(u"Altbau"_s, u"Köln"_s, u"TRUE"_s, u"'2025-09-01 00:00:00'"_s);
    DataModule module;
    connect(module);
    EXPECT_TRUE(module.table().extraColumns().empty());
    EXPECT_TRUE(module.extraFieldNames().empty());
    EXPECT_EQ(page(module, "<repeat name=Loop>\r\n<macro name=ZuMietenAb/> <macro name=Zimmer/>\r\n"
                           "</repeat name=Loop>\r\n"),
              "01.09.25 \r\n");
    EXPECT_TRUE(module.webData().empty() || module.webData().front().extras.empty());
}

INSTANTIATE_TEST_SUITE_P(Databases, ExtraColumnsTest, ::testing::Values("SQLite", "PostgreSQL"),
                         [](const auto &info) { return info.param; });

TEST(SqliteColumnKinds, FollowTheDeclaredType)
{
    struct Case {
        const char *declared;
        ColumnKind kind;
        int size;
    } cases[] = {
        {"INTEGER", ColumnKind::Integer, 0},     {"VARCHAR(40)", ColumnKind::Text, 40},
        {"text", ColumnKind::Text, 0},           {"DOUBLE", ColumnKind::Float, 0},
        {"NUMERIC(8,2)", ColumnKind::Float, 0},  {"DATETIME", ColumnKind::DateTime, 0},
        {"DATE", ColumnKind::DateTime, 0},       {"BOOLEAN", ColumnKind::Boolean, 0},
        {"BLOB", ColumnKind::Other, 0},          {"", ColumnKind::Other, 0},
    };
    for (const Case &c : cases) {
        int size = -1;
        EXPECT_EQ(sqliteColumnKind(QString::fromLatin1(c.declared), &size), c.kind) << c.declared;
        EXPECT_EQ(size, c.size) << c.declared;
    }
}

} // namespace
} // namespace kaviro::test
