#include "publish/uploader.h"

#include "publish/tlsconnection.h"
#include "publish/uploadrecord.h"

#include <cstdio>
#include <future>

namespace kaviro {

const std::string Uploader::connectingText = "Verbindung zum FTP-Server herstellen ...";
const std::string Uploader::connectFailedText = "FEHLER: Kann Verbindung nicht herstellen.";
const std::string Uploader::changingDirectoryText = "Server Verzeichnis wechseln ... ";
const std::string Uploader::changeDirectoryFailedText = "FEHLER: Kann Verzeichnis nicht wechseln.";
const std::string Uploader::sendingText = "HTML-Seiten werden \xfc" "bertragen ... ";
const std::string Uploader::sendFailedText = "FEHLER: Kann Datei nicht \xfc" "bertragen.";
const std::string Uploader::cancelledText = "\xdc" "bertragung vom Benutzer abgebrochen.";

namespace {

constexpr std::int64_t parallelHashFrom = 1 << 20;

// Files, not pages: images travel with the pages.
std::string filesText(std::int32_t count)
{
    return std::to_string(count) + (count == 1 ? " Datei" : " Dateien");
}

} // namespace

std::string Uploader::pageNotStoredText(const std::string &pageName)
{
    return "FEHLER: Der Server hat " + pageName + " nicht gespeichert.";
}

std::string Uploader::summaryText(const UploadResult &result)
{
    std::string text = filesText(result.filesSent) + " \xfc" "bertragen, " + std::to_string(result.filesUnchanged)
                       + " unver\xe4" "ndert";
    if (result.filesDeleted > 0)
        text += ", " + filesText(result.filesDeleted) + " vom Server entfernt";
    return text + ".";
}

Uploader::Uploader()
{
    const auto onProgress = [this](std::int64_t sent, std::int64_t size) {
        if (m_onProgress)
            m_onProgress(m_page, sent, size);
    };
    m_ftp.setProgressHandler(onProgress);
    m_sftp.setProgressHandler(onProgress);
}

void Uploader::status(const std::string &text)
{
    if (m_onStatus)
        m_onStatus(text);
}

// A step that fails shows its status text and message and skips the steps
// after it; a cancel shows only that it was cancelled.
bool Uploader::attempt(const std::string &failedText, const std::function<void()> &action)
{
    try {
        action();
        return true;
    } catch (const StopRequested &) {
        m_result.cancelled = true;
        status(cancelledText);
        return false;
    } catch (const StoreRefused &e) {
        status(pageNotStoredText(m_pageName));
        if (m_onError)
            m_onError(e.what());
    } catch (const CertificateError &e) {
        m_result.untrustedCertificate = e.fingerprint();
        status(failedText);
        if (m_onError)
            m_onError(e.what());
    } catch (const SftpHostKeyError &e) {
        m_result.untrustedHostKey = e.fingerprint();
        m_result.hostKeyChanged = e.problem() == SftpHostKeyError::Problem::Changed;
        status(failedText);
        if (m_onError)
            m_onError(e.what());
    } catch (const std::exception &e) {
        status(failedText);
        if (m_onError)
            m_onError(e.what());
    }
    return false;
}

bool Uploader::stopRequested()
{
    if (!m_cancelRequested || m_result.cancelled)
        return m_result.cancelled;
    m_result.cancelled = true;
    status(cancelledText);
    return true;
}

bool Uploader::upload(const Settings &settings, const UploadFiles &files)
{
    if (m_running)
        throw Error("Es l\xe4" "uft bereits eine \xdc" "bertragung");
    struct RunningFlag {
        bool &running;
        explicit RunningFlag(bool &flag) : running(flag) { running = true; }
        ~RunningFlag() { running = false; }
    } runningFlag(m_running);
    m_cancelRequested = false;
    m_result = {};
    m_page = 0;
    m_serverFolders.clear();

    m_session = &m_ftp;
    if (settings.protocol == UploadProtocol::Sftp)
        m_session = &m_sftp;
    status(connectingText);
    m_session->configure(settings, &m_cancelRequested);
    bool ok = attempt(connectFailedText, [this] { m_session->connect(); }) && !stopRequested();
    if (ok) {
        status(changingDirectoryText);
        ok = attempt(changeDirectoryFailedText, [&] { m_session->changeDirectory(settings.ftpPath); })
            && !stopRequested();
    }
    if (ok) {
        status(sendingText);
        ok = attempt(sendFailedText, [&] { sendPages(settings, files); });
    }

    // The good-bye must not be stopped by the cancel it follows.
    const bool cancelled = m_result.cancelled;
    m_cancelRequested = false;
    if (cancelled) {
        // The user asked to stop: a server that does not say good-bye in
        // time changes nothing, the connection is closed either way.
        try {
            m_session->disconnect(quitBoundAfterCancel);
        } catch (const std::exception &) {
        }
    } else {
        m_session->disconnect(quitBoundAfterFailure);
    }
    m_result.ok = ok;
    return ok;
}

void Uploader::makeServerFolders(const std::string &remoteName)
{
    for (std::size_t slash = remoteName.find('/'); slash != std::string::npos;
         slash = remoteName.find('/', slash + 1)) {
        const std::string folder = remoteName.substr(0, slash);
        if (m_serverFolders.insert(folder).second)
            m_session->makeDirectory(folder);
    }
}

void Uploader::sendPages(const Settings &settings, const UploadFiles &files)
{
    const std::string recordPath = files.localPath(UploadRecord::fileName);
    UploadRecord record = UploadRecord::load(recordPath);
    const std::string destination = m_session->destination();
    const UploadRecord::Pages previous = record.pages(destination);
    // What the server folder holds as far as we know, page by page as they
    // are stored; and what this generation consists of.
    UploadRecord::Pages held = previous;
    UploadRecord::Pages current;
    const auto saveRecord = [&](const UploadRecord::Pages &pages) {
        record.setPages(destination, pages);
        // A record that cannot be replaced must not be trusted later.
        if (!record.save(recordPath))
            std::remove(recordPath.c_str());
    };

    try {
        const auto count = std::int32_t(files.names.size());
        for (std::int32_t n = 1; n <= count; ++n) {
            m_page = n;
            m_pageName = files.names[std::size_t(n - 1)];
            const std::string localName = files.localPath(m_pageName);
            const auto known = previous.find(m_pageName);
            const bool mayBeUnchanged = !settings.uploadAll && known != previous.end();
            // A page that must travel anyway is hashed beside its transfer
            // when it is large, so the record costs no time of its own.
            std::string digest;
            std::future<std::string> pendingDigest;
            if (mayBeUnchanged || localFileSize(localName) < parallelHashFrom)
                digest = fileSha256(localName);
            else
                pendingDigest = std::async(std::launch::async, fileSha256, localName);
            if (mayBeUnchanged && known->second == digest) {
                current[m_pageName] = digest;
                ++m_result.filesUnchanged;
                continue;
            }
            makeServerFolders(m_pageName);
            m_session->store(localName, m_pageName);
            if (pendingDigest.valid())
                digest = pendingDigest.get();
            current[m_pageName] = digest;
            held[m_pageName] = digest;
            ++m_result.filesSent;
            if (n < count && m_cancelRequested)
                throw StopRequested();
        }
    } catch (...) {
        saveRecord(held);
        throw;
    }
    // Only pages an earlier upload of ours stored, never anything else.
    for (const auto &[name, digest] : previous) {
        if (current.count(name) != 0)
            continue;
        // A refusal means the page is gone from the server already.
        if (m_session->remove(name))
            ++m_result.filesDeleted;
    }
    saveRecord(current);
}

} // namespace kaviro
