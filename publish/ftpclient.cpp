#include "publish/ftpclient.h"

#include "common/filename.h"

namespace kaviro {

namespace {

std::string withoutLineEnd(std::string line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    return line;
}

// A reply goes on while its line begins with a blank or has '-' in the
// fourth place; a shorter line is judged by its first character alone.
bool continues(const std::string &line)
{
    if (line.empty())
        return false;
    return line[0] == ' ' || (line.size() >= 4 && line[3] == '-');
}

SocketError closedByServer()
{
    return SocketError("Verbindung vom Server geschlossen");
}

} // namespace

FtpClient::FtpClient()
{
    setPort(21);
}

FtpClient::~FtpClient() = default;

void FtpClient::abort()
{
    if (m_dataSocket)
        m_dataSocket->abort();
}

std::int64_t FtpClient::transferSent() const
{
    return m_dataSocket ? m_dataSocket->sentCount() : 0;
}

std::string FtpClient::transaction(const std::string &command)
{
    // A line break inside an argument would smuggle a second command onto
    // the server.
    if (command.find_first_of("\r\n") != std::string::npos)
        throw Error("FTP-Befehl mit Zeilenumbruch wird nicht gesendet");
    const std::string line = TcpSocket::transaction(command);
    if (line.empty())
        throw closedByServer();
    readContinuation(line, true);
    return line;
}

void FtpClient::readContinuation(const std::string &firstLine, bool closeFails)
{
    std::string line = firstLine;
    while (continues(line)) {
        line = readLine();
        if (line.empty()) {
            if (closeFails)
                throw closedByServer();
            return;
        }
        reportStatus(1, withoutLineEnd(line));
    }
}

void FtpClient::judge(const std::string &line, int failFrom, int failTo) const
{
    if (replyCode() >= failFrom && replyCode() <= failTo)
        throw FtpError(line);
}

void FtpClient::connect()
{
    m_cancelled = false;
    if (isConnected())
        return;
    TcpSocket::connect();
    try {
        login();
    } catch (...) {
        // Should the clean-up fail itself, its failure goes on instead.
        disconnect();
        reportStatus(1, "Verbindung abgebrochen");
        throw;
    }
}

void FtpClient::login()
{
    const std::string greeting = readLine();
    if (greeting.empty())
        throw closedByServer();
    setReplyCode(parseReplyCode(greeting));
    reportStatus(1, withoutLineEnd(greeting));
    const int greetingCode = replyCode();
    // A refusing server may close right after its greeting; the refusal is
    // the failure to report then.
    readContinuation(greeting, greetingCode <= 400);
    if (greetingCode > 400)
        throw FtpError(greeting);

    if (m_fwAuthenticate) {
        const std::string line = transaction("USER " + m_fwUserId);
        judge(line, 401, 599);
        if (replyCode() == 331)
            judge(transaction("PASS " + m_fwPassword), 401, 599);
    }
    if (!proxy().empty()) {
        // The proxy learns the server's name; its answer is not judged.
        switch (m_firewallType) {
        case FirewallType::FtUser: transaction("USER " + m_userId + "@" + host()); break;
        case FirewallType::FtOpen: transaction("OPEN " + host()); break;
        case FirewallType::FtSite: transaction("SITE " + host()); break;
        }
    }
    if (proxy().empty() || m_firewallType != FirewallType::FtUser) {
        reportStatus(1, "USER " + m_userId);
        judge(transaction("USER " + m_userId), 401, 599);
    }
    // 230 or 332, for instance, end the login without a password.
    if (replyCode() == 331) {
        reportStatus(1, "PASS ");
        judge(transaction("PASS " + m_password), 401, 599);
    }
}

std::string FtpClient::sendCommand(const std::string &command, int failFrom, int failTo)
{
    m_cancelled = false;
    checkConnected();
    reportStatus(1, command);
    // Nothing left over from earlier may pass for the reply.
    if (dataAvailable())
        readWaiting();
    const std::string line = transaction(command);
    judge(line, failFrom, failTo);
    return line;
}

void FtpClient::changeDirectory(const std::string &directory)
{
    sendCommand("CWD " + directory, 400, 599);
}

void FtpClient::uploadFile(const std::string &localPath, const std::string &remoteName)
{
    m_cancelled = false;
    checkConnected();
    const std::lock_guard<std::recursive_mutex> lock(m_transferLock);
    if (dataAvailable())
        readWaiting();

    struct DataSocketOwner {
        std::unique_ptr<TcpSocket> &socket;
        ~DataSocketOwner() { socket.reset(); }
    } owner{m_dataSocket};
    m_dataSocket = std::make_unique<TcpSocket>();
    TcpSocket &data = *m_dataSocket;
    data.setTimeOut(timeOut());
    data.setIdleTimeOut(idleTimeOut());
    if (onPacketSent())
        data.setOnPacketSent(onPacketSent());

    // A file that cannot be opened fails here, before anything is sent.
    m_transferSize = localFileSize(localPath);

    data.setPort(0);
    data.listen(true);
    // The address is the local end of the control connection (with a proxy,
    // of the connection to the proxy).
    judge(transaction("PORT " + localAddressText() + data.portText()), 301, 599);

    const std::string name = remoteName.empty() ? std::string(fileNamePart(localPath)) : remoteName;
    reportStatus(1, "STOR " + (remoteName.empty() ? localPath : remoteName));
    judge(transaction("STOR " + name), 301, 599);

    data.takeSocket(data.acceptConnection());
    data.sendFile(localPath);
    // The accepted socket closes abortively by default; a graceful close
    // delivers every queued byte before the connection ends.
    data.setLinger(false);
    data.closeSocket();

    // The closing reply is not judged: a 452 here still counts as stored.
    const std::string reply = readLine();
    if (reply.empty())
        throw closedByServer();
    reportStatus(1, withoutLineEnd(reply));
    // After a late reply its further lines stay for the next command to drop.
    if (!timedOut())
        readContinuation(reply, true);
}

void FtpClient::disconnect()
{
    m_cancelled = false;
    if (!isConnected())
        return;
    reportStatus(1, "QUIT");
    std::string line;
    try {
        if (dataAvailable())
            readWaiting();
        // A server that closes instead of answering QUIT has ended the
        // session all the same.
        line = TcpSocket::transaction("QUIT");
        if (!line.empty())
            readContinuation(line, false);
    } catch (...) {
        TcpSocket::disconnect();
        throw;
    }
    TcpSocket::disconnect();
    judge(line, 301, 599);
}

} // namespace kaviro
