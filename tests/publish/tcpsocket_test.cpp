#include "publish/tcpsocket.h"
#include "tests/support/ftptestsupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kaviro {
namespace {

using test::ScriptedServer;
using test::TempDir;
using namespace std::chrono_literals;

template <typename F>
std::string socketFailure(F &&statement)
{
    return test::failureOf<SocketError>(statement);
}

void connectTo(TcpSocket &socket, const ScriptedServer &server)
{
    socket.setHost("127.0.0.1");
    socket.setPort(server.port());
    socket.connect();
}

// Sets the process-wide event pump for one test.
struct PumpGuard {
    explicit PumpGuard(EventPump pump) { setEventPump(std::move(pump)); }
    ~PumpGuard() { setEventPump({}); }
};

TEST(SocketErrors, TextsFollowTheCodeTable)
{
    const std::vector<std::pair<int, std::string>> cases = {
        {10061, "10061:Connection refused"},
        {10054, "10054:Connection reset by peer"},
        {10035, "10035:Operation would block"},
        {10049, "10049:Can't assign requested address"},
        {11004, "11004:Valid name, no data record of requested type"},
        {10000, "Unbekannte Fehlernummer 10000"},
        {12345, "Unbekannte Fehlernummer 12345"},
    };
    for (const auto &[code, text] : cases)
        EXPECT_EQ(socketErrorText(code), text) << code;
}

TEST(SocketErrors, PosixErrorsMapToTheirCodes)
{
    const std::vector<std::pair<int, int>> cases = {
        {ECONNREFUSED, 10061}, {ECONNRESET, 10054}, {EWOULDBLOCK, 10035}, {EAGAIN, 10035},
        {EPIPE, 10058},        {ETIMEDOUT, 10060},  {EADDRINUSE, 10048},  {EHOSTUNREACH, 10065},
        {ENOTCONN, 10057},     {EOPNOTSUPP, 10045}, {ENOENT, 0},
    };
    for (const auto &[posix, code] : cases)
        EXPECT_EQ(socketErrorCode(posix), code) << posix;
}

TEST(SocketErrors, ReplyCodesAreLeadingDigitsHeldWithin16Bits)
{
    const std::vector<std::pair<std::string, int>> cases = {
        {"220 Bereit\r\n", 220}, {"530-Nein\r\n", 530}, {"Welcome\r\n", 0},  {"", 0},
        {"0", 0},                {"42", 42},            {"32767 x", 32767}, {"66066 x", 32767},
        {"12345678901234", 32767},
    };
    for (const auto &[line, code] : cases)
        EXPECT_EQ(parseReplyCode(line), code) << line;
}

TEST(TcpSocketConnect, RefusedConnectionFailsAndTheSocketCanConnectLater)
{
    TcpSocket socket;
    {
        // A port nobody listens on: bind one and give it up again.
        ScriptedServer gone([](ScriptedServer::Session &) {});
        socket.setHost("127.0.0.1");
        socket.setPort(gone.port());
    }
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(socketFailure([&] { socket.connect(); }), "Verbindung fehlgeschlagen");
    EXPECT_FALSE(socket.isConnected());

    ScriptedServer server([](ScriptedServer::Session &s) {
        s.reply("hallo");
        s.holdOpen();
    });
    socket.setPort(server.port());
    socket.connect();
    EXPECT_TRUE(socket.isConnected());
    EXPECT_EQ(socket.readLine(), "hallo\r\n");
    EXPECT_EQ(socketFailure([&] { socket.connect(); }), "Bereits verbunden");
}

TEST(TcpSocketConnect, UnusableAddressesGiveNullExterneAdresse)
{
    for (const char *host : {"kaviro-gibt-es-nicht.invalid", "0.0.0.0", ""}) {
        TcpSocket socket;
        socket.setHost(host);
        socket.setPort(21);
        EXPECT_EQ(socketFailure([&] { socket.connect(); }), "Null Externe Adresse") << host;
    }
}

TEST(TcpSocketConnect, ProxyIsConnectedToInsteadOfTheHost)
{
    ScriptedServer proxy([](ScriptedServer::Session &s) { s.reply("proxy"); });
    TcpSocket socket;
    socket.setHost("kaviro-gibt-es-nicht.invalid");
    socket.setPort(1);
    socket.setProxy("127.0.0.1");
    socket.setProxyPort(proxy.port());
    socket.connect();
    EXPECT_EQ(socket.readLine(), "proxy\r\n");
}

// An event pump that cancels the wait it runs in shows which wait that is:
// a name waits for its lookup first, a dotted address goes straight to the
// connect.
TEST(TcpSocketConnect, DottedAddressNeedsNoLookup)
{
    ScriptedServer server([](ScriptedServer::Session &) {});
    TcpSocket socket;
    PumpGuard pump([&] { socket.abort(); });
    socket.setPort(server.port());

    socket.setHost("127.0.0.1");
    EXPECT_EQ(socketFailure([&] { socket.connect(); }), "Verbindung abgebrochen");
    socket.setHost("localhost");
    EXPECT_EQ(socketFailure([&] { socket.connect(); }), "Host-Lookup abgebrochen");
}

TEST(TcpSocketConnect, UnansweredConnectTimesOut)
{
    // A listener with a full backlog that never accepts drops further
    // connection requests, so the connect stays unanswered.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
    std::vector<int> fillers;
    for (int i = 0; i < 2; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
        fillers.push_back(fd);
    }
    ::usleep(50000);

    TcpSocket socket;
    socket.setHost("127.0.0.1");
    socket.setPort(ntohs(address.sin_port));
    socket.setTimeOut(200);
    EXPECT_EQ(socketFailure([&] { socket.connect(); }), "Zeit\xfc" "berschreitung bei Verbindung");
    EXPECT_TRUE(socket.timedOut());

    for (const int fd : fillers)
        ::close(fd);
    ::close(listener);
}

TEST(TcpSocketReadLine, ReturnsWholeLinesAndLeavesTheRestUnread)
{
    ScriptedServer server([](ScriptedServer::Session &s) {
        s.send("220 in ");
        s.pause(30);
        s.send("St\xfc" "cken\r\nnur LF\nRest ohne Ende");
        s.pause(30);
        s.close();
    });
    TcpSocket socket;
    connectTo(socket, server);
    EXPECT_EQ(socket.readLine(), "220 in St\xfc" "cken\r\n");
    EXPECT_EQ(socket.readLine(), "nur LF\n");
    // What follows the last LF is still waiting in the socket.
    EXPECT_TRUE(socket.dataAvailable());
    EXPECT_EQ(socket.readWaiting(), "Rest ohne Ende");
    // The peer has closed: an empty line, and the connection counts as gone.
    EXPECT_EQ(socket.readLine(), "");
    EXPECT_FALSE(socket.isConnected());
}

TEST(TcpSocketReadLine, ResetWhileReadingIsASocketError)
{
    ScriptedServer server([](ScriptedServer::Session &s) {
        s.send("halb");
        s.pause(50);
        s.reset();
    });
    TcpSocket socket;
    connectTo(socket, server);
    EXPECT_EQ(socketFailure([&] { socket.readLine(); }), "10054:Connection reset by peer");
    EXPECT_EQ(socket.lastError(), 10054);
}

TEST(TcpSocketReadLine, SilentPeerEndsTheReadWithinItsBounds)
{
    ScriptedServer server([](ScriptedServer::Session &s) { s.receive(); });
    TcpSocket socket;
    connectTo(socket, server);

    // The time-out cancels the plain socket's read...
    socket.setTimeOut(100);
    try {
        socket.readLine();
        ADD_FAILURE() << "kein Abbruch";
    } catch (const SocketAbortError &e) {
        EXPECT_STREQ(e.what(), "Socket-readln abgebrochen");
    }
    // ...and without one the bound on silence ends it.
    socket.setTimeOut(0);
    socket.setIdleTimeOut(150ms);
    EXPECT_EQ(socketFailure([&] { socket.readLine(); }), "Zeit\xfc" "berschreitung: keine Antwort vom Server");
    socket.writeLine("ende");
}

TEST(TcpSocketSendFile, SendsTheBytesExactlyAndCountsAcrossFiles)
{
    TempDir dir;
    std::string big;
    for (int i = 0; i < 200000; ++i)
        big += static_cast<char>(i * 7 % 256);
    const std::string bigFile = dir.write("gross.bin", big);
    const std::string emptyFile = dir.write("leer.html", "");
    const std::string smallFile = dir.write("klein.html", "<p>\r\nMiete 500 \x80\r\n</p>");

    std::string received;
    ScriptedServer server([&](ScriptedServer::Session &s) { received = s.receiveAll(); });
    TcpSocket socket;
    connectTo(socket, server);
    std::vector<std::int64_t> counts;
    socket.setOnPacketSent([&](TcpSocket &sender) { counts.push_back(sender.sentCount()); });

    socket.sendFile(emptyFile);
    EXPECT_TRUE(counts.empty()) << "a zero-byte file sends nothing";
    socket.sendFile(bigFile);
    ASSERT_GE(counts.size(), 4u) << "chunks of at most 65,536 bytes";
    EXPECT_EQ(counts.back(), static_cast<std::int64_t>(big.size()));
    socket.sendFile(smallFile);
    EXPECT_EQ(socket.sentCount(), static_cast<std::int64_t>(big.size() + 22));
    // A fresh instance closes abortively; only a graceful close delivers
    // everything queued.
    socket.setLinger(false);
    socket.closeSocket();
    server.finish();
    EXPECT_EQ(received.size(), big.size() + 22);
    EXPECT_TRUE(received == big + "<p>\r\nMiete 500 \x80\r\n</p>");

    TcpSocket fresh;
    EXPECT_EQ(fresh.sentCount(), 0);
    try {
        fresh.sendFile(dir.path() + "/fehlt.html");
        ADD_FAILURE() << "kein Fehler";
    } catch (const Error &e) {
        EXPECT_EQ(std::string(e.what()), "Datei " + dir.path() + "/fehlt.html kann nicht ge\xf6" "ffnet werden");
    }
}

TEST(TcpSocketSendFile, PeerThatStopsReadingEndsTheSendWithinTheBound)
{
    TempDir dir;
    // Far more than the socket buffers hold; a sparse file costs no disk.
    const std::string path = dir.write("gross.bin", "");
    ASSERT_EQ(::truncate(path.c_str(), 256 << 20), 0);
    ScriptedServer server([](ScriptedServer::Session &s) { s.holdOpen(); });
    TcpSocket socket;
    connectTo(socket, server);
    socket.setIdleTimeOut(300ms);
    EXPECT_EQ(socketFailure([&] { socket.sendFile(path); }), "Zeit\xfc" "berschreitung beim Senden");
}

TEST(TcpSocketListen, AddressTextsUseCommas)
{
    ScriptedServer server([](ScriptedServer::Session &s) { s.receive(); });
    TcpSocket socket;
    connectTo(socket, server);
    EXPECT_EQ(socket.localAddressText(), "127,0,0,1");

    TcpSocket listener;
    listener.listen(true);
    EXPECT_EQ(listener.localAddressText(), "0,0,0,0");
    sockaddr_in local{};
    socklen_t length = sizeof local;
    ::getsockname(listener.handle(), reinterpret_cast<sockaddr *>(&local), &length);
    const int port = ntohs(local.sin_port);
    EXPECT_NE(port, 0);
    EXPECT_EQ(listener.portText(), "," + std::to_string(port / 256) + "," + std::to_string(port % 256));
    socket.writeLine("ende");
}

TEST(TcpSocketListen, PortTextSplitsThePortIntoBytes)
{
    for (const auto &[port, text] : {std::pair{1025, ",4,1"}, std::pair{80, ",0,80"}}) {
        TcpSocket listener;
        listener.setPort(port);
        try {
            listener.listen(true);
        } catch (const SocketError &) {
            continue; // taken or not ours to bind here
        }
        EXPECT_EQ(listener.portText(), text);
    }
}

TEST(TcpSocketListen, AcceptingIsBoundedAndCancellable)
{
    TcpSocket listener;
    listener.listen(true);
    listener.setIdleTimeOut(150ms);
    EXPECT_EQ(socketFailure([&] { listener.acceptConnection(); }),
              "Zeit\xfc" "berschreitung bei der Datenverbindung");
    listener.abort();
    EXPECT_EQ(socketFailure([&] { listener.acceptConnection(); }), "Annahme abgebrochen");
}

TEST(TcpSocketListen, AcceptedConnectionBecomesTheSocket)
{
    TcpSocket listener;
    listener.listen(true);
    sockaddr_in local{};
    socklen_t length = sizeof local;
    ::getsockname(listener.handle(), reinterpret_cast<sockaddr *>(&local), &length);

    TcpSocket client;
    client.setHost("127.0.0.1");
    client.setPort(ntohs(local.sin_port));
    client.connect();
    listener.takeSocket(listener.acceptConnection());
    client.writeLine("Hallo Daten");
    EXPECT_EQ(listener.readLine(), "Hallo Daten\r\n");
    listener.writeText("und zur\xfc" "ck\n");
    EXPECT_EQ(client.readLine(), "und zur\xfc" "ck\n");
}

} // namespace
} // namespace kaviro
