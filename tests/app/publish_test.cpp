// kaviro-publish end to end: an SQLite file on disk, a settings file, a
// template; the pages written, what the program prints and its exit status.

#include "tests/support/testfiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;

const std::string publisher = std::string(KAVIRO_BINARY_DIR) + "/bin/kaviro-publish";
const std::string tableScript = std::string(KAVIRO_SOURCE_DIR) + "/examples/wohnungen-sqlite.sql";
const std::string examples = std::string(KAVIRO_SOURCE_DIR) + "/examples/";

using kaviro::test::readFile;
using kaviro::test::writeFile;

std::string shellQuoted(const fs::path &path) { return "'" + path.string() + "'"; }

struct Result {
    int status;
    std::string out;
    std::string err;
};

class Publisher : public testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(m_dir / "html");

        // Four listings: two active, one let (Status false), one never
        // released (Status empty). Texts in UTF-8 as SQLite keeps them.
        const std::string sql =
            "INSERT INTO \"Wohnungen\" (\"Wohnung\", \"Flaeche\", \"Strasse\", \"PLZ\", \"Ort\", \"Beschreibung\", "
            "\"Miete\", \"Nebenkosten\", \"Status\") VALUES "
            "('Dachgeschoss in Köln', 65.5, 'Domstraße 1', '50667', 'Köln', 'Zwei Zimmer' || char(13, 10) || "
            "'Balkon', 450, 120.5, 1),"
            "('Altbau in Aachen', 80, 'Markt 3', '52062', 'Aachen', NULL, 1234.56, NULL, 1),"
            "('Vermietet', 50, '', '', 'Berlin', '', 500, 100, 0),"
            "('Ohne Status', 40, '', '', 'Bonn', '', 400, 80, NULL);";
        writeFile(m_dir / "rows.sql", sql);
        const std::string create = "sqlite3 " + shellQuoted(db()) + " < " + shellQuoted(tableScript) + " && sqlite3 " +
                                   shellQuoted(db()) + " < " + shellQuoted(m_dir / "rows.sql");
        ASSERT_EQ(std::system(create.c_str()), 0);

        writeFile(m_dir / "liste.templ",
                  "<params>\r\n<translation name=html default>\r\n<replace string=\"\xF6\" with=\"&ouml;\"/>\r\n"
                  "<replace string=\"\xDF\" with=\"&szlig;\"/>\r\n</translation name=html>\r\n</params>\r\n"
                  "<h1>Seite <macro name=PageNum/> von <macro name=TotalPageNum/></h1>\r\n"
                  "<repeat name=Loop>\r\n"
                  "<p><macro name=Wohnung/>, <macro name=Strasse/>, <macro name=PLZ/> <macro name=Ort/>:"
                  "<macro name=Flaeche/>,<macro name=Miete/>,<macro name=Nebenkosten/> "
                  "<macro name=Beschreibung/></p>\r\n"
                  "</repeat name=Loop>\r\n");
    }
    fs::path db() const { return m_dir / "wohnungen.db"; }
    fs::path html() const { return m_dir / "html"; }

    // A settings file as the desktop program writes it (Windows-1252, CR LF).
    void writeSettings(const std::string &connection, bool multiPage, const std::string &templateFile = "",
                       const std::string &detailTemplate = "")
    {
        writeFile(m_dir / "kaviro.ini",
                  "[Application]\r\nVersion=1.0\r\n[Template]\r\nFilename=" +
                      (templateFile.empty() ? (m_dir / "liste.templ").string() : templateFile) +
                      (detailTemplate.empty() ? "" : "\r\nDetailvorlage=" + detailTemplate) + "\r\nOutput=" + html().string() + "\r\nMultiPage=" + (multiPage ? "1" : "0") +
                      "\r\nRowsPerPage=1\r\n[FTP]\r\nFTPPort=21\r\n[Database]\r\nConnectionString=" + connection +
                      "\r\n");
    }
    std::string sqlite() const { return "Provider=SQLite;Data Source=" + db().string(); }

    Result publish(const std::string &arguments, const std::string &locale = "C")
    {
        const std::string command = "LC_ALL=" + locale + " " + shellQuoted(publisher) + " " + arguments + " >" +
                                    shellQuoted(m_dir / "out") + " 2>" + shellQuoted(m_dir / "err");
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(m_dir / "out"), readFile(m_dir / "err")};
    }
    std::string settingsArgument() const { return "--settings " + shellQuoted(m_dir / "kaviro.ini"); }

    kaviro::test::TempDir m_folder;
    const fs::path m_dir = m_folder.path();
};

