#include "publish/uploader.h"
#include "tests/support/ftptestsupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace kaviro {
namespace {

using test::ScriptedServer;
using test::startsWith;
using test::StoredFile;
using test::TempDir;
using Lines = std::vector<std::string>;

const std::string &connecting = Uploader::connectingText;
const std::string &changing = Uploader::changingDirectoryText;
const std::string &sending = Uploader::sendingText;

// Pages in a temporary folder named as the page generator names them, and
// the record of one upload.
struct UploadRun {
    TempDir dir;
    std::vector<std::string> pages;
    Lines statuses;
    Lines errors;
    struct Progress {
        std::int32_t page;
        std::int64_t sent, size;
    };
    std::vector<Progress> progress;

    explicit UploadRun(int pageCount)
    {
        for (int n = 1; n <= pageCount; ++n)
            pages.push_back("<html>\r\nSeite " + std::to_string(n) + ": Miete 450 \x80\r\n</html>\r\n");
        for (std::size_t i = 0; i < pages.size(); ++i)
            dir.write(name(static_cast<std::int32_t>(i + 1)), pages[i]);
    }

    static std::string name(std::int32_t n) { return n == 1 ? "wohnungen.html" : "wohnungen" + std::to_string(n) + ".html"; }
    std::string pageFileName(std::int32_t n) const { return dir.path() + "/" + name(n); }

    void attach(Uploader &uploader)
    {
        uploader.setStatusHandler([this](const std::string &text) { statuses.push_back(text); });
        uploader.setErrorHandler([this](const std::string &message) { errors.push_back(message); });
        uploader.setProgressHandler([this](std::int32_t page, std::int64_t sent, std::int64_t size) {
            progress.push_back({page, sent, size});
        });
    }

    UploadFiles files(std::int32_t pageCount) const
    {
        UploadFiles files{dir.path(), {}};
        for (std::int32_t n = 1; n <= pageCount; ++n)
            files.names.push_back(name(n));
        return files;
    }

