#include "store/listingquery.h"

#include "tests/support/failure.h"

#include <gtest/gtest.h>

namespace kaviro {
namespace {

using namespace Qt::StringLiterals;

const QStringList fields = {u"Id"_s, u"Wohnung"_s, u"Flaeche"_s, u"Ort"_s, u"Status"_s};

TEST(ListingQuery, SortTextsBecomeOrderByWithKeyTies)
{
    const ListingQuery query(fields, {u"Id"_s}, {});
    struct Case {
        QString sort;
        QString orderBy;
    };
    const Case cases[] = {
        {u""_s, u""_s},
        {u" ASC"_s, u""_s}, // a direction without a field: no order
        {u"Ort"_s, u"ORDER BY \"Ort\" ASC, \"Id\" ASC"_s},
        {u"ort desc"_s, u"ORDER BY \"Ort\" DESC, \"Id\" ASC"_s}, // the table's spelling
        {u"Ort DESC, Wohnung ASC"_s, u"ORDER BY \"Ort\" DESC, \"Wohnung\" ASC, \"Id\" ASC"_s},
    };
    for (const Case &c : cases)
        EXPECT_EQ(query.orderBy(c.sort), c.orderBy) << c.sort.toStdString();

    // Without a key there are no ties to break.
    EXPECT_EQ(ListingQuery(fields, {}, {}).orderBy(u"Ort"_s), u"ORDER BY \"Ort\" ASC");
}

TEST(ListingQuery, BadSortTextsAreErrors)
{
    const ListingQuery query(fields, {}, {});
    EXPECT_EQ(test::failureOf([&] { query.orderBy(u"Ort AUFWAERTS"_s); }),
              "Ung\xFCltige Sortierung \"Ort AUFWAERTS\".");
    EXPECT_EQ(test::failureOf([&] { query.orderBy(u"Ort ASC DESC"_s); }),
              "Ung\xFCltige Sortierung \"Ort ASC DESC\".");
    EXPECT_EQ(test::failureOf([&] { query.orderBy(u"Preis ASC"_s); }), "Feld \"Preis\" nicht gefunden.");
}

TEST(ListingQuery, ConditionsQuoteColumnNamesOnly)
{
    struct Case {
        IdentifierQuotes quotes;
        QString filter;
        QString condition;
    };
    const IdentifierQuotes backticks{u'`', u'`'};
    const IdentifierQuotes none{QChar(), QChar()};
    const Case cases[] = {
        {{}, u"Status = true"_s, u"\"Status\" = true"_s},
        {{}, u"  status = true "_s, u"\"Status\" = true"_s},
        // Literals, even ones that look like conditions, pass unchanged.
        {{}, u"Wohnung = 'Status = true' OR Ort = 'K''öln'"_s,
         u"\"Wohnung\" = 'Status = true' OR \"Ort\" = 'K''öln'"_s},
        {{}, u"[Ort] = 'Bremen' AND [Neu Feld] = 1"_s, u"\"Ort\" = 'Bremen' AND \"Neu Feld\" = 1"_s},
        {{}, u"\"Ort\" IS NULL"_s, u"\"Ort\" IS NULL"_s},
        {backticks, u"Ort <> 'Aachen' AND Flaeche > 40"_s, u"`Ort` <> 'Aachen' AND `Flaeche` > 40"_s},
        {backticks, u"[a`b] = 1"_s, u"`a``b` = 1"_s}, // a quote inside a name is doubled
        {none, u"Ort = 'Ulm'"_s, u"Ort = 'Ulm'"_s},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ListingQuery(fields, {}, c.quotes).condition(c.filter), c.condition) << c.filter.toStdString();
}

TEST(ListingQuery, StatementsJoinFiltersAndOrder)
{
    const ListingQuery query(fields, {u"Id"_s}, {});
    EXPECT_EQ(query.select({u"wohnung"_s, u"Ort"_s}, u"Ort DESC"_s, {u"Status = true"_s, u""_s}),
              u"SELECT \"Wohnung\", \"Ort\" FROM \"Wohnungen\" WHERE (\"Status\" = true) "
              "ORDER BY \"Ort\" DESC, \"Id\" ASC"_s);
    EXPECT_EQ(query.select({u"Ort"_s}, u""_s, {u"Status = true"_s, u"Ort <> 'Ulm'"_s}),
              u"SELECT \"Ort\" FROM \"Wohnungen\" WHERE (\"Status\" = true) AND (\"Ort\" <> 'Ulm')"_s);
    EXPECT_EQ(query.anyRow({}), u"SELECT 1 FROM \"Wohnungen\""_s);
    EXPECT_EQ(test::failureOf([&] { query.select({u"Zimmer"_s}, u""_s, {}); }), "Feld \"Zimmer\" nicht gefunden.");
}

TEST(ListingQuery, FieldsAreFoundByExactSpellingFirst)
{
    const ListingQuery query({u"ort"_s, u"Ort"_s}, {}, {});
    EXPECT_EQ(query.fieldIndex(u"Ort"_s), 1);
    EXPECT_EQ(query.fieldIndex(u"ort"_s), 0);
    EXPECT_EQ(query.fieldIndex(u"ORT"_s), 0);
    EXPECT_EQ(query.fieldIndex(u"Strasse"_s), -1);
}

} // namespace
} // namespace kaviro