TEST_F(Publisher, WritesThePagesOfTheActiveListings)
{
    writeSettings(sqlite(), true);
    const Result result = publish(settingsArgument() + " --sort 'Ort ASC'", "de_DE.UTF-8");
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, html().string() + "/liste.html\n" + html().string() +
                              "/liste2.html\n2 HTML-Seiten mit 2 Wohnungen erzeugt.\n");
    // Sorted by Ort ascending; German number format; umlauts from the
    // database as Windows-1252 bytes, turned into entities by the template.
    EXPECT_EQ(readFile(html() / "liste.html"),
              "<h1>Seite 1 von 2</h1>\r\n"
              "<p>Altbau in Aachen, Markt 3, 52062 Aachen:    80,0 qm, 1234,56 \x80,    0,00 \x80 </p>\r\n");
    EXPECT_EQ(readFile(html() / "liste2.html"),
              "<h1>Seite 2 von 2</h1>\r\n"
              "<p>Dachgeschoss in K&ouml;ln, Domstra&szlig;e 1, 50667 K&ouml;ln:    65,5 qm,  450,00 \x80,  "
              "120,50 \x80 Zwei Zimmer<br>Balkon</p>\r\n");
}

TEST_F(Publisher, SortsByWohnungWithoutSortArgument)
{
    writeSettings(sqlite(), false);
    const Result result = publish(settingsArgument());
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, html().string() + "/liste.html\n1 HTML-Seite mit 2 Wohnungen erzeugt.\n");
    const std::string page = readFile(html() / "liste.html");
    EXPECT_EQ(page.find("<h1>Seite 1 von 1</h1>\r\n<p>Altbau in Aachen"), 0u) << page;
    EXPECT_NE(page.find("    65.5 qm,  450.00 \x80,  120.50 \x80"), std::string::npos) << page; // C locale: point
    EXPECT_FALSE(fs::exists(html() / "liste2.html"));
}

TEST_F(Publisher, NumbersThatAreNoNumbersAreWarnedOfAndThePagesWritten)
{
    writeFile(m_dir / "bad.sql", "UPDATE \"Wohnungen\" SET \"Flaeche\" = 'gross', \"Miete\" = '12,50 EUR' "
                                 "WHERE \"Wohnung\" = 'Altbau in Aachen';");
    ASSERT_EQ(std::system(("sqlite3 " + shellQuoted(db()) + " < " + shellQuoted(m_dir / "bad.sql")).c_str()), 0);
    writeSettings(sqlite(), false);
    const Result result = publish(settingsArgument());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err,
              "Warnung: Die Wohnung \"Altbau in Aachen\" hat im Feld \"Flaeche\" keine Zahl (\"gross\"); "
              "auf den Seiten steht 0.\n"
              "Warnung: Die Wohnung \"Altbau in Aachen\" hat im Feld \"Miete\" keine Zahl (\"12,50 EUR\"); "
              "auf den Seiten steht 0.\n");
    EXPECT_NE(readFile(html() / "liste.html").find("Altbau in Aachen, Markt 3, 52062 Aachen:     0.0 qm,    0.00 \x80"),
              std::string::npos)
        << readFile(html() / "liste.html");
}

