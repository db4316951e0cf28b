#include "publish/tcpsocket.h"

#include "common/cp1252.h"
#include "common/lineend.h"
#include "publish/tlsconnection.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>
#include <utility>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kaviro {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t bufferSize = 65536;
// Instead of sleeping between passes, a wait polls its socket for up to this
// long; it returns at once when the awaited event arrives.
constexpr int pollSliceMs = 5;
constexpr std::chrono::milliseconds defaultIdleTimeOut{60000};
constexpr int wouldBlockCode = 10035;
const char *const silentServerText = "Zeit\xfc" "berschreitung: keine Antwort vom Server";

EventPump &eventPumpSlot()
{
    static EventPump pump;
    return pump;
}

struct ErrorText {
    int code;
    const char *text;
};

constexpr ErrorText errorTexts[] = {
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Wrong protocol type for socket"},
    {10042, "Bad protocol option"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Can't assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection or reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references, can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to Host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network subsystem is unavailable"},
    {10092, "Incompatible version of WINSOCK.DLL"},
    {10093, "Successful WSAStartup not yet performed"},
    {11001, "Host not found"},
    {11002, "Non-Authoritative Host not found"},
    {11003, "Non-Recoverable error: FORMERR, REFUSED, NOTIMP"},
    {11004, "Valid name, no data record of requested type"},
};

struct ErrnoCode {
    int posixErrno;
    int code;
};

// Several errno names share a value on Linux (EAGAIN/EWOULDBLOCK,
// ENOTSUP/EOPNOTSUPP), so this is a table searched in order, not a switch.
constexpr ErrnoCode errnoCodes[] = {
    {EINTR, 10004},          {EBADF, 10009},           {EACCES, 10013},
    {EPERM, 10013},          {EFAULT, 10014},          {EINVAL, 10022},
    {EMFILE, 10024},         {ENFILE, 10024},          {EWOULDBLOCK, 10035},
    {EAGAIN, 10035},         {EINPROGRESS, 10036},     {EALREADY, 10037},
    {ENOTSOCK, 10038},       {EDESTADDRREQ, 10039},    {EMSGSIZE, 10040},
    {EPROTOTYPE, 10041},     {ENOPROTOOPT, 10042},     {EPROTONOSUPPORT, 10043},
    {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045},     {EPFNOSUPPORT, 10046},
    {EAFNOSUPPORT, 10047},   {EADDRINUSE, 10048},      {EADDRNOTAVAIL, 10049},
    {ENETDOWN, 10050},       {ENETUNREACH, 10051},     {ENETRESET, 10052},
    {ECONNABORTED, 10053},   {ECONNRESET, 10054},      {ENOBUFS, 10055},
    {EISCONN, 10056},        {ENOTCONN, 10057},        {ESHUTDOWN, 10058},
    {EPIPE, 10058},          {ETOOMANYREFS, 10059},    {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061},   {ELOOP, 10062},           {ENAMETOOLONG, 10063},
    {EHOSTDOWN, 10064},      {EHOSTUNREACH, 10065},    {ENOTEMPTY, 10066},
    {EUSERS, 10068},         {EDQUOT, 10069},          {ESTALE, 10070},
    {EREMOTE, 10071},
};

bool wouldBlock(int e)
{
    return e == EAGAIN || e == EWOULDBLOCK || e == EINTR;
}

// Errors that a connection attempt reports through its completion rather
// than at once; they end the wait as a failed connect.
bool connectCompletionError(int e)
{
    return e == ECONNREFUSED || e == ENETUNREACH || e == EHOSTUNREACH || e == ETIMEDOUT
        || e == ECONNRESET;
}

struct FileCloser {
    int fd;
    ~FileCloser() { ::close(fd); }
};

// Opens a regular file for reading and gives its size. A folder opens on
// POSIX but cannot be read; it fails here like a missing file.
int openLocalFile(const std::string &path, std::int64_t *size = nullptr)
{
    const int fd = ::open(cp1252ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status {};
    if (fd >= 0 && ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
        if (size)
            *size = status.st_size;
        return fd;
    }
    if (fd >= 0)
        ::close(fd);
    throw Error("Datei " + path + " kann nicht ge\xf6" "ffnet werden");
}

} // namespace

void setEventPump(EventPump pump)
{
    eventPumpSlot() = std::move(pump);
}

void pumpEvents()
{
    if (const EventPump &pump = eventPumpSlot())
        pump();
}

std::string socketErrorText(int code)
{
    for (const ErrorText &entry : errorTexts) {
        if (entry.code == code)
            return std::to_string(code) + ":" + entry.text;
    }
    return "Unbekannte Fehlernummer " + std::to_string(code);
}

int socketErrorCode(int posixErrno)
{
    for (const ErrnoCode &entry : errnoCodes) {
        if (entry.posixErrno == posixErrno)
            return entry.code;
    }
    return 0;
}

int resolverErrorCode(int eaiError)
{
    switch (eaiError) {
    case EAI_NONAME: return 11001;
    case EAI_AGAIN: return 11002;
    case EAI_FAIL: return 11003;
    case EAI_NODATA: return 11004;
    default: return 0;
    }
}

std::int64_t localFileSize(const std::string &path)
{
    std::int64_t size = 0;
    FileCloser closer{openLocalFile(path, &size)};
    return size;
}

int parseReplyCode(std::string_view line)
{
    constexpr int maxCode = 32767;
    int code = 0;
    for (std::size_t i = 0; i < line.size() && i < 10; ++i) {
        const char c = line[i];
        if (c < '0' || c > '9')
            break;
        code = std::min(maxCode, code * 10 + (c - '0'));
    }
    return code;
}

// Stops the timer of a timed wait on every way out.
class TcpSocket::TimerGuard {
public:
    explicit TimerGuard(TcpSocket &socket) : m_socket(socket) { m_socket.startTimeOut(); }
    ~TimerGuard() { m_socket.stopTimeOut(); }
    TimerGuard(const TimerGuard &) = delete;
    TimerGuard &operator=(const TimerGuard &) = delete;

private:
    TcpSocket &m_socket;
};

TcpSocket::TcpSocket()
    : m_buffer(std::make_unique<char[]>(bufferSize)), m_idleTimeOut(defaultIdleTimeOut)
{
    m_fd = newSocket(true);
    if (m_fd < 0)
        throw SocketError("Die Initialisierung der Windows-Sockets ist fehlgeschlagen");
}

TcpSocket::~TcpSocket()
{
    TcpSocket::abort();
    m_cancelled = true;
    m_destroying = true;
    try {
        closeSocket();
    } catch (...) {
        // Nothing may escape a destructor; the descriptor is gone either way.
    }
}

int TcpSocket::newSocket(bool abortiveClose)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0)
        return -1;
    if (abortiveClose) {
        const linger lin{1, 0};
        if (::setsockopt(fd, SOL_SOCKET, SO_LINGER, &lin, sizeof lin) != 0) {
            ::close(fd);
            return -1;
        }
    }
    return fd;
}

