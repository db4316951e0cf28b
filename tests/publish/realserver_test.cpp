#include "publish/uploader.h"
#include "tests/support/ftptestsupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace kaviro {
namespace {

using test::RealFtpServer;
using test::TempDir;
using Lines = std::vector<std::string>;

std::string replaceAll(std::string text, const std::string &from, const std::string &to)
{
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

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
        return m_uploader.upload(m_settings, static_cast<std::int32_t>(pages.size()),
                                 [this](std::int32_t n) { return m_pages.path() + "/" + pageName(n); });
    }

    bool arrived(std::int32_t n) const
    {
        return std::filesystem::exists(m_server->uploadDir() + "/" + pageName(n));
    }
    std::string arrivedBytes(std::int32_t n) const
    {
        return test::readFile(m_server->uploadDir() + "/" + pageName(n));
    }

    std::unique_ptr<RealFtpServer> m_server;
    Settings m_settings;
    Uploader m_uploader;
    TempDir m_pages;
    Lines m_statuses;
    Lines m_errors;
};

TEST_P(RealServerUpload, PagesArriveAsTheServerStoresASCIIType)
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
    for (std::int32_t n = 1; n <= 3; ++n) {
        // The client sends no TYPE, so the server's default ASCII type
        // applies: vsftpd (without ascii_upload_enable) stores the bytes as
        // sent; pyftpdlib turns each CR LF into the LF of its system.
        const std::string &sent = pages[static_cast<std::size_t>(n - 1)];
        const std::string expected = GetParam() == RealFtpServer::Kind::Vsftpd ? sent : replaceAll(sent, "\r\n", "\n");
        const std::string got = arrivedBytes(n);
        EXPECT_EQ(got.size(), expected.size()) << n;
        EXPECT_TRUE(got == expected) << n;
    }
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

INSTANTIATE_TEST_SUITE_P(Servers, RealServerUpload,
                         ::testing::Values(RealFtpServer::Kind::Vsftpd, RealFtpServer::Kind::Pyftpdlib),
                         [](const ::testing::TestParamInfo<RealFtpServer::Kind> &info) {
                             return info.param == RealFtpServer::Kind::Vsftpd ? "vsftpd" : "pyftpdlib";
                         });

} // namespace
} // namespace kaviro
