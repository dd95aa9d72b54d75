#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace nimbra {
class DeflateStream;
}

namespace nimbra::test {

class ServerCertificate;
class TlsServerStream;

// The blocking sockets of the fake news server: a listener on 127.0.0.1 at an ephemeral port
// and the one connection being served. Everything but stop(), port() and accepted() is
// called from the server's own thread; stop() may come from any thread and wakes every wait
// of the server thread (accept, read, send, pause) so that it returns promptly.
//
// Given a certificate (which must outlive the socket), every connection is served over TLS:
// acceptNext() runs the handshake, and a client that fails it (or leaves) reads as closed.
class FakeServerSocket {
public:
    enum ReadResult { Line, Closed, Stopped };

    explicit FakeServerSocket(const ServerCertificate* tls = nullptr);
    ~FakeServerSocket();
    FakeServerSocket(const FakeServerSocket&) = delete;
    FakeServerSocket& operator=(const FakeServerSocket&) = delete;

    std::uint16_t port() const { return port_; }
    int accepted() const { return accepted_; }
    bool stopping() const { return stopping_; }
    bool connected() const { return connection_ >= 0; }

    // Waits for the next client; false when the server stops.
    bool acceptNext();
    // The next line without its CR LF (a bare LF also ends a line).
    ReadResult readLine(std::string& line);
    // Sends everything; false when the peer has gone (or the server stops) and not all
    // could be sent. A peer that has gone is also noticed by the next read.
    bool sendBytes(const std::string& bytes);
    // Waits the given time unless the server stops.
    void pause(int ms);
    // Closes the connection in order, or resets it; nothing when none is open.
    void closeConnection(bool reset);
    // From now until the connection closes, raw deflate both ways (COMPRESS DEFLATE).
    void startCompression();
    void stop();

private:
    // Waits until fd is readable; false when woken by stop().
    bool waitReadable(int fd, int timeoutMs = -1);

    int listener_ = -1;
    int wake_[2] = {-1, -1};
    std::uint16_t port_ = 0;
    std::atomic<int> accepted_{0};
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;  // held while connection_ changes, so stop() never shuts a reused fd
    int connection_ = -1;
    const ServerCertificate* certificate_ = nullptr;
    std::unique_ptr<TlsServerStream> tls_;
    std::unique_ptr<DeflateStream> deflater_;
    std::unique_ptr<DeflateStream> inflater_;
    bool tlsFailed_ = false;  // the handshake of this connection failed
    std::string input_;
    std::size_t inputStart_ = 0;
};

} // namespace nimbra::test
