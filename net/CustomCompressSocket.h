#pragma once

#include "net/CustomTlsSocket.h"

#include <memory>
#include <string>

namespace nimbra {

class DeflateStream;

// The COMPRESS DEFLATE layer (RFC 8054), above TLS. Off until StartCompression(): every call
// and event passes straight through. Once started (the NNTP client does so right after the
// server's 206), Send takes plain bytes and what goes to the layers below is raw deflate,
// flushed after every send; Receive gives the plain bytes of what comes compressed. A
// compressed stream that cannot be read ends the connection (read error CompressionFailed),
// so the close is reported as any other. The layer switches off at every close.
class CustomCompressSocket : public CustomTlsSocket {
public:
    static constexpr int CompressionFailed = 30005;

    CustomCompressSocket();
    ~CustomCompressSocket() override;

    void StartCompression();
    bool CompressionActive() const { return active_; }
    // Bytes sent and received on the wire while compression was on, and their plain size.
    long long WireBytes() const { return wireBytes_; }
    long long PlainBytes() const { return plainBytes_; }
    int RcvdCount() const override;

protected:
    void TriggerDataSent(std::uint16_t error) override;
    void TriggerSessionClosed(std::uint16_t error) override;
    int RealSend(const char* data, int count) override;
    int RealReceive(char* buffer, int count) override;

private:
    // Sends the compressed bytes waiting; 0 when all went, else the socket error number.
    int flush();

    bool active_ = false;
    std::unique_ptr<DeflateStream> deflater_;
    std::unique_ptr<DeflateStream> inflater_;
    std::string out_;          // compressed, not yet taken by the layer below
    std::size_t outSent_ = 0;
    std::string in_;           // plain, not yet taken by the layers above
    std::size_t inTaken_ = 0;
    std::string scratch_;      // compressed bytes on their way up
    long long wireBytes_ = 0;
    long long plainBytes_ = 0;
};

} // namespace nimbra
