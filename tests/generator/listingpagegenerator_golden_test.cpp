// Whole generator runs against folders under data/listingpages/<case>/:
//   case.txt       template=<file>, listings=<file> (default listings.txt,
//                  may be missing: no listings), multipage=0|1,
//                  rowsperpage=<n>, separator=<char> (default ","),
//                  outputslash=1 to give the output folder with a trailing "/",
//                  extras=<name>,<name> the table's extra columns (optional)
//   listings.txt   one listing per line, its snapshot fields in column order
//                  and then its extra columns, separated by tabs, with \r \n
//                  \t \\ escapes
//   before/        files already in the output folder (optional)
//   error.txt      the exact message the run ends with (optional); a failed
//                  run leaves the folder as before/ had it
//   expected/      every file the output folder holds afterwards, exact bytes
//                  (but the generator's record of its pages)

#include "common/error.h"
#include "generator/listingpagegenerator.h"
#include "tests/generator/memorylistings.h"
#include "tests/support/failure.h"
#include "tests/support/testfiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace kaviro {
namespace {

namespace fs = std::filesystem;

const fs::path caseRoot = fs::path(KAVIRO_TEST_DATA_DIR) / "listingpages";

using test::MemoryListings;


std::string unescape(std::string_view field)
{
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
            out += field[i];
            continue;
        }
        const char c = field[++i];
        out += c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c;
    }
    return out;
}

std::vector<std::string> splitAt(std::string_view text, char separator)
{
    std::vector<std::string> parts;
    for (std::size_t from = 0;;) {
        const std::size_t end = text.find(separator, from);
        parts.push_back(unescape(text.substr(from, end - from)));
        if (end == std::string_view::npos)
            return parts;
        from = end + 1;
    }
}

