#pragma once

#include "publish/ftpclient.h"
#include "publish/transfersession.h"

namespace kaviro {

// The upload session over FTP (plain or TLS, passive or active).
class FtpSession : public TransferSession {
public:
    static constexpr int sessionTimeOut = 5000; // milliseconds

    FtpSession();

    void configure(const Settings &settings, const std::atomic<bool> *stop) override;
    void setProgressHandler(ProgressHandler handler) override { m_onProgress = std::move(handler); }
    void connect() override { m_ftp.connect(); }
    void changeDirectory(const std::string &folder) override;
    // Stores under a temporary name, then renames it onto remoteName.
    void store(const std::string &localPath, const std::string &remoteName) override;
    void makeDirectory(const std::string &folder) override;
    bool remove(const std::string &remoteName) override;
    void disconnect(std::chrono::milliseconds replyBound) override { m_ftp.disconnect(replyBound); }
    std::string destination() const override;

    FtpClient &client() { return m_ftp; }

private:
    FtpClient m_ftp;
    ProgressHandler m_onProgress;
    std::string m_folder;
};

} // namespace kaviro
