#include "publish/sftpsession.h"

#include "common/cp1252.h"
#include "publish/sftphostlookup.h"
#include "publish/tcpsocket.h"

#include <libssh/libssh.h>
#include <libssh/sftp.h>

#include <cerrno>
#include <memory>
#include <mutex>
#include <vector>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kaviro {

const std::string SftpSession::cancelledText = "\xdc" "bertragung vom Benutzer abgebrochen.";
const std::string SftpSession::timeOutText = "Zeit\xfc" "berschreitung: keine Antwort vom Server";

namespace {

constexpr std::chrono::milliseconds passLength{10};
// OpenSSH's server takes requests of up to 256 KiB; the protocol promises
// only about 32 KiB, which every server takes.
constexpr std::size_t portableWriteSize = 32 * 1024;
constexpr std::size_t openSshWriteSize = 252 * 1024;
// Keyboard-interactive rounds answered before giving up on a server that
// keeps asking.
constexpr int maxInteractiveRounds = 4;

std::string quoted(const std::string &text)
{
    return "\"" + text + "\"";
}

std::string sshDetail(ssh_session ssh)
{
    return utf8ToCp1252(ssh_get_error(ssh));
}

std::string connectErrorText(int error)
{
    switch (error) {
    case ECONNREFUSED:
        return "Verbindung abgelehnt";
    case ETIMEDOUT:
        return "Zeit\xfc" "berschreitung";
    case ENETUNREACH:
    case EHOSTUNREACH:
        return "Netz oder Rechner nicht erreichbar";
    default:
        return "Fehler " + std::to_string(error);
    }
}

// The part of a failure the SFTP server reported, or the connection's own
// trouble when it never answered.
std::string sftpFailureText(ssh_session ssh, sftp_session sftp)
{
    switch (sftp_get_error(sftp)) {
    case SSH_FX_NO_SUCH_FILE:
    case SSH_FX_NO_SUCH_PATH:
        return "nicht gefunden";
    case SSH_FX_PERMISSION_DENIED:
        return "Zugriff verweigert";
    case SSH_FX_FAILURE:
        // OpenSSH reports a full disk or an exceeded quota this way.
        return "der Server meldet einen Fehler (Speicherplatz oder Rechte?)";
    case SSH_FX_OP_UNSUPPORTED:
        return "vom Server nicht unterst\xfc" "tzt";
    case SSH_FX_FILE_ALREADY_EXISTS:
        return "existiert bereits";
    case SSH_FX_WRITE_PROTECT:
        return "schreibgesch\xfc" "tzt";
    default:
        return "Verbindung unterbrochen (" + sshDetail(ssh) + ")";
    }
}

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { ssh_init(); });
}

void setOption(ssh_session ssh, ssh_options_e option, const void *value)
{
    if (ssh_options_set(ssh, option, value) != SSH_OK)
        throw SftpError("SSH-Einstellung nicht m\xf6" "glich (" + sshDetail(ssh) + ")");
}

// OpenSSH form of the fingerprint without the padding that some tools add;
// the prefix may be left out.
std::string normalisedFingerprint(std::string text)
{
    while (!text.empty() && (text.back() == '=' || text.back() == ' '))
        text.pop_back();
    while (!text.empty() && text.front() == ' ')
        text.erase(0, 1);
    constexpr std::string_view prefix = "SHA256:";
    if (!text.starts_with(prefix))
        text.insert(0, prefix);
    return text;
}

std::string serverFingerprint(ssh_session ssh)
{
    ssh_key key = nullptr;
    if (ssh_get_server_publickey(ssh, &key) != SSH_OK)
        throw SftpError("Der Server sendet keinen Schl\xfc" "ssel (" + sshDetail(ssh) + ")");
    unsigned char *hash = nullptr;
    std::size_t hashLength = 0;
    const int rc = ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &hashLength);
    ssh_key_free(key);
    if (rc != SSH_OK)
        throw SftpError("Der Schl\xfc" "ssel des Servers ist nicht lesbar (" + sshDetail(ssh) + ")");
    char *text = ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, hashLength);
    ssh_clean_pubkey_hash(&hash);
    std::string fingerprint = text != nullptr ? text : "";
    ssh_string_free_char(text);
    return fingerprint;
}

