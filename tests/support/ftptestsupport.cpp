#include "tests/support/ftptestsupport.h"
#include "tests/support/loopback.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <utility>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kaviro::test {

namespace {

constexpr int waitSeconds = 10;

void setReceiveTimeout(int fd, int seconds)
{
    timeval tv{seconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

int connectTo(const sockaddr_in &address)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// "PORT h1,h2,h3,h4,p1,p2" as a socket address.
bool parsePortLine(const std::string &line, sockaddr_in &address)
{
    unsigned h[4], p[2];
    if (std::sscanf(line.c_str(), "PORT %u,%u,%u,%u,%u,%u", &h[0], &h[1], &h[2], &h[3], &p[0], &p[1]) != 6)
        return false;
    address = sockaddr_in{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(p[0] * 256 + p[1]));
    address.sin_addr.s_addr = htonl(h[0] << 24 | h[1] << 16 | h[2] << 8 | h[3]);
    return true;
}

// Starts a program in its own process group, so that stopping the group also
// ends the session processes a server forks. Its output goes to outFd (or
// nowhere when -1).
pid_t spawn(const std::vector<std::string> &argv, int outFd)
{
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        const int devNull = ::open("/dev/null", O_RDWR);
        ::dup2(devNull, 0);
        ::dup2(outFd >= 0 ? outFd : devNull, 1);
        ::dup2(devNull, 2);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    if (pid > 0)
        ::setpgid(pid, pid);
    return pid;
}

bool exited(pid_t pid)
{
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == pid;
}

void stopGroup(pid_t pid)
{
    ::kill(-pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (exited(pid))
            return;
        ::usleep(10000);
    }
    ::kill(-pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

} // namespace

bool startsWith(const std::string &text, const std::string &prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// ---------------------------------------------------------------------------

void ScriptedServer::Session::send(const std::string &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

std::string ScriptedServer::Session::receive()
{
    for (;;) {
        const std::size_t lf = m_pending.find('\n');
        if (lf != std::string::npos) {
            std::string line = m_pending.substr(0, lf);
            m_pending.erase(0, lf + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (startsWith(line, "PORT "))
                m_portLine = line;
            const std::lock_guard<std::mutex> lock(m_server.m_mutex);
            m_server.m_lines.push_back(line);
            return line;
        }
        char buffer[4096];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return {};
        m_pending.append(buffer, static_cast<std::size_t>(n));
    }
}

std::string ScriptedServer::Session::receiveAll()
{
    std::string data = std::move(m_pending);
    m_pending.clear();
    char buffer[65536];
    ssize_t n;
    while ((n = ::recv(m_fd, buffer, sizeof buffer, 0)) > 0)
        data.append(buffer, static_cast<std::size_t>(n));
    return data;
}

void ScriptedServer::Session::storeData(const std::string &storLine)
{
    int fd = -1;
    if (m_passiveFd >= 0) {
        pollfd p{m_passiveFd, POLLIN, 0};
        if (::poll(&p, 1, waitSeconds * 1000) > 0)
            fd = ::accept4(m_passiveFd, nullptr, nullptr, SOCK_CLOEXEC);
        ::close(std::exchange(m_passiveFd, -1));
    } else {
        sockaddr_in address{};
        if (!parsePortLine(m_portLine, address))
            return;
        fd = connectTo(address);
    }
    if (fd < 0)
        return;
    setReceiveTimeout(fd, waitSeconds);
    StoredFile file{storLine.size() > 5 ? storLine.substr(5) : std::string(), {}};
    char buffer[65536];
    ssize_t n;
    while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
        file.data.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    const std::lock_guard<std::mutex> lock(m_server.m_mutex);
    m_server.m_stored.push_back(std::move(file));
}

void ScriptedServer::Session::offerPassive(const std::string &line, const std::string &pasvAddress)
{
    if (m_passiveFd >= 0)
        ::close(m_passiveFd);
    m_passiveFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    ::bind(m_passiveFd, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    ::listen(m_passiveFd, 1);
    socklen_t length = sizeof address;
    ::getsockname(m_passiveFd, reinterpret_cast<sockaddr *>(&address), &length);
    const int port = ntohs(address.sin_port);
    if (startsWith(line, "EPSV"))
        reply("229 Entering Extended Passive Mode (|||" + std::to_string(port) + "|)");
    else
        reply("227 Entering Passive Mode (" + pasvAddress + "," + std::to_string(port / 256) + ","
              + std::to_string(port % 256) + ").");
}

int ScriptedServer::Session::connectAsStranger() const
{
    sockaddr_in address{};
    if (!parsePortLine(m_portLine, address))
        return -1;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in stranger = loopback(0);
    stranger.sin_addr.s_addr = htonl(0x7f000002);
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&stranger), sizeof stranger) != 0
        || ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool ScriptedServer::Session::dataPortOpen() const
{
    sockaddr_in address{};
    if (!parsePortLine(m_portLine, address))
        return false;
    const int fd = connectTo(address);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

void ScriptedServer::Session::renameStored(const std::string &from, const std::string &to)
{
    const std::lock_guard<std::mutex> lock(m_server.m_mutex);
    std::erase_if(m_server.m_stored, [&](const StoredFile &file) { return file.name == to; });
    for (StoredFile &file : m_server.m_stored) {
        if (file.name == from)
            file.name = to;
    }
}

void ScriptedServer::Session::removeStored(const std::string &name)
{
    const std::lock_guard<std::mutex> lock(m_server.m_mutex);
    std::erase_if(m_server.m_stored, [&](const StoredFile &file) { return file.name == name; });
}

void ScriptedServer::Session::pause(int milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void ScriptedServer::Session::holdOpen()
{
    pollfd p{m_fd, POLLRDHUP, 0};
    ::poll(&p, 1, waitSeconds * 1000);
}

void ScriptedServer::Session::closeAndLinger()
{
    ::shutdown(m_fd, SHUT_WR);
    holdOpen();
}

void ScriptedServer::Session::close()
{
    ::shutdown(m_fd, SHUT_RDWR);
}

void ScriptedServer::Session::reset()
{
    const linger lin{1, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &lin, sizeof lin);
    const std::lock_guard<std::mutex> lock(m_server.m_mutex);
    ::close(m_fd);
    m_fd = -1;
    m_server.m_controlFd = -1;
}

ScriptedServer::ScriptedServer(Script script, int sessions)
{
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    if (::bind(m_listenFd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0
        || ::listen(m_listenFd, 4) != 0)
        throw std::runtime_error("scripted server cannot listen");
    socklen_t length = sizeof address;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr *>(&address), &length);
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this, script = std::move(script), sessions] { run(script, sessions); });
}

ScriptedServer::~ScriptedServer()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_controlFd >= 0)
            ::shutdown(m_controlFd, SHUT_RDWR);
        ::shutdown(m_listenFd, SHUT_RDWR);
    }
    finish();
    ::close(m_listenFd);
}

void ScriptedServer::run(Script script, int sessions)
{
    for (int i = 0; i < sessions; ++i) {
        pollfd p{m_listenFd, POLLIN, 0};
        if (::poll(&p, 1, waitSeconds * 1000) <= 0 || !(p.revents & POLLIN))
            return;
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            return;
        setReceiveTimeout(fd, waitSeconds);
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_controlFd = fd;
        }
        Session session(*this, fd);
        script(session);
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (session.m_passiveFd >= 0)
            ::close(session.m_passiveFd);
        if (session.m_fd >= 0)
            ::close(session.m_fd);
        m_controlFd = -1;
    }
}

void ScriptedServer::finish()
{
    if (m_thread.joinable())
        m_thread.join();
}

std::vector<std::string> ScriptedServer::lines() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
}

std::vector<std::string> ScriptedServer::conversation() const
{
    std::vector<std::string> result = lines();
    for (std::string &line : result) {
        if (!startsWith(line, "PORT "))
            continue;
        // Keep the address, hide the port the system chose.
        std::size_t comma = line.size();
        for (int i = 0; i < 2 && comma != std::string::npos; ++i)
            comma = line.rfind(',', comma - 1);
        if (comma != std::string::npos)
            line = line.substr(0, comma) + ",*,*";
    }
    return result;
}

std::vector<StoredFile> ScriptedServer::stored() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_stored;
}

ScriptedServer::Script ScriptedServer::ftp(Handler handler, std::string greeting)
{
    return [handler = std::move(handler), greeting = std::move(greeting)](Session &s) {
        s.send(greeting + "\r\n");
        std::string renameFrom;
        for (;;) {
            const std::string line = s.receive();
            if (line.empty())
                return;
            if (handler && handler(s, line))
                continue;
            const std::string verb = line.substr(0, line.find(' '));
            if (verb == "USER") {
                s.reply("331 Passwort bitte");
            } else if (verb == "PASS") {
                s.reply("230 Angemeldet");
            } else if (verb == "CWD") {
                s.reply("250 Verzeichnis gewechselt");
            } else if (verb == "PORT") {
                s.reply("200 PORT angenommen");
            } else if (verb == "EPSV" || verb == "PASV") {
                s.offerPassive(line);
            } else if (verb == "STOR") {
                s.reply("150 Daten bitte");
                s.storeData(line);
                s.reply("226 Fertig");
            } else if (verb == "RNFR") {
                renameFrom = line.substr(5);
                s.reply("350 Weiter");
            } else if (verb == "RNTO") {
                s.renameStored(renameFrom, line.substr(5));
                s.reply("250 Umbenannt");
            } else if (verb == "DELE") {
                s.removeStored(line.substr(5));
                s.reply("250 Geloescht");
            } else if (verb == "AUTH") {
                s.reply("500 Unbekannt");
            } else if (verb == "QUIT") {
                s.reply("221 Auf Wiedersehen");
                s.close();
                return;
            } else {
                s.reply("200 OK");
            }
        }
    };
}

// ---------------------------------------------------------------------------

RealFtpServer::RealFtpServer(Kind kind) : m_kind(kind)
{
    const std::string root = m_dir.path() + "/root";
    m_uploadDir = root + "/upload";
    std::filesystem::create_directories(m_uploadDir);
    ::chmod(root.c_str(), 0755);
    // The server may store as another user than the one running the test.
    ::chmod(m_uploadDir.c_str(), 0777);
    m_remoteDir = "/upload";
    if (tls())
        makeCertificate();
    if (kind == Kind::Vsftpd || kind == Kind::VsftpdTls)
        startVsftpd();
    else
        startPyftpdlib();
}

RealFtpServer::~RealFtpServer()
{
    stop();
}

void RealFtpServer::stop()
{
    if (m_pid > 0)
        stopGroup(m_pid);
    m_pid = -1;
}

void RealFtpServer::startVsftpd()
{
    // Anonymous login with uploads into a writable folder below a read-only
    // root works as root (as CI runs) without a local account or chroot
    // rules; without root vsftpd must run as the launching user.
    m_user = "anonymous";
    m_password = "kaviro@example.com";
    const std::string config = m_dir.path() + "/vsftpd.conf";
    for (int attempt = 0; attempt < 5; ++attempt) {
        const int port = freePort();
        std::ofstream out(config, std::ios::trunc);
        out << "listen=YES\nlisten_address=127.0.0.1\nlisten_port=" << port << "\n"
            << "background=NO\n"
            << "anonymous_enable=YES\nanon_root=" << m_dir.path() << "/root\n"
            << "write_enable=YES\nanon_upload_enable=YES\nanon_mkdir_write_enable=YES\n"
            << "anon_other_write_enable=YES\nanon_umask=022\nlocal_enable=NO\n"
            << "port_enable=NO\nconnect_from_port_20=NO\npasv_enable=YES\n"
            << "seccomp_sandbox=NO\nxferlog_enable=NO\ndirmessage_enable=NO\n"
            << "secure_chroot_dir=/var/run/vsftpd/empty\n";
        if (tls())
            out << "ssl_enable=YES\nallow_anon_ssl=YES\nforce_anon_logins_ssl=YES\nforce_anon_data_ssl=YES\n"
                << "force_local_logins_ssl=YES\nforce_local_data_ssl=YES\nrequire_ssl_reuse=YES\n"
                << "rsa_cert_file=" << m_certificate << "\nrsa_private_key_file=" << m_key << "\n";
        if (::geteuid() != 0)
            out << "run_as_launching_user=YES\n";
        out.close();

        m_pid = spawn({"/usr/sbin/vsftpd", config}, -1);
        ASSERT_GT(m_pid, 0) << "vsftpd cannot be started";
        for (int i = 0; i < 500; ++i) {
            if (exited(m_pid))
                break;
            const int fd = connectTo(loopback(port));
            if (fd >= 0) {
                ::close(fd);
                m_port = port;
                return;
            }
            ::usleep(10000);
        }
        stop();
    }
    FAIL() << "vsftpd did not start (is it installed? scripts/deps.sh test)";
}

// A self-signed certificate for 127.0.0.1 (key and certificate in one file
// too, as pyftpdlib reads it) and its SHA-256 fingerprint.
void RealFtpServer::makeCertificate()
{
    m_key = m_dir.path() + "/key.pem";
    const std::string certificate = m_dir.path() + "/cert.pem";
    const pid_t pid = spawn({"/usr/bin/openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                             "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", m_key, "-out", certificate,
                             "-days", "2", "-subj", "/CN=127.0.0.1"},
                            -1);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "openssl req failed";
    m_certificate = m_dir.path() + "/server.pem";
    writeFile(m_certificate, readFile(certificate) + readFile(m_key));
    const std::string text = m_dir.path() + "/fingerprint.txt";
    const int out = ::open(text.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const pid_t digest = spawn({"/usr/bin/openssl", "x509", "-in", certificate, "-noout", "-fingerprint", "-sha256"}, out);
    ::close(out);
    ASSERT_EQ(::waitpid(digest, &status, 0), digest);
    // "sha256 Fingerprint=AB:CD:..." (the label's case differs by version)
    const std::string line = readFile(text);
    const std::size_t equals = line.find('=');
    ASSERT_NE(equals, std::string::npos) << line;
    m_fingerprint = line.substr(equals + 1);
    while (!m_fingerprint.empty() && (m_fingerprint.back() == '\n' || m_fingerprint.back() == '\r'))
        m_fingerprint.pop_back();
}

void RealFtpServer::startPyftpdlib()
{
    m_user = "kaviro";
    m_password = "geheim";
    const std::string script = m_dir.path() + "/server.py";
    writeFile(script, R"(import sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, TLS_FTPHandler
from pyftpdlib.servers import FTPServer
root, user, password, certificate = sys.argv[1:5]
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm="elradfmwMT")
handler = FTPHandler
if certificate:
    handler = TLS_FTPHandler
    handler.certfile = certificate
    handler.tls_control_required = True
    handler.tls_data_required = True
handler.authorizer = authorizer
# A refused login answers at once instead of after the default pause.
handler.auth_failed_timeout = 0
server = FTPServer(("127.0.0.1", 0), handler)
print(server.address[1], flush=True)
server.serve_forever()
)");
    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
    // Debian's pyftpdlib belongs to the system Python, whatever comes first
    // on PATH.
    m_pid = spawn({"/usr/bin/python3", script, m_dir.path() + "/root", m_user, m_password, m_certificate},
                  pipeFds[1]);
    ::close(pipeFds[1]);
    std::string text;
    pollfd p{pipeFds[0], POLLIN, 0};
    while (text.find('\n') == std::string::npos && ::poll(&p, 1, waitSeconds * 1000) > 0) {
        char buffer[64];
        const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    m_port = std::atoi(text.c_str());
    if (m_port <= 0) {
        stop();
        FAIL() << "pyftpdlib did not start (is python3-pyftpdlib installed? scripts/deps.sh test)";
    }
}

} // namespace kaviro::test
