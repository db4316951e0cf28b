#include "session/connectiontest.h"

#include "common/lineend.h"
#include "publish/uploader.h"
#include "settings/settings.h"

#include <functional>

namespace kaviro {

const std::string ConnectionTest::quitFailedText = "FEHLER: Kann Verbindung nicht ordentlich beenden.";

namespace {

// Runs the steps in order; the first failure ends the test with its step.
ConnectionTest::Result runSteps(std::initializer_list<std::pair<const std::string *, std::function<void()>>> steps)
{
    ConnectionTest::Result result;
    for (const auto &[failedStep, step] : steps) {
        try {
            step();
        } catch (const std::exception &e) {
            result.failedStep = *failedStep;
            result.message = withoutLineEnd(e.what());
            return result;
        }
    }
    result.ok = true;
    return result;
}

} // namespace

ConnectionTest::Result ConnectionTest::run(const Settings &settings)
{
    m_stop = false;
    return settings.protocol == UploadProtocol::Sftp ? runSftp(settings) : runFtp(settings);
}

void ConnectionTest::cancel()
{
    m_stop = true;
    m_sftp.cancel();
}

ConnectionTest::Result ConnectionTest::runFtp(const Settings &settings)
{
    m_ftp.configure(settings, &m_stop);
    m_ftp.client().setIdleTimeOut(idleTimeOut);
    const Result result = runSteps({
        {&Uploader::connectFailedText, [&] { m_ftp.connect(); }},
        {&Uploader::changeDirectoryFailedText, [&] { m_ftp.changeDirectory(settings.ftpPath); }},
        {&quitFailedText, [&] { m_ftp.disconnect(Uploader::quitBoundAfterFailure); }},
    });
    // After a failure the connection may still stand; its good-bye changes
    // nothing about the outcome.
    try {
        m_ftp.disconnect(Uploader::quitBoundAfterCancel);
    } catch (const std::exception &) {
    }
    return result;
}

ConnectionTest::Result ConnectionTest::runSftp(const Settings &settings)
{
    SftpAccount account;
    account.host = settings.ftpServer;
    account.port = settings.ftpPort;
    account.user = settings.ftpUser;
    account.password = settings.ftpPassword;
    account.trustedHostKey = settings.hostKey;
    m_sftp.setIdleTimeOut(idleTimeOut);
    const Result result = runSteps({
        {&Uploader::connectFailedText, [&] { m_sftp.connect(account); }},
        {&Uploader::changeDirectoryFailedText, [&] { m_sftp.changeDirectory(settings.ftpPath); }},
    });
    m_sftp.close();
    return result;
}

} // namespace kaviro