void TcpSocket::ensureSocket()
{
    if (m_fd >= 0)
        return;
    m_fd = newSocket(false);
    if (m_fd < 0)
        checkSocketError(errno);
}

void TcpSocket::checkSocketError(int posixErrno)
{
    if (wouldBlock(posixErrno))
        return;
    const int code = socketErrorCode(posixErrno);
    m_lastError = code != 0 ? code : posixErrno;
    // An errno without a code of the table still ends the operation; it must
    // not pass as success.
    throw SocketError(code != 0 ? socketErrorText(code)
                                : "Unbekannte Fehlernummer " + std::to_string(posixErrno));
}

void TcpSocket::reportStatus(int level, const std::string &text)
{
    if (level > m_reportLevel)
        return;
    m_statusText = text;
    if (m_onStatus && !m_destroying) {
        try {
            m_onStatus(*this, text);
        } catch (...) {
            // A failing status display must not end the network operation.
        }
    }
}

void TcpSocket::startTimeOut()
{
    m_timedOut = false;
    m_timerArmed = m_timeOut > 0;
    if (m_timerArmed)
        m_timerDeadline = Clock::now() + std::chrono::milliseconds(m_timeOut);
}

void TcpSocket::stopTimeOut()
{
    m_timerArmed = false;
}

void TcpSocket::timeOutElapsed()
{
    stopTimeOut();
    m_timedOut = true;
    m_eventArrived = true;
    if (m_timeOutAction)
        m_timeOutAction();
    else
        abort();
}

// What "processing pending messages" means here: the time-out of this
// instance, then whatever the program's event pump handles.
void TcpSocket::processMessages()
{
    if (m_timerArmed && Clock::now() >= m_timerDeadline)
        timeOutElapsed();
    pumpEvents();
}

