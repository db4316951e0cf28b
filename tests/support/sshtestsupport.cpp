#include "tests/support/sshtestsupport.h"
#include "tests/support/loopback.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kaviro::test {

namespace {

bool accepting(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(port);
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

bool run(const std::string &command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

bool makeKey(const std::string &file)
{
    return run("ssh-keygen -q -t ed25519 -N '' -C kaviro-test -f '" + file + "'");
}

std::string fingerprintOf(const std::string &publicKeyFile)
{
    // "256 SHA256:... comment (ED25519)"
    std::istringstream line(commandOutput("ssh-keygen -l -E sha256 -f '" + publicKeyFile + "'"));
    std::string bits, fingerprint;
    line >> bits >> fingerprint;
    return fingerprint;
}

// The server and every process below it: sshd forks a process per
// connection and more for the session.
std::vector<pid_t> processTree(pid_t root)
{
    std::multimap<pid_t, pid_t> children;
    for (const auto &entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string text;
        if (!std::getline(stat, text))
            continue;
        // pid (name) state ppid ...; the name may hold blanks.
        const std::size_t close = text.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream rest(text.substr(close + 1));
        char state = 0;
        pid_t parent = 0;
        rest >> state >> parent;
        children.emplace(parent, pid_t(std::stol(text)));
    }
    std::vector<pid_t> tree{root};
    for (std::size_t i = 0; i < tree.size(); ++i) {
        const auto range = children.equal_range(tree[i]);
        for (auto it = range.first; it != range.second; ++it)
            tree.push_back(it->second);
    }
    return tree;
}

} // namespace

std::string commandOutput(const std::string &command)
{
    FILE *pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return {};
    char buffer[4096];
    std::string line;
    if (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        line = buffer;
    ::pclose(pipe);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    return line;
}

SshServer::SshServer(PasswordMethod method)
{
    const bool interactive = method == PasswordMethod::KeyboardInteractive;
    if (const passwd *entry = ::getpwuid(::getuid()))
        m_user = entry->pw_name;
    m_clientDir = m_dir.path() + "/client";
    m_uploadDir = m_dir.path() + "/upload";
    std::filesystem::create_directories(m_clientDir);
    std::filesystem::create_directories(m_uploadDir);
    ::chmod(m_uploadDir.c_str(), 0777);
    // The privilege separation folder sshd insists on.
    if (::getuid() == 0)
        std::filesystem::create_directories("/run/sshd");

    const std::string hostKey = m_dir.file("host_key");
    const std::string clientKey = m_clientDir + "/id_ed25519";
    if (!makeKey(hostKey) || !makeKey(m_dir.file("other_key")) || !makeKey(clientKey)) {
        m_failure = "ssh-keygen fehlt oder scheitert";
        return;
    }
    m_servedFingerprint = fingerprintOf(hostKey + ".pub");
    m_otherFingerprint = fingerprintOf(m_dir.file("other_key.pub"));
    std::filesystem::copy_file(clientKey + ".pub", m_dir.file("authorized_keys"));

    const std::string log = m_dir.file("sshd.log");
    for (int attempt = 0; attempt < 5 && m_pid <= 0; ++attempt) {
        m_port = freePort();
        std::ofstream config(m_dir.file("sshd_config"), std::ios::trunc);
        config << "Port " << m_port << "\nListenAddress 127.0.0.1\n"
               << "HostKey " << hostKey << "\nPidFile none\n"
               << "AuthorizedKeysFile " << m_dir.file("authorized_keys") << "\n"
               << "StrictModes no\nPermitRootLogin yes\nPubkeyAuthentication yes\n"
               << "UsePAM " << (interactive ? "yes" : "no") << "\n"
               << "PasswordAuthentication " << (interactive ? "no" : "yes") << "\n"
               << "KbdInteractiveAuthentication " << (interactive ? "yes" : "no") << "\n"
               << "Subsystem sftp internal-sftp\nLogLevel ERROR\n";
        config.close();

        const pid_t pid = ::fork();
        if (pid == 0) {
            const int devNull = ::open("/dev/null", O_RDWR);
            const int logFd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            ::dup2(devNull, 0);
            ::dup2(devNull, 1);
            ::dup2(logFd, 2);
            const std::string configFile = m_dir.file("sshd_config");
            ::execl("/usr/sbin/sshd", "/usr/sbin/sshd", "-D", "-e", "-f", configFile.c_str(),
                    static_cast<char *>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 500 && pid > 0; ++i) {
            if (accepting(m_port)) {
                m_pid = pid;
                break;
            }
            if (::waitpid(pid, nullptr, WNOHANG) == pid)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (m_pid <= 0 && pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    if (m_pid <= 0)
        m_failure = "sshd startet nicht: " + readFile(log);
}

SshServer::~SshServer()
{
    if (m_pid <= 0)
        return;
    resume();
    signalAll(SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    signalAll(SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
}

void SshServer::trustServedKey() const
{
    writeKnownHosts(m_dir.file("host_key.pub"));
}

void SshServer::trustOtherKey() const
{
    writeKnownHosts(m_dir.file("other_key.pub"));
}

void SshServer::writeKnownHosts(const std::string &publicKeyFile) const
{
    std::istringstream key(readFile(publicKeyFile));
    std::string type, data;
    key >> type >> data;
    writeFile(m_clientDir + "/known_hosts", "[127.0.0.1]:" + std::to_string(m_port) + " " + type + " " + data + "\n");
}

void SshServer::pause() const
{
    signalAll(SIGSTOP);
}

void SshServer::resume() const
{
    signalAll(SIGCONT);
}

void SshServer::signalAll(int signal) const
{
    for (const pid_t pid : processTree(m_pid))
        ::kill(pid, signal);
}

PasswordAccount::PasswordAccount()
{
    if (::getuid() != 0)
        return;
    // One account per test process, so that tests run side by side do not
    // remove each other's; useradd refuses while another one holds the lock
    // of the user database, so it is tried again.
    m_name = "kaviro-sftp-" + std::to_string(::getpid());
    run("userdel -f " + m_name);
    for (int attempt = 0; attempt < 50 && !m_created; ++attempt) {
        m_created = run("useradd -M -d /tmp -s /bin/sh " + m_name)
            && run("echo '" + m_name + ":" + m_password + "' | chpasswd");
        if (!m_created) {
            run("userdel -f " + m_name);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
}

PasswordAccount::~PasswordAccount()
{
    // userdel too may meet the lock of another test process.
    for (int attempt = 0; attempt < 50 && m_created; ++attempt) {
        m_created = !run("userdel -f " + m_name);
        if (m_created)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

} // namespace kaviro::test