bool isRegularFile(sftp_session sftp, const std::string &path)
{
    sftp_attributes attributes = sftp_lstat(sftp, path.c_str());
    if (attributes == nullptr)
        return false;
    const bool regular = attributes->type == SSH_FILEXFER_TYPE_REGULAR;
    sftp_attributes_free(attributes);
    return regular;
}

bool answerWithPassword(ssh_session ssh, const std::string &password)
{
    int rc = ssh_userauth_kbdint(ssh, nullptr, nullptr);
    for (int round = 0; rc == SSH_AUTH_INFO && round < maxInteractiveRounds; ++round) {
        const int prompts = ssh_userauth_kbdint_getnprompts(ssh);
        for (int i = 0; i < prompts; ++i) {
            char echo = 0;
            ssh_userauth_kbdint_getprompt(ssh, unsigned(i), &echo);
            // A visible prompt asks for something other than the password.
            if (echo != 0)
                return false;
            ssh_userauth_kbdint_setanswer(ssh, unsigned(i), password.c_str());
        }
        rc = ssh_userauth_kbdint(ssh, nullptr, nullptr);
    }
    return rc == SSH_AUTH_SUCCESS;
}

} // namespace

SftpHostKeyError::SftpHostKeyError(Problem problem, const std::string &host, std::string fingerprint)
    : SftpError(problem == Problem::Unknown
                    ? "Der Schl\xfc" "ssel des SFTP-Servers " + quoted(host) + " ist unbekannt. Fingerabdruck: "
                          + fingerprint + ". Vertrauen Sie ihm nur, wenn Ihr Anbieter diesen Fingerabdruck nennt."
                    : "WARNUNG: Der Schl\xfc" "ssel des SFTP-Servers " + quoted(host)
                          + " hat sich ge\xe4" "ndert! Neuer Fingerabdruck: " + fingerprint
                          + ". Das kann ein Angriff sein; vertrauen Sie dem Schl\xfc" "ssel nur, wenn Ihr Anbieter"
                            " den Wechsel best\xe4" "tigt.")
    , m_problem(problem)
    , m_fingerprint(std::move(fingerprint))
{
}

SftpSession::SftpSession()
{
    initLibrary();
}

SftpSession::~SftpSession()
{
    releaseHandles();
}

void SftpSession::connect(const SftpAccount &account)
{
    if (m_running)
        throw SftpError("Es l\xe4" "uft bereits eine \xdc" "bertragung");
    close();
    m_cancelRequested = false;
    m_host = account.host;
    try {
        openSocket(account);
        handshake(account);
        verifyHostKey(account);
        authenticate(account);
        startSftp();
    } catch (...) {
        releaseHandles();
        throw;
    }
}

void SftpSession::openSocket(const SftpAccount &account)
{
    const std::string host = cp1252ToUtf8(account.host);
    SftpHostLookup lookup(host, account.port);
    waitBounded([&](auto slice) { return lookup.waitDone(slice); }, [] {}, {}, 0);
    if (lookup.addresses().empty())
        throw SftpError("SFTP-Server " + quoted(account.host) + " nicht gefunden");

    int lastError = 0;
    for (const SftpHostLookup::Address &address : lookup.addresses()) {
        const int fd = ::socket(address.storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            lastError = errno;
            continue;
        }
        if (::connect(fd, reinterpret_cast<const sockaddr *>(&address.storage), address.length) != 0
            && errno != EINPROGRESS) {
            lastError = errno;
            ::close(fd);
            continue;
        }
        waitBounded(
            [fd](auto slice) {
                pollfd p{fd, POLLOUT, 0};
                return ::poll(&p, 1, int(slice.count())) > 0;
            },
            [fd] { ::close(fd); }, {}, 0);
        int error = 0;
        socklen_t length = sizeof error;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
        if (error != 0) {
            lastError = error;
            ::close(fd);
            continue;
        }
        // libssh waits on its own; replies to small requests must not sit
        // in Nagle's buffer.
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        m_ssh = ssh_new();
        if (m_ssh == nullptr) {
            ::close(fd);
            throw SftpError("SSH-Sitzung nicht m\xf6" "glich");
        }
        // libssh closes the descriptor it is given; the duplicate is ours,
        // for shutting the connection down from this thread.
        m_interruptFd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        setOption(m_ssh, SSH_OPTIONS_FD, &fd);
        return;
    }
    throw SftpError("Keine Verbindung zum SFTP-Server " + quoted(account.host) + " Port "
                    + std::to_string(account.port) + " (" + connectErrorText(lastError) + ")");
}

