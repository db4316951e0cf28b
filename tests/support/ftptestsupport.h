#pragma once

#include "tests/support/failure.h"
#include "tests/support/testfiles.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

namespace kaviro::test {

bool startsWith(const std::string &text, const std::string &prefix);

// A file the server stored: the name from STOR and the bytes that arrived.
struct StoredFile {
    std::string name;
    std::string data;
    bool operator==(const StoredFile &) const = default;
};

// A small FTP server on 127.0.0.1 that plays a script written in the test,
// for replies real servers will not give. It takes one control connection
// and records every line the client sends.
class ScriptedServer {
public:
    class Session {
    public:
        void send(const std::string &bytes);
        void reply(const std::string &line) { send(line + "\r\n"); }
        // The next line without its line end; empty at the end of the
        // connection or after ten seconds without one.
        std::string receive();
        // Everything up to the end of the connection.
        std::string receiveAll();
        // Reads the data connection of the latest PORT (connecting to its
        // address) or EPSV/PASV (accepting on the port announced) to its
        // end, recording it under the STOR name.
        void storeData(const std::string &storLine);
        // Listens for a passive data connection and answers EPSV (229) or
        // PASV (227 with the given address text).
        void offerPassive(const std::string &line, const std::string &pasvAddress = "10,0,0,1");
        // Connects to the latest PORT address from another local address
        // (127.0.0.2) and returns the connection, -1 when refused.
        int connectAsStranger() const;
        // Tries to connect to the latest PORT address; true when it worked.
        bool dataPortOpen() const;
        // What RNTO and DELE do to the files the server holds.
        void renameStored(const std::string &from, const std::string &to);
        void removeStored(const std::string &name);
        void pause(int milliseconds);
        // Keeps the connection open, reading nothing, until the client
        // closes it (or ten seconds pass).
        void holdOpen();
        void close();
        // Ends the server's direction only (the client sees the close) and
        // keeps the connection until the client goes.
        void closeAndLinger();
        // Closes with a reset instead of the orderly end.
        void reset();

    private:
        friend class ScriptedServer;
        explicit Session(ScriptedServer &server, int fd) : m_server(server), m_fd(fd) {}
        ScriptedServer &m_server;
        int m_fd;
        std::string m_pending;
        std::string m_portLine;
        int m_passiveFd = -1;
    };

    using Script = std::function<void(Session &)>;
    // Handles one command line; returns false to leave it to the defaults.
    using Handler = std::function<bool(Session &, const std::string &line)>;

    // Plays the script for each of `sessions` control connections in turn;
    // lines and files accumulate over them.
    explicit ScriptedServer(Script script, int sessions = 1);
    ~ScriptedServer();

    int port() const { return m_port; }
    std::vector<std::string> lines() const;
    // Lines with the port numbers of PORT lines replaced by "*".
    std::vector<std::string> conversation() const;
    // The files as the server holds them now, in the order they were stored.
    std::vector<StoredFile> stored() const;
    // Waits until the script has ended.
    void finish();

    // A plain FTP server: greeting, 331 to USER, 230 to PASS, 250 to CWD,
    // 200 to PORT, a passive port to EPSV and PASV, 150 and the data and 226
    // to STOR, 350 to RNFR and 250 to RNTO (renaming the stored file), 250
    // to DELE (forgetting it), 221 to QUIT (then it closes), 500 to AUTH,
    // 200 to anything else. The handler may take any line over.
    static Script ftp(Handler handler = {}, std::string greeting = "220 Kaviro Testserver");

private:
    void run(Script script, int sessions);

    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
    std::vector<StoredFile> m_stored;
    int m_listenFd = -1;
    int m_controlFd = -1;
    int m_port = 0;
    std::thread m_thread;
};

// vsftpd (passive only) or pyftpdlib, in plain text or demanding TLS for
// login and data with a self-signed certificate made for it, started on
// 127.0.0.1 on a free port with a fresh folder; the process group is ended
// when the object goes.
class RealFtpServer {
public:
    enum class Kind { Vsftpd, VsftpdTls, Pyftpdlib, PyftpdlibTls };

    explicit RealFtpServer(Kind kind);
    ~RealFtpServer();
    RealFtpServer(const RealFtpServer &) = delete;
    RealFtpServer &operator=(const RealFtpServer &) = delete;

    int port() const { return m_port; }
    const std::string &user() const { return m_user; }
    const std::string &password() const { return m_password; }
    // The server folder clients may store into, as the client names it.
    const std::string &remoteDir() const { return m_remoteDir; }
    // The same folder on the local disk.
    const std::string &uploadDir() const { return m_uploadDir; }
    bool tls() const { return m_kind == Kind::VsftpdTls || m_kind == Kind::PyftpdlibTls; }
    // SHA-256 fingerprint of the server's certificate (TLS kinds only).
    const std::string &certificateFingerprint() const { return m_fingerprint; }

private:
    void startVsftpd();
    void startPyftpdlib();
    void makeCertificate();
    void stop();

    Kind m_kind;
    TempDir m_dir;
    pid_t m_pid = -1;
    int m_port = 0;
    std::string m_user;
    std::string m_password;
    std::string m_remoteDir;
    std::string m_uploadDir;
    std::string m_certificate;
    std::string m_key;
    std::string m_fingerprint;
};

} // namespace kaviro::test
