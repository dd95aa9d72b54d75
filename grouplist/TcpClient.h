#pragma once

#include "grouplist/TcpConnection.h"

#include <string>

namespace nimbra {

// A TcpConnection that connects itself to Host:Port.
class TcpClient : public TcpConnection {
public:
    // A connect with the wait pump in use and no time-out of its own gives up after this.
    static constexpr int DefaultConnectTimeout = 120000;

    std::string Host;
    int Port = 0;
    std::string BoundIP;
    int BoundPort = 0;

    ConnectionEvent OnConnected;

    // Connects. timeout in ms; -1 takes the default (120,000 ms when the wait pump is in use,
    // else the system's own connect), -2 waits without limit. A connect that needs longer
    // raises ConnectTimeoutError; a refused one ConnectException (10061). On any failure the
    // socket is closed again. Handlers run meanwhile may close the connection, which ends
    // the connect with ConnClosedGracefullyError.
    void OpenConnection(int timeout = -1);

private:
    void threadedConnect(int timeout);
};

} // namespace nimbra
