// Photos and detail pages beside the list pages: the names the pages give,
// the image files written, the detail page per listing, and what a later
// generation removes.

#include "common/error.h"
#include "generator/listingpagegenerator.h"
#include "generator/pagefolder.h"
#include "generator/photonames.h"
#include "tests/support/testfiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>

namespace kaviro {
namespace {

namespace fs = std::filesystem;
using test::readFile;

struct MemoryListings : ListingSource {
    WebData rows;
    int webDataCount() const override { return static_cast<int>(rows.size()); }
    const WebDataRow &webDataRow(int index) const override { return rows.at(static_cast<std::size_t>(index)); }
};

// Bytes that tell which photo and which size a file holds.
struct NamedPhotos : PhotoSource {
    std::string largeImage(std::int64_t id) const override { return "large " + std::to_string(id); }
    std::string thumbnailOf(const std::string &large) const override { return "thumb " + large.substr(6); }
};

WebDataRow listing(const std::string &title, const std::string &key, std::vector<WebPhoto> photos = {})
{
    WebDataRow row;
    row.text("Wohnung") = title;
    row.key = key;
    row.photos = std::move(photos);
    return row;
}

class PhotoPagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_listings.rows = {listing("Altbau", "12", {{7, "K\xFC" "che", 2000, 1500}, {9, "Bad", 800, 1200}}),
                           listing("Neubau", "15")};
        m_generator.setPhotoSource(&m_photos);
        m_generator.setOutputDir(m_out.path());
    }

    void run(const std::string &listTemplate, const std::string &detailTemplate = {})
    {
        m_generator.setTemplateFile(m_templates.write("liste.templ", listTemplate));
        m_generator.setDetailTemplateFile(detailTemplate.empty() ? std::string()
                                                                 : m_templates.write("detail.templ", detailTemplate));
        m_generator.run();
    }

    std::map<std::string, std::string> outputFiles() const
    {
        std::map<std::string, std::string> files;
        for (const auto &entry : fs::recursive_directory_iterator(m_out.path())) {
            if (entry.is_regular_file())
                files[fs::relative(entry.path(), m_out.path()).string()] = readFile(entry.path());
        }
        return files;
    }

    test::TempDir m_templates;
    test::TempDir m_out;
    MemoryListings m_listings;
    NamedPhotos m_photos;
    ListingPageGenerator m_generator{m_listings};
};

const std::string listTemplate =
    "<repeat name=Loop><macro name=Wohnung/> <macro name=DetailDatei/> "
    "<if name=HatBilder>mit<else name=HatBilder/>ohne</if name=HatBilder>:"
    "<repeat name=Bilder> <macro name=BildDatei/> <macro name=BildVorschau/> <macro name=BildTitel/> "
    "<macro name=BildBreite/>x<macro name=BildHoehe/></repeat name=Bilder>;</repeat name=Loop>";

TEST_F(PhotoPagesTest, PagesNameTheImagesAndTheImageFilesHoldTheirBytes)
{
    m_out.write("bilder/.99-1.jpg.kaviro-tmp", "left by a killed run");
    run(listTemplate);
    EXPECT_TRUE(m_generator.unknownNames().empty());
    auto files = outputFiles();
    EXPECT_EQ(files.at("liste.html"),
              "Altbau wohnung-12.html mit: bilder/12-1.jpg bilder/12-1-klein.jpg K\xFC" "che 2000x1500"
              " bilder/12-2.jpg bilder/12-2-klein.jpg Bad 800x1200;Neubau wohnung-15.html ohne:;\r\n");
    EXPECT_EQ(files.at("bilder/12-1.jpg"), "large 7");
    EXPECT_EQ(files.at("bilder/12-1-klein.jpg"), "thumb 7");
    EXPECT_EQ(files.at("bilder/12-2.jpg"), "large 9");
    EXPECT_EQ(files.at("bilder/12-2-klein.jpg"), "thumb 9");
    // One record for pages and images; no temporary file stays behind.
    files.erase(".kaviro-pages");
    std::vector<std::string> names;
    for (const auto &[name, bytes] : files)
        names.push_back(name);
    auto written = PageFolder::recordedFiles(m_out.path(), m_generator.templateFileName());
    ASSERT_TRUE(written.has_value());
    std::sort(written->begin(), written->end());
    EXPECT_EQ(*written, names);
    EXPECT_FALSE(PageFolder::recordedFiles(m_out.path(), "andere.templ").has_value());
}

TEST_F(PhotoPagesTest, OneDetailPagePerListingWithItsPhotosAndItsListPage)
{
    m_listings.rows.push_back(listing("Dritte", "20"));
    m_generator.setMultiPage(true);
    m_generator.setRowsPerPage(2);
    run(listTemplate, "<macro name=Wohnung/> zur\xFC" "ck: <macro name=FileName/> (<macro name=PageNum/>/"
                      "<macro name=TotalPageNum/>)<repeat name=Bilder> <macro name=BildDatei/></repeat name=Bilder>");
    const auto files = outputFiles();
    EXPECT_EQ(files.at("wohnung-12.html"), "Altbau zur\xFC" "ck: liste.html (1/2) bilder/12-1.jpg bilder/12-2.jpg\r\n");
    EXPECT_EQ(files.at("wohnung-15.html"), "Neubau zur\xFC" "ck: liste.html (1/2)");
    EXPECT_EQ(files.at("wohnung-20.html"), "Dritte zur\xFC" "ck: liste2.html (2/2)");
}

