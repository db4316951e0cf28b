#pragma once

#include "publish/ftpclient.h"
#include "settings/settings.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace kaviro {

// The upload of the generated pages without any window: one FTP session
// that logs in, changes to the server folder, stores pages 1..pageCount under
// their own file names and quits. The upload window and the headless
// publisher both run it; they show the status texts, the progress and the
// failure messages as they like. Texts are Windows-1252 bytes.
class Uploader {
public:
    // Full local file name of page n (from 1), as the page generator names it.
    using PageFileName = std::function<std::string(std::int32_t page)>;
    using StatusHandler = std::function<void(const std::string &text)>;
    // After every send of file data: the page being sent (from 1), its bytes
    // sent so far and its size.
    using ProgressHandler = std::function<void(std::int32_t page, std::int64_t sent, std::int64_t size)>;
    // The message of a failure that ended a step, after its status text.
    using ErrorHandler = std::function<void(const std::string &message)>;

    static constexpr int sessionTimeOut = 5000; // milliseconds

    Uploader();

    void setStatusHandler(StatusHandler handler) { m_onStatus = std::move(handler); }
    void setProgressHandler(ProgressHandler handler) { m_onProgress = std::move(handler); }
    void setErrorHandler(ErrorHandler handler) { m_onError = std::move(handler); }

    // True when every step succeeded; false after a failure that was
    // reported (status text, then the error handler) or after a
    // cancellation. The final QUIT runs in every case, and a failure of it is
    // not caught. Reads the FTP values of settings as they stand now.
    // Raises kaviro::Error when called while an upload runs (the event pump
    // may offer that chance).
    bool upload(const Settings &settings, std::int32_t pageCount, const PageFileName &pageFileName);

    // Asks the running upload to stop at its next safe point: after the
    // login, after the change of folder, or after the page being sent. It
    // then reports cancelledText, quits and returns false.
    void cancel() { m_cancelRequested = true; }
    bool isRunning() const { return m_running; }

    // The session's client, for settings an upload does not set (such as the
    // bound on a silent server).
    FtpClient &client() { return m_ftp; }

    static const std::string connectingText;
    static const std::string connectFailedText;
    static const std::string changingDirectoryText;
    static const std::string changeDirectoryFailedText;
    static const std::string sendingText;
    static const std::string sendFailedText;
    static const std::string cancelledText;

private:
    void status(const std::string &text);
    void fail(const std::string &statusText, const std::exception &error);
    bool stopRequested();

    FtpClient m_ftp;
    StatusHandler m_onStatus;
    ProgressHandler m_onProgress;
    ErrorHandler m_onError;
    std::int32_t m_page = 0;
    bool m_running = false;
    std::atomic<bool> m_cancelRequested{false};
};

} // namespace kaviro
