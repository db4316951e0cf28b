#include "publish/uploader.h"

#include "common/filename.h"

namespace kaviro {

const std::string Uploader::connectingText = "Verbindung zum FTP-Server herstellen ...";
const std::string Uploader::connectFailedText = "FEHLER: Kann Verbindung nicht herstellen.";
const std::string Uploader::changingDirectoryText = "Server Verzeichnis wechseln ... ";
const std::string Uploader::changeDirectoryFailedText = "FEHLER: Kann Verzeichnis nicht wechseln.";
const std::string Uploader::sendingText = "HTML-Seiten werden \xfc" "bertragen ... ";
const std::string Uploader::sendFailedText = "FEHLER: Kann Datei nicht \xfc" "bertragen.";
const std::string Uploader::cancelledText = "\xdc" "bertragung vom Benutzer abgebrochen.";

Uploader::Uploader()
{
    m_ftp.setReportLevel(0);
    m_ftp.setOnPacketSent([this](TcpSocket &) {
        if (m_onProgress)
            m_onProgress(m_page, m_ftp.transferSent(), m_ftp.transferSize());
    });
}

void Uploader::status(const std::string &text)
{
    if (m_onStatus)
        m_onStatus(text);
}

void Uploader::fail(const std::string &statusText, const std::exception &error)
{
    status(statusText);
    if (m_onError)
        m_onError(error.what());
}

bool Uploader::stopRequested()
{
    if (!m_cancelRequested)
        return false;
    status(cancelledText);
    return true;
}

bool Uploader::upload(const Settings &settings, std::int32_t pageCount, const PageFileName &pageFileName)
{
    if (m_running)
        throw Error("Es l\xe4" "uft bereits eine \xdc" "bertragung");
    struct RunningFlag {
        bool &running;
        explicit RunningFlag(bool &flag) : running(flag) { running = true; }
        ~RunningFlag() { running = false; }
    } runningFlag(m_running);
    m_cancelRequested = false;
    m_page = 0;

    status(connectingText);
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

    // A step that fails shows its status text and message and skips the
    // steps after it.
    const auto attempt = [this](const std::string &failedText, const auto &action) {
        try {
            action();
            return true;
        } catch (const std::exception &e) {
            fail(failedText, e);
            return false;
        }
    };
    bool ok = attempt(connectFailedText, [this] { m_ftp.connect(); }) && !stopRequested();
    if (ok) {
        status(changingDirectoryText);
        ok = attempt(changeDirectoryFailedText, [&] { m_ftp.changeDirectory(settings.ftpPath); })
            && !stopRequested();
    }
    if (ok) {
        status(sendingText);
        bool cancelled = false;
        ok = attempt(sendFailedText, [&] {
            for (std::int32_t n = 1; n <= pageCount && !cancelled; ++n) {
                m_page = n;
                const std::string localName = pageFileName(n);
                m_ftp.uploadFile(localName, std::string(fileNamePart(localName)));
                // Once the last page is stored there is nothing left to cancel.
                cancelled = n < pageCount && stopRequested();
            }
        }) && !cancelled;
    }

    m_ftp.disconnect();
    return ok;
}

} // namespace kaviro
