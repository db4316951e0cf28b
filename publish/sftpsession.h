#pragma once

#include "common/error.h"
#include "publish/sftpworker.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

struct ssh_session_struct;
struct sftp_session_struct;

namespace kaviro {

// Failures of an SFTP session, in German, as Windows-1252 bytes.
class SftpError : public Error {
public:
    using Error::Error;
};

// A wait ended because cancellation was requested.
class SftpAbortError : public SftpError {
public:
    using SftpError::SftpError;
};

// The server's host key is not one the user trusts. It carries the key's
// fingerprint, so that a window can ask whether to trust it.
class SftpHostKeyError : public SftpError {
public:
    enum class Problem {
        Unknown, // neither known_hosts nor the trusted fingerprint names it
        Changed, // another key was known or trusted for this server
    };

    SftpHostKeyError(Problem problem, const std::string &host, std::string fingerprint);

    Problem problem() const { return m_problem; }
    // OpenSSH form: "SHA256:" and unpadded base64.
    const std::string &fingerprint() const { return m_fingerprint; }

private:
    Problem m_problem;
    std::string m_fingerprint;
};

// Where and as whom to log in. Texts are Windows-1252 bytes, like the
// settings they come from.
struct SftpAccount {
    std::string host;
    int port = 22;
    std::string user;
    // Set: the only way to log in. Empty: the SSH agent and the default keys.
    std::string password;
    // A fingerprint in OpenSSH form the user chose to trust; when set it
    // replaces the check against known_hosts.
    std::string trustedHostKey;
    // The folder of known_hosts and the default keys (id_ed25519, id_ecdsa,
    // id_rsa); empty for ~/.ssh.
    std::string sshDir;
};

// An SFTP connection for storing pages: connect (host key check, login),
// choose the server folder, store files, rename and remove them, close.
// Every wait is bounded by the idle time-out and ends within a pass of 10 ms
// of cancel(); the event pump runs meanwhile. After a time-out or a cancel
// the connection is gone, and only close() remains.
class SftpSession {
public:
    using ProgressHandler = std::function<void(std::int64_t sent, std::int64_t size)>;

    SftpSession();
    ~SftpSession();
    SftpSession(const SftpSession &) = delete;
    SftpSession &operator=(const SftpSession &) = delete;

    void connect(const SftpAccount &account);
    // Later names are taken relative to this folder; empty keeps the login
    // folder. A folder that is missing, or not a folder, fails.
    void changeDirectory(const std::string &folder);
    // Stores the local file (full name) under remoteName, replacing a file of
    // that name; the handler hears of the bytes sent so far.
    void uploadFile(const std::string &localPath, const std::string &remoteName,
                    const ProgressHandler &onProgress = {});
    // Renames, replacing a file that has the new name already.
    void rename(const std::string &from, const std::string &to);
    void remove(const std::string &name);
    // Creates the folder unless it is there already.
    void makeDirectory(const std::string &name);
    // Ends the session; does nothing when there is none. Called while a
    // step runs (from the event pump), it only cancels that step.
    void close();
    bool isConnected() const { return m_ssh != nullptr && !m_broken; }

    // Thread-safe: ends the running wait, or the next one.
    void cancel() { m_cancelRequested = true; }
    // A flag of the caller's that ends every wait while it is true, as
    // cancel() does; null for none.
    void setStopFlag(const std::atomic<bool> *stop) { m_stop = stop; }

    // Bound on silence: the whole of a step, or a file's send without
    // progress. 60 seconds unless set; 0 = no bound.
    std::chrono::milliseconds idleTimeOut() const { return m_idleTimeOut; }
    void setIdleTimeOut(std::chrono::milliseconds bound) { m_idleTimeOut = bound; }

    static const std::string cancelledText;
    static const std::string timeOutText;

private:
    void openSocket(const SftpAccount &account);
    void handshake(const SftpAccount &account);
    void verifyHostKey(const SftpAccount &account);
    void authenticate(const SftpAccount &account);
    void startSftp();
    std::string remotePath(const std::string &name) const;
    // Runs a blocking step on the worker thread within the bounds.
    void run(const std::function<void()> &step, const ProgressHandler &onProgress = {},
             std::int64_t size = 0);
    // Waits for waitSlice to report readiness; cancel and the idle bound end
    // the wait by calling stop and raising.
    void waitBounded(const std::function<bool(std::chrono::milliseconds)> &waitSlice,
                     const std::function<void()> &stop, const ProgressHandler &onProgress,
                     std::int64_t size);
    void requireSession() const;
    bool stopRequested() const { return m_cancelRequested || (m_stop != nullptr && *m_stop); }
    void releaseHandles();

    SftpWorker m_worker;
    ssh_session_struct *m_ssh = nullptr;
    sftp_session_struct *m_sftp = nullptr;
    int m_interruptFd = -1;  // a second descriptor of the connection
    std::string m_folder;    // UTF-8, no trailing slash
    std::string m_host;
    bool m_broken = false;
    bool m_running = false;
    std::atomic<bool> m_cancelRequested{false};
    const std::atomic<bool> *m_stop = nullptr;
    std::atomic<std::int64_t> m_sent{0};
    std::chrono::milliseconds m_idleTimeOut{60000};
};

} // namespace kaviro
