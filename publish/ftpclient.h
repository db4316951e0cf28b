#pragma once

#include "publish/ftpcontrol.h"
#include "publish/tcpsocket.h"
#include "settings/settings.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace kaviro {

class DataChannel;
class TlsContext;

// The closing reply after a file's data was not 226 or 250: the server did
// not store it (552 quota exceeded, 426 aborted).
class StoreRefused : public FtpError {
public:
    using FtpError::FtpError;
};

// How an FTP proxy is told which server is meant.
enum class FirewallType { FtUser = 0, FtOpen = 1, FtSite = 2 };

// FTP client for storing files: log in (directly or through a proxy, in
// plain text or over TLS), change the directory, store, rename and delete
// files, quit. It composes a line connection (the control socket, TLS once
// AUTH TLS succeeded), the control protocol on it and, per file, a data
// connection of the chosen kind.
//
// After the login the client sends TYPE I, so every server stores the bytes
// unchanged, CR LF included.
class FtpClient {
public:
    FtpClient();
    ~FtpClient();
    FtpClient(const FtpClient &) = delete;
    FtpClient &operator=(const FtpClient &) = delete;

    // Connects and logs in; returns at once when already connected. Cleans up
    // after its own failures (QUIT when still connected, close).
    void connect();
    // QUIT and close; does nothing when not connected. The socket is closed
    // even when QUIT fails; a QUIT code from 301 to 599 then raises FtpError.
    void disconnect();
    // The same with its own bound on the QUIT reply (a clean-up after a
    // failure or a cancel must not wait a whole idle time-out).
    void disconnect(std::chrono::milliseconds replyBound);

    void changeDirectory(const std::string &directory);
    // Stores the file at localPath (a file-system path) under remoteName
    // (sent as given; the file-name part of localPath when empty). Only a
    // closing reply of 226 or 250 counts as stored; anything else raises
    // StoreRefused with that reply line.
    void uploadFile(const std::string &localPath, const std::string &remoteName);
    // RNFR/RNTO; a server that refuses renaming onto an existing name gets
    // DELE of that name first. Raises FtpError with the refusing reply.
    void rename(const std::string &from, const std::string &to);
    // DELE; raises FtpError with the refusing reply.
    void deleteFile(const std::string &name);
    // MKD; raises FtpError with the refusing reply.
    void makeDirectory(const std::string &name);

    // Size of the file of the latest uploadFile, known before its first byte
    // is sent.
    std::int64_t transferSize() const { return m_transferSize; }
    // Bytes of the current file sent so far; meaningful inside the
    // packet-sent hook.
    std::int64_t transferSent() const;

    // The control connection's properties.
    const std::string &host() const { return m_socket.host(); }
    void setHost(std::string host) { m_socket.setHost(std::move(host)); }
    int port() const { return m_socket.port(); }
    void setPort(int port) { m_socket.setPort(port); }
    const std::string &proxy() const { return m_socket.proxy(); }
    void setProxy(std::string proxy) { m_socket.setProxy(std::move(proxy)); }
    void setProxyPort(int port) { m_socket.setProxyPort(port); }
    int timeOut() const { return m_socket.timeOut(); }
    void setTimeOut(int milliseconds) { m_socket.setTimeOut(milliseconds); }
    std::chrono::milliseconds idleTimeOut() const { return m_socket.idleTimeOut(); }
    void setIdleTimeOut(std::chrono::milliseconds bound) { m_socket.setIdleTimeOut(bound); }
    void setReportLevel(int level) { m_socket.setReportLevel(level); }
    void setOnStatus(TcpSocket::StatusHandler handler) { m_socket.setOnStatus(std::move(handler)); }
    void setOnPacketSent(TcpSocket::PacketSentHandler handler) { m_onPacketSent = std::move(handler); }
    bool isConnected() { return m_socket.isConnected(); }
    bool timedOut() const { return m_socket.timedOut(); }
    int replyCode() const { return m_replyCode; }

    // Every wait of the session ends within a few milliseconds once *flag is
    // true (StopRequested); any thread or a signal handler may set it.
    void setStopFlag(const std::atomic<bool> *flag);
    // Passive (EPSV/PASV) or active (PORT) data connections; active unless set.
    void setPassive(bool on) { m_passive = on; }
    void setEncryption(FtpEncryption encryption) { m_encryption = encryption; }
    // SHA-256 fingerprint of a certificate to trust beyond the system store.
    void setTrustedCertificate(std::string fingerprint) { m_trustedCertificate = std::move(fingerprint); }
    // Whether the running session is protected by TLS.
    bool encrypted() const { return m_socket.tls() != nullptr; }

    FirewallType firewallType() const { return m_firewallType; }
    void setFirewallType(FirewallType type) { m_firewallType = type; }
    bool fwAuthenticate() const { return m_fwAuthenticate; }
    void setFwAuthenticate(bool on) { m_fwAuthenticate = on; }
    void setFwUserId(std::string user) { m_fwUserId = std::move(user); }
    void setFwPassword(std::string password) { m_fwPassword = std::move(password); }
    const std::string &userId() const { return m_userId; }
    void setUserId(std::string user) { m_userId = std::move(user); }
    void setPassword(std::string password) { m_password = std::move(password); }

private:
    FtpReply command(const std::string &command);
    std::string sendCommand(const std::string &command, int failFrom, int failTo);
    void readGreeting();
    void startTls();
    void login();
    void protectAndSetType();
    void transferData(const std::string &localPath, TcpSocket &data, DataChannel &channel);
    [[noreturn]] void failWithServersReply(const std::exception_ptr &failure);
    const std::string &tlsHostName() const { return proxy().empty() ? host() : proxy(); }

    TcpSocket m_socket;
    FtpControl m_control{m_socket};
    std::unique_ptr<TlsContext> m_tlsContext;
    bool m_passive = false;
    FtpEncryption m_encryption = FtpEncryption::None;
    std::string m_trustedCertificate;
    const std::atomic<bool> *m_stopFlag = nullptr;
    FirewallType m_firewallType = FirewallType::FtUser;
    bool m_fwAuthenticate = false;
    std::string m_fwUserId;
    std::string m_fwPassword;
    std::string m_userId;
    std::string m_password;
    int m_replyCode = 0;
    TcpSocket::PacketSentHandler m_onPacketSent;
    std::unique_ptr<TcpSocket> m_dataSocket;
    std::int64_t m_transferSize = 0;
    std::recursive_mutex m_transferLock;
};

} // namespace kaviro
