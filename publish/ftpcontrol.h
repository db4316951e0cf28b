#pragma once

#include "publish/tcpsocket.h"

#include <chrono>
#include <string>
#include <vector>

namespace kaviro {

// A server refused a step; the message is the server's reply line exactly as
// received, line end included.
class FtpError : public Error {
public:
    using Error::Error;
};

// One whole reply: its code (from the first line) and its lines, each with
// its line end.
struct FtpReply {
    int code = 0;
    std::vector<std::string> lines;

    const std::string &firstLine() const { return lines.front(); }
};

// The FTP control connection over a line connection: sends a command and
// returns the whole reply, continuation lines included, within one idle
// bound, so a server that keeps sending continuation lines cannot hold the
// client.
class FtpControl {
public:
    explicit FtpControl(TcpSocket &connection) : m_connection(connection) {}

    // One command line out, the whole reply in. A connection the server
    // closes instead of answering fails; so does a line break in the command.
    FtpReply command(const std::string &command);
    // Reads the next reply. closeFails: a close after its first line fails
    // too, unless that line is a refusal (code above 400); otherwise the
    // lines so far are the reply. With skipLateLines, a
    // first line that came after the connection's timer ran out is the whole
    // reply; its further lines stay for dropWaiting.
    FtpReply readReply(bool closeFails = true, bool skipLateLines = false);
    // The same within a bound of its own (a clean-up that must not wait long).
    FtpReply readReplyWithin(std::chrono::milliseconds bound);
    // Drops what the server sent beyond the last reply, so that it cannot
    // pass for the next one.
    void dropWaiting();

private:
    FtpReply read(std::chrono::steady_clock::time_point deadline, bool closeFails, bool skipLateLines);

    TcpSocket &m_connection;
};

SocketError closedByServer();

} // namespace kaviro

namespace kaviro {

// Raises FtpError with the reply's first line when its code is within
// failFrom..failTo.
void judge(const FtpReply &reply, int failFrom, int failTo);

} // namespace kaviro
