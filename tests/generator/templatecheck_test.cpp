#include "generator/listingpagegenerator.h"
#include "tests/support/testfiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kaviro {
namespace {

struct ExtraListings : ListingSource {
    std::vector<std::string> extras{"Zimmer"};
    int webDataCount() const override { return 0; }
    const WebDataRow &webDataRow(int) const override { throw Error("no rows"); }
    const std::vector<std::string> &extraFieldNames() const override { return extras; }
};

std::vector<std::string> warnings(const std::string &templateText)
{
    ExtraListings listings;
    ListingPageGenerator generator(listings);
    generator.setTemplateText(templateText);
    std::vector<std::string> lines;
    for (const UnknownName &unknown : generator.unknownNames())
        lines.push_back(describe(unknown));
    return lines;
}

TEST(TemplateCheck, ReportsEachUnknownNameOnceWithItsLine)
{
    EXPECT_EQ(warnings("<html>\r\n"
                       "<repeat name=Loop>\r\n"
                       "<h2><macro name=Wohnug/></h2> <macro name=Zimmer/> <macro name=ZuMietenAb format=\"dd.MM.\"/>\r\n"
                       "<if name=Balkon>ja</if name=Balkon>\r\n"
                       "</repeat name=Loop>\r\n"
                       "<repeat name=Liste>\r\n"
                       "<macro name=Wohnug/>\r\n"
                       "</repeat name=Liste>\r\n"),
              (std::vector<std::string>{"Zeile 3: unbekanntes Makro \"Wohnug\"",
                                        "Zeile 4: unbekannte Bedingung \"Balkon\"",
                                        "Zeile 6: unbekannte Schleife \"Liste\""}));
}

TEST(TemplateCheck, KnowsThePageNamesAndLooksOnlyWhereTheEngineExpands)
{
    EXPECT_EQ(warnings("<params><translation name=html default><macro name=InParams/></translation name=html>"
                       "</params>\r\n"
                       "<comment name=alt><macro name=Alt/><comment name=innen/></comment name=alt>\r\n"
                       "<code><macro name=InCode/></code>\r\n"
                       "<if name=Header><macro name=TotalPageNum/></if name=Header>\r\n"
                       "<if name=PageExist offset=1><macro name=FileName offset=1/> <macro name=PageNum/>"
                       "</if name=PageExist>\r\n"
                       "<if name=Footer></if name=Footer><if name=MultiPage></if name=MultiPage>\r\n"
                       "<repeat name=Loop><if name=Gesetzt feld=Zimmer></if name=Gesetzt></repeat name=Loop>\r\n"
                       "<b>kein Tag der Vorlage</b> <macro name=Nach/>\r\n"),
              (std::vector<std::string>{"Zeile 8: unbekanntes Makro \"Nach\""}));
}

TEST(TemplateCheck, LeavesOutWhatAGesetztOfAnAbsentColumnHides)
{
    // One template for tables with and without a column: the part for a
    // column the table lacks is never expanded, its else part is.
    EXPECT_EQ(warnings("<repeat name=Loop>\r\n"
                       "<if name=Gesetzt feld=Baujahr><macro name=Baujahr/><else name=Gesetzt/><macro name=Alt/>"
                       "</if name=Gesetzt>\r\n"
                       "<if name=Gesetzt feld=Zimmer><macro name=Zimer/></if name=Gesetzt>\r\n"
                       "</repeat name=Loop>\r\n"),
              (std::vector<std::string>{"Zeile 2: unbekanntes Makro \"Alt\"", "Zeile 3: unbekanntes Makro \"Zimer\""}));
}

// The publisher reports the list template's unknown names, not those of the
// detail template; the example's are checked here.
TEST(TemplateCheck, TheExampleDetailTemplateUsesOnlyKnownNames)
{
    const std::string text = test::readFile(std::string(KAVIRO_SOURCE_DIR) + "/examples/wohnung-detail.templ");
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(warnings(text), std::vector<std::string>{});
}

} // namespace
} // namespace kaviro
