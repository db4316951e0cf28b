#include "publish/datachannel.h"
#include "publish/ftpclient.h"
#include "tests/support/ftptestsupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include <sys/socket.h>
#include <unistd.h>

namespace kaviro {
namespace {

using test::ScriptedServer;
using test::startsWith;
using test::StoredFile;
using test::TempDir;
using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

template <typename F>
std::string failure(F &&statement)
{
    return test::failureOf(statement);
}

template <typename F>
std::string ftpFailure(F &&statement)
{
    return test::failureOf<FtpError>(statement);
}

void pointAt(FtpClient &client, const ScriptedServer &server)
{
    client.setHost("127.0.0.1");
    client.setPort(server.port());
    client.setUserId("anna");
    client.setPassword("geheim");
}

const std::string silentText = "Zeit\xfc" "berschreitung: keine Antwort vom Server";

TEST(FtpClient, SessionStoresEveryFileOverItsOwnDataConnection)
{
    TempDir dir;
    std::string big;
    for (int i = 0; i < 150000; ++i)
        big += static_cast<char>('a' + i % 26);
    const std::string page1 = "<html>\r\nMiete: 450 \x80\r\n</html>\r\n";
    const std::string pathA = dir.write("index.html", page1);
    const std::string pathB = dir.write("index2.html", big);
    const std::string pathEmpty = dir.write("leer.html", "");

    ScriptedServer server(ScriptedServer::ftp());
    FtpClient client;
    pointAt(client, server);
    struct Packet {
        std::int64_t size, sent, count;
    };
    std::vector<Packet> packets;
    client.setOnPacketSent([&](TcpSocket &sender) {
        packets.push_back({client.transferSize(), client.transferSent(), sender.sentCount()});
    });

    client.connect();
    client.connect(); // already connected: nothing is sent
    client.changeDirectory("/www/wohnungen");
    client.uploadFile(pathA, "index.html");
    ASSERT_FALSE(packets.empty());
    EXPECT_EQ(packets.back().sent, static_cast<std::int64_t>(page1.size()));

    packets.clear();
    client.uploadFile(pathB, ""); // the name comes from the path
    ASSERT_GE(packets.size(), 3u);
    EXPECT_EQ(packets.front().size, static_cast<std::int64_t>(big.size()));
    EXPECT_LE(packets.front().sent, 65536);
    EXPECT_EQ(packets.back().sent, static_cast<std::int64_t>(big.size()));
    EXPECT_EQ(packets.back().count, packets.back().sent) << "each file gets a fresh data socket";

    packets.clear();
    client.uploadFile(pathEmpty, "leer.html");
    EXPECT_TRUE(packets.empty());
    EXPECT_EQ(client.transferSize(), 0);
    client.disconnect();
    EXPECT_FALSE(client.isConnected());
    server.finish();

    EXPECT_EQ(server.conversation(),
              (Lines{"USER anna", "PASS geheim", "TYPE I", "CWD /www/wohnungen", "PORT 127,0,0,1,*,*",
                     "STOR index.html", "PORT 127,0,0,1,*,*", "STOR index2.html", "PORT 127,0,0,1,*,*",
                     "STOR leer.html", "QUIT"}));
    EXPECT_EQ(server.stored(),
              (std::vector<StoredFile>{{"index.html", page1}, {"index2.html", big}, {"leer.html", ""}}));
}

TEST(FtpClient, LoginFollowsTheRepliesAndTheContinuationRule)
{
    struct Case {
        const char *what;
        std::string greeting;
        std::string userReply; // empty: the server keeps quiet
        std::string passReply;
        std::string password;
        Lines lines;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"plain", "220 Bereit", "331 Passwort", "230 Ok", "geheim", {"USER anna", "PASS geheim", "TYPE I", "QUIT"}, ""},
        {"multi-line greeting", "220-Willkommen\r\n220-Zweite Zeile\r\n220 Bereit", "331 Passwort", "230 Ok",
         "geheim", {"USER anna", "PASS geheim", "TYPE I", "QUIT"}, ""},
        {"indented continuation", "220-Willkommen\r\n  eingerueckt\r\n220 Bereit", "331 Passwort", "230 Ok",
         "geheim", {"USER anna", "PASS geheim", "TYPE I", "QUIT"}, ""},
        // The reply ends at the plain line; its last line is then read as
        // the answer to USER.
        {"plain line ends the reply", "220-Hallo\r\nWelcome\r\n220 Bereit", "", "", "geheim",
         {"USER anna", "TYPE I", "QUIT"}, ""},
        {"230 after USER", "220 Bereit", "230 Schon angemeldet", "", "geheim", {"USER anna", "TYPE I", "QUIT"}, ""},
        {"332 after USER", "220 Bereit", "332 Konto noetig", "", "geheim", {"USER anna", "TYPE I", "QUIT"}, ""},
        {"empty password", "220 Bereit", "331 Passwort", "230 Ok", "", {"USER anna", "PASS ", "TYPE I", "QUIT"}, ""},
        {"user refused", "220 Bereit", "530 Unbekannt", "", "geheim", {"USER anna", "QUIT"}, "530 Unbekannt\r\n"},
        {"password refused", "220 Bereit", "331 Passwort", "530 Falsch", "geheim",
         {"USER anna", "PASS geheim", "QUIT"}, "530 Falsch\r\n"},
        {"code 400 at login passes", "220 Bereit", "400 Seltsam", "", "geheim", {"USER anna", "TYPE I", "QUIT"}, ""},
        {"greeting 400 passes", "400 Naja", "331 Passwort", "230 Ok", "geheim",
         {"USER anna", "PASS geheim", "TYPE I", "QUIT"}, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedServer server(ScriptedServer::ftp(
            [&](ScriptedServer::Session &s, const std::string &line) {
                if (startsWith(line, "USER ")) {
                    if (!c.userReply.empty())
                        s.reply(c.userReply);
                    return true;
                }
                if (startsWith(line, "PASS ")) {
                    s.reply(c.passReply);
                    return true;
                }
                return false;
            },
            c.greeting));
        FtpClient client;
        pointAt(client, server);
        client.setPassword(c.password);
        EXPECT_EQ(failure([&] { client.connect(); }), c.error.empty() ? "(kein Fehler)" : c.error);
        EXPECT_EQ(client.isConnected(), c.error.empty());
        client.disconnect();
        server.finish();
        EXPECT_EQ(server.lines(), c.lines);
    }
}

TEST(FtpClient, RefusingGreetingFailsAndClosesTheConnection)
{
    for (const bool serverCloses : {true, false}) {
        SCOPED_TRACE(serverCloses ? "server closes" : "server stays");
        ScriptedServer server(serverCloses ? ScriptedServer::Script([](ScriptedServer::Session &s) {
            s.reply("421 Zu viele Verbindungen");
            s.closeAndLinger();
        })
                                           : ScriptedServer::ftp({}, "421 Zu viele Verbindungen"));
        FtpClient client;
        pointAt(client, server);
        EXPECT_EQ(ftpFailure([&] { client.connect(); }), "421 Zu viele Verbindungen\r\n");
        EXPECT_FALSE(client.isConnected());
        client.disconnect(); // nothing left to do
        server.finish();
        EXPECT_EQ(server.lines(), serverCloses ? Lines{} : Lines{"QUIT"});
    }
}

TEST(FtpClient, ProxyIsToldTheServerByEachFirewallType)
{
    struct Case {
        FirewallType type;
        bool authenticate;
        Lines lines;
    };
    const std::vector<Case> cases = {
        {FirewallType::FtUser, false, {"USER anna@ftp.example.com", "PASS geheim", "TYPE I", "QUIT"}},
        {FirewallType::FtOpen, false, {"OPEN ftp.example.com", "USER anna", "PASS geheim", "TYPE I", "QUIT"}},
        {FirewallType::FtSite, false, {"SITE ftp.example.com", "USER anna", "PASS geheim", "TYPE I", "QUIT"}},
        {FirewallType::FtUser, true,
         {"USER wache", "PASS mauer", "USER anna@ftp.example.com", "PASS geheim", "TYPE I", "QUIT"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.type));
        ScriptedServer proxy(ScriptedServer::ftp());
        FtpClient client;
        client.setHost("ftp.example.com"); // never looked up or connected to
        client.setPort(1);
        client.setProxy("127.0.0.1");
        client.setProxyPort(proxy.port());
        client.setFirewallType(c.type);
        client.setFwAuthenticate(c.authenticate);
        client.setFwUserId("wache");
        client.setFwPassword("mauer");
        client.setUserId("anna");
        client.setPassword("geheim");
        client.connect();
        client.disconnect();
        proxy.finish();
        EXPECT_EQ(proxy.lines(), c.lines);
    }
}

TEST(FtpClient, ProxyRefusingTheUserFailsOnlyTheNextCommand)
{
    ScriptedServer proxy(ScriptedServer::ftp([](ScriptedServer::Session &s, const std::string &line) {
        if (startsWith(line, "USER "))
            s.reply("530 Unbekannter Server");
        else if (startsWith(line, "CWD "))
            s.reply("530 Bitte anmelden");
        else
            return false;
        return true;
    }));
    FtpClient client;
    client.setHost("ftp.example.com");
    client.setProxy("127.0.0.1");
    client.setProxyPort(proxy.port());
    client.setUserId("anna");
    client.connect();
    EXPECT_EQ(ftpFailure([&] { client.changeDirectory("/www"); }), "530 Bitte anmelden\r\n");
    client.disconnect();
    proxy.finish();
    EXPECT_EQ(proxy.lines(), (Lines{"USER anna@ftp.example.com", "TYPE I", "CWD /www", "QUIT"}));
}

TEST(FtpClient, EachStepFailsOnItsOwnRangeOfCodes)
{
    struct Case {
        std::string verb;
        std::string reply;
        bool fails;
    };
    const std::vector<Case> cases = {
        {"CWD", "250 Ok", false},   {"CWD", "399 Naja", false},   {"CWD", "400 Nein", true},
        {"CWD", "550 Fehlt", true}, {"CWD", "600 Seltsam", false}, {"CWD", "Hallo", false},
        // 66066 would wrap to 530 in 16 bits; held at 32767 it is no failure.
        {"CWD", "66066 Riesig", false},
        {"PORT", "300 Naja", false}, {"PORT", "301 Nein", true},  {"PORT", "501 Falsch", true},
        {"STOR", "125 Los", false}, {"STOR", "550 Verboten", true},
    };
    TempDir dir;
    const std::string page = dir.write("seite.html", "<p>Seite</p>");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.verb + " " + c.reply);
        ScriptedServer server(ScriptedServer::ftp([&](ScriptedServer::Session &s, const std::string &line) {
            if (!startsWith(line, c.verb + " "))
                return false;
            s.reply(c.reply);
            if (c.verb == "STOR" && !c.fails) {
                s.storeData(line);
                s.reply("226 Fertig");
            }
            return true;
        }));
        FtpClient client;
        pointAt(client, server);
        client.connect();
        const std::string error = ftpFailure([&] {
            if (c.verb == "CWD")
                client.changeDirectory("");
            else
                client.uploadFile(page, "seite.html");
        });
        EXPECT_EQ(error, c.fails ? c.reply + "\r\n" : "(kein Fehler)");
        client.disconnect();
    }
}

