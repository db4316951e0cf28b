#include "publish/tlsconnection.h"

#include "common/hextext.h"

#include <cctype>
#include <cerrno>

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace kaviro {

namespace {

std::string openSslErrorText()
{
    const unsigned long code = ::ERR_get_error();
    ::ERR_clear_error();
    if (code == 0)
        return {};
    char text[256];
    ::ERR_error_string_n(code, text, sizeof text);
    return text;
}

bool isIpAddress(const std::string &host)
{
    in_addr v4{};
    in6_addr v6{};
    return ::inet_pton(AF_INET, host.c_str(), &v4) == 1 || ::inet_pton(AF_INET6, host.c_str(), &v6) == 1;
}

} // namespace

std::string normalizedFingerprint(const std::string &text)
{
    std::string hex;
    for (const char c : text) {
        if (std::isxdigit(static_cast<unsigned char>(c)))
            hex += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return hex;
}

TlsContext::TlsContext() : m_ctx(::SSL_CTX_new(::TLS_client_method()))
{
    if (!m_ctx)
        throw SocketError("TLS kann nicht eingerichtet werden: " + openSslErrorText());
    ::SSL_CTX_set_min_proto_version(m_ctx, TLS1_2_VERSION);
    // The handshake completes whatever the certificate; checkPeer decides
    // afterwards, so that an untrusted certificate can be named to the user.
    ::SSL_CTX_set_verify(m_ctx, SSL_VERIFY_NONE, nullptr);
    ::SSL_CTX_set_default_verify_paths(m_ctx);
    // Data connections resume the control connection's session, which
    // servers such as vsftpd demand.
    ::SSL_CTX_set_session_cache_mode(m_ctx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
}

TlsContext::~TlsContext()
{
    if (m_session)
        ::SSL_SESSION_free(m_session);
    ::SSL_CTX_free(m_ctx);
}

void TlsContext::remember(const TlsConnection &connection)
{
    SSL_SESSION *latest = ::SSL_get1_session(connection.m_ssl);
    if (!latest)
        return;
    if (!::SSL_SESSION_is_resumable(latest)) {
        ::SSL_SESSION_free(latest);
        return;
    }
    if (m_session)
        ::SSL_SESSION_free(m_session);
    m_session = latest;
}

TlsConnection::TlsConnection(const TlsContext &context, int fd, const std::string &hostName, bool resume)
    : m_ssl(::SSL_new(context.get()))
{
    if (!m_ssl)
        throw SocketError("TLS kann nicht eingerichtet werden: " + openSslErrorText());
    ::SSL_set_fd(m_ssl, fd);
    ::SSL_set_connect_state(m_ssl);
    X509_VERIFY_PARAM *param = ::SSL_get0_param(m_ssl);
    if (isIpAddress(hostName)) {
        ::X509_VERIFY_PARAM_set1_ip_asc(param, hostName.c_str());
    } else {
        ::SSL_set_tlsext_host_name(m_ssl, hostName.c_str());
        ::SSL_set1_host(m_ssl, hostName.c_str());
    }
    if (resume && context.session())
        ::SSL_set_session(m_ssl, context.session());
}

TlsConnection::~TlsConnection()
{
    ::SSL_free(m_ssl);
}

ssize_t TlsConnection::result(int rc)
{
    m_wantsWrite = false;
    if (rc > 0)
        return rc;
    const int error = ::SSL_get_error(m_ssl, rc);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
        m_wantsWrite = error == SSL_ERROR_WANT_WRITE;
        errno = EAGAIN;
        return -1;
    }
    // The peer's close notice reads as an orderly end, like recv's 0.
    if (error == SSL_ERROR_ZERO_RETURN)
        return 0;
    if (error == SSL_ERROR_SYSCALL && errno == 0)
        return 0;
    ::ERR_clear_error();
    if (error != SSL_ERROR_SYSCALL)
        errno = ECONNRESET;
    return -1;
}

bool TlsConnection::handshakeStep()
{
    const int rc = ::SSL_do_handshake(m_ssl);
    if (rc == 1)
        return true;
    const int error = ::SSL_get_error(m_ssl, rc);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
        m_wantsWrite = error == SSL_ERROR_WANT_WRITE;
        return false;
    }
    const std::string detail = openSslErrorText();
    throw SocketError("TLS-Verbindung fehlgeschlagen" + (detail.empty() ? std::string() : ": " + detail));
}

ssize_t TlsConnection::read(char *buffer, std::size_t length, bool peek)
{
    const int n = static_cast<int>(std::min<std::size_t>(length, 1 << 30));
    return result(peek ? ::SSL_peek(m_ssl, buffer, n) : ::SSL_read(m_ssl, buffer, n));
}

ssize_t TlsConnection::write(const char *data, std::size_t length)
{
    const int n = static_cast<int>(std::min<std::size_t>(length, 1 << 30));
    return result(::SSL_write(m_ssl, data, n));
}

void TlsConnection::closeNotify()
{
    ::SSL_shutdown(m_ssl);
    ::ERR_clear_error();
}

std::string TlsConnection::peerFingerprint() const
{
    X509 *certificate = ::SSL_get1_peer_certificate(m_ssl);
    if (!certificate)
        return {};
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    ::X509_digest(certificate, ::EVP_sha256(), digest, &length);
    ::X509_free(certificate);
    return hexText(digest, length, true);
}

void TlsConnection::checkPeer(const std::string &hostName, const std::string &trustedFingerprint) const
{
    const std::string fingerprint = peerFingerprint();
    if (!trustedFingerprint.empty() && normalizedFingerprint(trustedFingerprint) == normalizedFingerprint(fingerprint))
        return;
    if (!fingerprint.empty() && ::SSL_get_verify_result(m_ssl) == X509_V_OK)
        return;
    throw CertificateError("Dem Zertifikat des Servers " + hostName + " wird nicht vertraut. "
                           "SHA-256-Fingerabdruck: " + fingerprint,
                           fingerprint);
}

} // namespace kaviro
