#pragma once

#include "publish/tcpsocket.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace kaviro {

// A server refused a step; the message is the server's reply line exactly as
// received, line end included.
class FtpError : public Error {
public:
    using Error::Error;
};

// How an FTP proxy is told which server is meant.
enum class FirewallType { FtUser = 0, FtOpen = 1, FtSite = 2 };

// FTP client for storing files: log in (directly or through a proxy), change
// the directory, store files over active data connections, quit. The client
// is the control connection; each stored file gets its own data socket.
//
// The client sends no TYPE, MODE or STRU: the server's defaults (ASCII type,
// stream mode, file structure) apply while the file's bytes go out
// unchanged.
class FtpClient : public TcpSocket {
public:
    FtpClient();
    ~FtpClient() override;

    // Connects and logs in; returns at once when already connected. Cleans up
    // after its own failures (QUIT when still connected, close).
    void connect() override;
    // QUIT and close; does nothing when not connected. The socket is closed
    // even when QUIT fails; a QUIT code from 301 to 599 then raises FtpError.
    void disconnect() override;
    // One command line out, one whole reply in (continuation lines are read
    // and dropped); returns the first line. A connection the server closes
    // instead of answering fails.
    std::string transaction(const std::string &command) override;
    // A time-out of the client only cancels the running data connection.
    void abort() override;

    void changeDirectory(const std::string &directory);
    // Stores the file at localPath (a file-system path) under remoteName
    // (sent as given; the file-name part of localPath when empty).
    void uploadFile(const std::string &localPath, const std::string &remoteName);

    // Size of the file of the latest uploadFile, known before its first byte
    // is sent.
    std::int64_t transferSize() const { return m_transferSize; }
    // Bytes of the current file sent so far; meaningful inside the
    // packet-sent hook.
    std::int64_t transferSent() const;

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
    void readContinuation(const std::string &firstLine, bool closeFails);
    std::string sendCommand(const std::string &command, int failFrom, int failTo);
    void judge(const std::string &line, int failFrom, int failTo) const;
    void login();

    FirewallType m_firewallType = FirewallType::FtUser;
    bool m_fwAuthenticate = false;
    std::string m_fwUserId;
    std::string m_fwPassword;
    std::string m_userId;
    std::string m_password;
    std::unique_ptr<TcpSocket> m_dataSocket;
    std::int64_t m_transferSize = 0;
    std::recursive_mutex m_transferLock;
};

} // namespace kaviro
