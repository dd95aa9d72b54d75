#pragma once

#include <cstddef>
#include <memory>
#include <netinet/in.h>
#include <string>

namespace nimbra {

class ConnectThread;

// One blocking TCP socket and its binding (local and peer address). Nothing here pumps events
// or reports status: the connection above does that between the calls. Failures throw the
// connection errors with their socket error numbers.
class SocketHandler {
public:
    SocketHandler();
    // Stops a threaded connect still under way, then closes the socket.
    virtual ~SocketHandler();
    SocketHandler(const SocketHandler&) = delete;
    SocketHandler& operator=(const SocketHandler&) = delete;

    // Makes the stream socket; InvalidSocketError when none can be had.
    void allocate();
    // Binds to ip ("" = any) and port (0 = any) in one attempt.
    void bind(const std::string& ip, int port);
    bool allocated() const { return socket_ >= 0; }
    // True while a threaded connect is under way.
    bool connecting() const;

    void setPeer(const std::string& ip, int port);
    const std::string& peerIp() const { return peerIp_; }
    int peerPort() const { return peerPort_; }
    const std::string& localIp() const { return localIp_; }
    int localPort() const { return localPort_; }

    // Connects on the calling thread; throws SocketError.
    void connectDirect();
    // Starts the connect on a worker thread; poll it with waitConnect().
    void startConnect();
    // Waits up to ms for the worker; true when it has ended. Then connectError() is its socket
    // error number, 0 on success.
    bool waitConnect(int ms);
    int connectError() const;
    // Stops and forgets the worker; the socket stays allocated.
    void endConnect();

    // Waits up to ms (-1: without limit) until data or a close can be read; false on time-out.
    virtual bool readable(int ms);
    // recv(); the byte count, 0 at the peer's close, or minus the socket error number.
    virtual long receive(char* buffer, std::size_t size);
    // send() without SIGPIPE; the byte count or minus the socket error number.
    virtual long send(const char* bytes, std::size_t size);
    // Shuts down sends (when asked) and closes the socket; nothing when none is allocated.
    virtual void close(bool shutdownSends = true);

private:
    void updateLocalAddress();
    sockaddr_in peerAddress() const;

    int socket_ = -1;
    std::unique_ptr<ConnectThread> connect_;
    std::string peerIp_;
    int peerPort_ = 0;
    std::string localIp_;
    int localPort_ = 0;
};

} // namespace nimbra