void SftpSession::handshake(const SftpAccount &account)
{
    const std::string host = cp1252ToUtf8(account.host);
    const std::string user = cp1252ToUtf8(account.user);
    const unsigned port = unsigned(account.port);
    const bool no = false;
    const int silent = SSH_LOG_NOLOG;
    setOption(m_ssh, SSH_OPTIONS_HOST, host.c_str());
    setOption(m_ssh, SSH_OPTIONS_PORT, &port);
    if (!user.empty())
        setOption(m_ssh, SSH_OPTIONS_USER, user.c_str());
    // Kaviro's settings name the server; ~/.ssh/config must not redirect it.
    setOption(m_ssh, SSH_OPTIONS_PROCESS_CONFIG, &no);
    setOption(m_ssh, SSH_OPTIONS_LOG_VERBOSITY, &silent);
    if (!account.sshDir.empty())
        setOption(m_ssh, SSH_OPTIONS_SSH_DIR, cp1252ToUtf8(account.sshDir).c_str());
    if (m_idleTimeOut.count() > 0) {
        // The library's own bound only as a backstop behind ours.
        const long seconds = long(m_idleTimeOut.count() / 1000) + 5;
        setOption(m_ssh, SSH_OPTIONS_TIMEOUT, &seconds);
    }
    run([this] {
        if (ssh_connect(m_ssh) != SSH_OK)
            throw SftpError("SSH-Verbindung zum Server " + quoted(m_host) + " fehlgeschlagen ("
                            + sshDetail(m_ssh) + ")");
    });
}

void SftpSession::verifyHostKey(const SftpAccount &account)
{
    using Problem = SftpHostKeyError::Problem;
    const std::string fingerprint = serverFingerprint(m_ssh);
    if (!account.trustedHostKey.empty()) {
        if (normalisedFingerprint(account.trustedHostKey) != fingerprint)
            throw SftpHostKeyError(Problem::Changed, account.host, fingerprint);
        return;
    }
    switch (ssh_session_is_known_server(m_ssh)) {
    case SSH_KNOWN_HOSTS_OK:
        return;
    case SSH_KNOWN_HOSTS_CHANGED:
    case SSH_KNOWN_HOSTS_OTHER: // a key of another type was known: as suspect as a change
        throw SftpHostKeyError(Problem::Changed, account.host, fingerprint);
    default: // not listed, no known_hosts file, or one that cannot be read
        throw SftpHostKeyError(Problem::Unknown, account.host, fingerprint);
    }
}

void SftpSession::authenticate(const SftpAccount &account)
{
    const std::string user = quoted(account.user);
    if (!account.password.empty()) {
        const std::string password = cp1252ToUtf8(account.password);
        bool accepted = false;
        run([&] {
            const int rc = ssh_userauth_password(m_ssh, nullptr, password.c_str());
            if (rc == SSH_AUTH_ERROR)
                throw SftpError("Anmeldung unterbrochen (" + sshDetail(m_ssh) + ")");
            // Many hosts take the password only by keyboard-interactive.
            accepted = rc == SSH_AUTH_SUCCESS
                || ((ssh_userauth_list(m_ssh, nullptr) & SSH_AUTH_METHOD_INTERACTIVE) != 0
                    && answerWithPassword(m_ssh, password));
        });
        if (!accepted)
            throw SftpError("Anmeldung als " + user + " fehlgeschlagen: Benutzername oder Passwort falsch.");
        return;
    }
    int rc = SSH_AUTH_DENIED;
    // Tries the agent first, then the default keys, as ssh does.
    run([&] { rc = ssh_userauth_publickey_auto(m_ssh, nullptr, nullptr); });
    if (rc == SSH_AUTH_ERROR)
        throw SftpError("Anmeldung unterbrochen (" + sshDetail(m_ssh) + ")");
    if (rc != SSH_AUTH_SUCCESS)
        throw SftpError("Anmeldung als " + user
                        + " fehlgeschlagen: Kein Passwort eingetragen, und der Server nimmt keinen der"
                          " Schl\xfc" "ssel an (SSH-Agent, ~/.ssh/id_ed25519, id_ecdsa, id_rsa).");
}

