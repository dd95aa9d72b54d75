#pragma once

#include "net/CustomSyncSocket.h"

namespace nimbra {

// The socket as components use it: the plain socket with its SOCKS, TLS, line-mode and
// waiting layers (CustomAsyncSocket -> CustomSocksSocket -> CustomTlsSocket -> CustomCompressSocket ->
// CustomLineSocket -> CustomSyncSocket).
class AsyncSocket : public CustomSyncSocket {
public:
    AsyncSocket();
    ~AsyncSocket() override;
};

} // namespace nimbra
