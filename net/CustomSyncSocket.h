#pragma once

#include "net/CustomLineSocket.h"

namespace nimbra {

// Waiting routines for callers that want to block: they pump the thread's events while they
// wait, so the socket's own events keep running. The program itself never waits this way.
class CustomSyncSocket : public CustomLineSocket {
public:
    // Pumps events until done() holds, the socket closes, or timeoutMs passes; returns done().
    bool WaitUntilReady(const std::function<bool()>& done, int timeoutMs);
    // Waits for one line (in line mode, for the duration of the call) and returns it without
    // its LineEnd; empty when none came within timeoutMs or the socket closed.
    std::string ReadLine(int timeoutMs);
};

} // namespace nimbra