TEST_F(Publisher, FailuresSayWhatTheDesktopProgramWouldShow)
{
    const std::string checkDb = "\nPr\xC3\xBC" "fen Sie die Einstellung in den Datenbankoptionen.\n";
    struct Case {
        const char *what;
        std::string connection;
        std::string templateFile; // empty: the good one
        std::string arguments;    // empty: the settings file
        int status;
        std::string err;          // the whole error output, or its start when it ends in "..."
    };
    writeFile(m_dir / "leer.db", "");
    writeFile(m_dir / "fehler.templ", "Seite <macro name=PageNum/>\r\n<if name=header>\r\nx\r\n</if name=header>\r\n");
    const Case cases[] = {
        {"no connection string: the table stays closed", "", "", "", 1,
         "Es wurden keine HTML-Seiten erzeugt, weil keine Tabelle mit Wohnungen ge\xC3\xB6" "ffnet ist." + checkDb},
        {"the database cannot be reached", "Provider=SQLite;Data Source=" + (m_dir / "fehlt/x.db").string(), "", "",
         1, "Die Verbindung zur Datenbank konnte nicht hergestellt werden." + checkDb + "(..."},
        {"unknown provider, the store's message in UTF-8 too", "Provider=Paradox", "", "", 1,
         "Die Verbindung zur Datenbank konnte nicht hergestellt werden." + checkDb +
             "(Unbekannter Datenbank-Provider \"Paradox\". M\xC3\xB6glich sind SQLite, PostgreSQL, ODBC und MySQL.)\n"},
        {"no table Wohnungen", "Provider=SQLite;Data Source=" + (m_dir / "leer.db").string(), "", "", 1,
         "Die Verbindung zu den Tabellen der Datenbank konnte nicht hergestellt werden." + checkDb},
        {"template missing", sqlite(), (m_dir / "fehlt.templ").string(), "", 1,
         "Die Vorlagendatei \"" + (m_dir / "fehlt.templ").string() + "\" wurde nicht gefunden.\n..."},
        {"generator error, with the error box's \".\"", sqlite(), (m_dir / "fehler.templ").string(), "", 1,
         "Unkown IF Tag : header.\nWarnung: Zeile 2: unbekannte Bedingung \"header\"\n"},
        {"malformed sort", sqlite(), "", settingsArgument() + " --sort 'Ort AUF'", 1,
         "Ung\xC3\xBCltige Sortierung \"Ort AUF\".\n"},
        {"no settings file", sqlite(), "", "--settings " + shellQuoted(m_dir / "fehlt.ini"), 1,
         "Die Einstellungsdatei \"" + (m_dir / "fehlt.ini").string() + "\" wurde nicht gefunden.\n..."},
        {"unknown argument", sqlite(), "", "--hochladen", 2, "Unbekannter oder unvollst\xC3\xA4ndiger Parameter: --hochladen\n..."},
        {"argument without value", sqlite(), "", "--settings", 2, "Unbekannter oder unvollst\xC3\xA4ndiger Parameter: --settings\n..."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(html());
        fs::create_directories(html());
        writeSettings(c.connection, true, c.templateFile);
        const Result result = publish(c.arguments.empty() ? settingsArgument() : c.arguments);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.out, "");
        if (c.err.ends_with("...")) {
            EXPECT_EQ(result.err.substr(0, c.err.size() - 3), c.err.substr(0, c.err.size() - 3));
        } else {
            EXPECT_EQ(result.err, c.err);
        }
        // The generator error gets as far as a page, which goes with the
        // failed generation.
        EXPECT_TRUE(fs::is_empty(html()));
    }
}

TEST_F(Publisher, WarnsOfUnknownNamesAndChecksWithoutWritingPages)
{
    writeFile(m_dir / "tippfehler.templ", "<repeat name=Loop>\r\n<p><macro name=Wohnug/></p>\r\n</repeat name=Loop>\r\n");
    const std::string warning = "Warnung: Zeile 2: unbekanntes Makro \"Wohnug\"\n";

    // Generating: the pages are written all the same, the status stays 0.
    writeSettings(sqlite(), false, (m_dir / "tippfehler.templ").string());
    Result result = publish(settingsArgument());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, warning);
    EXPECT_EQ(readFile(html() / "tippfehler.html"), "<p></p>\r\n<p></p>\r\n");

    struct Case {
        const char *what;
        std::string connection;
        std::string templateFile;
        int status;
        std::string out, err;
        std::string detailTemplate = {};
    } cases[] = {
        {"a clean template", sqlite(), (m_dir / "liste.templ").string(), 0,
         "Einstellungen und Vorlage sind in Ordnung.\n", ""},
        {"an unknown name", sqlite(), (m_dir / "tippfehler.templ").string(), 1, "", warning},
        {"no table", "", (m_dir / "liste.templ").string(), 1, "",
         "Es wurden keine HTML-Seiten erzeugt, weil keine Tabelle mit Wohnungen ge\xC3\xB6" "ffnet ist.\n"
         "Pr\xC3\xBC" "fen Sie die Einstellung in den Datenbankoptionen.\n"},
        {"an error of the run, with the error box's \".\"", sqlite(), (m_dir / "kaputt.templ").string(), 1, "",
         "Error in template: 1 loops were not closed.\n"},
        {"an unknown name in the detail template", sqlite(), (m_dir / "liste.templ").string(), 1, "",
         "Warnung: Detailvorlage, Zeile 2: unbekanntes Makro \"Wohnug\"\n", (m_dir / "tippfehler.templ").string()},
        {"an error of the detail template", sqlite(), (m_dir / "liste.templ").string(), 1, "",
         "Error in template: 1 loops were not closed.\n", (m_dir / "kaputt.templ").string()},
    };
    writeFile(m_dir / "kaputt.templ", "<repeat name=Loop>\r\n<p><macro name=Wohnung/></p>\r\n");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(html());
        fs::create_directories(html());
        writeSettings(c.connection, false, c.templateFile, c.detailTemplate);
        result = publish(settingsArgument() + " --check");
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, c.err);
        EXPECT_TRUE(fs::is_empty(html()));
    }
}

