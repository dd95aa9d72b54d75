#pragma once

#include <cstdint>
#include <string>
#include <thread>

namespace nimbra::test {
class ServerCertificate;
}

// The benchmark's news server over TLS, answering as the plain one does (BenchNewsServer):
// a banner, the same prepared article for every "ARTICLE n", "205" for QUIT. One connection,
// its own thread, a blocking socket; the certificate must outlive the server.
class BenchTlsNewsServer {
public:
    BenchTlsNewsServer(std::string articleBlock, const nimbra::test::ServerCertificate& certificate);
    ~BenchTlsNewsServer();

    std::uint16_t port() const { return port_; }

private:
    void serve();

    std::string block_;
    const nimbra::test::ServerCertificate& certificate_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
};
