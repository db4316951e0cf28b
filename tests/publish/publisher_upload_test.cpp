// kaviro-publish --upload end to end: pages generated from an SQLite file
// and sent to vsftpd; what arrives, what the program prints, its exit status.

#include "publish/uploader.h"
#include "settings/settings.h"
#include "tests/support/ftptestsupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <sys/wait.h>

namespace kaviro {
namespace {

using test::readFile;
using test::RealFtpServer;
using test::TempDir;

const std::string publisher = std::string(KAVIRO_BINARY_DIR) + "/bin/kaviro-publish";
const std::string tableScript = std::string(KAVIRO_SOURCE_DIR) + "/examples/wohnungen-sqlite.sql";

class PublisherUpload : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_server = std::make_unique<RealFtpServer>(RealFtpServer::Kind::Vsftpd);
        ASSERT_FALSE(HasFatalFailure());
        std::filesystem::create_directory(m_dir.path() + "/html");
        m_dir.write("rows.sql",
                    "INSERT INTO \"Wohnungen\" (\"Wohnung\", \"Flaeche\", \"Strasse\", \"PLZ\", \"Ort\", "
                    "\"Beschreibung\", \"Miete\", \"Nebenkosten\", \"Status\") VALUES "
                    "('Dachgeschoss in K\xc3\xb6ln', 65.5, 'Domstra\xc3\x9f" "e 1', '50667', 'K\xc3\xb6ln', "
                    "'Balkon', 450, 120.5, 1),"
                    "('Altbau in Aachen', 80, 'Markt 3', '52062', 'Aachen', '', 1234.56, 200, 1);");
        const std::string db = m_dir.path() + "/wohnungen.db";
        const std::string create = "sqlite3 '" + db + "' < '" + tableScript + "' && sqlite3 '" + db + "' < '"
                                   + m_dir.path() + "/rows.sql'";
        ASSERT_EQ(std::system(create.c_str()), 0);
        m_dir.write("liste.templ", "<h1>Seite <macro name=PageNum/></h1>\r\n<repeat name=Loop>\r\n"
                                   "<p><macro name=Wohnung/></p>\r\n</repeat name=Loop>\r\n");

        m_settings.templateFilename = m_dir.path() + "/liste.templ";
        m_settings.templateOutput = m_dir.path() + "/html";
        m_settings.multiPage = true;
        m_settings.rowsPerPage = 1;
        m_settings.ftpServer = "127.0.0.1";
        m_settings.ftpPort = m_server->port();
        m_settings.ftpPath = m_server->remoteDir();
        m_settings.ftpUser = m_server->user();
        m_settings.ftpPassword = m_server->password();
        m_settings.connectionString = "Provider=SQLite;Data Source=" + db;
    }

    // Runs kaviro-publish --upload; returns its exit status.
    int run()
    {
        const std::string ini = m_dir.path() + "/kaviro.ini";
        saveSettings(ini, m_settings);
        const std::string command = "'" + publisher + "' --settings '" + ini + "' --upload > '" + m_dir.path()
                                    + "/out.txt' 2> '" + m_dir.path() + "/err.txt'";
        const int status = std::system(command.c_str());
        m_out = readFile(m_dir.path() + "/out.txt");
        m_err = readFile(m_dir.path() + "/err.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::unique_ptr<RealFtpServer> m_server;
    TempDir m_dir;
    Settings m_settings;
    std::string m_out;
    std::string m_err;
};

TEST_F(PublisherUpload, SendsTheGeneratedPagesAndSaysSo)
{
    ASSERT_EQ(run(), 0) << m_out << m_err;
    for (const char *page : {"liste.html", "liste2.html"}) {
        const std::string local = readFile(m_dir.path() + "/html/" + page);
        EXPECT_FALSE(local.empty()) << page;
        EXPECT_EQ(readFile(m_server->uploadDir() + "/" + page), local) << page;
    }
    // The status texts of the upload, in the terminal's UTF-8.
    EXPECT_NE(m_out.find("Verbindung zum FTP-Server herstellen ...\n"), std::string::npos) << m_out;
    EXPECT_NE(m_out.find("HTML-Seiten werden \xc3\xbc" "bertragen ... \n"), std::string::npos) << m_out;
    EXPECT_EQ(m_err, "");
}

TEST_F(PublisherUpload, RefusedFolderFailsWithTheServersReply)
{
    m_settings.ftpPath = "/gibt/es/nicht";
    EXPECT_EQ(run(), 1);
    EXPECT_NE(m_out.find("FEHLER: Kann Verzeichnis nicht wechseln.\n"), std::string::npos) << m_out;
    EXPECT_EQ(m_err.substr(0, 4), "550 ") << m_err;
    EXPECT_FALSE(std::filesystem::exists(m_server->uploadDir() + "/liste.html"));
}

} // namespace
} // namespace kaviro