void TcpSocket::throwIfStopRequested() const
{
    if (m_stopFlag && m_stopFlag->load(std::memory_order_relaxed))
        throw StopRequested();
}

Clock::time_point TcpSocket::idleDeadline() const
{
    return m_idleTimeOut.count() > 0 ? Clock::now() + m_idleTimeOut : noDeadline;
}

TcpSocket::WaitEnd TcpSocket::wait(short events, Clock::time_point deadline,
                                   const std::function<bool(short revents)> &ready, bool endOnTimeOut,
                                   bool interruptible)
{
    for (;;) {
        throwIfStopRequested();
        int slice = pollSliceMs;
        if (deadline != noDeadline) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            slice = static_cast<int>(std::clamp<long long>(left, 0, pollSliceMs));
        }
        short revents = 0;
        if (events != 0 && m_fd >= 0) {
            const short wanted = m_tls && m_tls->wantsWrite() ? short(POLLOUT) : events;
            pollfd p{m_fd, wanted, 0};
            if (::poll(&p, 1, slice) > 0)
                revents = p.revents;
        } else {
            ::poll(nullptr, 0, std::min(slice, 2));
        }
        const bool done = ready(revents);
        processMessages();
        if (done)
            return WaitEnd::Ready;
        throwIfStopRequested();
        if (m_cancelled)
            return WaitEnd::Cancelled;
        if (endOnTimeOut && m_timedOut)
            return WaitEnd::TimedOut;
        if (interruptible && m_interruption && m_interruption())
            return WaitEnd::Interrupted;
        if (Clock::now() >= deadline)
            return WaitEnd::Idle;
    }
}

ssize_t TcpSocket::peekBytes(char *buffer, std::size_t length)
{
    if (m_tls)
        return m_tls->read(buffer, length, true);
    return ::recv(m_fd, buffer, length, MSG_PEEK | MSG_DONTWAIT);
}

ssize_t TcpSocket::receiveBytes(char *buffer, std::size_t length)
{
    if (m_tls)
        return m_tls->read(buffer, length, false);
    return ::recv(m_fd, buffer, length, MSG_DONTWAIT);
}

ssize_t TcpSocket::sendBytes(const char *data, std::size_t length)
{
    if (m_tls)
        return m_tls->write(data, length);
    return ::send(m_fd, data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
}

void TcpSocket::abort()
{
    m_cancelled = true;
}

std::uint32_t TcpSocket::resolveHost()
{
    const std::string &name = m_proxy.empty() ? m_host : m_proxy;
    in_addr dotted{};
    if (::inet_aton(name.c_str(), &dotted) != 0)
        return dotted.s_addr;

    // getaddrinfo blocks, so it runs on a short-lived thread whose result
    // this loop polls for; a lookup left behind by a time-out finishes on
    // its own and only touches its shared state.
    struct Lookup {
        std::atomic<bool> done{false};
        int error = 0;
        std::uint32_t address = 0;
    };
    auto lookup = std::make_shared<Lookup>();
    TimerGuard timer(*this);
    m_eventArrived = false;
    try {
        std::thread([lookup, name] {
            addrinfo hints{};
            hints.ai_family = AF_INET;
            hints.ai_socktype = SOCK_STREAM;
            addrinfo *result = nullptr;
            lookup->error = ::getaddrinfo(name.c_str(), nullptr, &hints, &result);
            if (lookup->error == 0) {
                lookup->address = reinterpret_cast<sockaddr_in *>(result->ai_addr)->sin_addr.s_addr;
                ::freeaddrinfo(result);
            }
            lookup->done.store(true, std::memory_order_release);
        }).detach();
    } catch (const std::system_error &) {
        lookup->error = EAI_SYSTEM;
        lookup->done.store(true, std::memory_order_release);
    }
    const WaitEnd end = wait(0, noDeadline, [&](short) {
        if (lookup->done.load(std::memory_order_acquire)) {
            m_eventArrived = true;
            m_lastEventOk = lookup->error == 0;
        }
        return m_eventArrived;
    }, true);

    if (m_timedOut || end == WaitEnd::TimedOut)
        throw SocketError("Zeit\xfc" "berschreitung bei Host-Lookup");
    if (m_cancelled)
        throw SocketError("Host-Lookup abgebrochen");
    if (!m_lastEventOk) {
        m_lastError = resolverErrorCode(lookup->error);
        return 0;
    }
    return lookup->address;
}

void TcpSocket::connect()
{
    m_cancelled = false;
    if (isConnected())
        throw SocketError("Bereits verbunden");
    // A failed lookup only leaves the address 0; time-out and cancellation
    // pass on.
    const std::uint32_t address = resolveHost();
    if (address == 0)
        throw SocketError("Null Externe Adresse");
    const int port = m_proxy.empty() ? m_port : m_proxyPort;
    // htons would silently turn 65557 into 21.
    if (port < 0 || port > 65535)
        throw SocketError("Ung\xfc" "ltige Portnummer " + std::to_string(port));

    ensureSocket();
    m_address = sockaddr_in{};
    m_address.sin_family = AF_INET;
    m_address.sin_port = htons(static_cast<std::uint16_t>(port));
    m_address.sin_addr.s_addr = address;
    m_eventArrived = false;
    m_lastEventOk = true;
    if (::connect(m_fd, reinterpret_cast<const sockaddr *>(&m_address), sizeof m_address) == 0) {
        m_connected = true;
    } else if (errno != EINPROGRESS) {
        const int e = errno;
        if (connectCompletionError(e)) {
            m_lastEventOk = false;
            m_lastError = socketErrorCode(e);
        } else {
            checkSocketError(e);
        }
    }

    try {
        TimerGuard timer(*this);
        wait(POLLOUT, noDeadline, [this](short revents) {
            if (!m_connected && m_lastEventOk && revents != 0) {
                int error = 0;
                socklen_t length = sizeof error;
                ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length);
                if (error == 0) {
                    m_connected = true;
                } else {
                    m_lastEventOk = false;
                    m_lastError = socketErrorCode(error);
                }
            }
            return m_connected || !m_lastEventOk;
        }, true);
    } catch (const StopRequested &) {
        closeSocket();
        throw;
    }
    if (!m_timedOut && !m_cancelled && m_lastEventOk)
        return;

    const char *message = m_timedOut ? "Zeit\xfc" "berschreitung bei Verbindung"
                          : m_cancelled ? "Verbindung abgebrochen"
                                        : "Verbindung fehlgeschlagen";
    // A socket whose connect failed or is still pending cannot connect again;
    // the next attempt gets a fresh one.
    closeSocket();
    throw SocketError(message);
}

