#pragma once

#include "publish/sftpsession.h"
#include "publish/transfersession.h"

namespace kaviro {

// The upload session over SFTP. The server keys of section FTP name the
// account; HostKey is the fingerprint the user trusts. Proxy, passive mode
// and encryption do not apply. A cancel surfaces as StopRequested, as on
// the FTP road; an untrusted host key as SftpHostKeyError.
class SftpTransferSession : public TransferSession {
public:
    void configure(const Settings &settings, const std::atomic<bool> *stop) override;
    void setProgressHandler(ProgressHandler handler) override { m_onProgress = std::move(handler); }
    void connect() override;
    void changeDirectory(const std::string &folder) override;
    // Stores under a temporary name, then renames it onto remoteName.
    void store(const std::string &localPath, const std::string &remoteName) override;
    void makeDirectory(const std::string &folder) override;
    bool remove(const std::string &remoteName) override;
    void disconnect(std::chrono::milliseconds replyBound) override;
    std::string destination() const override;

    // The folder of known_hosts and the default keys; empty for ~/.ssh.
    void setSshDir(std::string folder) { m_sshDir = std::move(folder); }
    // For settings an upload does not set (such as the bound on silence).
    SftpSession &session() { return m_sftp; }

private:
    SftpSession m_sftp;
    SftpAccount m_account;
    std::string m_sshDir;
    std::string m_folder;
    ProgressHandler m_onProgress;
};

} // namespace kaviro
