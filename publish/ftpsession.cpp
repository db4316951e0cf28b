#include "publish/ftpsession.h"

namespace kaviro {

FtpSession::FtpSession()
{
    m_ftp.setReportLevel(0);
    m_ftp.setOnPacketSent([this](TcpSocket &) {
        if (m_onProgress)
            m_onProgress(m_ftp.transferSent(), m_ftp.transferSize());
    });
}

void FtpSession::configure(const Settings &settings, const std::atomic<bool> *stop)
{
    // Every property is set afresh, so nothing of an earlier upload (such as
    // its proxy) carries over.
    m_ftp.setProxy(settings.useProxy ? settings.proxyServer : std::string());
    if (settings.useProxy)
        m_ftp.setProxyPort(settings.proxyPort);
    m_ftp.setHost(settings.ftpServer);
    m_ftp.setPort(settings.ftpPort);
    m_ftp.setTimeOut(sessionTimeOut);
    m_ftp.setUserId(settings.ftpUser);
    m_ftp.setPassword(settings.ftpPassword);
    m_ftp.setPassive(settings.passive);
    m_ftp.setEncryption(settings.encryption);
    m_ftp.setTrustedCertificate(settings.certificate);
    m_ftp.setStopFlag(stop);
    m_folder = settings.ftpPath;
}

void FtpSession::changeDirectory(const std::string &folder)
{
    m_ftp.changeDirectory(folder);
}

std::string FtpSession::destination() const
{
    return "ftp://" + m_ftp.userId() + "@" + m_ftp.host() + ":" + std::to_string(m_ftp.port()) + " " + m_folder;
}

void FtpSession::makeDirectory(const std::string &folder)
{
    try {
        m_ftp.makeDirectory(folder);
    } catch (const FtpError &) {
        // Most servers refuse MKD of a folder that exists.
    }
}

bool FtpSession::remove(const std::string &remoteName)
{
    try {
        m_ftp.deleteFile(remoteName);
        return true;
    } catch (const FtpError &) {
        return false;
    }
}

void FtpSession::store(const std::string &localPath, const std::string &remoteName)
{
    const std::string temporary = temporaryName(remoteName);
    try {
        m_ftp.uploadFile(localPath, temporary);
        m_ftp.rename(temporary, remoteName);
    } catch (const FtpError &) {
        // The server is still talking: take the half-stored page away.
        try {
            m_ftp.deleteFile(temporary);
        } catch (const std::exception &) {
            // It may never have been created.
        }
        throw;
    }
}

} // namespace kaviro
