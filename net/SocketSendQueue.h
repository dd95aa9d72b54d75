#pragma once

#include "net/Buffer.h"

#include <deque>

namespace nimbra {

// The bytes a socket has accepted from its caller and not yet handed to the system, in
// blocks, in the order given.
class SocketSendQueue {
public:
    // Send errors after which the connection is gone: the socket closes and reports the close.
    static bool endsConnection(int error);

    // Adds count bytes at the end.
    void append(const char* data, int count);
    // Forgets every queued byte; everything counts as sent.
    void clear();
    // True once every byte given has been taken off the queue.
    bool allSent() const { return allSent_; }
    // The next bytes to send and their number, dropping drained blocks on the way; nullptr
    // (and allSent() true) when nothing is left.
    const char* next(int& count);
    // Takes count bytes, just sent, off the front.
    void consume(int count);

private:
    std::deque<Buffer> blocks_;
    bool allSent_ = true;
};

} // namespace nimbra
