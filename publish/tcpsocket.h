#pragma once

#include "common/error.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <netinet/in.h>
#include <sys/types.h>

namespace kaviro {

// Failures of the socket layer. Texts are Windows-1252 bytes, like every text
// of the lower layers.
class SocketError : public Error {
public:
    using Error::Error;
};

// A send or read loop ended because cancellation was requested.
class SocketAbortError : public SocketError {
public:
    using SocketError::SocketError;
};

// A wait ended because the user asked the whole operation to stop (the flag
// of setStopFlag).
class StopRequested : public SocketAbortError {
public:
    StopRequested() : SocketAbortError("Abgebrochen") {}
};

// A wait for the data connection ended because the control connection had
// something to say (a 425 instead of the connection, say).
class WaitInterrupted : public SocketError {
public:
    WaitInterrupted() : SocketError("Datenverbindung unterbrochen") {}
};

class TlsConnection;
class TlsContext;

// Every network wait calls the event pump between its passes, so that a
// window stays usable while the program waits. A no-op unless the desktop
// program sets one (QCoreApplication::processEvents).
using EventPump = std::function<void()>;
void setEventPump(EventPump pump);
void pumpEvents();

// The error numbering the messages use (10061 is "connection refused", and so
// on) and its texts: "10061:Connection refused", or "Unbekannte Fehlernummer "
// and the number for a code without text.
std::string socketErrorText(int code);
// The code of a POSIX errno value, 0 for one without a code. Resolver (EAI_*)
// results have their own mapping.
int socketErrorCode(int posixErrno);
int resolverErrorCode(int eaiError);

// Leading decimal digits among the first ten characters of a reply line; 0
// without any. Codes beyond 16 bits are held at 32767, never wrapped.
int parseReplyCode(std::string_view line);

// Local file names are Windows-1252 like every text here; they become the
// file system's UTF-8 only when a file is opened. Raises kaviro::Error
// "Datei <path> kann nicht ge\u00f6ffnet werden" when the file cannot be opened.
std::int64_t localFileSize(const std::string &path);

// A TCP connection (IPv4) on a non-blocking socket, with waits that are
// bounded by timeOut() and by cancellation, and that keep the event pump
// running. One instance connects again and again: every close leaves a
// fresh socket behind.
class TcpSocket {
public:
    using PacketSentHandler = std::function<void(TcpSocket &sender)>;
    using StatusHandler = std::function<void(TcpSocket &sender, const std::string &text)>;

    TcpSocket();
    virtual ~TcpSocket();
    TcpSocket(const TcpSocket &) = delete;
    TcpSocket &operator=(const TcpSocket &) = delete;

    // Waits for the incoming connection of listen() and returns its socket;
    // the caller hands it to takeSocket().
    virtual int acceptConnection();
    virtual void connect();
    virtual void disconnect();
    // Sends one command line, reads one reply line, sets replyCode().
    virtual std::string transaction(const std::string &command);
    // Requests cancellation of the running wait.
    virtual void abort();

    // The next line with its LF (and a CR before it, if sent); empty when the
    // peer has closed. Never consumes a byte after the LF. The whole line
    // must arrive before the deadline (now + idleTimeOut() without one).
    std::string readLine();
    std::string readLine(std::chrono::steady_clock::time_point deadline);
    void writeLine(const std::string &text);
    void writeText(const std::string &text);
    void sendBuffer(const char *data, std::size_t length);
    std::string readWaiting();
    bool dataAvailable();
    void listen(bool acceptNotice);
    void sendFile(const std::string &path);
    void closeSocket();
    void checkConnected();
    // Makes an accepted socket this instance's socket; the listening one is
    // closed.
    void takeSocket(int fd);
    // SO_LINGER: on with the given seconds, or off (graceful close).
    void setLinger(bool on, int seconds = 0);

    // Wraps the connected socket in TLS and runs the handshake, bounded by
    // idleTimeOut(); with resume the context's session is offered for reuse.
    void startTls(const TlsContext &context, const std::string &hostName, bool resume = false);
    // Ends the TLS connection in both directions: the close notice, then
    // whatever the peer still sends (a session ticket among it) up to its
    // close, bounded by idleTimeOut().
    void finishTls();
    TlsConnection *tls() const { return m_tls.get(); }
    // The peer's IPv4 address (network order), 0 when not connected.
    std::uint32_t peerAddress() const;
    // acceptConnection takes only a connection from this address (network
    // order); another is closed and the wait goes on. 0 takes any.
    void setAcceptFrom(std::uint32_t address) { m_acceptFrom = address; }

    // Once *flag is true, every wait of this socket ends within a few
    // milliseconds with StopRequested. Set it from any thread or a signal
    // handler; nullptr for none.
    void setStopFlag(const std::atomic<bool> *flag) { m_stopFlag = flag; }
    // Asked on every pass of acceptConnection and of the TLS handshake; true
    // ends the wait with WaitInterrupted.
    void setInterruption(std::function<bool()> check) { m_interruption = std::move(check); }
    // What an elapsed timeOut() does; abort() unless set.
    void setTimeOutAction(std::function<void()> action) { m_timeOutAction = std::move(action); }

    // Local IPv4 address of the socket with commas for dots: 192,168,0,10.
    std::string localAddressText() const;
    // Local port as ",high,low": port 1025 gives ",4,1".
    std::string portText() const;
    void reportStatus(int level, const std::string &text);

