#pragma once

#include "tools/newsmodel/ServerScript.h"

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace nimbra::test {

class ServerCertificate;

// Serves a greeting and a responder (a NewsServerModel's) on 127.0.0.1, each connection on
// its own thread, so that a client that stalls or never closes holds up no other. Only the
// action steps of an answer are played (send, silence, close, reset); an expectation in an
// answer closes the connection.
//
// Given a certificate (which must outlive the server), every connection is served over TLS:
// the handshake comes first, and a client that fails it or leaves during it is closed without
// a greeting (it still counts as a connection).
//
// The constructor listens (port 0 picks a free one) and throws std::runtime_error when it
// cannot; stop() or the destructor closes the listener and every connection and joins the
// threads promptly, whatever the clients do. The greeting and responder are called from the
// connection threads, several at once.
class ModelServer {
public:
    ModelServer(ServerGreeting greeting, ServerResponder responder, std::uint16_t port = 0,
                const ServerCertificate* certificate = nullptr);
    ~ModelServer();
    ModelServer(const ModelServer&) = delete;
    ModelServer& operator=(const ModelServer&) = delete;

    std::uint16_t port() const { return port_; }
    int connections() const { return accepted_.load(); }
    void stop();

private:
    struct Connection;
    void acceptLoop();
    void serve(Connection& connection, int index);
    bool play(Connection& connection, const ServerScript& actions);
    bool sendAll(Connection& connection, const std::string& bytes);
    void close(Connection& connection);

    ServerGreeting greeting_;
    ServerResponder responder_;
    const ServerCertificate* certificate_;
    int listener_ = -1;
    int wake_[2] = {-1, -1};
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> accepted_{0};
    std::mutex mutex_;  // guards connections_
    std::list<std::unique_ptr<Connection>> connections_;
    std::thread acceptor_;
};

} // namespace nimbra::test
