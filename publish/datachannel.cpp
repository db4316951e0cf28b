#include "publish/datachannel.h"

#include <cstdio>

#include <arpa/inet.h>

namespace kaviro {

namespace {

class ActiveChannel : public DataChannel {
public:
    void prepare(const Command &command, TcpSocket &control, TcpSocket &data) override
    {
        data.setPort(0);
        data.listen(true);
        // The address is the local end of the control connection (with a
        // proxy, of the connection to the proxy).
        judge(command("PORT " + control.localAddressText() + data.portText()), 301, 599);
    }

    void open(TcpSocket &control, TcpSocket &data) override
    {
        data.setAcceptFrom(control.peerAddress());
        data.takeSocket(data.acceptConnection());
    }
};

class PassiveChannel : public DataChannel {
public:
    void prepare(const Command &command, TcpSocket &control, TcpSocket &data) override
    {
        FtpReply reply = command("EPSV");
        int port = -1;
        if (reply.code == 500 || reply.code == 502) {
            reply = command("PASV");
            judge(reply, 300, 599);
            port = pasvPort(reply.firstLine());
        } else {
            judge(reply, 300, 599);
            port = epsvPort(reply.firstLine());
        }
        if (port <= 0)
            throw FtpError(reply.firstLine());
        // The address of a PASV reply is ignored: misconfigured servers
        // announce private ones. The server is where the control connection
        // goes.
        in_addr peer{control.peerAddress()};
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &peer, text, sizeof text);
        data.setHost(text);
        data.setProxy({});
        data.setPort(port);
        data.connect();
    }

    void open(TcpSocket &, TcpSocket &) override {}
};

} // namespace

std::unique_ptr<DataChannel> makeDataChannel(bool passive)
{
    if (passive)
        return std::make_unique<PassiveChannel>();
    return std::make_unique<ActiveChannel>();
}

int epsvPort(const std::string &line)
{
    const std::size_t open = line.find('(');
    if (open == std::string::npos || open + 4 > line.size())
        return -1;
    const char delimiter = line[open + 1];
    if (line[open + 2] != delimiter || line[open + 3] != delimiter)
        return -1;
    int port = 0;
    std::size_t i = open + 4;
    for (; i < line.size() && line[i] >= '0' && line[i] <= '9' && port <= 65535; ++i)
        port = port * 10 + (line[i] - '0');
    const bool closed = i < line.size() && line[i] == delimiter && i > open + 4;
    return closed && port <= 65535 ? port : -1;
}

int pasvPort(const std::string &line)
{
    const std::size_t digits = line.find_first_of("0123456789", 4);
    if (digits == std::string::npos)
        return -1;
    unsigned h[4], p[2];
    if (std::sscanf(line.c_str() + digits, "%u,%u,%u,%u,%u,%u", &h[0], &h[1], &h[2], &h[3], &p[0], &p[1]) != 6
        || p[0] > 255 || p[1] > 255)
        return -1;
    return static_cast<int>(p[0] * 256 + p[1]);
}

} // namespace kaviro