    const std::string &host() const { return m_host; }
    void setHost(std::string host) { m_host = std::move(host); }
    int port() const { return m_port; }
    void setPort(int port) { m_port = port; }
    const std::string &proxy() const { return m_proxy; }
    void setProxy(std::string proxy) { m_proxy = std::move(proxy); }
    int proxyPort() const { return m_proxyPort; }
    void setProxyPort(int port) { m_proxyPort = port; }
    // Bound of each timed wait in milliseconds; 0 = no bound.
    int timeOut() const { return m_timeOut; }
    void setTimeOut(int milliseconds) { m_timeOut = milliseconds < 0 ? 0 : milliseconds; }
    // Bound on silence where timeOut() does not apply (an FTP client's
    // replies, the data connection, sending a file): the whole of one
    // readLine(), the wait in acceptConnection(), and a send that makes no
    // progress. 60 seconds unless set; 0 = no bound. The failures are
    // "Zeitüberschreitung: keine Antwort vom Server", "Zeitüberschreitung bei
    // der Datenverbindung" and "Zeitüberschreitung beim Senden".
    std::chrono::milliseconds idleTimeOut() const { return m_idleTimeOut; }
    void setIdleTimeOut(std::chrono::milliseconds bound) { m_idleTimeOut = bound; }
    int reportLevel() const { return m_reportLevel; }
    void setReportLevel(int level) { m_reportLevel = level; }
    const std::string &statusText() const { return m_statusText; }

    const std::string &lastReply() const { return m_lastReply; }
    int replyCode() const { return m_replyCode; }
    // Bytes sent by sendFile() on this instance since it was created.
    std::int64_t sentCount() const { return m_sentCount; }
    int lastError() const { return m_lastError; }
    // Handles a pending close by the peer first: a connection the peer has
    // closed, with nothing left to read, counts as closed.
    bool isConnected();
    bool cancelled() const { return m_cancelled; }
    bool timedOut() const { return m_timedOut; }
    int handle() const { return m_fd; }

    void setOnPacketSent(PacketSentHandler handler) { m_onPacketSent = std::move(handler); }
    const PacketSentHandler &onPacketSent() const { return m_onPacketSent; }
    void setOnStatus(StatusHandler handler) { m_onStatus = std::move(handler); }

    // Longest line readLine() accepts; a peer sending more without LF fails.
    static constexpr std::size_t maxLineLength = 1 << 20;

protected:
    void startTimeOut();
    void stopTimeOut();
    void setReplyCode(int code) { m_replyCode = code; }

    bool m_cancelled = false;
    bool m_timedOut = false;

private:
    class TimerGuard;
    enum class WaitEnd { Ready, Cancelled, TimedOut, Idle, Interrupted };
    static constexpr std::chrono::steady_clock::time_point noDeadline = std::chrono::steady_clock::time_point::max();

    std::uint32_t resolveHost();
    sockaddr_in localAddress() const;
    void processMessages();
    void timeOutElapsed();
    // Raises SocketError for a real error, keeps quiet for would-block.
    void checkSocketError(int posixErrno);
    void ensureSocket();
    int newSocket(bool abortiveClose);
    // The one wait of the layer: passes of polling the socket for events (a
    // short sleep when events is 0) and processMessages(), until ready(revents)
    // says so, cancellation, the timer when endOnTimeOut, the interruption or
    // the deadline; the user's stop flag raises StopRequested.
    WaitEnd wait(short events, std::chrono::steady_clock::time_point deadline,
                 const std::function<bool(short revents)> &ready, bool endOnTimeOut = false,
                 bool interruptible = false);
    std::chrono::steady_clock::time_point idleDeadline() const;
    void throwIfStopRequested() const;
    // recv and send, through TLS once it is on.
    ssize_t peekBytes(char *buffer, std::size_t length);
    ssize_t receiveBytes(char *buffer, std::size_t length);
    ssize_t sendBytes(const char *data, std::size_t length);
    void sendAll(const char *data, std::size_t length, bool countAsFileData);

    std::unique_ptr<char[]> m_buffer;
    std::unique_ptr<TlsConnection> m_tls;
    const std::atomic<bool> *m_stopFlag = nullptr;
    std::function<bool()> m_interruption;
    std::function<void()> m_timeOutAction;
    std::uint32_t m_acceptFrom = 0;
    std::string m_host;
    int m_port = 0;
    std::string m_proxy;
    int m_proxyPort = 0;
    int m_timeOut = 0;
    std::chrono::milliseconds m_idleTimeOut;
    int m_reportLevel = 1;
    std::string m_statusText;
    int m_fd = -1;
    sockaddr_in m_address{};
    std::string m_lastReply;
    int m_replyCode = 0;
    std::int64_t m_sentCount = 0;
    int m_lastError = 0;
    bool m_connected = false;
    bool m_eventArrived = false;
    bool m_lastEventOk = true;
    bool m_acceptNotice = false;
    bool m_destroying = false;
    bool m_timerArmed = false;
    std::chrono::steady_clock::time_point m_timerDeadline;
    PacketSentHandler m_onPacketSent;
    StatusHandler m_onStatus;
};

} // namespace kaviro
