#include "publish/sftptransfersession.h"

#include "publish/tcpsocket.h"

#include <algorithm>

namespace kaviro {

namespace {

// The uploader knows one way a step ends by cancel, whatever the protocol.
template<typename Step>
void cancellable(const Step &step)
{
    try {
        step();
    } catch (const SftpAbortError &) {
        throw StopRequested();
    }
}

} // namespace

void SftpTransferSession::configure(const Settings &settings, const std::atomic<bool> *stop)
{
    m_account = {};
    m_account.host = settings.ftpServer;
    m_account.port = settings.ftpPort;
    m_account.user = settings.ftpUser;
    m_account.password = settings.ftpPassword;
    m_account.trustedHostKey = settings.hostKey;
    m_account.sshDir = m_sshDir;
    m_folder = settings.ftpPath;
    m_sftp.setStopFlag(stop);
}

void SftpTransferSession::connect()
{
    cancellable([this] { m_sftp.connect(m_account); });
}

void SftpTransferSession::changeDirectory(const std::string &folder)
{
    cancellable([&] { m_sftp.changeDirectory(folder); });
}

void SftpTransferSession::store(const std::string &localPath, const std::string &remoteName)
{
    const std::string temporary = temporaryName(remoteName);
    cancellable([&] {
        try {
            m_sftp.uploadFile(localPath, temporary, m_onProgress);
            m_sftp.rename(temporary, remoteName);
        } catch (const SftpAbortError &) {
            // A cancelled page stays under its temporary name.
            throw;
        } catch (const SftpError &) {
            // The server is still talking: take the half-stored page away.
            if (m_sftp.isConnected()) {
                try {
                    m_sftp.remove(temporary);
                } catch (const SftpError &) {
                    // It may never have been created.
                }
            }
            throw;
        }
    });
}

void SftpTransferSession::makeDirectory(const std::string &folder)
{
    cancellable([&] { m_sftp.makeDirectory(folder); });
}

bool SftpTransferSession::remove(const std::string &remoteName)
{
    bool removed = false;
    cancellable([&] {
        try {
            m_sftp.remove(remoteName);
            removed = true;
        } catch (const SftpAbortError &) {
            throw;
        } catch (const SftpError &) {
            if (!m_sftp.isConnected())
                throw;
        }
    });
    return removed;
}

void SftpTransferSession::disconnect(std::chrono::milliseconds replyBound)
{
    // The good-bye is bounded like the FTP road's QUIT.
    const std::chrono::milliseconds idle = m_sftp.idleTimeOut();
    m_sftp.setIdleTimeOut(idle.count() > 0 ? std::min(idle, replyBound) : replyBound);
    m_sftp.close();
    m_sftp.setIdleTimeOut(idle);
}

std::string SftpTransferSession::destination() const
{
    return "sftp://" + m_account.user + "@" + m_account.host + ":" + std::to_string(m_account.port) + " "
           + m_folder;
}

} // namespace kaviro
