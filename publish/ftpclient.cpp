#include "publish/ftpclient.h"

#include "common/filename.h"
#include "common/lineend.h"
#include "publish/datachannel.h"
#include "publish/tlsconnection.h"

#include <algorithm>

namespace kaviro {

namespace {

// How long the clean-up after a failed data connection waits for the
// server to explain it.
constexpr std::chrono::milliseconds explanationBound{1000};
constexpr std::chrono::milliseconds interruptionBound{5000};

} // namespace

FtpClient::FtpClient()
{
    m_socket.setPort(21);
    // The client's timer only cancels the running data connection; its own
    // waits go on (bounded by the idle time-out).
    m_socket.setTimeOutAction([this] {
        if (m_dataSocket)
            m_dataSocket->abort();
    });
}

FtpClient::~FtpClient() = default;

void FtpClient::setStopFlag(const std::atomic<bool> *flag)
{
    m_stopFlag = flag;
    m_socket.setStopFlag(flag);
}

std::int64_t FtpClient::transferSent() const
{
    return m_dataSocket ? m_dataSocket->sentCount() : 0;
}

FtpReply FtpClient::command(const std::string &command)
{
    m_replyCode = 0;
    FtpReply reply = m_control.command(command);
    m_replyCode = reply.code;
    return reply;
}

void FtpClient::connect()
{
    if (isConnected())
        return;
    m_socket.connect();
    try {
        readGreeting();
        if (m_encryption != FtpEncryption::None)
            startTls();
        login();
        protectAndSetType();
    } catch (...) {
        // Should the clean-up fail itself, its failure goes on instead.
        disconnect(interruptionBound);
        m_socket.reportStatus(1, "Verbindung abgebrochen");
        throw;
    }
}

void FtpClient::readGreeting()
{
    const FtpReply greeting = m_control.readReply();
    m_replyCode = greeting.code;
    if (greeting.code > 400)
        throw FtpError(greeting.firstLine());
}

void FtpClient::startTls()
{
    const FtpReply reply = command("AUTH TLS");
    if (reply.code != 234) {
        if (m_encryption == FtpEncryption::Required)
            throw Error("Der Server bietet keine verschl\xfc" "sselte Verbindung an (AUTH TLS): "
                        + withoutLineEnd(reply.firstLine()));
        return; // offered only: the session goes on in plain text
    }
    // A fresh context per session: no session of an earlier one is resumed.
    m_tlsContext = std::make_unique<TlsContext>();
    m_socket.startTls(*m_tlsContext, tlsHostName());
    m_socket.tls()->checkPeer(tlsHostName(), m_trustedCertificate);
}

void FtpClient::login()
{
    if (m_fwAuthenticate) {
        judge(command("USER " + m_fwUserId), 401, 599);
        if (m_replyCode == 331)
            judge(command("PASS " + m_fwPassword), 401, 599);
    }
    if (!proxy().empty()) {
        // The proxy learns the server's name; its answer is not judged.
        switch (m_firewallType) {
        case FirewallType::FtUser: command("USER " + m_userId + "@" + host()); break;
        case FirewallType::FtOpen: command("OPEN " + host()); break;
        case FirewallType::FtSite: command("SITE " + host()); break;
        }
    }
    if (proxy().empty() || m_firewallType != FirewallType::FtUser) {
        m_socket.reportStatus(1, "USER " + m_userId);
        judge(command("USER " + m_userId), 401, 599);
    }
    // 230 or 332, for instance, end the login without a password.
    if (m_replyCode == 331) {
        m_socket.reportStatus(1, "PASS ");
        judge(command("PASS " + m_password), 401, 599);
    }
}

void FtpClient::protectAndSetType()
{
    if (encrypted()) {
        judge(command("PBSZ 0"), 400, 599);
        judge(command("PROT P"), 400, 599);
    }
    judge(command("TYPE I"), 400, 599);
}

std::string FtpClient::sendCommand(const std::string &text, int failFrom, int failTo)
{
    m_socket.checkConnected();
    m_socket.reportStatus(1, text);
    // Nothing left over from earlier may pass for the reply.
    m_control.dropWaiting();
    const FtpReply reply = command(text);
    judge(reply, failFrom, failTo);
    return reply.firstLine();
}

void FtpClient::changeDirectory(const std::string &directory)
{
    sendCommand("CWD " + directory, 400, 599);
}

void FtpClient::rename(const std::string &from, const std::string &to)
{
    sendCommand("RNFR " + from, 400, 599);
    try {
        sendCommand("RNTO " + to, 400, 599);
    } catch (const FtpError &refusal) {
        // Some servers rename only onto a free name: the old file goes first.
        try {
            deleteFile(to);
        } catch (const FtpError &) {
            throw refusal;
        }
        sendCommand("RNFR " + from, 400, 599);
        sendCommand("RNTO " + to, 400, 599);
    }
}

void FtpClient::deleteFile(const std::string &name)
{
    sendCommand("DELE " + name, 400, 599);
}

void FtpClient::makeDirectory(const std::string &name)
{
    sendCommand("MKD " + name, 400, 599);
}

void FtpClient::uploadFile(const std::string &localPath, const std::string &remoteName)
{
    m_socket.checkConnected();
    const std::lock_guard<std::recursive_mutex> lock(m_transferLock);
    m_control.dropWaiting();

    struct DataSocketOwner {
        std::unique_ptr<TcpSocket> &socket;
        ~DataSocketOwner() { socket.reset(); }
    } owner{m_dataSocket};
    m_dataSocket = std::make_unique<TcpSocket>();
    TcpSocket &data = *m_dataSocket;
    data.setTimeOut(timeOut());
    data.setIdleTimeOut(idleTimeOut());
    data.setStopFlag(m_stopFlag);
    if (m_onPacketSent)
        data.setOnPacketSent(m_onPacketSent);

    // A file that cannot be opened fails here, before anything is sent.
    m_transferSize = localFileSize(localPath);

    const std::unique_ptr<DataChannel> channel = makeDataChannel(m_passive);
    channel->prepare([this](const std::string &text) { return command(text); }, m_socket, data);

    const std::string name = remoteName.empty() ? std::string(fileNamePart(localPath)) : remoteName;
    m_socket.reportStatus(1, "STOR " + (remoteName.empty() ? localPath : remoteName));
    judge(command("STOR " + name), 301, 599);

    try {
        transferData(localPath, data, *channel);
    } catch (const SocketAbortError &) {
        throw;
    } catch (const SocketError &) {
        failWithServersReply(std::current_exception());
    }

    // After a late first line the further lines stay for the next command
    // to drop.
    const FtpReply closing = m_control.readReply(true, true);
    m_replyCode = closing.code;
    if (closing.code != 226 && closing.code != 250)
        throw StoreRefused(closing.firstLine());
}

void FtpClient::transferData(const std::string &localPath, TcpSocket &data, DataChannel &channel)
{
    // A server that answers (425, 426) instead of connecting ends the wait.
    data.setInterruption([this] { return m_socket.dataAvailable(); });
    channel.open(m_socket, data);
    if (encrypted()) {
        if (!m_tlsContext->session())
            m_tlsContext->remember(*m_socket.tls());
        data.startTls(*m_tlsContext, tlsHostName(), true);
    }
    data.sendFile(localPath);
    if (TlsConnection *tls = data.tls()) {
        data.finishTls();
        m_tlsContext->remember(*tls);
    }
    // The accepted socket closes abortively by default; a graceful close
    // delivers every queued byte before the connection ends.
    data.setLinger(false);
    data.closeSocket();
}

// A data connection that failed is usually explained by the server (425
// "cannot open", 426 "aborted"); that line is the better message.
void FtpClient::failWithServersReply(const std::exception_ptr &failure)
{
    m_dataSocket.reset();
    // The client's own timer cancelled it: nothing for the server to explain.
    if (m_socket.timedOut())
        std::rethrow_exception(failure);
    bool interrupted = false;
    try {
        std::rethrow_exception(failure);
    } catch (const WaitInterrupted &) {
        interrupted = true;
    } catch (...) {
    }
    try {
        const FtpReply reply = m_control.readReplyWithin(interrupted ? interruptionBound : explanationBound);
        m_replyCode = reply.code;
        if (reply.code >= 400)
            throw FtpError(reply.firstLine());
    } catch (const FtpError &) {
        throw;
    } catch (const SocketAbortError &) {
        throw;
    } catch (const std::exception &) {
        // No explanation: the data connection's own failure goes on.
    }
    std::rethrow_exception(failure);
}

void FtpClient::disconnect()
{
    disconnect(idleTimeOut());
}

void FtpClient::disconnect(std::chrono::milliseconds replyBound)
{
    if (!isConnected())
        return;
    if (idleTimeOut().count() > 0)
        replyBound = std::min(replyBound, idleTimeOut());
    m_socket.reportStatus(1, "QUIT");
    FtpReply reply;
    try {
        m_control.dropWaiting();
        // A server that closes instead of answering QUIT has ended the
        // session all the same.
        m_socket.writeLine("QUIT");
        const std::string line = m_socket.readLine(std::chrono::steady_clock::now() + replyBound);
        if (!line.empty()) {
            reply.code = parseReplyCode(line);
            reply.lines.push_back(line);
            m_socket.reportStatus(1, withoutLineEnd(line));
        }
    } catch (...) {
        m_socket.disconnect();
        throw;
    }
    m_socket.disconnect();
    if (!reply.lines.empty())
        judge(reply, 301, 599);
}

} // namespace kaviro
