#include "publish/ftpcontrol.h"

#include "common/lineend.h"

namespace kaviro {

namespace {

using Clock = std::chrono::steady_clock;

// A reply goes on while its line begins with a blank or has '-' in the
// fourth place; a shorter line is judged by its first character alone.
bool continues(const std::string &line)
{
    if (line.empty())
        return false;
    return line[0] == ' ' || (line.size() >= 4 && line[3] == '-');
}

} // namespace

SocketError closedByServer()
{
    return SocketError("Verbindung vom Server geschlossen");
}

FtpReply FtpControl::command(const std::string &command)
{
    // A line break inside an argument would smuggle a second command onto
    // the server.
    if (command.find_first_of("\r\n") != std::string::npos)
        throw Error("FTP-Befehl mit Zeilenumbruch wird nicht gesendet");
    m_connection.writeLine(command);
    return readReply();
}

FtpReply FtpControl::readReply(bool closeFails, bool skipLateLines)
{
    const auto bound = m_connection.idleTimeOut();
    return read(bound.count() > 0 ? Clock::now() + bound : Clock::time_point::max(), closeFails, skipLateLines);
}

FtpReply FtpControl::readReplyWithin(std::chrono::milliseconds bound)
{
    return read(Clock::now() + bound, true, false);
}

FtpReply FtpControl::read(Clock::time_point deadline, bool closeFails, bool skipLateLines)
{
    FtpReply reply;
    std::string line = m_connection.readLine(deadline);
    if (line.empty())
        throw closedByServer();
    reply.code = parseReplyCode(line);
    m_connection.reportStatus(1, withoutLineEnd(line));
    reply.lines.push_back(line);
    if (skipLateLines && m_connection.timedOut())
        return reply;
    while (continues(line)) {
        line = m_connection.readLine(deadline);
        if (line.empty()) {
            // A refusing server may close right after its first line; the
            // refusal is the failure to report then.
            if (closeFails && reply.code <= 400)
                throw closedByServer();
            break;
        }
        m_connection.reportStatus(1, withoutLineEnd(line));
        reply.lines.push_back(line);
    }
    return reply;
}

void FtpControl::dropWaiting()
{
    if (m_connection.dataAvailable())
        m_connection.readWaiting();
}

} // namespace kaviro

namespace kaviro {

void judge(const FtpReply &reply, int failFrom, int failTo)
{
    if (reply.code >= failFrom && reply.code <= failTo)
        throw FtpError(reply.firstLine());
}

} // namespace kaviro
