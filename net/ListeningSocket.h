#pragma once

#include "net/CustomAsyncSocket.h"

namespace nimbra {

// A socket that waits for clients: listens on Addr (default "0.0.0.0") and Port, reports
// each waiting client through OnSessionAvailable, and hands out its handle with Accept, which
// another socket adopts as a connected one with Dup. A datagram listener reports its data
// through OnDataAvailable instead. The program itself only ever connects; its tests listen.
class ListeningSocket : public CustomAsyncSocket {
public:
    void Listen();
    // The handle of the next waiting client, or -1 with LastError set.
    int Accept();
};

} // namespace nimbra
