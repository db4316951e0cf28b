// kaviro-publish --upload end to end: pages generated from an SQLite file
// and sent to vsftpd; what arrives, what the program prints, its exit status.

#include "publish/uploader.h"
#include "settings/settings.h"
#include "tests/support/ftptestsupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

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

    // Runs kaviro-publish --upload (or the upload argument given); returns
    // its exit status.
    int run(const std::string &upload = "--upload")
    {
        const std::string ini = settingsFile();
        saveSettings(ini, m_settings);
        const std::string command = "'" + publisher + "' --settings '" + ini + "' " + upload + " > '" + m_dir.path()
                                    + "/out.txt' 2> '" + m_dir.path() + "/err.txt'";
        const int status = std::system(command.c_str());
        m_out = readFile(m_dir.path() + "/out.txt");
        m_err = readFile(m_dir.path() + "/err.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string settingsFile() const { return m_dir.path() + "/kaviro.ini"; }
    void useServer(int port, const std::string &folder)
    {
        m_settings.ftpPort = port;
        m_settings.ftpPath = folder;
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

// Every file a generation left in the output folder, by its name there.
std::map<std::string, std::string> generatedFiles(const std::string &folder)
{
    std::map<std::string, std::string> files;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string name = std::filesystem::relative(entry.path(), folder).string();
        if (entry.is_regular_file() && name.front() != '.')
            files[name] = readFile(entry.path());
    }
    return files;
}

TEST_F(PublisherUpload, DetailPagesAndPhotosArriveByteIdenticalAndOnlyOnce)
{
    const std::string db = m_dir.path() + "/wohnungen.db";
    const std::string photo = std::string(KAVIRO_SOURCE_DIR) + "/tests/data/photos/zimmer.jpg";
    const std::string photos = "sqlite3 '" + db + "' < '" + KAVIRO_SOURCE_DIR + "/examples/bilder-sqlite.sql' && "
                               "sqlite3 '" + db + "' \"INSERT INTO Bilder (WohnungId, Position, Titel, Bild, Breite, "
                               "Hoehe) VALUES (1, 1, 'Wohnzimmer', readfile('" + photo + "'), 48, 32), "
                               "(1, 2, 'Bad', readfile('" + photo + "'), 48, 32), "
                               "(3, 1, 'Vermietet', readfile('" + photo + "'), 48, 32); "
                               "INSERT INTO Wohnungen (Id, Wohnung, Status) VALUES (3, 'Vermietet', 0)\"";
    ASSERT_EQ(std::system(photos.c_str()), 0);
    m_dir.write("liste.templ", "<repeat name=Loop><a href=\"<macro name=DetailDatei/>\"><macro name=Wohnung/></a>"
                               "<repeat name=Bilder><img src=\"<macro name=BildVorschau/>\"></repeat name=Bilder>"
                               "\r\n</repeat name=Loop>");
    m_settings.detailTemplate = m_dir.write("detail.templ", "<repeat name=Bilder><img src=\"<macro name=BildDatei/>\" "
                                                            "alt=\"<macro name=BildTitel/>\"></repeat name=Bilder>"
                                                            "<a href=\"<macro name=FileName/>\">zur\xfc" "ck</a>");

    ASSERT_EQ(run(), 0) << m_out << m_err;
    const auto local = generatedFiles(m_dir.path() + "/html");
    for (const char *name : {"liste.html", "liste2.html", "wohnung-1.html", "wohnung-2.html", "bilder/1-1.jpg",
                             "bilder/1-1-klein.jpg", "bilder/1-2.jpg", "bilder/1-2-klein.jpg"})
        EXPECT_TRUE(local.count(name)) << name;
    EXPECT_EQ(local.size(), 8u) << "nothing of the let listing";
    EXPECT_EQ(local.at("bilder/1-1.jpg"), readFile(photo));
    for (const auto &[name, bytes] : local)
        EXPECT_EQ(readFile(m_server->uploadDir() + "/" + name), bytes) << name;

    ASSERT_EQ(run(), 0) << m_out << m_err;
    EXPECT_NE(m_out.find("0 Dateien \xc3\xbc" "bertragen, 8 unver\xc3\xa4" "ndert.\n"), std::string::npos) << m_out;
}

TEST_F(PublisherUpload, RefusedFolderFailsWithTheServersReply)
{
    m_settings.ftpPath = "/gibt/es/nicht";
    EXPECT_EQ(run(), 1);
    EXPECT_NE(m_out.find("FEHLER: Kann Verzeichnis nicht wechseln.\n"), std::string::npos) << m_out;
    EXPECT_EQ(m_err.substr(0, 4), "550 ") << m_err;
    EXPECT_FALSE(std::filesystem::exists(m_server->uploadDir() + "/liste.html"));
}

TEST_F(PublisherUpload, SkipsUnchangedPagesUnlessEveryPageIsAskedFor)
{
    ASSERT_EQ(run(), 0) << m_err;
    EXPECT_NE(m_out.find("2 Dateien \xc3\xbc" "bertragen, 0 unver\xc3\xa4" "ndert.\n"), std::string::npos) << m_out;
    ASSERT_EQ(run(), 0) << m_err;
    EXPECT_NE(m_out.find("0 Dateien \xc3\xbc" "bertragen, 2 unver\xc3\xa4" "ndert.\n"), std::string::npos) << m_out;
    ASSERT_EQ(run("--upload-all"), 0) << m_err;
    EXPECT_NE(m_out.find("2 Dateien \xc3\xbc" "bertragen, 0 unver\xc3\xa4" "ndert.\n"), std::string::npos) << m_out;
    EXPECT_EQ(readFile(m_server->uploadDir() + "/liste2.html"), readFile(m_dir.path() + "/html/liste2.html"));
}

TEST_F(PublisherUpload, UntrustedCertificatePrintsTheLineThatTrustsIt)
{
    const RealFtpServer server(RealFtpServer::Kind::VsftpdTls);
    ASSERT_FALSE(HasFatalFailure());
    useServer(server.port(), server.remoteDir());
    m_settings.ftpUser = server.user();
    m_settings.ftpPassword = server.password();
    EXPECT_EQ(run(), 1);
    const std::string line = "\n  Certificate=" + server.certificateFingerprint() + "\n";
    EXPECT_NE(m_err.find(line), std::string::npos) << m_err;
    EXPECT_NE(m_err.find("im Abschnitt [FTP] diese Zeile ein:"), std::string::npos) << m_err;
    EXPECT_NE(m_err.find(settingsFile()), std::string::npos) << m_err;
    EXPECT_FALSE(std::filesystem::exists(server.uploadDir() + "/liste.html"));

    // The line does what it says.
    m_settings.certificate = server.certificateFingerprint();
    EXPECT_EQ(run(), 0) << m_err;
    EXPECT_EQ(readFile(server.uploadDir() + "/liste.html"), readFile(m_dir.path() + "/html/liste.html"));
}

TEST_F(PublisherUpload, SigtermDuringAStalledUploadCancelsItAndSaysHowFarItGot)
{
    // The server takes the first page's data and then says nothing more.
    test::ScriptedServer server(test::ScriptedServer::ftp([](test::ScriptedServer::Session &s, const std::string &line) {
        if (line.rfind("STOR ", 0) != 0)
            return false;
        s.reply("150 Daten bitte");
        s.storeData(line);
        s.holdOpen();
        return true;
    }));
    useServer(server.port(), "/web");
    m_settings.encryption = FtpEncryption::None;
    saveSettings(settingsFile(), m_settings);

    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::freopen((m_dir.path() + "/out.txt").c_str(), "w", stdout);
        std::freopen((m_dir.path() + "/err.txt").c_str(), "w", stderr);
        ::execl(publisher.c_str(), publisher.c_str(), "--settings", settingsFile().c_str(), "--upload", nullptr);
        ::_exit(127);
    }
    const auto stalled = [&] {
        for (const std::string &line : server.lines())
            if (line.rfind("STOR ", 0) == 0)
                return true;
        return false;
    };
    for (int i = 0; i < 1000 && !stalled(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(stalled());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ::kill(pid, SIGTERM);

    // A generous bound: the figure itself belongs in a benchmark.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    int status = 0;
    pid_t ended = 0;
    while (ended == 0 && std::chrono::steady_clock::now() < deadline) {
        ended = ::waitpid(pid, &status, WNOHANG);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (ended == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        FAIL() << "kaviro-publish did not end within 3 s of SIGTERM";
    }
    server.finish();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string out = readFile(m_dir.path() + "/out.txt");
    EXPECT_NE(out.find("\xc3\x9c" "bertragung vom Benutzer abgebrochen.\n0 Dateien \xc3\xbc" "bertragen"),
              std::string::npos) << out;
    EXPECT_EQ(server.lines().back(), "QUIT");
}

} // namespace
} // namespace kaviro
