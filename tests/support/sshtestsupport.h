#pragma once

#include "tests/support/testfiles.h"

#include <string>

#include <sys/types.h>

namespace kaviro::test {

// OpenSSH's sshd on 127.0.0.1 on a free port, in a fresh folder: its own
// host key, the internal SFTP server, and an authorised key for the user
// running the tests, made here. Stopped with its session processes when the
// object goes. When sshd cannot run here, available() is false and
// whyUnavailable() says why, for a skipped test.
class SshServer {
public:
    // How the server takes passwords: as such, or only by keyboard-interactive
    // through PAM, as many hosts do.
    enum class PasswordMethod { Password, KeyboardInteractive };

    explicit SshServer(PasswordMethod method = PasswordMethod::Password);
    ~SshServer();
    SshServer(const SshServer &) = delete;
    SshServer &operator=(const SshServer &) = delete;

    bool available() const { return m_pid > 0; }
    const std::string &whyUnavailable() const { return m_failure; }

    int port() const { return m_port; }
    // The user running the tests, whose key the server accepts.
    const std::string &user() const { return m_user; }
    // An ~/.ssh stand-in holding that user's key (id_ed25519); known_hosts
    // is written there only by trustServedKey / trustOtherKey.
    const std::string &clientSshDir() const { return m_clientDir; }
    // An empty folder on the local disk, which is the same folder on the
    // server (same absolute name), writable by the logged-in user.
    const std::string &uploadDir() const { return m_uploadDir; }

    // SHA-256 fingerprints in OpenSSH form of the key the server presents
    // and of another key it never presents.
    const std::string &servedFingerprint() const { return m_servedFingerprint; }
    const std::string &otherFingerprint() const { return m_otherFingerprint; }
    // Writes known_hosts with an entry for this server's host and port
    // holding the served key, or the other one (as after a key change).
    void trustServedKey() const;
    void trustOtherKey() const;

    // Stops (SIGSTOP) and continues the server and every session process.
    void pause() const;
    void resume() const;

private:
    void writeKnownHosts(const std::string &publicKeyFile) const;
    void signalAll(int signal) const;

    TempDir m_dir;
    pid_t m_pid = -1;
    int m_port = 0;
    std::string m_failure;
    std::string m_user;
    std::string m_clientDir;
    std::string m_uploadDir;
    std::string m_servedFingerprint;
    std::string m_otherFingerprint;
};

// A throw-away local account with a password, for password logins; made
// with useradd and chpasswd, so only when the tests run as root. Removed
// again when the object goes.
class PasswordAccount {
public:
    PasswordAccount();
    ~PasswordAccount();
    PasswordAccount(const PasswordAccount &) = delete;
    PasswordAccount &operator=(const PasswordAccount &) = delete;

    bool available() const { return m_created; }
    const std::string &name() const { return m_name; }
    const std::string &password() const { return m_password; }

private:
    bool m_created = false;
    std::string m_name;
    std::string m_password = "Geheim-42!";
};

// The first line a command prints (without its line end); empty when it
// fails to run.
std::string commandOutput(const std::string &command);

} // namespace kaviro::test