void SftpSession::startSftp()
{
    run([this] {
        m_sftp = sftp_new(m_ssh);
        if (m_sftp == nullptr || sftp_init(m_sftp) != SSH_OK)
            throw SftpError("Der Server " + quoted(m_host) + " bietet kein SFTP an (" + sshDetail(m_ssh) + ")");
    });
}

void SftpSession::changeDirectory(const std::string &folder)
{
    requireSession();
    std::string path = cp1252ToUtf8(folder);
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path.empty()) {
        m_folder.clear();
        return;
    }
    run([&] {
        sftp_attributes attributes = sftp_stat(m_sftp, path.c_str());
        if (attributes == nullptr) {
            const int error = sftp_get_error(m_sftp);
            if (error == SSH_FX_NO_SUCH_FILE || error == SSH_FX_NO_SUCH_PATH)
                throw SftpError("Das Verzeichnis " + quoted(folder) + " gibt es auf dem Server nicht.");
            throw SftpError("Verzeichnis " + quoted(folder) + ": " + sftpFailureText(m_ssh, m_sftp));
        }
        const bool isFolder = attributes->type == SSH_FILEXFER_TYPE_DIRECTORY;
        sftp_attributes_free(attributes);
        if (!isFolder)
            throw SftpError(quoted(folder) + " ist auf dem Server kein Verzeichnis.");
    });
    m_folder = path;
}

std::string SftpSession::remotePath(const std::string &name) const
{
    if (m_folder.empty())
        return cp1252ToUtf8(name);
    return m_folder + (m_folder.back() == '/' ? "" : "/") + cp1252ToUtf8(name);
}

