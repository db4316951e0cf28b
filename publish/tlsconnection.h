#pragma once

#include "publish/tcpsocket.h"

#include <cstddef>
#include <memory>
#include <string>

#include <sys/types.h>

struct ssl_st;
struct ssl_ctx_st;
struct ssl_session_st;

namespace kaviro {

// The server's certificate is neither trusted by the system's certificate
// store for the host name nor the one the user chose to trust. The message
// shows the fingerprint; fingerprint() gives it for the trust question.
class CertificateError : public SocketError {
public:
    CertificateError(const std::string &message, std::string fingerprint)
        : SocketError(message), m_fingerprint(std::move(fingerprint))
    {
    }
    // SHA-256 of the certificate, upper-case hex pairs joined by colons.
    const std::string &fingerprint() const { return m_fingerprint; }

private:
    std::string m_fingerprint;
};

class TlsConnection;

// The TLS settings one FTP session shares between its control and data
// connections: the system's certificate store and the session to resume.
class TlsContext {
public:
    TlsContext();
    ~TlsContext();
    TlsContext(const TlsContext &) = delete;
    TlsContext &operator=(const TlsContext &) = delete;
    ssl_ctx_st *get() const { return m_ctx; }

    // Keeps the connection's latest session for the next connection to
    // resume. Under TLS 1.3 a server may take each ticket only once, so
    // every data connection hands on the ticket it received.
    void remember(const TlsConnection &connection);
    ssl_session_st *session() const { return m_session; }

private:
    ssl_ctx_st *m_ctx;
    ssl_session_st *m_session = nullptr;
};

// TLS client on one connected non-blocking socket. Reads and writes behave
// like recv and send on a non-blocking socket: -1 with errno EAGAIN when
// they must wait, and wantsWrite() tells in which direction.
class TlsConnection {
public:
    // resume: offer the context's remembered session (a data connection
    // resumes the control connection's session).
    TlsConnection(const TlsContext &context, int fd, const std::string &hostName, bool resume);
    ~TlsConnection();
    TlsConnection(const TlsConnection &) = delete;
    TlsConnection &operator=(const TlsConnection &) = delete;

    // One step of the handshake: true when done, false when it must wait.
    // A failed handshake raises SocketError.
    bool handshakeStep();
    ssize_t read(char *buffer, std::size_t length, bool peek);
    ssize_t write(const char *data, std::size_t length);
    bool wantsWrite() const { return m_wantsWrite; }
    // Sends the close notice, so the peer knows the data ended here and was
    // not cut off; never waits.
    void closeNotify();

    // SHA-256 fingerprint of the peer's certificate, as CertificateError has it.
    std::string peerFingerprint() const;
    // Raises CertificateError unless the system store vouches for the
    // certificate and the host name, or its fingerprint is trustedFingerprint
    // (hex, colons optional, any case).
    void checkPeer(const std::string &hostName, const std::string &trustedFingerprint) const;

private:
    friend class TlsContext;
    ssize_t result(int rc);

    ssl_st *m_ssl;
    bool m_wantsWrite = false;
};

// A fingerprint as the user may type it, reduced to upper-case hex digits.
std::string normalizedFingerprint(const std::string &text);

} // namespace kaviro
