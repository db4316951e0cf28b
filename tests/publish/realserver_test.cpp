#include "publish/uploader.h"
#include "tests/support/ftptestsupport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace kaviro {
namespace {

using test::RealFtpServer;
using test::TempDir;
using Lines = std::vector<std::string>;

// Uploads to servers nobody here wrote, started for each test on 127.0.0.1.
class RealServerUpload : public ::testing::TestWithParam<RealFtpServer::Kind> {
protected:
    void SetUp() override
    {
        m_server = std::make_unique<RealFtpServer>(GetParam());
        ASSERT_FALSE(HasFatalFailure());
        m_settings.ftpServer = "127.0.0.1";
        m_settings.ftpPort = m_server->port();
        m_settings.ftpUser = m_server->user();
        m_settings.ftpPassword = m_server->password();
        m_settings.ftpPath = m_server->remoteDir();
        // The fixture's certificate is self-signed: trusted by fingerprint.
        m_settings.certificate = m_server->certificateFingerprint();
        m_uploader.setStatusHandler([this](const std::string &text) { m_statuses.push_back(text); });
        m_uploader.setErrorHandler([this](const std::string &message) { m_errors.push_back(message); });
    }

    static std::string pageName(std::int32_t n)
    {
        return n == 1 ? "angebote.html" : "angebote" + std::to_string(n) + ".html";
    }

    bool upload(const std::vector<std::string> &pages, int deletedPage = 0)
    {
        for (std::size_t i = 0; i < pages.size(); ++i)
            m_pages.write(pageName(static_cast<std::int32_t>(i + 1)), pages[i]);
        if (deletedPage != 0)
            std::remove((m_pages.path() + "/" + pageName(deletedPage)).c_str());
        UploadFiles files{m_pages.path(), {}};
        for (std::size_t i = 0; i < pages.size(); ++i)
            files.names.push_back(pageName(static_cast<std::int32_t>(i + 1)));
        return m_uploader.upload(m_settings, files);
    }

    bool arrived(std::int32_t n) const
    {
        return std::filesystem::exists(m_server->uploadDir() + "/" + pageName(n));
    }
    std::string arrivedBytes(std::int32_t n) const
    {
        return test::readFile(m_server->uploadDir() + "/" + pageName(n));
    }
    // Every file in the server folder, temporary ones included.
    std::set<std::string> uploadedNames() const
    {
        std::set<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(m_server->uploadDir()))
            names.insert(entry.path().filename().string());
        return names;
    }

    std::unique_ptr<RealFtpServer> m_server;
    Settings m_settings;
    Uploader m_uploader;
    TempDir m_pages;
    Lines m_statuses;
    Lines m_errors;
};

TEST_P(RealServerUpload, PagesArriveByteForByte)
{
    // Pages as the generator writes them: CR LF line ends, Windows-1252
    // bytes; the second spans two chunks with a CR LF across the seam.
    std::vector<std::string> pages = {"<html>\r\n<p>K\xfc" "che, B\xe4" "der, 450 \x80</p>\r\n</html>\r\n", "", "<p>kurz</p>"};
    while (pages[1].size() < 65535)
        pages[1] += "<tr><td>Wohnung</td><td>3 Zimmer</td></tr>\r\n";
    pages[1].resize(65535);
    pages[1] += "\r\n<p>Ende</p>\r\n";
    ASSERT_EQ(pages[1].substr(65535, 2), "\r\n");

    EXPECT_TRUE(upload(pages));
    EXPECT_EQ(m_statuses, (Lines{Uploader::connectingText, Uploader::changingDirectoryText, Uploader::sendingText}));
    EXPECT_TRUE(m_errors.empty()) << m_errors.front();
    // TYPE I: no server converts the line ends.
    for (std::int32_t n = 1; n <= 3; ++n)
        EXPECT_TRUE(arrivedBytes(n) == pages[static_cast<std::size_t>(n - 1)]) << n;
    EXPECT_EQ(uploadedNames(), (std::set<std::string>{"angebote.html", "angebote2.html", "angebote3.html"}));
}

TEST_P(RealServerUpload, RefusedLoginFailsTheConnectStep)
{
    m_settings.ftpUser = "niemand";
    m_settings.ftpPassword = "falsch";
    EXPECT_FALSE(upload({"<p>eins</p>"}));
    EXPECT_EQ(m_statuses, (Lines{Uploader::connectingText, Uploader::connectFailedText}));
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_EQ(m_errors[0].substr(0, 4), "530 ") << m_errors[0];
    EXPECT_EQ(m_errors[0].substr(m_errors[0].size() - 2), "\r\n");
    EXPECT_FALSE(arrived(1));
}

