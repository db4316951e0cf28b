#pragma once

#include "publish/ftpsession.h"
#include "publish/sftptransfersession.h"
#include "settings/settings.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace kaviro {

// The files of one generation to upload: the local output folder and the
// files in it, relative to it with "/" between folders (pages, detail pages,
// images), all Windows-1252.
struct UploadFiles {
    std::string folder;
    std::vector<std::string> names;

    // An empty folder is the current one.
    std::string localPath(const std::string &name) const { return (folder.empty() ? "." : folder) + '/' + name; }
};

// How an upload ended.
struct UploadResult {
    bool ok = false;
    bool cancelled = false;
    std::int32_t filesSent = 0;
    // Files the server already held with the same bytes, not sent again.
    std::int32_t filesUnchanged = 0;
    // Files of the previous upload the current generation no longer has.
    std::int32_t filesDeleted = 0;
    // The SHA-256 fingerprint of a server certificate nobody vouched for,
    // when that ended the upload; trusting it means storing it under
    // Certificate in section FTP.
    std::string untrustedCertificate;
    // The SHA-256 fingerprint (OpenSSH form) of an SFTP server's host key
    // nobody vouched for, when that ended the upload; trusting it means
    // storing it under HostKey in section FTP.
    std::string untrustedHostKey;
    // That host key replaced one known or trusted for the server: possibly
    // an attack, never to be taken without asking.
    bool hostKeyChanged = false;
};

// The upload of the generated files without any window: one session (FTP
// or SFTP, as Protocol says) that logs in, changes to the server folder,
// stores each file under its own name (creating the server's sub-folders
// when missing) and quits. The upload window and the headless
// publisher both run it; they show the status texts, the progress and the
// failure messages as they like. Texts are Windows-1252 bytes.
//
// Each page travels under a temporary name and is renamed onto its own once
// stored. A record beside the pages (UploadRecord) tells which pages the
// server folder already holds unchanged (skipped unless UploadAll) and
// which pages of the previous upload are gone from the generation (deleted
// after a successful upload; nothing else on the server is touched).
class Uploader {
public:
    using StatusHandler = std::function<void(const std::string &text)>;
    // After every send of file data: the file being sent (from 1, in the
    // order of UploadFiles::names), its bytes sent so far and its size.
    using ProgressHandler = std::function<void(std::int32_t page, std::int64_t sent, std::int64_t size)>;
    // The message of a failure that ended a step, after its status text.
    using ErrorHandler = std::function<void(const std::string &message)>;

    // Bound on the server's answer to QUIT after a failure, and after a cancel.
    static constexpr std::chrono::milliseconds quitBoundAfterFailure{5000};
    static constexpr std::chrono::milliseconds quitBoundAfterCancel{500};

    Uploader();

    void setStatusHandler(StatusHandler handler) { m_onStatus = std::move(handler); }
    void setProgressHandler(ProgressHandler handler) { m_onProgress = std::move(handler); }
    void setErrorHandler(ErrorHandler handler) { m_onError = std::move(handler); }

    // True when every page is stored; false after a failure that was
    // reported (status text, then the error handler) or after a
    // cancellation. The final QUIT runs in every case, and a failure of it is
    // not caught. Reads the FTP values of settings as they stand now.
    // Raises kaviro::Error when called while an upload runs (the event pump
    // may offer that chance).
    bool upload(const Settings &settings, const UploadFiles &files);
    // Details of the latest upload.
    const UploadResult &lastResult() const { return m_result; }

    // Ends the running upload as soon as possible: any wait ends within a
    // few milliseconds, the data connection is closed, QUIT is sent with a
    // short bound, and upload() reports cancelledText and returns false.
    // Safe from any thread and from a signal handler.
    void cancel() { m_cancelRequested.store(true); }
    bool isRunning() const { return m_running; }

    // The session's client, for settings an upload does not set (such as the
    // bound on a silent server).
    FtpClient &client() { return m_ftp.client(); }
    SftpTransferSession &sftp() { return m_sftp; }

    static const std::string connectingText;
    static const std::string connectFailedText;
    static const std::string changingDirectoryText;
    static const std::string changeDirectoryFailedText;
    static const std::string sendingText;
    static const std::string sendFailedText;
    static const std::string cancelledText;
    // The status after a page the server did not store.
    static std::string pageNotStoredText(const std::string &pageName);
    // What a finished upload did: "3 Dateien übertragen, 2 unverändert."
    static std::string summaryText(const UploadResult &result);

private:
    void status(const std::string &text);
    bool attempt(const std::string &failedText, const std::function<void()> &action);
    bool stopRequested();
    void sendPages(const Settings &settings, const UploadFiles &files);
    void makeServerFolders(const std::string &remoteName);

    FtpSession m_ftp;
    SftpTransferSession m_sftp;
    TransferSession *m_session = &m_ftp;
    StatusHandler m_onStatus;
    ProgressHandler m_onProgress;
    ErrorHandler m_onError;
    UploadResult m_result;
    std::int32_t m_page = 0;
    std::string m_pageName;
    std::set<std::string> m_serverFolders; // made or found during this upload
    bool m_running = false;
    std::atomic<bool> m_cancelRequested{false};
};

} // namespace kaviro
