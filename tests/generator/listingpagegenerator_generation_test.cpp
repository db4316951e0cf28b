// Whole generations on real folders: a run writes all its pages or none, and
// the pages a template no longer produces go, and nothing else.

#include "common/error.h"
#include "generator/listingpagegenerator.h"
#include "tests/generator/memorylistings.h"
#include "tests/support/failure.h"
#include "tests/support/testfiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <sys/mount.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace kaviro {
namespace {

namespace fs = std::filesystem;
using test::MemoryListings;

using Files = std::map<std::string, std::string>;

// Every file of the folder with its bytes.
Files filesIn(const fs::path &dir)
{
    Files files;
    for (const auto &entry : fs::directory_iterator(dir))
        files[entry.path().filename().string()] = test::readFile(entry.path());
    return files;
}

Files withoutRecord(Files files)
{
    files.erase(".kaviro-pages");
    return files;
}

MemoryListings listingsNamed(const std::string &prefix, int count)
{
    MemoryListings listings;
    for (int i = 1; i <= count; ++i)
        listings.rows.emplace_back().text("Wohnung") = prefix + std::to_string(i);
    return listings;
}

const std::string pageTemplate = "<p>Seite <macro name=PageNum/></p>\r\n"
                                 "<repeat name=Loop><macro name=Wohnung/>\r\n</repeat name=Loop>";

// Generates into folder, five listings a page; returns the error or "".
std::string generate(const ListingSource &listings, const std::string &templateFile, const std::string &folder)
{
    ListingPageGenerator generator(listings);
    return test::failureOf([&] {
        generator.setTemplateFile(templateFile);
        generator.setOutputDir(folder);
        generator.setMultiPage(true);
        generator.setRowsPerPage(5);
        generator.run();
    });
}

const std::string noError = "(kein Fehler)";

TEST(Generation, AnErrorOnPageThreeLeavesThePreviousGenerationAsItWas)
{
    test::TempDir work;
    const std::string out = work.file("out");
    fs::create_directory(out);
    const std::string templ = work.write("liste.templ", pageTemplate);
    ASSERT_EQ(generate(listingsNamed("alt", 25), templ, out), noError);
    const Files before = filesIn(out);
    ASSERT_EQ(withoutRecord(before).size(), 5u);

    // The unknown condition is reached from page 3 on.
    const std::string broken = work.write("liste.templ", pageTemplate + "<if name=PageExist offset=-2>"
                                                                        "<if name=Unbekannt></if name=Unbekannt>"
                                                                        "</if name=PageExist>");
    EXPECT_EQ(generate(listingsNamed("neu", 25), broken, out), "Unkown IF Tag : Unbekannt");
    EXPECT_EQ(filesIn(out), before);
}

// A tmpfs of a few pages, mounted for the test and unmounted after it.
class TinyDisk {
public:
    explicit TinyDisk(const std::string &folder)
        : m_folder(folder)
    {
        fs::create_directory(folder);
        m_mounted = ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=64k") == 0;
    }
    ~TinyDisk()
    {
        if (m_mounted)
            ::umount(m_folder.c_str());
    }
    bool mounted() const { return m_mounted; }
    // Fills what is left with one file.
    void fill() const
    {
        std::FILE *file = std::fopen((m_folder + "/fueller").c_str(), "wb");
        const std::string block(4096, 'f');
        while (std::fwrite(block.data(), 1, block.size(), file) == block.size()) {
        }
        std::fclose(file);
    }

private:
    std::string m_folder;
    bool m_mounted = false;
};

TEST(Generation, AWriteThatFailsOnAFullDiskLeavesThePreviousPages)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting the small file system needs root";
    test::TempDir work;
    // A short page fails when it is closed, a long one while it grows.
    for (const std::size_t size : {std::size_t{10}, std::size_t{200'000}}) {
        const std::string out = work.file("voll" + std::to_string(size));
        const TinyDisk disk(out);
        if (!disk.mounted())
            GTEST_SKIP() << "tmpfs cannot be mounted here";
        const std::string templ = work.write("liste.templ", pageTemplate);
        ASSERT_EQ(generate(listingsNamed("alt", 25), templ, out), noError);
        const Files before = filesIn(out);
        disk.fill();
        const std::string filler = test::readFile(out + "/fueller");

        const std::string bigger = work.write("liste.templ", pageTemplate + std::string(size, 'x'));
        EXPECT_EQ(generate(listingsNamed("neu", 25), bigger, out), "Stream-Write-Fehler") << size;
        Files after = filesIn(out);
        EXPECT_EQ(after["fueller"], filler);
        after.erase("fueller");
        EXPECT_EQ(after, before) << size;
    }
}

TEST(Generation, FewerPagesRemoveTheStaleOnesAndNothingElse)
{
    test::TempDir work;
    const std::string out = work.file("out");
    fs::create_directory(out);
    const std::string liste = work.write("liste.templ", pageTemplate);
    const std::string karte = work.write("karte.templ", pageTemplate);
    work.write("out/impressum.html", "Impressum");
    // Pages no run of this template wrote stay, even when named like one.
    work.write("out/liste9.html", "von Hand");

    ASSERT_EQ(generate(listingsNamed("a", 25), liste, out), noError);
    ASSERT_EQ(generate(listingsNamed("k", 7), karte, out), noError);
    ASSERT_EQ(generate(listingsNamed("b", 15), liste, out), noError);
    Files files = withoutRecord(filesIn(out));
    const std::vector<std::string> expected = {"impressum.html", "karte.html", "karte2.html", "liste.html",
                                               "liste2.html", "liste3.html", "liste9.html"};
    std::vector<std::string> names;
    for (const auto &file : files)
        names.push_back(file.first);
    EXPECT_EQ(names, expected);
    EXPECT_EQ(files["impressum.html"], "Impressum");
    EXPECT_EQ(files["liste9.html"], "von Hand");
    EXPECT_NE(files["liste3.html"].find("b15"), std::string::npos);

    // One listing page again: pages 2 and 3 go, the other template's stay.
    ASSERT_EQ(generate(listingsNamed("c", 5), liste, out), noError);
    EXPECT_FALSE(fs::exists(out + "/liste2.html"));
    EXPECT_FALSE(fs::exists(out + "/liste3.html"));
    EXPECT_TRUE(fs::exists(out + "/karte2.html"));
}

TEST(Generation, TheNextRunRemovesTemporaryFilesAKilledRunLeft)
{
    test::TempDir work;
    const std::string out = work.file("out");
    fs::create_directory(out);
    work.write("out/.liste7.html.kaviro-tmp", "halb");
    work.write("out/.kaviro-pages.kaviro-tmp", "[x");
    work.write("out/notiz.kaviro-tmp", "vom Benutzer");
    ASSERT_EQ(generate(listingsNamed("a", 3), work.write("liste.templ", pageTemplate), out), noError);
    Files files = withoutRecord(filesIn(out));
    EXPECT_EQ(files.size(), 2u);
    EXPECT_EQ(files.count("liste.html"), 1u);
    EXPECT_EQ(files["notiz.kaviro-tmp"], "vom Benutzer");
}

// A generation killed at any moment leaves every page whole, of the old
// generation or the new one.
TEST(Generation, AKilledRunNeverLeavesACutPage)
{
    test::TempDir work;
    const std::string templ = work.write("liste.templ", pageTemplate + std::string(20'000, ' ') + "\r\nEnde\r\n");
    const MemoryListings a = listingsNamed("a", 1000);
    const MemoryListings b = listingsNamed("bb", 1000);
    const std::string pagesA = work.file("a");
    const std::string pagesB = work.file("b");
    fs::create_directory(pagesA);
    fs::create_directory(pagesB);
    ASSERT_EQ(generate(a, templ, pagesA), noError);
    ASSERT_EQ(generate(b, templ, pagesB), noError);
    const Files wholeA = withoutRecord(filesIn(pagesA));
    const Files wholeB = withoutRecord(filesIn(pagesB));
    ASSERT_EQ(wholeA.size(), 200u);

    const std::string out = work.file("out");
    fs::create_directory(out);
    ASSERT_EQ(generate(a, templ, out), noError);
    std::mt19937 random(20261210);
    for (int round = 0; round < 25; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i)
                generate(i % 2 ? a : b, templ, out);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 100'000));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        const Files files = filesIn(out);
        for (const auto &[name, page] : wholeA) {
            ASSERT_TRUE(files.count(name)) << "round " << round << ": " << name << " is missing";
            const std::string &bytes = files.at(name);
            ASSERT_TRUE(bytes == page || bytes == wholeB.at(name))
                << "round " << round << ": " << name << " has " << bytes.size() << " bytes";
        }
    }
    ASSERT_EQ(generate(b, templ, out), noError);
    EXPECT_EQ(withoutRecord(filesIn(out)), wholeB);
}

} // namespace
} // namespace kaviro