TEST(FtpClient, EmptyDirectoryIsSentAsCwdAndOneBlank)
{
    ScriptedServer server(ScriptedServer::ftp());
    FtpClient client;
    pointAt(client, server);
    client.connect();
    client.changeDirectory("");
    client.disconnect();
    server.finish();
    EXPECT_EQ(server.lines(), (Lines{"USER anna", "PASS geheim", "TYPE I", "CWD ", "QUIT"}));
}

TEST(FtpClient, RefusedStoreAcceptsNoDataConnection)
{
    TempDir dir;
    const std::string page = dir.write("seite.html", "<p>Seite</p>");
    bool portOpenAtQuit = true;
    ScriptedServer server(ScriptedServer::ftp([&](ScriptedServer::Session &s, const std::string &line) {
        if (startsWith(line, "STOR "))
            s.reply("553 Dateiname nicht erlaubt");
        else if (line == "QUIT")
            portOpenAtQuit = s.dataPortOpen();
        else
            return false;
        return line != "QUIT";
    }));
    FtpClient client;
    pointAt(client, server);
    client.connect();
    EXPECT_EQ(ftpFailure([&] { client.uploadFile(page, "seite.html"); }), "553 Dateiname nicht erlaubt\r\n");
    client.disconnect();
    server.finish();
    EXPECT_FALSE(portOpenAtQuit) << "the listening socket is closed";
    EXPECT_TRUE(server.stored().empty());
}