void TcpSocket::disconnect()
{
    closeSocket();
}

void TcpSocket::closeSocket()
{
    m_connected = false;
    m_tls.reset();
    if (m_fd < 0)
        return;
    const int fd = std::exchange(m_fd, -1);
    // Linux releases the descriptor even when close reports EINTR.
    if (::close(fd) != 0 && errno != EINTR)
        checkSocketError(errno);
    if (!m_destroying) {
        m_fd = newSocket(false);
        if (m_fd < 0)
            checkSocketError(errno);
    }
}

void TcpSocket::takeSocket(int fd)
{
    m_tls.reset();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

void TcpSocket::setLinger(bool on, int seconds)
{
    const linger lin{on ? 1 : 0, seconds};
    if (::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &lin, sizeof lin) != 0)
        checkSocketError(errno);
}

void TcpSocket::startTls(const TlsContext &context, const std::string &hostName, bool resume)
{
    m_tls = std::make_unique<TlsConnection>(context, m_fd, hostName, resume);
    const WaitEnd end = wait(POLLIN, idleDeadline(), [this](short) { return m_tls->handshakeStep(); }, false, true);
    if (end == WaitEnd::Ready)
        return;
    m_tls.reset();
    if (end == WaitEnd::Interrupted)
        throw WaitInterrupted();
    if (end == WaitEnd::Cancelled) {
        m_cancelled = false;
        throw SocketAbortError("TLS-Verbindung abgebrochen");
    }
    throw SocketError("Zeit\xfc" "berschreitung bei der TLS-Verbindung");
}

void TcpSocket::finishTls()
{
    m_tls->closeNotify();
    ::shutdown(m_fd, SHUT_WR);
    const WaitEnd end = wait(POLLIN, idleDeadline(), [this](short) {
        const ssize_t n = receiveBytes(m_buffer.get(), bufferSize);
        return n == 0 || (n < 0 && !wouldBlock(errno));
    });
    if (end == WaitEnd::Idle)
        throw SocketError("Zeit\xfc" "berschreitung bei der Datenverbindung");
}

