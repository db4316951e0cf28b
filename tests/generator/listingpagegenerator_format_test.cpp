// The pure pieces of the listing page generator: number texts, line breaks,
// offsets, page file names and page counts.

#include "common/error.h"
#include "common/integertext.h"
#include "generator/listingpagegenerator.h"
#include "tests/support/testfiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace kaviro {
namespace {

TEST(ListingPageFormat, FixedPointNumbers)
{
    struct Case {
        double value;
        int decimals;
        char separator;
        const char *expected;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {65.5, 1, ',', "    65,5"},
        {450, 2, ',', "  450,00"},
        {12345.5, 2, ',', "12345,50"},     // eight characters: no blank
        {1234567.891, 2, ',', "1234567,89"}, // longer than the width: not cut
        {12345.5, 2, '.', "12345.50"},
        {0, 1, ',', "     0,0"},
        {0.05, 1, ',', "     0,1"},  // a 5 in the next place rounds up
        {0.15, 1, ',', "     0,2"},  // as typed, although the double lies below
        {2.675, 2, ',', "    2,68"},
        {65.55, 1, ',', "    65,6"},
        {0.04, 1, ',', "     0,0"},
        {9.96, 1, ',', "    10,0"},  // the carry runs into a new digit
        {99.995, 2, ',', "  100,00"},
        {-3.25, 1, ',', "    -3,3"}, // away from zero for negatives too
        {-0.04, 1, ',', "     0,0"}, // rounded to zero: no minus
        {-0.0, 2, ',', "    0,00"},
        {1e-300, 2, ',', "    0,00"},
        {1e20, 1, ',', "100000000000000000000,0"},
        {-700.5, 2, ',', " -700,50"},
        {35.1, 1, ',', "    35,1"},  // not exact in binary, but ten times it is
        {0.1 + 0.2, 2, ',', "    0,30"},  // 0.30000000000000004
        {123456789.125, 2, ',', "123456789,13"},
        {nan, 2, ',', "     NAN"},
        {-inf, 2, ',', "    -INF"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(formatFixed(c.value, c.decimals, c.separator), c.expected)
            << c.value << " with " << c.decimals << " decimals";
}

TEST(ListingPageFormat, HtmlLineBreaks)
{
    const std::pair<std::string, std::string> cases[] = {
        {"Zwei Zimmer\r\nBalkon", "Zwei Zimmer<br>Balkon"},
        {"a\r\n\r\nb", "a<br><br>b"},
        {"a\rb\nc", "a\rb\nc"},            // lone CR and LF stay
        {"a\n\r\nb\r", "a\n<br>b\r"},      // pairs found from the left
        {"\r\r\n\n", "\r<br>\n"},
        {"", ""},
    };
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(htmlLineBreaks(text), expected);
}

TEST(ListingPageFormat, WholeNumbers)
{
    const std::pair<const char *, int> good[] = {
        {"0", 0},     {"1", 1},       {"-1", -1},    {"+7", 7},     {"  12", 12},
        {"$10", 16},  {"x1F", 31},    {"0x10", 16},  {"-$A", -10},  {"0X0f", 15},
        {"2147483647", 2147483647},   {"-2147483648", -2147483647 - 1},
    };
    for (const auto &[text, value] : good)
        EXPECT_EQ(toInteger(text, tagInteger), value) << text;

    for (const char *text : {"", " ", "1 ", "1.0", "abc", "--1", "+-1", "$", "0x", "2147483648", "\t1", "1e3"}) {
        try {
            toInteger(text, tagInteger);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const Error &e) {
            EXPECT_EQ(e.what(), "'" + std::string(text) + "' ist kein g\xFC" "ltiger Integerwert");
        }
    }
}

struct CountOnly : ListingSource {
    int count = 0;
    int webDataCount() const override { return count; }
    const WebDataRow &webDataRow(int) const override { return row; }
    WebDataRow row;
};

TEST(ListingPageGenerator, PageFileNames)
{
    struct Case {
        const char *templateFile; // below a test folder; empty: none
        const char *outputDir;
        std::int64_t page;
        const char *expected;
    };
    const Case cases[] = {
        {"liste.templ", "/web", 1, "/web/liste.html"},
        {"liste.templ", "/web/", 1, "/web/liste.html"}, // trailing "/" or not: same name
        {"liste.templ", "/web", 2, "/web/liste2.html"},
        {"liste.templ", "/web", 12, "/web/liste12.html"},
        {"liste.templ", "/web", 0, "/web/liste.html"},  // numbers up to 1 name the first page
        {"liste.templ", "/web", -1, "/web/liste.html"},
        {"vorlage", "out", 1, "out/vorlage.html"},      // no extension: ".html" appended
        {"a.b.templ", "out", 3, "out/a.b3.html"},       // only the last extension goes
        {"x.d/liste", "out", 1, "out/liste.html"},      // a dot in the folder is no extension
        {"liste.templ", "", 1, "/liste.html"},          // no folder: a lone "/"
        {"", "/web", 1, "/web/.html"},                  // no template: an empty base
        {"", "/web", 2, "/web/2.html"},
    };
    test::TempDir dir;
    CountOnly listings;
    for (const Case &c : cases) {
        ListingPageGenerator generator(listings);
        if (*c.templateFile)
            generator.setTemplateFile(dir.write(c.templateFile, "x\r\n"));
        generator.setOutputDir(c.outputDir);
        EXPECT_EQ(generator.pageFileName(c.page), c.expected) << c.templateFile << " in " << c.outputDir;
    }
}

TEST(ListingPageGenerator, PageCount)
{
    struct Case {
        bool multiPage;
        int rowsPerPage;
        int listings;
        int expected;
    };
    const Case cases[] = {
        {false, 5, 12, 1}, {false, 5, 0, 1},
        {true, 5, 12, 3},  {true, 5, 10, 2}, {true, 5, 4, 1}, {true, 5, 0, 0}, {true, 1, 7, 7},
        {true, 0, 3, 3},   {true, -2, 3, 3}, // below 1 counts as 1 instead of dividing by zero
    };
    CountOnly listings;
    ListingPageGenerator generator(listings);
    for (const Case &c : cases) {
        listings.count = c.listings;
        generator.setMultiPage(c.multiPage);
        generator.setRowsPerPage(c.rowsPerPage);
        EXPECT_EQ(generator.pageCount(), c.expected)
            << c.listings << " listings, " << c.rowsPerPage << " per page, multi " << c.multiPage;
    }
}

TEST(ListingPageGenerator, TemplateFileThatCannotBeRead)
{
    test::TempDir dir;
    CountOnly listings;
    ListingPageGenerator generator(listings);
    for (const std::string &name : {dir.path() + "/fehlt.templ", dir.path()}) { // missing; a folder
        try {
            generator.setTemplateFile(name);
            ADD_FAILURE() << "read " << name;
        } catch (const Error &e) {
            EXPECT_EQ(e.what(), "Datei " + name + " kann nicht ge\xF6" "ffnet werden");
        }
        EXPECT_EQ(generator.templateFileName(), name);
    }
}

} // namespace
} // namespace kaviro