TEST_F(Publisher, TheDemoTemplateServesTablesWithAndWithoutFurtherColumns)
{
    const std::string demo = examples + "wohnungen.templ";
    writeSettings(sqlite(), false, demo);
    Result result = publish(settingsArgument() + " --check");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");

    const std::string extras = examples + "weitere-angaben-sqlite.sql";
    writeFile(m_dir / "werte.sql", "UPDATE \"Wohnungen\" SET \"Zimmer\" = 2, \"Energieausweis\" = "
                                   "'Bedarfsausweis', \"Energiekennwert\" = 88.5, \"Baujahr\" = 1998 "
                                   "WHERE \"Ort\" = 'Aachen';");
    const std::string alter = "sqlite3 " + shellQuoted(db()) + " < " + shellQuoted(extras) + " && sqlite3 " +
                              shellQuoted(db()) + " < " + shellQuoted(m_dir / "werte.sql");
    ASSERT_EQ(std::system(alter.c_str()), 0);
    result = publish(settingsArgument(), "de_DE.UTF-8");
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const std::string page = readFile(html() / "wohnungen.html");
    EXPECT_NE(page.find("<tr><th>Zimmer</th><td>2</td></tr>"), std::string::npos);
    EXPECT_NE(page.find("Bedarfsausweis: 88,5 kWh/(m\xB2\xB7" "a), , Baujahr 1998, Effizienzklasse </p>"),
              std::string::npos);
}

TEST_F(Publisher, TheDemoGivesListAndDetailPagesWhoseLinksAllArrive)
{
    const fs::path demoDb = m_dir / "demo.db";
    ASSERT_EQ(std::system((shellQuoted(fs::path(KAVIRO_BINARY_DIR) / "bin/kaviro-createdb") + " " +
                           shellQuoted(demoDb) + " >/dev/null").c_str()),
              0);
    writeFile(m_dir / "kaviro.ini", "[Template]\r\nFilename=" + examples + "wohnungen.templ\r\nOutput=" +
                                        html().string() + "\r\nMultiPage=1\r\nRowsPerPage=5\r\nDetailvorlage=" +
                                        examples + "wohnung-detail.templ\r\n[Database]\r\nConnectionString=" +
                                        "Provider=SQLite;Data Source=" + demoDb.string() + "\r\n");
    const Result result = publish(settingsArgument(), "de_DE.UTF-8");
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_NE(result.out.find("5 HTML-Seiten mit 25 Wohnungen erzeugt."), std::string::npos) << result.out;

    // Every page's links and images name files of the generation, and each
    // detail page is reached from a list page and links back to one.
    const std::regex reference("(href|src)=\"([^\"]+)\"");
    std::set<std::string> linked, detailPages, listPages;
    int images = 0;
    for (const auto &entry : fs::directory_iterator(html())) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".html")
            continue;
        (name.starts_with("wohnung-") ? detailPages : listPages).insert(name);
        const std::string page = readFile(entry.path());
        bool backLink = false;
        for (std::sregex_iterator it(page.begin(), page.end(), reference), end; it != end; ++it) {
            const std::string target = (*it)[2];
            EXPECT_TRUE(fs::is_regular_file(html() / target)) << name << " -> " << target;
            images += target.starts_with("bilder/");
            backLink = backLink || target.starts_with("wohnungen");
            if (name.starts_with("wohnungen"))
                linked.insert(target);
        }
        EXPECT_TRUE(backLink || !name.starts_with("wohnung-")) << name;
    }
    EXPECT_EQ(listPages.size(), 5u);
    EXPECT_EQ(detailPages.size(), 25u);
    for (const std::string &detail : detailPages)
        EXPECT_TRUE(linked.count(detail)) << detail;
    EXPECT_GT(images, 0);
}

} // namespace
