#pragma once

#include "net/CustomSyncSocket.h"

namespace nimbra {

// The socket as components use it: the plain socket with its SOCKS, line-mode and waiting
// layers (CustomAsyncSocket -> CustomSocksSocket -> CustomLineSocket -> CustomSyncSocket).
class AsyncSocket : public CustomSyncSocket {
public:
    AsyncSocket();
    ~AsyncSocket() override;
};

} // namespace nimbra