void SftpSession::uploadFile(const std::string &localPath, const std::string &remoteName,
                             const ProgressHandler &onProgress)
{
    requireSession();
    const std::string cannotOpen = "Datei " + localPath + " kann nicht ge\xf6" "ffnet werden";
    const int fd = ::open(cp1252ToUtf8(localPath).c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info{};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        if (fd >= 0)
            ::close(fd);
        throw SftpError(cannotOpen);
    }
    const std::unique_ptr<int, void (*)(int *)> closer(new int(fd), [](int *f) {
        ::close(*f);
        delete f;
    });
    const std::string target = remotePath(remoteName);
    const std::size_t chunk =
        sftp_extension_supported(m_sftp, "limits@openssh.com", "1") ? openSshWriteSize : portableWriteSize;
    const std::string cannotStore = "Kann " + quoted(remoteName) + " nicht speichern: ";
    run(
        [&] {
            sftp_file file = sftp_open(m_sftp, target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (file == nullptr)
                throw SftpError(cannotStore + sftpFailureText(m_ssh, m_sftp));
            std::vector<char> buffer(chunk);
            bool written = true;
            for (;;) {
                const ssize_t n = ::read(fd, buffer.data(), buffer.size());
                if (n < 0) {
                    sftp_close(file);
                    throw SftpError("Datei " + localPath + " kann nicht gelesen werden");
                }
                if (n == 0)
                    break;
                if (sftp_write(file, buffer.data(), std::size_t(n)) != n) {
                    written = false;
                    break;
                }
                m_sent += n;
            }
            // The server may report a failed write only when the file closes.
            const bool closed = sftp_close(file) == SSH_OK;
            if (!written || !closed)
                throw SftpError(cannotStore + sftpFailureText(m_ssh, m_sftp));
        },
        onProgress, info.st_size);
}

void SftpSession::rename(const std::string &from, const std::string &to)
{
    requireSession();
    const std::string source = remotePath(from);
    const std::string target = remotePath(to);
    run([&] {
        if (sftp_rename(m_sftp, source.c_str(), target.c_str()) == SSH_OK)
            return;
        // The protocol's rename refuses to replace a file (libssh 0.10 has
        // no call for OpenSSH's POSIX rename): remove the old page, but only
        // when the new one is surely there to take its place.
        const int error = sftp_get_error(m_sftp);
        if ((error == SSH_FX_FAILURE || error == SSH_FX_FILE_ALREADY_EXISTS) && isRegularFile(m_sftp, source)
            && sftp_unlink(m_sftp, target.c_str()) == SSH_OK
            && sftp_rename(m_sftp, source.c_str(), target.c_str()) == SSH_OK)
            return;
        throw SftpError("Kann " + quoted(from) + " nicht in " + quoted(to) + " umbenennen: "
                        + sftpFailureText(m_ssh, m_sftp));
    });
}

void SftpSession::remove(const std::string &name)
{
    requireSession();
    const std::string target = remotePath(name);
    run([&] {
        if (sftp_unlink(m_sftp, target.c_str()) != SSH_OK)
            throw SftpError("Kann " + quoted(name) + " nicht l\xf6" "schen: " + sftpFailureText(m_ssh, m_sftp));
    });
}

void SftpSession::makeDirectory(const std::string &name)
{
    requireSession();
    const std::string target = remotePath(name);
    run([&] {
        if (sftp_mkdir(m_sftp, target.c_str(), 0755) == SSH_OK)
            return;
        sftp_attributes attributes = sftp_stat(m_sftp, target.c_str());
        const bool isFolder = attributes != nullptr && attributes->type == SSH_FILEXFER_TYPE_DIRECTORY;
        sftp_attributes_free(attributes);
        if (!isFolder)
            throw SftpError("Kann das Verzeichnis " + quoted(name) + " nicht anlegen: "
                            + sftpFailureText(m_ssh, m_sftp));
    });
}

void SftpSession::close()
{
    if (m_ssh == nullptr)
        return;
    // Called from the event pump while a step runs: the step owns the
    // handles; make it end, and let the caller close after it.
    if (m_running) {
        cancel();
        return;
    }
    if (!m_broken) {
        // A goodbye to a server that stopped answering must not hold the
        // caller: bounded like every step, and ignored when it fails.
        try {
            run([this] {
                if (m_sftp != nullptr)
                    sftp_free(std::exchange(m_sftp, nullptr));
                ssh_disconnect(m_ssh);
            });
        } catch (const SftpError &) {
        }
    }
    releaseHandles();
}

void SftpSession::releaseHandles()
{
    if (m_sftp != nullptr)
        sftp_free(std::exchange(m_sftp, nullptr));
    if (m_ssh != nullptr)
        ssh_free(std::exchange(m_ssh, nullptr));
    if (m_interruptFd >= 0)
        ::close(std::exchange(m_interruptFd, -1));
    m_folder.clear();
    m_broken = false;
}

void SftpSession::requireSession() const
{
    if (!isConnected())
        throw SftpError("Keine Verbindung zum SFTP-Server");
}

void SftpSession::run(const std::function<void()> &step, const ProgressHandler &onProgress, std::int64_t size)
{
    if (m_running)
        throw SftpError("Es l\xe4" "uft bereits eine \xdc" "bertragung");
    if (stopRequested())
        throw SftpAbortError(cancelledText);
    m_running = true;
    m_sent = 0;
    m_worker.start(step);
    try {
        waitBounded([this](auto slice) { return m_worker.waitFinished(slice); },
                    [this] {
                        // Makes the library's wait return with an error.
                        ::shutdown(m_interruptFd, SHUT_RDWR);
                        while (!m_worker.waitFinished(std::chrono::seconds(1))) {
                        }
                        m_broken = true;
                    },
                    onProgress, size);
    } catch (...) {
        m_running = false;
        throw;
    }
    m_running = false;
    if (onProgress)
        onProgress(m_sent, size);
    m_worker.rethrowFailure();
}

void SftpSession::waitBounded(const std::function<bool(std::chrono::milliseconds)> &waitSlice,
                              const std::function<void()> &stop, const ProgressHandler &onProgress,
                              std::int64_t size)
{
    auto lastActivity = std::chrono::steady_clock::now();
    std::int64_t reported = -1;
    while (!waitSlice(passLength)) {
        if (stopRequested()) {
            stop();
            throw SftpAbortError(cancelledText);
        }
        const std::int64_t sent = m_sent;
        const auto now = std::chrono::steady_clock::now();
        if (sent != reported) {
            reported = sent;
            lastActivity = now;
            if (onProgress)
                onProgress(sent, size);
        } else if (m_idleTimeOut.count() > 0 && now - lastActivity >= m_idleTimeOut) {
            stop();
            throw SftpError(timeOutText);
        }
        pumpEvents();
    }
}

} // namespace kaviro