TEST_F(PhotoPagesTest, DetailPagesFormatDatesAndNumbersAsTheListPagesDo)
{
    m_listings.rows[0].dates[std::size_t(snapshotDateSlot(listingColumnIndex("ZuMietenAb")))] = {2025, 8, 1};
    m_listings.rows[0].number("Miete") = 700.5;
    m_generator.setDecimalSeparator(',');
    m_generator.setDateFormatter([](const ListingDateTime &date, const std::string &format) {
        return format + ' ' + std::to_string(date.day) + '.' + std::to_string(date.month) + '.';
    });
    const std::string fields = "<macro name=ZuMietenAb format=d.M./> <macro name=Miete/>;";
    run("<repeat name=Loop>" + fields + "</repeat name=Loop>", fields);
    const auto files = outputFiles();
    EXPECT_EQ(files.at("liste.html"), "d.M. 1.8.   700,50 \x80;     0,00 \x80;\r\n");
    EXPECT_EQ(files.at("wohnung-12.html"), "d.M. 1.8.   700,50 \x80;\r\n");
}

TEST_F(PhotoPagesTest, ALaterGenerationRemovesTheFilesItNoLongerWrites)
{
    m_out.write("bilder/logo.jpg", "the user's own");
    run(listTemplate, "<macro name=Wohnung/>");
    // The photo 9 deleted, the listing 15 let.
    m_listings.rows[0].photos.pop_back();
    m_listings.rows.pop_back();
    run(listTemplate, "<macro name=Wohnung/>");
    const auto files = outputFiles();
    EXPECT_TRUE(files.count("bilder/12-1.jpg"));
    EXPECT_FALSE(files.count("bilder/12-2.jpg"));
    EXPECT_FALSE(files.count("bilder/12-2-klein.jpg"));
    EXPECT_TRUE(files.count("wohnung-12.html"));
    EXPECT_FALSE(files.count("wohnung-15.html"));
    EXPECT_EQ(files.at("bilder/logo.jpg"), "the user's own");
}

TEST_F(PhotoPagesTest, ARecordNamingPathsOutsideItsFilesRemovesNoneOfThem)
{
    m_out.write("mine.txt", "the user's own");
    m_out.write("bilder/eigen.jpg", "the user's own");
    const std::string templateFile = m_templates.write("liste.templ", listTemplate);
    m_out.write(".kaviro-pages", "[" + templateFile + "]\nbilder/../mine.txt\n./bilder/eigen.jpg\nbilder//eigen.jpg\n");
    run(listTemplate);
    const auto files = outputFiles();
    EXPECT_EQ(files.at("mine.txt"), "the user's own");
    EXPECT_EQ(files.at("bilder/eigen.jpg"), "the user's own");
}

TEST_F(PhotoPagesTest, AFailedDetailPageLeavesThePreviousGenerationAsItWas)
{
    run(listTemplate, "<macro name=Wohnung/>");
    const auto before = outputFiles();
    m_listings.rows[0].photos.pop_back();
    m_listings.rows[0].text("Wohnung") = "Umbenannt";
    EXPECT_THROW(run(listTemplate, "<if name=Unbekannt></if name=Unbekannt>"), Error);
    EXPECT_EQ(outputFiles(), before);
}

TEST_F(PhotoPagesTest, AThumbnailThatFailsLeavesThePreviousGenerationAsItWas)
{
    // Thumbnails are made on other threads; their failure still ends the run.
    struct FailingThumbnail : NamedPhotos {
        std::string thumbnailOf(const std::string &large) const override
        {
            if (large == "large 9")
                throw Error("Das Bild ist besch\xE4" "digt.");
            return NamedPhotos::thumbnailOf(large);
        }
    } failing;
    run(listTemplate, "<macro name=Wohnung/>");
    const auto before = outputFiles();
    m_generator.setPhotoSource(&failing);
    m_listings.rows[0].text("Wohnung") = "Umbenannt";
    EXPECT_THROW(run(listTemplate, "<macro name=Wohnung/>"), Error);
    EXPECT_EQ(outputFiles(), before);
}

TEST_F(PhotoPagesTest, PhotoMacrosOutsideTheirLoopFail)
{
    try {
        run("<repeat name=Loop><macro name=BildDatei/></repeat name=Loop>");
        FAIL() << "no error";
    } catch (const Error &error) {
        EXPECT_STREQ(error.what(), "Loop name is not found.");
    }
}

TEST(DetailPageName, FromTheKeyOrElseFromTheTitle)
{
    const struct {
        std::string title, key, expected;
    } cases[] = {
        {"Egal", "7", "wohnung-7.html"},
        {"Sch\xF6ne 3-Zimmer-Wohnung, Stra\xDF" "e & Hof!", "", "wohnung-schoene-3-zimmer-wohnung-strasse-hof.html"},
        {"  ", "", "wohnung.html"},
    };
    for (const auto &c : cases) {
        WebDataRow row;
        row.text("Wohnung") = c.title;
        row.key = c.key;
        EXPECT_EQ(detailPageName(row), c.expected) << c.title;
    }
}

} // namespace
} // namespace kaviro