std::uint32_t TcpSocket::peerAddress() const
{
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(m_fd, reinterpret_cast<sockaddr *>(&peer), &length) != 0)
        return 0;
    return peer.sin_addr.s_addr;
}

bool TcpSocket::isConnected()
{
    if (m_connected && m_fd >= 0) {
        char byte;
        const ssize_t n = ::recv(m_fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        // The peer's close with nothing left to read ends the connection;
        // with data waiting it stays open until that is read.
        if (n == 0 || (n < 0 && !wouldBlock(errno))) {
            m_lastEventOk = n == 0;
            closeSocket();
        }
    }
    return m_connected;
}

void TcpSocket::checkConnected()
{
    if (!isConnected())
        throw Error("Nicht verbunden");
}

std::string TcpSocket::readLine()
{
    return readLine(idleDeadline());
}

std::string TcpSocket::readLine(Clock::time_point deadline)
{
    TimerGuard timer(*this);
    char *const buffer = m_buffer.get();
    std::string result;
    for (;;) {
        const ssize_t peeked = peekBytes(buffer, bufferSize);
        if (peeked == 0)
            return {};
        if (peeked > 0) {
            const auto *lf = static_cast<const char *>(std::memchr(buffer, '\n', static_cast<std::size_t>(peeked)));
            const std::size_t take = lf ? static_cast<std::size_t>(lf - buffer + 1) : static_cast<std::size_t>(peeked);
            // The peeked bytes are in the socket, so this receives all of them.
            const ssize_t got = receiveBytes(buffer, take);
            if (got < 0)
                checkSocketError(errno);
            if (got > 0)
                result.append(buffer, static_cast<std::size_t>(got));
            if (lf && static_cast<std::size_t>(got) == take)
                return result;
            if (result.size() > maxLineLength)
                throw SocketError("Empfangene Zeile ist zu lang");
            processMessages();
            throwIfStopRequested();
            if (m_cancelled) {
                m_cancelled = false;
                throw SocketAbortError("Socket-readln abgebrochen");
            }
            if (Clock::now() >= deadline)
                throw SocketError(silentServerText);
            continue;
        }
        const int e = errno;
        m_lastError = socketErrorCode(e);
        if (e == ENOTCONN)
            return {};
        if (!wouldBlock(e))
            checkSocketError(e);
        const WaitEnd end = wait(POLLIN, deadline, [](short revents) { return revents != 0; });
        if (end == WaitEnd::Cancelled) {
            m_cancelled = false;
            throw SocketAbortError("Socket-readln abgebrochen");
        }
        if (end == WaitEnd::Idle)
            throw SocketError(silentServerText);
    }
}

void TcpSocket::writeLine(const std::string &text)
{
    writeText(text + "\r\n");
}

void TcpSocket::writeText(const std::string &text)
{
    // The whole text goes out: cutting a long command would also cut its
    // line end.
    sendBuffer(text.data(), text.size());
}

void TcpSocket::sendBuffer(const char *data, std::size_t length)
{
    TimerGuard timer(*this);
    if (!m_cancelled)
        sendAll(data, length, false);
    if (m_cancelled) {
        m_cancelled = false;
        throw SocketAbortError("Socket-send abgebrochen");
    }
}

// Sends until everything is out or cancellation is requested. File data is
// counted, reported and interleaved with the event pump; command text is not.
// A send that makes no progress for idleTimeOut() fails.
void TcpSocket::sendAll(const char *data, std::size_t length, bool countAsFileData)
{
    std::size_t sent = 0;
    while (sent < length && !m_cancelled) {
        const ssize_t n = sendBytes(data + sent, length - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            if (countAsFileData) {
                m_sentCount += n;
                if (m_onPacketSent)
                    m_onPacketSent(*this);
                processMessages();
                throwIfStopRequested();
            }
            continue;
        }
        // A refusal to take bytes now (or a result of 0) means waiting for
        // room, never skipping the rest.
        if (n < 0 && !wouldBlock(errno))
            checkSocketError(errno);
        // Only the wait for room sees the timer: no timer bounds a file send.
        const WaitEnd end = wait(POLLOUT, idleDeadline(), [](short revents) { return revents != 0; });
        if (end == WaitEnd::Idle)
            throw SocketError("Zeit\xfc" "berschreitung beim Senden");
    }
}

std::string TcpSocket::readWaiting()
{
    if (m_cancelled) {
        m_cancelled = false;
        throw SocketAbortError("Socket-send abgebrochen");
    }
    const ssize_t peeked = peekBytes(m_buffer.get(), bufferSize);
    if (peeked <= 0)
        return {};
    const ssize_t got = receiveBytes(m_buffer.get(), static_cast<std::size_t>(peeked));
    return got > 0 ? std::string(m_buffer.get(), static_cast<std::size_t>(got)) : std::string();
}

bool TcpSocket::dataAvailable()
{
    char byte;
    return peekBytes(&byte, 1) >= 1;
}

void TcpSocket::listen(bool acceptNotice)
{
    ensureSocket();
    m_address = sockaddr_in{};
    m_address.sin_family = AF_INET;
    m_address.sin_port = htons(static_cast<std::uint16_t>(m_port));
    m_address.sin_addr.s_addr = htonl(INADDR_ANY);
    m_eventArrived = false;
    m_lastEventOk = true;
    m_acceptNotice = acceptNotice;
    // Checked, unlike a silent failure that would only show as a data
    // connection that never comes.
    if (::bind(m_fd, reinterpret_cast<const sockaddr *>(&m_address), sizeof m_address) != 0)
        checkSocketError(errno);
    if (::listen(m_fd, 1) != 0)
        checkSocketError(errno);
}

int TcpSocket::acceptConnection()
{
    const Clock::time_point deadline = idleDeadline();
    for (;;) {
        const WaitEnd end = wait(POLLIN, deadline, [this](short revents) {
            if (!m_eventArrived) {
                if (revents & (POLLERR | POLLHUP)) {
                    m_lastEventOk = false;
                    m_eventArrived = true;
                } else if (revents & POLLIN) {
                    m_lastEventOk = true;
                    m_connected = true;
                    m_eventArrived = m_eventArrived || m_acceptNotice;
                }
            }
            return m_eventArrived || m_cancelled;
        }, false, true);
        if (end == WaitEnd::Interrupted)
            throw WaitInterrupted();
        if (end == WaitEnd::Idle)
            throw SocketError("Zeit\xfc" "berschreitung bei der Datenverbindung");
        if (m_cancelled)
            throw SocketError("Annahme abgebrochen");
        if (!m_lastEventOk)
            throw SocketError("Fehler beim Herstellen der Datenverbindung");

        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(m_fd, reinterpret_cast<sockaddr *>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            const int e = errno;
            if (wouldBlock(e)) // the connection went away again before accept
                throw SocketError("Fehler beim Herstellen der Datenverbindung");
            checkSocketError(e);
        }
        // A third party that reaches the announced port first must not
        // receive the page.
        if (m_acceptFrom != 0 && peer.sin_addr.s_addr != m_acceptFrom) {
            ::close(fd);
            m_eventArrived = false;
            continue;
        }
        m_address = peer;
        if (m_cancelled) {
            m_cancelled = false;
            ::close(fd);
            throw SocketAbortError("Socket-send abgebrochen");
        }
        return fd;
    }
}

void TcpSocket::sendFile(const std::string &path)
{
    const int file = openLocalFile(path);
    FileCloser closer{file};

    char *const buffer = m_buffer.get();
    while (!m_cancelled) {
        const ssize_t n = ::read(file, buffer, bufferSize);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw Error("Datei " + path + " kann nicht gelesen werden");
        }
        if (n == 0)
            break;
        sendAll(buffer, static_cast<std::size_t>(n), true);
    }
    if (m_cancelled) {
        m_cancelled = false;
        throw SocketAbortError("Socket-send abgebrochen");
    }
}

std::string TcpSocket::transaction(const std::string &command)
{
    m_replyCode = 0;
    writeLine(command);
    std::string line = readLine();
    m_lastReply = line;
    if (!line.empty()) {
        reportStatus(1, withoutLineEnd(line));
        m_replyCode = parseReplyCode(line);
    }
    return line;
}

sockaddr_in TcpSocket::localAddress() const
{
    sockaddr_in local{};
    socklen_t length = sizeof local;
    ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&local), &length);
    return local;
}

std::string TcpSocket::localAddressText() const
{
    const sockaddr_in local = localAddress();
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &local.sin_addr, text, sizeof text);
    std::string result = text;
    std::replace(result.begin(), result.end(), '.', ',');
    return result;
}

std::string TcpSocket::portText() const
{
    const unsigned port = ntohs(localAddress().sin_port);
    return "," + std::to_string(port / 256) + "," + std::to_string(port % 256);
}

} // namespace kaviro