    bool upload(Uploader &uploader, const Settings &settings, std::int32_t pageCount)
    {
        attach(uploader);
        return uploader.upload(settings, files(pageCount));
    }
};

Settings settingsFor(const ScriptedServer &server)
{
    Settings s;
    s.ftpServer = "127.0.0.1";
    s.ftpPort = server.port();
    s.ftpUser = "anna";
    s.ftpPassword = "geheim";
    s.ftpPath = "/www";
    // The conversation of active, plain FTP; passive and TLS have tests of
    // their own.
    s.passive = false;
    s.encryption = FtpEncryption::None;
    return s;
}

Lines storeLines(const std::vector<std::string> &names)
{
    Lines lines;
    for (const std::string &name : names) {
        lines.push_back("PORT 127,0,0,1,*,*");
        lines.push_back("STOR .kaviro-upload." + name);
        lines.push_back("RNFR .kaviro-upload." + name);
        lines.push_back("RNTO " + name);
    }
    return lines;
}

Lines concat(Lines a, const Lines &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(Uploader, SendsEveryPageInOrderAndReportsEachStep)
{
    UploadRun run(3);
    ScriptedServer server(ScriptedServer::ftp());
    Uploader uploader;
    EXPECT_TRUE(run.upload(uploader, settingsFor(server), 3));
    server.finish();

    EXPECT_EQ(run.statuses, (Lines{connecting, changing, sending}));
    EXPECT_TRUE(run.errors.empty());
    EXPECT_EQ(server.conversation(),
              concat(concat({"USER anna", "PASS geheim", "TYPE I", "CWD /www"},
                            storeLines({"wohnungen.html", "wohnungen2.html", "wohnungen3.html"})),
                     {"QUIT"}));
    EXPECT_EQ(server.stored(), (std::vector<StoredFile>{{"wohnungen.html", run.pages[0]},
                                                        {"wohnungen2.html", run.pages[1]},
                                                        {"wohnungen3.html", run.pages[2]}}));
    // Each page's progress runs up to its own size.
    ASSERT_FALSE(run.progress.empty());
    for (std::int32_t page = 1; page <= 3; ++page) {
        const UploadRun::Progress *last = nullptr;
        for (const UploadRun::Progress &p : run.progress)
            if (p.page == page)
                last = &p;
        ASSERT_NE(last, nullptr) << page;
        EXPECT_EQ(last->sent, static_cast<std::int64_t>(run.pages[page - 1].size()));
        EXPECT_EQ(last->size, last->sent);
    }
}

TEST(Uploader, NoPagesStillLogsInAndChangesTheFolder)
{
    UploadRun run(0);
    ScriptedServer server(ScriptedServer::ftp());
    Uploader uploader;
    Settings settings = settingsFor(server);
    settings.ftpPath.clear();
    EXPECT_TRUE(run.upload(uploader, settings, 0));
    server.finish();
    EXPECT_EQ(run.statuses, (Lines{connecting, changing, sending}));
    EXPECT_EQ(server.lines(), (Lines{"USER anna", "PASS geheim", "TYPE I", "CWD ", "QUIT"}));
}

TEST(Uploader, FailingStepIsReportedAndTheRestSkipped)
{
    struct Case {
        const char *what;
        ScriptedServer::Handler handler;
        std::string server; // empty: the scripted one
        int deletedPage;    // 0: none
        Lines statuses;
        std::string error;  // "@" stands for the folder of the pages
        Lines lines;
    };
    const auto refuse = [](const std::string &prefix, const std::string &reply) {
        return [prefix, reply](ScriptedServer::Session &s, const std::string &line) {
            if (!startsWith(line, prefix))
                return false;
            s.reply(reply);
            return true;
        };
    };
    const std::vector<Case> cases = {
        {"unknown server", {}, "kaviro-gibt-es-nicht.invalid", 0,
         {connecting, Uploader::connectFailedText}, "Null Externe Adresse", {}},
        {"refused login", refuse("PASS ", "530 Login incorrect."), "", 0,
         {connecting, Uploader::connectFailedText}, "530 Login incorrect.\r\n",
         {"USER anna", "PASS geheim", "QUIT"}},
        {"refused folder", refuse("CWD ", "550 Failed to change directory."), "", 0,
         {connecting, changing, Uploader::changeDirectoryFailedText}, "550 Failed to change directory.\r\n",
         {"USER anna", "PASS geheim", "TYPE I", "CWD /www", "QUIT"}},
        {"page 3 of 5 refused", refuse("STOR .kaviro-upload.wohnungen3.html", "550 Permission denied."), "", 0,
         {connecting, changing, sending, Uploader::sendFailedText}, "550 Permission denied.\r\n",
         concat(concat({"USER anna", "PASS geheim", "TYPE I", "CWD /www"},
                       storeLines({"wohnungen.html", "wohnungen2.html"})),
                {"PORT 127,0,0,1,*,*", "STOR .kaviro-upload.wohnungen3.html",
                 "DELE .kaviro-upload.wohnungen3.html", "QUIT"})},
        {"page file deleted", {}, "", 2,
         {connecting, changing, sending, Uploader::sendFailedText},
         "Datei @/wohnungen2.html kann nicht ge\xf6" "ffnet werden",
         concat(concat({"USER anna", "PASS geheim", "TYPE I", "CWD /www"}, storeLines({"wohnungen.html"})),
                {"QUIT"})},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        UploadRun run(5);
        if (c.deletedPage != 0)
            std::remove(run.pageFileName(c.deletedPage).c_str());
        ScriptedServer server(ScriptedServer::ftp(c.handler));
        Settings settings = settingsFor(server);
        if (!c.server.empty())
            settings.ftpServer = c.server;
        Uploader uploader;
        EXPECT_FALSE(run.upload(uploader, settings, 5));
        if (c.server.empty())
            server.finish();
        EXPECT_EQ(run.statuses, c.statuses);
        std::string error = c.error;
        if (const std::size_t at = error.find('@'); at != std::string::npos)
            error.replace(at, 1, run.dir.path());
        EXPECT_EQ(run.errors, Lines{error});
        EXPECT_EQ(server.conversation(), c.lines);
        // Pages before the failing one stay stored; none after it is sent.
        for (const StoredFile &file : server.stored())
            EXPECT_TRUE(file.name == "wohnungen.html" || file.name == "wohnungen2.html") << file.name;
    }
}

TEST(Uploader, PageTheServerDidNotStoreFailsTheUploadAndTravelsAgain)
{
    UploadRun run(3);
    // The first session's quota runs out at page 2; the second one's not.
    int session = 0;
    ScriptedServer server(ScriptedServer::ftp([&](ScriptedServer::Session &s, const std::string &line) {
        if (startsWith(line, "USER "))
            ++session;
        if (line != "STOR .kaviro-upload.wohnungen2.html" || session > 1)
            return false;
        s.reply("150 Los");
        s.storeData(line);
        s.reply("552 Disk quota exceeded; file removed");
        return true;
    }), 2);
    Uploader uploader;
    EXPECT_FALSE(run.upload(uploader, settingsFor(server), 3));
    EXPECT_EQ(run.statuses, (Lines{connecting, changing, sending, Uploader::pageNotStoredText("wohnungen2.html")}));
    EXPECT_EQ(run.errors, Lines{"552 Disk quota exceeded; file removed\r\n"});
    EXPECT_EQ(uploader.lastResult().filesSent, 1);
    // The half page is deleted, page 3 never sent.
    EXPECT_EQ(server.stored(), (std::vector<StoredFile>{{"wohnungen.html", run.pages[0]}}));
    EXPECT_EQ(server.conversation().back(), "QUIT");
    EXPECT_EQ(server.conversation().end()[-2], "DELE .kaviro-upload.wohnungen2.html");

    // The next upload sends what did not arrive; page 1 is known unchanged.
    EXPECT_TRUE(run.upload(uploader, settingsFor(server), 3));
    server.finish();
    EXPECT_EQ(uploader.lastResult().filesSent, 2);
    EXPECT_EQ(uploader.lastResult().filesUnchanged, 1);
    EXPECT_EQ(Uploader::summaryText(uploader.lastResult()), "2 Dateien \xfc" "bertragen, 1 unver\xe4" "ndert.");
    EXPECT_EQ(server.stored().size(), 3u);
}

TEST(Uploader, RequiredEncryptionFailsTheConnectStepWithoutTls)
{
    UploadRun run(1);
    ScriptedServer server(ScriptedServer::ftp());
    Settings settings = settingsFor(server);
    settings.encryption = FtpEncryption::Required;
    Uploader uploader;
    EXPECT_FALSE(run.upload(uploader, settings, 1));
    server.finish();
    EXPECT_EQ(run.statuses, (Lines{connecting, Uploader::connectFailedText}));
    EXPECT_EQ(run.errors, Lines{"Der Server bietet keine verschl\xfc" "sselte Verbindung an (AUTH TLS): 500 Unbekannt"});
    EXPECT_EQ(server.lines(), (Lines{"AUTH TLS", "QUIT"}));
}

TEST(Uploader, FailingQuitIsNotCaught)
{
    UploadRun run(1);
    ScriptedServer server(ScriptedServer::ftp([](ScriptedServer::Session &s, const std::string &line) {
        if (line != "QUIT")
            return false;
        s.reply("500 Nicht jetzt");
        return true;
    }));
    Uploader uploader;
    try {
        run.upload(uploader, settingsFor(server), 1);
        ADD_FAILURE() << "kein Fehler";
    } catch (const FtpError &e) {
        EXPECT_STREQ(e.what(), "500 Nicht jetzt\r\n");
    }
    EXPECT_EQ(run.statuses, (Lines{connecting, changing, sending}));
    EXPECT_FALSE(uploader.isRunning());
    EXPECT_FALSE(uploader.client().isConnected());
}

TEST(Uploader, ProxySettingIsTakenAfreshForEachUpload)
{
    ScriptedServer proxy(ScriptedServer::ftp());
    ScriptedServer direct(ScriptedServer::ftp());
    Settings settings = settingsFor(direct);
    settings.useProxy = true;
    settings.proxyServer = "127.0.0.1";
    settings.proxyPort = proxy.port();
    Uploader uploader;
    UploadRun first(0);
    EXPECT_TRUE(first.upload(uploader, settings, 0));
    settings.useProxy = false;
    UploadRun second(0);
    EXPECT_TRUE(second.upload(uploader, settings, 0));
    proxy.finish();
    direct.finish();
    // Through the proxy the FTP port goes unused and the proxy learns the
    // server from the USER line.
    EXPECT_EQ(proxy.lines(), (Lines{"USER anna@127.0.0.1", "PASS geheim", "TYPE I", "CWD /www", "QUIT"}));
    EXPECT_EQ(direct.lines(), (Lines{"USER anna", "PASS geheim", "TYPE I", "CWD /www", "QUIT"}));
}

TEST(Uploader, CancelEndsAtOnceWithQuitAndNoHalfPage)
{
    // Cancelled while connecting: nothing reaches the server; during page 1:
    // its data connection ends, the page stays under its temporary name.
    struct Case {
        bool duringTransfer;
        Lines statuses;
        Lines lines;
    };
    const std::vector<Case> cases = {
        {false, {connecting, Uploader::cancelledText}, {}},
        {true, {connecting, changing, sending, Uploader::cancelledText},
         {"USER anna", "PASS geheim", "TYPE I", "CWD /www", "PORT 127,0,0,1,*,*",
          "STOR .kaviro-upload.wohnungen.html", "QUIT"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.duringTransfer);
        UploadRun run(3);
        ScriptedServer server(ScriptedServer::ftp());
        Uploader uploader;
        run.attach(uploader);
        if (c.duringTransfer)
            uploader.setProgressHandler([&](std::int32_t, std::int64_t, std::int64_t) { uploader.cancel(); });
        else
            uploader.setStatusHandler([&](const std::string &text) {
                run.statuses.push_back(text);
                if (text == connecting)
                    uploader.cancel();
            });
        EXPECT_FALSE(uploader.upload(settingsFor(server), run.files(3)));
        server.finish();
        EXPECT_TRUE(uploader.lastResult().cancelled);
        EXPECT_EQ(uploader.lastResult().filesSent, 0);
        EXPECT_EQ(run.statuses, c.statuses);
        EXPECT_TRUE(run.errors.empty());
        EXPECT_EQ(server.conversation(), c.lines);
        for (const StoredFile &file : server.stored())
            EXPECT_EQ(file.name, ".kaviro-upload.wohnungen.html");
    }
}

TEST(Uploader, CancelFromAnotherThreadEndsAStalledWait)
{
    // The server takes the second page's data and then says nothing.
    UploadRun run(2);
    ScriptedServer server(ScriptedServer::ftp([](ScriptedServer::Session &s, const std::string &line) {
        if (line != "STOR .kaviro-upload.wohnungen2.html")
            return false;
        s.reply("150 Los");
        s.storeData(line);
        s.holdOpen();
        return true;
    }));
    Uploader uploader;
    run.attach(uploader);
    std::atomic<std::int32_t> sendingPage{0};
    uploader.setProgressHandler([&](std::int32_t page, std::int64_t, std::int64_t) { sendingPage = page; });
    std::thread canceller([&] {
        while (sendingPage < 2)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        uploader.cancel();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(uploader.upload(settingsFor(server), run.files(2)));
    const auto took = std::chrono::steady_clock::now() - start;
    canceller.join();
    EXPECT_LT(took, std::chrono::seconds(2));
    EXPECT_EQ(run.statuses.back(), Uploader::cancelledText);
    EXPECT_EQ(uploader.lastResult().filesSent, 1);
}

TEST(Uploader, RefusesToStartWhileRunning)
{
    UploadRun run(0);
    ScriptedServer server(ScriptedServer::ftp());
    Uploader uploader;
    std::string nested;
    uploader.setStatusHandler([&](const std::string &text) {
        if (text != connecting)
            return;
        try {
            uploader.upload(settingsFor(server), run.files(0));
        } catch (const Error &e) {
            nested = e.what();
        }
    });
    EXPECT_TRUE(uploader.upload(settingsFor(server), run.files(0)));
    EXPECT_EQ(nested, "Es l\xe4" "uft bereits eine \xdc" "bertragung");
}

} // namespace
} // namespace kaviro
