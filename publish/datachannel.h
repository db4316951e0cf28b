#pragma once

#include "publish/ftpcontrol.h"

#include <functional>
#include <memory>
#include <string>

namespace kaviro {

// How a file's data connection comes about. Active: the client listens and
// announces its address with PORT, the server connects. Passive: the server
// listens (EPSV, or PASV where EPSV is unknown) and the client connects.
class DataChannel {
public:
    using Command = std::function<FtpReply(const std::string &command)>;

    virtual ~DataChannel() = default;
    // Before the transfer command.
    virtual void prepare(const Command &command, TcpSocket &control, TcpSocket &data) = 0;
    // After the transfer command's preliminary reply: data is connected.
    virtual void open(TcpSocket &control, TcpSocket &data) = 0;
};

std::unique_ptr<DataChannel> makeDataChannel(bool passive);

// The port of a 229 reply "(|||port|)" or of a 227 reply
// "(h1,h2,h3,h4,p1,p2)"; -1 when the reply holds none.
int epsvPort(const std::string &line);
int pasvPort(const std::string &line);

} // namespace kaviro