TEST(FtpClient, OnlyA226Or250AfterTheDataCountsAsStored)
{
    TempDir dir;
    const std::string page = dir.write("seite.html", "<p>Seite</p>");
    const struct {
        std::string closing;
        std::string error;
    } cases[] = {
        {"226-Statistik\r\n226 Fertig", "(kein Fehler)"},
        {"250 Gespeichert", "(kein Fehler)"},
        {"452 Platte voll", "452 Platte voll\r\n"},
        {"552 Disk quota exceeded; file removed", "552 Disk quota exceeded; file removed\r\n"},
        {"426 Transfer aborted", "426 Transfer aborted\r\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.closing);
        ScriptedServer server(ScriptedServer::ftp([&](ScriptedServer::Session &s, const std::string &line) {
            if (!startsWith(line, "STOR "))
                return false;
            s.reply("150 Los");
            s.storeData(line);
            s.reply(c.closing);
            return true;
        }));
        FtpClient client;
        pointAt(client, server);
        client.connect();
        EXPECT_EQ(test::failureOf<StoreRefused>([&] { client.uploadFile(page, "a.html"); }), c.error);
        // The session goes on: the next file uses a fresh data connection.
        EXPECT_EQ(failure([&] { client.uploadFile(page, "b.html"); }), c.error);
        client.disconnect();
        server.finish();
        EXPECT_EQ(server.stored().size(), 2u);
    }
}

TEST(FtpClient, LateClosingReplyLeavesItsFurtherLinesForTheNextCommand)
{
    TempDir dir;
    const std::string page = dir.write("seite.html", "<p>Seite</p>");
    ScriptedServer server(ScriptedServer::ftp([&](ScriptedServer::Session &s, const std::string &line) {
        if (!startsWith(line, "STOR "))
            return false;
        s.reply("150 Los");
        s.storeData(line);
        s.pause(300);
        s.reply("226-Spaet\r\n226 Fertig");
        return true;
    }));
    FtpClient client;
    pointAt(client, server);
    client.setTimeOut(100);
    client.connect();
    client.uploadFile(page, "seite.html");
    EXPECT_TRUE(client.timedOut());
    // The leftover "226 Fertig" is dropped, not taken for the CWD reply.
    client.changeDirectory("/www");
    EXPECT_EQ(client.replyCode(), 250);
    client.disconnect();
}

TEST(FtpClient, StoreReplySlowerThanTimeOutCancelsTheDataConnection)
{
    TempDir dir;
    const std::string page = dir.write("seite.html", "<p>Seite</p>");
    ScriptedServer server(ScriptedServer::ftp([&](ScriptedServer::Session &s, const std::string &line) {
        if (!startsWith(line, "STOR "))
            return false;
        s.pause(300);
        s.reply("150 Los");
        s.storeData(line);
        return true;
    }));
    FtpClient client;
    pointAt(client, server);
    client.setTimeOut(100);
    client.connect();
    try {
        client.uploadFile(page, "seite.html");
        ADD_FAILURE() << "kein Fehler";
    } catch (const SocketError &e) {
        EXPECT_STREQ(e.what(), "Annahme abgebrochen");
    }
    client.disconnect();
}

TEST(FtpClient, RefusedQuitClosesFirstThenFails)
{
    ScriptedServer server(ScriptedServer::ftp([](ScriptedServer::Session &s, const std::string &line) {
        if (line != "QUIT")
            return false;
        s.reply("500 Nicht jetzt");
        s.holdOpen();
        return true;
    }));
    FtpClient client;
    pointAt(client, server);
    client.connect();
    EXPECT_EQ(ftpFailure([&] { client.disconnect(); }), "500 Nicht jetzt\r\n");
    EXPECT_FALSE(client.isConnected());
    server.finish(); // ends only because the client closed
}

TEST(FtpClient, SilentServerEndsEachStepWithinTheBound)
{
    TempDir dir;
    const std::string page = dir.write("seite.html", "<p>Seite</p>");
    // Where the server stops answering: greeting, a login reply, the CWD
    // reply, the closing reply of a store.
    for (const std::string where : {"greeting", "USER", "CWD", "226"}) {
        SCOPED_TRACE(where);
        const auto handler = [&](ScriptedServer::Session &s, const std::string &line) {
            if (startsWith(line, where + " ") || line == "QUIT")
                return true; // no answer
            if (where == "226" && startsWith(line, "STOR ")) {
                s.reply("150 Los");
                s.storeData(line);
                return true;
            }
            return false;
        };
        ScriptedServer server(where == "greeting"
                                  ? ScriptedServer::Script([](ScriptedServer::Session &s) { s.holdOpen(); })
                                  : ScriptedServer::ftp(handler));
        FtpClient client;
        pointAt(client, server);
        client.setTimeOut(5000);
        client.setIdleTimeOut(200ms);
        const std::string error = failure([&] {
            client.connect();
            client.changeDirectory("/www");
            client.uploadFile(page, "seite.html");
        });
        EXPECT_EQ(error, silentText);
        // QUIT gets no answer either; the failure escapes but the socket is
        // closed.
        const std::string quitError = failure([&] { client.disconnect(); });
        EXPECT_TRUE(quitError == silentText || quitError == "(kein Fehler)") << quitError;
        EXPECT_FALSE(client.isConnected());
    }
}

TEST(FtpClient, ServerClosingInsteadOfAnsweringIsAFailure)
{
    ScriptedServer server(ScriptedServer::ftp([](ScriptedServer::Session &s, const std::string &line) {
        if (!startsWith(line, "CWD "))
            return false;
        s.closeAndLinger();
        return true;
    }));
    FtpClient client;
    pointAt(client, server);
    client.connect();
    EXPECT_EQ(failure([&] { client.changeDirectory("/www"); }), "Verbindung vom Server geschlossen");
    EXPECT_EQ(failure([&] { client.uploadFile("/etc/hostname", "x"); }), "Nicht verbunden");
    EXPECT_EQ(failure([&] { client.changeDirectory("/www"); }), "Nicht verbunden");
    client.disconnect(); // not connected: nothing happens
}

TEST(FtpClient, LocalProblemsFailBeforeAnythingIsSent)
{
    TempDir dir;
    ScriptedServer server(ScriptedServer::ftp());
    FtpClient client;
    pointAt(client, server);
    client.connect();
    EXPECT_EQ(failure([&] { client.uploadFile(dir.path() + "/gel\xf6scht.html", "x.html"); }),
              "Datei " + dir.path() + "/gel\xf6scht.html kann nicht ge\xf6" "ffnet werden");
    // A folder opens on POSIX, yet it is no file to send.
    EXPECT_EQ(failure([&] { client.uploadFile(dir.path(), "x.html"); }),
              "Datei " + dir.path() + " kann nicht ge\xf6" "ffnet werden");
    // A line break would smuggle in a second command.
    EXPECT_EQ(failure([&] { client.changeDirectory("/www\r\nDELE index.html"); }),
              "FTP-Befehl mit Zeilenumbruch wird nicht gesendet");
    client.changeDirectory("/www");
    client.disconnect();
    server.finish();
    EXPECT_EQ(server.lines(), (Lines{"USER anna", "PASS geheim", "TYPE I", "CWD /www", "QUIT"}));
}

TEST(FtpClient, FileNamesAreWindows1252OnDiskAndOnTheWire)
{
    TempDir dir;
    dir.write("m\xc3\xbc" "nchen.html", "<p>M\xfc" "nchen</p>"); // the file system's UTF-8
    ScriptedServer server(ScriptedServer::ftp());
    FtpClient client;
    pointAt(client, server);
    client.connect();
    client.uploadFile(dir.path() + "/m\xfc" "nchen.html", "");
    client.disconnect();
    server.finish();
    EXPECT_EQ(server.stored(), (std::vector<StoredFile>{{"m\xfc" "nchen.html", "<p>M\xfc" "nchen</p>"}}));
}

TEST(FtpClient, PassiveAsksForEpsvAndFallsBackToPasv)
{
    TempDir dir;
    const std::string page = dir.write("seite.html", "<p>passiv</p>\r\n");
    for (const bool knowsEpsv : {true, false}) {
        SCOPED_TRACE(knowsEpsv);
        // The PASV reply names a private address; the client connects to
        // the control connection's peer all the same.
        ScriptedServer server(ScriptedServer::ftp([&](ScriptedServer::Session &s, const std::string &line) {
            if (line != "EPSV" || knowsEpsv)
                return false;
            s.reply("500 EPSV unbekannt");
            return true;
        }));
        FtpClient client;
        pointAt(client, server);
        client.setPassive(true);
        client.connect();
        client.uploadFile(page, "seite.html");
        client.disconnect();
        server.finish();
        const Lines expected = knowsEpsv ? Lines{"USER anna", "PASS geheim", "TYPE I", "EPSV", "STOR seite.html", "QUIT"}
                                         : Lines{"USER anna", "PASS geheim", "TYPE I", "EPSV", "PASV", "STOR seite.html",
                                                 "QUIT"};
        EXPECT_EQ(server.lines(), expected);
        EXPECT_EQ(server.stored(), (std::vector<StoredFile>{{"seite.html", "<p>passiv</p>\r\n"}}));
    }
}

TEST(FtpClient, ServerRefusingTheDataConnectionFailsAtOnce)
{
    TempDir dir;
    const std::string page = dir.write("seite.html", "<p>Seite</p>");
    for (const std::string refusal : {"425 Keine Datenverbindung", "426 Abgebrochen"}) {
        SCOPED_TRACE(refusal);
        ScriptedServer server(ScriptedServer::ftp([&](ScriptedServer::Session &s, const std::string &line) {
            if (!startsWith(line, "STOR "))
                return false;
            s.reply("150 Los");
            s.reply(refusal);
            return true;
        }));
        FtpClient client;
        pointAt(client, server);
        client.connect();
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(ftpFailure([&] { client.uploadFile(page, "seite.html"); }), refusal + "\r\n");
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << "waited for the data connection";
        client.disconnect();
    }
}

TEST(FtpClient, EndlessContinuationLinesFailWithinTheIdleBound)
{
    std::atomic<bool> stop{false};
    ScriptedServer server([&](ScriptedServer::Session &s) {
        while (!stop) {
            s.send("220-Willkommen, noch eine Zeile\r\n");
            s.pause(10);
        }
    });
    FtpClient client;
    pointAt(client, server);
    client.setIdleTimeOut(300ms);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(failure([&] { client.connect(); }), silentText);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    stop = true;
}

TEST(FtpClient, ActiveDataPortTakesOnlyTheServersAddress)
{
    TempDir dir;
    const std::string page = dir.write("seite.html", "<p>nur f\xfc" "r den Server</p>");
    std::string strangerGot = "(nichts)";
    ScriptedServer server(ScriptedServer::ftp([&](ScriptedServer::Session &s, const std::string &line) {
        if (!startsWith(line, "STOR "))
            return false;
        s.reply("150 Los");
        // A third party reaches the announced port first; it is closed
        // without a byte, and the server's own connection gets the page.
        const int stranger = s.connectAsStranger();
        if (stranger >= 0) {
            char buffer[64];
            const ssize_t n = ::recv(stranger, buffer, sizeof buffer, 0);
            strangerGot = n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
            ::close(stranger);
        }
        s.storeData(line);
        s.reply("226 Fertig");
        return true;
    }));
    FtpClient client;
    pointAt(client, server);
    client.connect();
    client.uploadFile(page, "seite.html");
    client.disconnect();
    server.finish();
    EXPECT_EQ(strangerGot, "");
    EXPECT_EQ(server.stored(), (std::vector<StoredFile>{{"seite.html", "<p>nur f\xfc" "r den Server</p>"}}));
}

TEST(FtpClient, EncryptionFollowsTheServersOffer)
{
    // Against a server without TLS: "when offered" goes on in plain text,
    // "required" fails before the password is sent.
    for (const FtpEncryption encryption : {FtpEncryption::WhenOffered, FtpEncryption::Required}) {
        SCOPED_TRACE(static_cast<int>(encryption));
        ScriptedServer server(ScriptedServer::ftp());
        FtpClient client;
        pointAt(client, server);
        client.setEncryption(encryption);
        const std::string error = failure([&] { client.connect(); });
        client.disconnect();
        server.finish();
        if (encryption == FtpEncryption::WhenOffered) {
            EXPECT_EQ(error, "(kein Fehler)");
            EXPECT_EQ(server.lines(), (Lines{"AUTH TLS", "USER anna", "PASS geheim", "TYPE I", "QUIT"}));
        } else {
            EXPECT_EQ(error, "Der Server bietet keine verschl\xfc" "sselte Verbindung an (AUTH TLS): 500 Unbekannt");
            EXPECT_EQ(server.lines(), (Lines{"AUTH TLS", "QUIT"}));
        }
    }
}

TEST(FtpClient, RenameOntoAnExistingNameDeletesItFirstWhenRefused)
{
    int rntoCount = 0;
    ScriptedServer server(ScriptedServer::ftp([&](ScriptedServer::Session &s, const std::string &line) {
        if (!startsWith(line, "RNTO ") || rntoCount++ > 0)
            return false;
        s.reply("553 Datei existiert");
        return true;
    }));
    FtpClient client;
    pointAt(client, server);
    client.connect();
    client.rename(".kaviro-upload.a.html", "a.html");
    client.disconnect();
    server.finish();
    EXPECT_EQ(server.lines(), (Lines{"USER anna", "PASS geheim", "TYPE I", "RNFR .kaviro-upload.a.html", "RNTO a.html",
                                     "DELE a.html", "RNFR .kaviro-upload.a.html", "RNTO a.html", "QUIT"}));
}

TEST(FtpClient, PassiveRepliesGiveTheirPorts)
{
    EXPECT_EQ(epsvPort("229 Entering Extended Passive Mode (|||6446|)\r\n"), 6446);
    EXPECT_EQ(epsvPort("229 Modus (!!!21!)"), 21);
    EXPECT_EQ(epsvPort("229 Kaputt (|||99999|)"), -1);
    EXPECT_EQ(epsvPort("229 Kaputt (||)"), -1);
    EXPECT_EQ(epsvPort("229 Leer (||||)"), -1);
    EXPECT_EQ(pasvPort("227 Entering Passive Mode (192,168,0,10,19,137).\r\n"), 19 * 256 + 137);
    EXPECT_EQ(pasvPort("227 =10,0,0,1,0,21"), 21);
    EXPECT_EQ(pasvPort("227 Kaputt (1,2,3)"), -1);
    EXPECT_EQ(pasvPort("227 Kaputt (1,2,3,4,256,1)"), -1);
}

TEST(FtpClient, OperationsNeedAConnection)
{
    FtpClient client;
    EXPECT_EQ(failure([&] { client.changeDirectory("/"); }), "Nicht verbunden");
    EXPECT_EQ(failure([&] { client.uploadFile("/etc/hostname", "x"); }), "Nicht verbunden");
    client.disconnect();
}

} // namespace
} // namespace kaviro
