#pragma once

// A scripted news server for tests, listening on 127.0.0.1 at an ephemeral port.
//
// Script mode: the test lists the transcript, server lines and the exact client lines side
// by side; the server plays it from the first connection on.
//
//     FakeNewsServer server({
//         send("200 news.test ready"),
//         expect("GROUP alt.test"),
//         send("211 3 1 3 alt.test"),
//         expect("ARTICLE 1"),
//         sendBlock("220 1 <a1@test> article", {"Subject: x", "", ".starts with a dot"}),
//         expectClose(),                 // the client goes away (QUIT, abort, watchdog)
//         send("200 again"),             // ... and the reconnect gets the next connection
//     });
//     client.SetHost("127.0.0.1"); client.SetPort(server.portText());
//     ...
//     server.verify();                   // waits for the script's end; gtest failures for every deviation
//
// Strict: a line that differs from the expected one, a line after the end of the script, or
// a close while a line is expected is recorded as a problem; the script stops there and the
// connection is closed. Problems are reported as gtest failures by verify(), or by the
// destructor when verify() was not called; never from the server's own thread.
//
// Responder mode: a callback answers every line (for model servers with groups and
// articles). It runs on the server's thread; whatever it shares with the test must be
// guarded by the caller.
//
// TLS mode: given FakeNewsServer::Tls first, either mode serves every connection over TLS
// with that certificate (TestCertificate::local() is made for 127.0.0.1 at start); a client
// that fails the handshake reads as one that closed at once.
//
// Connections are accepted one after another; steps that need a connection when none is
// open wait for the next one. The destructor stops the server promptly even when the client
// never connects, never sends, never reads or never closes.

#include "tools/newsmodel/ServerScript.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace nimbra::test {

class ServerCertificate;

class FakeNewsServer {
public:
    using Script = ServerScript;
    using Greeting = ServerGreeting;
    using Responder = ServerResponder;
    // The certificate must outlive the server.
    struct Tls {
        const ServerCertificate& certificate;
    };

    // Script mode.
    explicit FakeNewsServer(Script script);
    // Responder mode: greeting() answers each new connection, responder() each line.
    FakeNewsServer(Greeting greeting, Responder responder);
    // The same over TLS.
    FakeNewsServer(Tls tls, Script script);
    FakeNewsServer(Tls tls, Greeting greeting, Responder responder);
    ~FakeNewsServer();
    FakeNewsServer(const FakeNewsServer&) = delete;
    FakeNewsServer& operator=(const FakeNewsServer&) = delete;

    std::uint16_t port() const;
    std::string portText() const;

    // Every line received, in order, over all connections, CR LF removed.
    std::vector<std::string> received() const;
    // Connections accepted so far.
    int connections() const;
    // Script mode: every step has been played (or the script stopped on a problem).
    bool finished() const;
    // The problems recorded so far.
    std::vector<std::string> problems() const;
    // Reports every problem, and a script that has not been played to its end, as gtest
    // failures; call from the test's thread. In script mode it first runs the event loop for
    // up to waitMs until the script has been played (the client may still be at work).
    void verify(int waitMs = 2000);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace nimbra::test