TEST_P(RealServerUpload, RefusedFolderFailsBeforeAnyPage)
{
    m_settings.ftpPath = "/gibt/es/nicht";
    EXPECT_FALSE(upload({"<p>eins</p>"}));
    EXPECT_EQ(m_statuses, (Lines{Uploader::connectingText, Uploader::changingDirectoryText,
                                 Uploader::changeDirectoryFailedText}));
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_EQ(m_errors[0].substr(0, 4), "550 ") << m_errors[0];
    EXPECT_FALSE(arrived(1));
}

TEST_P(RealServerUpload, DeletedPageFileStopsTheUploadThere)
{
    EXPECT_FALSE(upload({"<p>eins</p>", "<p>zwei</p>", "<p>drei</p>"}, 2));
    EXPECT_EQ(m_statuses.back(), Uploader::sendFailedText);
    EXPECT_EQ(m_errors, Lines{"Datei " + m_pages.path() + "/angebote2.html kann nicht ge\xf6" "ffnet werden"});
    EXPECT_EQ(arrivedBytes(1), "<p>eins</p>");
    EXPECT_FALSE(arrived(2));
    EXPECT_FALSE(arrived(3));
}

TEST_P(RealServerUpload, OnlyChangedPagesTravelAndStalePagesOfOursGo)
{
    test::writeFile(m_server->uploadDir() + "/impressum.html", "<p>Impressum</p>");
    EXPECT_TRUE(upload({"<p>1</p>", "<p>2</p>", "<p>3</p>", "<p>4</p>", "<p>5</p>"}));
    EXPECT_EQ(m_uploader.lastResult().filesSent, 5);

    // Fewer pages, the second one changed.
    EXPECT_TRUE(upload({"<p>1</p>", "<p>2 neu</p>", "<p>3</p>"}));
    EXPECT_EQ(m_uploader.lastResult().filesSent, 1);
    EXPECT_EQ(m_uploader.lastResult().filesUnchanged, 2);
    EXPECT_EQ(m_uploader.lastResult().filesDeleted, 2);
    EXPECT_EQ(uploadedNames(),
              (std::set<std::string>{"angebote.html", "angebote2.html", "angebote3.html", "impressum.html"}));
    EXPECT_EQ(arrivedBytes(2), "<p>2 neu</p>");
    EXPECT_EQ(test::readFile(m_server->uploadDir() + "/impressum.html"), "<p>Impressum</p>");

    // UploadAll sends every page again, over the pages already there.
    m_settings.uploadAll = true;
    EXPECT_TRUE(upload({"<p>1</p>", "<p>2 neu</p>", "<p>3</p>"}));
    EXPECT_EQ(m_uploader.lastResult().filesSent, 3);
    EXPECT_EQ(m_uploader.lastResult().filesUnchanged, 0);
    EXPECT_EQ(uploadedNames().size(), 4u);
}

TEST_P(RealServerUpload, DetailPagesAndImagesTravelWithThePagesIntoTheirFolders)
{
    std::string image = "\xff\xd8\xff\xe0";
    for (int i = 0; i < 70'000; ++i)
        image += static_cast<char>(i * 7 % 256); // every byte, CR and LF among them
    const std::vector<std::pair<std::string, std::string>> generation = {
        {"angebote.html", "<a href=\"wohnung-12.html\"><img src=\"bilder/12-1-klein.jpg\"></a>\r\n"},
        {"bilder/12-1.jpg", image},
        {"bilder/12-1-klein.jpg", image.substr(0, 5000)},
        {"wohnung-12.html", "<img src=\"bilder/12-1.jpg\">\r\n"},
    };
    UploadFiles files{m_pages.path(), {}};
    for (const auto &[name, bytes] : generation) {
        m_pages.write(name, bytes);
        files.names.push_back(name);
    }

    ASSERT_TRUE(m_uploader.upload(m_settings, files)) << (m_errors.empty() ? "" : m_errors.front());
    for (const auto &[name, bytes] : generation)
        EXPECT_EQ(test::readFile(m_server->uploadDir() + "/" + name), bytes) << name;
    EXPECT_EQ(m_uploader.lastResult().filesSent, 4);
    // No temporary name stays behind in the sub-folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_server->uploadDir() + "/bilder"),
                            std::filesystem::directory_iterator()),
              2);

    ASSERT_TRUE(m_uploader.upload(m_settings, files));
    EXPECT_EQ(m_uploader.lastResult().filesSent, 0);
    EXPECT_EQ(m_uploader.lastResult().filesUnchanged, 4);

    // The photo deleted: its files go from the server too.
    files.names = {"angebote.html", "wohnung-12.html"};
    ASSERT_TRUE(m_uploader.upload(m_settings, files));
    EXPECT_EQ(m_uploader.lastResult().filesDeleted, 2);
    EXPECT_FALSE(std::filesystem::exists(m_server->uploadDir() + "/bilder/12-1.jpg"));
}

