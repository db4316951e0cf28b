#include "publish/sftpsession.h"
#include "publish/tcpsocket.h"

#include "tests/support/sshtestsupport.h"
#include "tests/support/testfiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <thread>

namespace kaviro {
namespace {

using namespace std::chrono_literals;
using test::readFile;

// The message of the SftpError that action raises; empty when none.
template<typename Action>
std::string failure(Action action)
{
    try {
        action();
    } catch (const SftpError &e) {
        return e.what();
    }
    return {};
}

class SftpSessionTest : public test::SshServerTest {
protected:
    SftpAccount account() const
    {
        SftpAccount a;
        a.host = "127.0.0.1";
        a.port = server->port();
        a.user = server->user();
        a.sshDir = server->clientSshDir();
        return a;
    }

    test::TempDir local;
};

void checkPasswordLogin(const test::SshServer &server, const test::PasswordAccount &user)
{
    const test::TempDir sshDir; // no key to fall back on
    std::filesystem::copy_file(server.clientSshDir() + "/known_hosts", sshDir.file("known_hosts"));
    SftpAccount a;
    a.host = "127.0.0.1";
    a.port = server.port();
    a.sshDir = sshDir.path();
    a.user = user.name();

    a.password = user.password() + "x";
    SftpSession session;
    const std::string message = failure([&] { session.connect(a); });
    EXPECT_EQ(message, "Anmeldung als \"" + user.name() + "\" fehlgeschlagen: Benutzername oder Passwort falsch.");
    EXPECT_EQ(message.find(a.password), std::string::npos);

    a.password = user.password();
    EXPECT_EQ(failure([&] { session.connect(a); }), "");
    EXPECT_TRUE(session.isConnected());
}

std::string allBytes(std::size_t repeat)
{
    std::string bytes;
    for (std::size_t r = 0; r < repeat; ++r) {
        for (int b = 0; b < 256; ++b)
            bytes += char(b);
        bytes += "Zeile\r\n";
    }
    return bytes;
}

TEST_F(SftpSessionTest, StoredFilesArriveByteIdenticalAndRenameReplaces)
{
    const std::string remote = server->uploadDir();
    test::writeFile(remote + "/liste.html", "alte Seite");
    const struct {
        std::string name;
        std::string bytes;
    } pages[] = {
        {"leer.html", ""},
        {"liste.html", "<p>M\xfcnchen \x80 5</p>\r\n"},
        // Several write requests, the last one short.
        {"gross.html", allBytes(9000)},
    };

    SftpSession session;
    session.connect(account());
    session.changeDirectory(remote + "/");
    for (const auto &page : pages) {
        std::int64_t lastSent = -1, lastSize = -1;
        session.uploadFile(local.write(page.name, page.bytes), ".kaviro-upload." + page.name,
                           [&](std::int64_t sent, std::int64_t size) {
                               EXPECT_GE(sent, lastSent);
                               lastSent = sent;
                               lastSize = size;
                           });
        EXPECT_EQ(lastSent, std::int64_t(page.bytes.size())) << page.name;
        EXPECT_EQ(lastSize, std::int64_t(page.bytes.size())) << page.name;
        session.rename(".kaviro-upload." + page.name, page.name);
    }
    session.remove("leer.html");
    // A rename that fails leaves the page in place.
    EXPECT_EQ(failure([&] { session.rename("fehlt.html", "liste.html"); }),
              "Kann \"fehlt.html\" nicht in \"liste.html\" umbenennen: nicht gefunden");
    session.close();

    for (const auto &page : pages) {
        if (page.name != "leer.html") {
            EXPECT_EQ(readFile(remote + "/" + page.name), page.bytes) << page.name;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(remote + "/leer.html"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(remote), {}), 2);
}

TEST_F(SftpSessionTest, FolderThatIsNoneFails)
{
    test::writeFile(server->uploadDir() + "/datei", "x");
    const struct {
        std::string folder;
        std::string message;
    } cases[] = {
        {server->uploadDir() + "/fehlt", "Das Verzeichnis \"" + server->uploadDir() + "/fehlt\" gibt es auf dem Server nicht."},
        {server->uploadDir() + "/datei", "\"" + server->uploadDir() + "/datei\" ist auf dem Server kein Verzeichnis."},
    };
    for (const auto &c : cases) {
        SftpSession session;
        session.connect(account());
        EXPECT_EQ(failure([&] { session.changeDirectory(c.folder); }), c.message);
        // The session stays usable after the refusal.
        EXPECT_EQ(failure([&] { session.changeDirectory(server->uploadDir()); }), "");
    }
}

TEST_F(SftpSessionTest, HostKeyMustBeKnownOrTrusted)
{
    using Problem = SftpHostKeyError::Problem;
    enum class KnownHosts { None, Served, Other };
    const struct {
        KnownHosts knownHosts;
        std::string trusted;
        bool accepted;
        Problem problem;
    } cases[] = {
        {KnownHosts::Served, "", true, {}},
        {KnownHosts::None, "", false, Problem::Unknown},
        {KnownHosts::Other, "", false, Problem::Changed},
        // A trusted fingerprint replaces known_hosts, in either direction.
        {KnownHosts::None, server->servedFingerprint(), true, {}},
        {KnownHosts::Other, server->servedFingerprint(), true, {}},
        {KnownHosts::Served, server->otherFingerprint(), false, Problem::Changed},
    };
    for (const auto &c : cases) {
        std::filesystem::remove(server->clientSshDir() + "/known_hosts");
        if (c.knownHosts == KnownHosts::Served)
            server->trustServedKey();
        if (c.knownHosts == KnownHosts::Other)
            server->trustOtherKey();
        SftpAccount a = account();
        a.trustedHostKey = c.trusted;
        SftpSession session;
        try {
            session.connect(a);
            EXPECT_TRUE(c.accepted) << "accepted wrongly, case " << &c - cases;
            EXPECT_TRUE(session.isConnected());
        } catch (const SftpHostKeyError &e) {
            EXPECT_FALSE(c.accepted) << e.what();
            EXPECT_EQ(e.problem(), c.problem) << e.what();
            EXPECT_EQ(e.fingerprint(), server->servedFingerprint());
            EXPECT_NE(std::string(e.what()).find(server->servedFingerprint()), std::string::npos) << e.what();
            EXPECT_FALSE(session.isConnected());
        }
    }
}

TEST_F(SftpSessionTest, TrustedFingerprintMayLackPrefixOrCarryPadding)
{
    const std::string fingerprint = server->servedFingerprint();
    for (const std::string &written : {fingerprint.substr(7), fingerprint + "=", " " + fingerprint + " "}) {
        std::filesystem::remove(server->clientSshDir() + "/known_hosts");
        SftpAccount a = account();
        a.trustedHostKey = written;
        SftpSession session;
        EXPECT_EQ(failure([&] { session.connect(a); }), "") << written;
    }
}

TEST_F(SftpSessionTest, LoginFailuresSayWhy)
{
    SftpAccount withoutKey = account();
    withoutKey.sshDir = local.path(); // known_hosts but no key
    server->trustServedKey();
    std::filesystem::copy_file(server->clientSshDir() + "/known_hosts", local.file("known_hosts"));
    SftpSession session;
    EXPECT_EQ(failure([&] { session.connect(withoutKey); }),
              "Anmeldung als \"" + server->user()
                  + "\" fehlgeschlagen: Kein Passwort eingetragen, und der Server nimmt keinen der Schl\xfcssel an"
                    " (SSH-Agent, ~/.ssh/id_ed25519, id_ecdsa, id_rsa).");
}

// Plain password authentication, and keyboard-interactive through PAM for
// servers that take passwords only that way.
TEST_F(SftpSessionTest, PasswordLogin)
{
    const test::PasswordAccount user;
    if (!user.available())
        GTEST_SKIP() << "a password account needs root";
    checkPasswordLogin(*server, user);
    const test::SshServer interactive(test::SshServer::PasswordMethod::KeyboardInteractive);
    ASSERT_TRUE(interactive.available()) << interactive.whyUnavailable();
    interactive.trustServedKey();
    checkPasswordLogin(interactive, user);
}
TEST_F(SftpSessionTest, ServerThatIsNotThereFails)
{
    const struct {
        std::string host;
        int port;
        std::string message;
    } cases[] = {
        // The fixture's port after a free one: nothing listens there.
        {"127.0.0.1", 1, "Keine Verbindung zum SFTP-Server \"127.0.0.1\" Port 1 (Verbindung abgelehnt)"},
        {"kaviro-test.invalid", 22, "SFTP-Server \"kaviro-test.invalid\" nicht gefunden"},
    };
    for (const auto &c : cases) {
        SftpAccount a = account();
        a.host = c.host;
        a.port = c.port;
        SftpSession session;
        EXPECT_EQ(failure([&] { session.connect(a); }), c.message);
    }
}

// A server that stops answering in the middle of a file: the idle bound or
// a cancel from the event pump ends the wait, and closing returns at once.
TEST_F(SftpSessionTest, StalledTransferEndsByCancelOrIdleBound)
{
    const std::string big = local.write("gross.html", std::string(64 << 20, 'x'));
    for (const bool byCancel : {true, false}) {
        SftpSession session;
        session.connect(account());
        session.changeDirectory(server->uploadDir());
        session.setIdleTimeOut(byCancel ? 60s : 300ms);
        bool paused = false;
        std::chrono::steady_clock::time_point pausedAt;
        const auto pauseOnce = [&](std::int64_t sent, std::int64_t) {
            if (!paused && sent > 0) {
                server->pause();
                paused = true;
                pausedAt = std::chrono::steady_clock::now();
            }
        };
        struct PumpGuard {
            explicit PumpGuard(EventPump pump) { setEventPump(std::move(pump)); }
            ~PumpGuard() { setEventPump({}); }
        } pump([&] {
            if (byCancel && paused && std::chrono::steady_clock::now() - pausedAt > 300ms)
                session.cancel();
        });

        const std::string message = failure([&] { session.uploadFile(big, "gross.html", pauseOnce); });
        const auto ended = std::chrono::steady_clock::now();
        EXPECT_TRUE(paused);
        EXPECT_EQ(message, byCancel ? SftpSession::cancelledText : SftpSession::timeOutText);
        EXPECT_LT(ended - pausedAt, 2s);
        EXPECT_FALSE(session.isConnected());
        session.close();
        EXPECT_LT(std::chrono::steady_clock::now() - ended, 500ms);
        server->resume();
    }
}

} // namespace
} // namespace kaviro
