#pragma once

#include "publish/ftpsession.h"
#include "publish/sftpsession.h"

#include <atomic>
#include <string>

namespace kaviro {

struct Settings;

// "Verbindung testen": connect and log in as an upload would, change to the
// server folder and say good-bye, by FTP or SFTP as the settings say. Texts
// are Windows-1252 bytes.
class ConnectionTest {
public:
    struct Result {
        bool ok = false;
        // The step that failed, as the upload window names it, and the
        // failure's message (the server's reply line where it gave one).
        std::string failedStep;
        std::string message;
    };

    // A test waits less than an upload: nobody should sit before a silent
    // server for a minute to learn that it is silent.
    static constexpr std::chrono::milliseconds idleTimeOut{15000};
    static const std::string quitFailedText;

    Result run(const Settings &settings);
    // Ends a running test soon; safe from the event pump.
    void cancel();

private:
    Result runFtp(const Settings &settings);
    Result runSftp(const Settings &settings);

    FtpSession m_ftp;
    SftpSession m_sftp;
    std::atomic<bool> m_stop{false};
};

} // namespace kaviro