INSTANTIATE_TEST_SUITE_P(Servers, RealServerUpload,
                         ::testing::Values(RealFtpServer::Kind::Vsftpd, RealFtpServer::Kind::VsftpdTls,
                                           RealFtpServer::Kind::Pyftpdlib, RealFtpServer::Kind::PyftpdlibTls),
                         [](const ::testing::TestParamInfo<RealFtpServer::Kind> &info) {
                             switch (info.param) {
                             case RealFtpServer::Kind::Vsftpd: return "vsftpd";
                             case RealFtpServer::Kind::VsftpdTls: return "vsftpdTls";
                             case RealFtpServer::Kind::Pyftpdlib: return "pyftpdlib";
                             case RealFtpServer::Kind::PyftpdlibTls: return "pyftpdlibTls";
                             }
                             return "";
                         });

// A server that demands TLS, with each way the client may meet it.
class RealTlsServer : public RealServerUpload {};

TEST_P(RealTlsServer, UntrustedCertificateFailsWithItsFingerprint)
{
    m_settings.certificate.clear();
    EXPECT_FALSE(upload({"<p>eins</p>"}));
    EXPECT_EQ(m_statuses, (Lines{Uploader::connectingText, Uploader::connectFailedText}));
    ASSERT_EQ(m_errors.size(), 1u);
    const std::string &fingerprint = m_server->certificateFingerprint();
    EXPECT_NE(m_errors[0].find(fingerprint), std::string::npos) << m_errors[0];
    EXPECT_EQ(m_uploader.lastResult().untrustedCertificate, fingerprint);
    EXPECT_FALSE(arrived(1));

    // Typed the way a user may copy it: lower case, no colons.
    std::string typed;
    for (const char c : fingerprint)
        if (c != ':')
            typed += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    m_settings.certificate = typed;
    m_statuses.clear();
    m_errors.clear();
    EXPECT_TRUE(upload({"<p>eins</p>"})) << (m_errors.empty() ? "" : m_errors.front());
    EXPECT_EQ(arrivedBytes(1), "<p>eins</p>");
}

TEST_P(RealTlsServer, PlainTextIsRefusedByTheServer)
{
    m_settings.encryption = FtpEncryption::None;
    EXPECT_FALSE(upload({"<p>eins</p>"}));
    EXPECT_EQ(m_statuses.back(), Uploader::connectFailedText);
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_EQ(m_errors[0].substr(0, 1), "5") << m_errors[0];
}

INSTANTIATE_TEST_SUITE_P(Servers, RealTlsServer,
                         ::testing::Values(RealFtpServer::Kind::VsftpdTls, RealFtpServer::Kind::PyftpdlibTls),
                         [](const ::testing::TestParamInfo<RealFtpServer::Kind> &info) {
                             return info.param == RealFtpServer::Kind::VsftpdTls ? "vsftpd" : "pyftpdlib";
                         });

TEST(RealServerActiveUpload, PortModeStoresThePages)
{
    RealFtpServer server(RealFtpServer::Kind::Pyftpdlib);
    ASSERT_FALSE(::testing::Test::HasFatalFailure());
    TempDir pages;
    const std::string page = "<p>aktiv</p>\r\n";
    pages.write("aktiv.html", page);
    Settings settings;
    settings.ftpServer = "127.0.0.1";
    settings.ftpPort = server.port();
    settings.ftpUser = server.user();
    settings.ftpPassword = server.password();
    settings.ftpPath = server.remoteDir();
    settings.passive = false;
    Uploader uploader;
    EXPECT_TRUE(uploader.upload(settings, UploadFiles{pages.path(), {"aktiv.html"}}));
    EXPECT_EQ(test::readFile(server.uploadDir() + "/aktiv.html"), page);
}

} // namespace
} // namespace kaviro