double number(const std::string &text)
{
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

WebData readListings(const fs::path &file, std::size_t extraCount)
{
    WebData rows;
    std::istringstream lines(test::readFile(file));
    for (std::string line; std::getline(lines, line);) {
        const std::vector<std::string> f = splitAt(line, '\t');
        WebDataRow &row = rows.emplace_back();
        std::size_t field = 0;
        for (std::size_t c = 0; c < listingColumns.size(); ++c) {
            if (!listingColumns[c].snapshot)
                continue;
            const std::string value = field < f.size() ? f[field] : std::string();
            ++field;
            const auto slot = static_cast<std::size_t>(snapshotSlot(c));
            if (isSnapshotNumber(listingColumns[c]))
                row.numbers[slot] = number(value);
            else
                row.texts[slot] = value;
        }
        for (std::size_t i = 0; i < extraCount; ++i, ++field)
            row.extras.push_back(field < f.size() ? f[field] : std::string());
    }
    return rows;
}

std::map<std::string, std::string> readCase(const fs::path &file)
{
    std::map<std::string, std::string> values;
    std::istringstream lines(test::readFile(file));
    for (std::string line; std::getline(lines, line);) {
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos)
            values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
}

std::map<std::string, std::string> filesIn(const fs::path &dir)
{
    std::map<std::string, std::string> files;
    if (fs::is_directory(dir))
        for (const auto &entry : fs::directory_iterator(dir))
            if (entry.path().filename() != ".kaviro-pages")
                files[entry.path().filename().string()] = test::readFile(entry.path());
    return files;
}

std::vector<std::string> caseNames()
{
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(caseRoot))
        if (entry.is_directory())
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class ListingPages : public testing::TestWithParam<std::string> {};

TEST_P(ListingPages, WritesExactPages)
{
    const fs::path dir = caseRoot / GetParam();
    auto config = readCase(dir / "case.txt");
    test::TempDir work;
    const fs::path out = work.file("out");
    fs::create_directories(out);
    for (const auto &[name, bytes] : filesIn(dir / "before"))
        work.write("out/" + name, bytes);

    MemoryListings listings;
    const fs::path listingFile = dir / (config.count("listings") ? config["listings"] : "listings.txt");
    if (config.count("extras"))
        listings.extras = splitAt(config["extras"], ',');
    if (fs::exists(listingFile))
        listings.rows = readListings(listingFile, listings.extras.size());

    ListingPageGenerator generator(listings);
    std::string error;
    try {
        generator.setTemplateFile((dir / config["template"]).lexically_normal().string());
        generator.setOutputDir(out.string() + (config["outputslash"] == "1" ? "/" : ""));
        generator.setMultiPage(config["multipage"] == "1");
        generator.setRowsPerPage(std::stoi(config["rowsperpage"]));
        generator.setDecimalSeparator(config.count("separator") ? config["separator"].at(0) : ',');
        generator.run();
    } catch (const Error &e) {
        error = e.what();
    }
    const fs::path errorFile = dir / "error.txt";
    EXPECT_EQ(error, fs::exists(errorFile) ? test::readFile(errorFile) : "");

    const auto written = filesIn(out);
    const auto expected = filesIn(dir / "expected");
    std::vector<std::string> writtenNames, expectedNames;
    for (const auto &file : written)
        writtenNames.push_back(file.first);
    for (const auto &file : expected)
        expectedNames.push_back(file.first);
    ASSERT_EQ(writtenNames, expectedNames);
    for (const auto &[name, bytes] : expected)
        EXPECT_EQ(written.at(name), bytes) << name;
}

INSTANTIATE_TEST_SUITE_P(Golden, ListingPages, testing::ValuesIn(caseNames()),
                         [](const testing::TestParamInfo<std::string> &info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// Reaches the page hooks directly.
struct PageHooks : ListingPageGenerator {
    using ListingPageGenerator::beginPage;
    using ListingPageGenerator::emitText;
    using ListingPageGenerator::endPage;
    using ListingPageGenerator::ListingPageGenerator;
    using ListingPageGenerator::runFinished;
    using ListingPageGenerator::runStarting;
};

TEST(ListingPageFiles, CreateFailuresAndNoFolder)
{
    test::TempDir work;
    MemoryListings listings;
    const std::string templ = work.write("liste.templ", "<p>Seite <macro name=PageNum/></p>\r\n");

    // A folder that is a regular file fails for root too; so does a page
    // name taken by a folder.
    const std::string notAFolder = work.write("keinordner", "x");
    fs::create_directories(work.file("out/liste.html"));
    for (const std::string &folder : {notAFolder, work.file("out")}) {
        ListingPageGenerator blocked(listings);
        blocked.setTemplateFile(templ);
        blocked.setOutputDir(folder);
        EXPECT_EQ(test::failureOf([&] { blocked.run(); }), "Datei " + folder + "/liste.html kann nicht erstellt werden");
    }
    EXPECT_TRUE(fs::is_directory(work.file("out/liste.html")));
    EXPECT_EQ(std::distance(fs::directory_iterator(work.file("out")), fs::directory_iterator()), 1);

    // Without a folder the pages would land in the root folder.
    ListingPageGenerator unset(listings);
    unset.setTemplateFile(templ);
    EXPECT_EQ(test::failureOf([&] { unset.run(); }), "Kein Ausgabeordner eingestellt.");
}

TEST(ListingPageFiles, OnePageFileAtATime)
{
    test::TempDir work;
    MemoryListings listings;
    PageHooks hooks(listings);
    hooks.setOutputDir(work.path());
    hooks.runStarting();
    hooks.beginPage(1);
    hooks.emitText("erste");
    EXPECT_EQ(test::failureOf([&] { hooks.beginPage(2); }), "Internal error. Outpust stream already exist.");
    hooks.endPage(1);
    hooks.endPage(1); // nothing open: nothing happens
    hooks.runFinished();
    EXPECT_EQ(filesIn(work.path()), (std::map<std::string, std::string>{{".html", "erste"}}));
}

TEST(ListingPageFiles, EmptyTemplateNameKeepsTheLastTemplate)
{
    test::TempDir work;
    MemoryListings listings;
    ListingPageGenerator generator(listings);
    generator.setOutputDir(work.path() + "/");

    // Nothing loaded yet: one empty page named after an empty base.
    generator.setTemplateFile("");
    generator.run();
    EXPECT_EQ(filesIn(work.path()), (std::map<std::string, std::string>{{".html", ""}}));

    generator.setTemplateFile(work.write("vorlage.templ", "Seite <macro name=PageNum/>\r\n"));
    generator.setTemplateFile("");
    generator.run();
    EXPECT_EQ(test::readFile(work.file(".html")), "Seite 1\r\n");
    EXPECT_EQ(generator.pageFileName(1), work.path() + "/.html");
}

} // namespace
} // namespace kaviro
