#include "publish/uploader.h"
#include "publish/uploadrecord.h"

#include "tests/support/sshtestsupport.h"
#include "tests/support/testfiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

namespace kaviro {
namespace {

using namespace std::chrono_literals;
using test::readFile;
using Lines = std::vector<std::string>;

const std::string &connecting = Uploader::connectingText;
const std::string &changing = Uploader::changingDirectoryText;
const std::string &sending = Uploader::sendingText;

std::string pageName(std::int32_t n)
{
    return n == 1 ? "wohnungen.html" : "wohnungen" + std::to_string(n) + ".html";
}

// The names in a server folder, sorted.
Lines folderNames(const std::string &folder)
{
    Lines names;
    for (const auto &entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The upload road over SFTP, through the Uploader as the window drives it.
class SftpUploadTest : public test::SshServerTest {
protected:
    void SetUp() override
    {
        SshServerTest::SetUp();
        if (IsSkipped())
            return;
        remote = server->uploadDir() + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::create_directory(remote);
        uploader.sftp().setSshDir(server->clientSshDir());
        uploader.setStatusHandler([this](const std::string &text) { statuses.push_back(text); });
        uploader.setErrorHandler([this](const std::string &message) { errors.push_back(message); });
    }

    Settings settings() const
    {
        Settings s;
        s.protocol = UploadProtocol::Sftp;
        s.ftpServer = "127.0.0.1";
        s.ftpPort = server->port();
        s.ftpUser = server->user();
        s.ftpPath = remote;
        return s;
    }

    // Writes pages 1..count, their bytes varying with generation.
    void generate(std::int32_t count, const std::string &generation = "1")
    {
        pages.clear();
        for (std::int32_t n = 1; n <= count; ++n) {
            std::string bytes = "<html>\r\nSeite " + std::to_string(n) + " (" + generation + "): Miete 450 \x80\r\n";
            if (n == 2) // one page of several write requests, all byte values
                for (int i = 0; i < 300000; ++i)
                    bytes += char(i % 256);
            pages.push_back(bytes + "</html>\r\n");
            local.write(pageName(n), pages.back());
        }
    }

    bool upload(const Settings &s, std::int32_t count)
    {
        statuses.clear();
        errors.clear();
        UploadFiles files{local.path(), {}};
        for (std::int32_t n = 1; n <= count; ++n)
            files.names.push_back(pageName(n));
        return uploader.upload(s, files);
    }

    std::string remote;
    test::TempDir local;
    std::vector<std::string> pages;
    Uploader uploader;
    Lines statuses;
    Lines errors;
};

TEST_F(SftpUploadTest, ImagesGoIntoTheServerSubFolderCreatedWhenMissing)
{
    generate(1);
    std::string image = "\xff\xd8";
    for (int i = 0; i < 5000; ++i)
        image += char(i % 256);
    local.write("bilder/12-1.jpg", image);
    UploadFiles files{local.path(), {pageName(1), "bilder/12-1.jpg"}};
    ASSERT_TRUE(uploader.upload(settings(), files)) << (errors.empty() ? "" : errors.front());
    EXPECT_EQ(readFile(remote + "/bilder/12-1.jpg"), image);
    // The folder there already: the next image goes in as well.
    local.write("bilder/12-2.jpg", image.substr(7));
    files.names.push_back("bilder/12-2.jpg");
    ASSERT_TRUE(uploader.upload(settings(), files)) << (errors.empty() ? "" : errors.front());
    EXPECT_EQ(uploader.lastResult().filesSent, 1);
    EXPECT_EQ(readFile(remote + "/bilder/12-2.jpg"), image.substr(7));
}

TEST_F(SftpUploadTest, PagesArriveByteIdenticalAndUnchangedOnesStayHome)
{
    generate(3);
    std::vector<std::int64_t> lastSent(4, -1);
    uploader.setProgressHandler([&](std::int32_t page, std::int64_t sent, std::int64_t size) {
        ASSERT_GE(page, 1);
        ASSERT_LE(page, 3);
        EXPECT_EQ(size, std::int64_t(pages[std::size_t(page - 1)].size()));
        EXPECT_GE(sent, lastSent[std::size_t(page)]);
        lastSent[std::size_t(page)] = sent;
    });
    ASSERT_TRUE(upload(settings(), 3)) << (errors.empty() ? "" : errors.front());
    EXPECT_EQ(statuses, (Lines{connecting, changing, sending}));
    EXPECT_EQ(uploader.lastResult().filesSent, 3);
    for (std::int32_t n = 1; n <= 3; ++n) {
        EXPECT_EQ(readFile(remote + "/" + pageName(n)), pages[std::size_t(n - 1)]) << n;
        EXPECT_EQ(lastSent[std::size_t(n)], std::int64_t(pages[std::size_t(n - 1)].size())) << n;
    }
    uploader.setProgressHandler({});

    // The record tells SFTP and FTP destinations of one host apart.
    const UploadRecord record = UploadRecord::load(local.file(UploadRecord::fileName));
    const std::string where = "127.0.0.1:" + std::to_string(server->port()) + " " + remote;
    EXPECT_EQ(record.pages("sftp://" + server->user() + "@" + where).size(), 3u);
    EXPECT_TRUE(record.pages("ftp://" + server->user() + "@" + where).empty());

    // Nothing changed: nothing travels, even when the server copy was
    // touched meanwhile (the record speaks for the server).
    const auto stamp = std::filesystem::last_write_time(remote + "/" + pageName(2));
    ASSERT_TRUE(upload(settings(), 3));
    EXPECT_EQ(uploader.lastResult().filesSent, 0);
    EXPECT_EQ(uploader.lastResult().filesUnchanged, 3);
    EXPECT_EQ(std::filesystem::last_write_time(remote + "/" + pageName(2)), stamp);

    Settings all = settings();
    all.uploadAll = true;
    ASSERT_TRUE(upload(all, 3));
    EXPECT_EQ(uploader.lastResult().filesSent, 3);
}

TEST_F(SftpUploadTest, FewerPagesRemoveOnlyOurStaleOnes)
{
    test::writeFile(remote + "/impressum.html", "meins");
    generate(5);
    ASSERT_TRUE(upload(settings(), 5)) << (errors.empty() ? "" : errors.front());
    generate(3, "2");
    ASSERT_TRUE(upload(settings(), 3)) << (errors.empty() ? "" : errors.front());
    EXPECT_EQ(uploader.lastResult().filesSent, 3);
    EXPECT_EQ(uploader.lastResult().filesDeleted, 2);
    EXPECT_EQ(folderNames(remote), (Lines{"impressum.html", pageName(1), pageName(2), pageName(3)}));
    EXPECT_EQ(readFile(remote + "/" + pageName(3)), pages[2]);
    EXPECT_EQ(readFile(remote + "/impressum.html"), "meins");
}

TEST_F(SftpUploadTest, MissingFolderFailsItsStep)
{
    generate(1);
    Settings s = settings();
    s.ftpPath = remote + "/fehlt";
    EXPECT_FALSE(upload(s, 1));
    EXPECT_EQ(statuses, (Lines{connecting, changing, Uploader::changeDirectoryFailedText}));
    EXPECT_EQ(errors, Lines{"Das Verzeichnis \"" + s.ftpPath + "\" gibt es auf dem Server nicht."});
    EXPECT_TRUE(folderNames(remote).empty());
}

TEST_F(SftpUploadTest, HostKeyNobodyVouchedForEndsTheUploadWithItsFingerprint)
{
    enum class KnownHosts { None, Served, Other };
    const struct {
        const char *what;
        KnownHosts knownHosts;
        std::string hostKey;
        bool accepted;
        bool changed;
    } cases[] = {
        {"unknown", KnownHosts::None, "", false, false},
        {"unknown, then trusted", KnownHosts::None, server->servedFingerprint(), true, false},
        {"changed in known_hosts", KnownHosts::Other, "", false, true},
        {"changed from the trusted one", KnownHosts::Served, server->otherFingerprint(), false, true},
    };
    generate(1);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(server->clientSshDir() + "/known_hosts");
        if (c.knownHosts == KnownHosts::Served)
            server->trustServedKey();
        if (c.knownHosts == KnownHosts::Other)
            server->trustOtherKey();
        Settings s = settings();
        s.hostKey = c.hostKey;
        s.uploadAll = true;
        EXPECT_EQ(upload(s, 1), c.accepted);
        const UploadResult &result = uploader.lastResult();
        if (c.accepted) {
            EXPECT_TRUE(result.untrustedHostKey.empty());
            EXPECT_EQ(result.filesSent, 1);
            continue;
        }
        EXPECT_EQ(statuses, (Lines{connecting, Uploader::connectFailedText}));
        EXPECT_EQ(result.untrustedHostKey, server->servedFingerprint());
        EXPECT_EQ(result.hostKeyChanged, c.changed);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_NE(errors[0].find(server->servedFingerprint()), std::string::npos) << errors[0];
    }
}

TEST_F(SftpUploadTest, WrongPasswordFailsTheConnectStep)
{
    const test::PasswordAccount user;
    if (!user.available())
        GTEST_SKIP() << "a password account needs root";
    generate(1);
    Settings s = settings();
    s.ftpUser = user.name();
    s.ftpPassword = user.password() + "x";
    EXPECT_FALSE(upload(s, 1));
    EXPECT_EQ(statuses, (Lines{connecting, Uploader::connectFailedText}));
    EXPECT_EQ(errors, Lines{"Anmeldung als \"" + user.name() + "\" fehlgeschlagen: Benutzername oder Passwort falsch."});
}

TEST_F(SftpUploadTest, CancelEndsAStalledTransferAndLeavesNoHalfPage)
{
    local.write(pageName(1), std::string(64 << 20, 'x'));
    std::atomic<bool> stalled{false};
    uploader.setProgressHandler([&](std::int32_t, std::int64_t sent, std::int64_t) {
        if (!stalled && sent > 0) {
            server->pause();
            stalled = true;
        }
    });
    std::chrono::steady_clock::time_point cancelledAt;
    std::thread canceller([&] {
        while (!stalled)
            std::this_thread::sleep_for(5ms);
        std::this_thread::sleep_for(200ms);
        cancelledAt = std::chrono::steady_clock::now();
        uploader.cancel();
    });
    EXPECT_FALSE(upload(settings(), 1));
    const auto ended = std::chrono::steady_clock::now();
    canceller.join();
    server->resume();
    EXPECT_LT(ended - cancelledAt, 2s);
    EXPECT_TRUE(uploader.lastResult().cancelled);
    EXPECT_EQ(statuses, (Lines{connecting, changing, sending, Uploader::cancelledText}));
    EXPECT_TRUE(errors.empty());
    EXPECT_FALSE(std::filesystem::exists(remote + "/" + pageName(1)));
}

} // namespace
} // namespace kaviro
