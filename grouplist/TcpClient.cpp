#include "grouplist/TcpClient.h"

#include "grouplist/ConnectionErrors.h"
#include "grouplist/HostAddress.h"
#include "grouplist/TlsConnectionError.h"
#include "grouplist/TlsSocketHandler.h"
#include "grouplist/WaitPump.h"

#include <algorithm>

namespace nimbra {
namespace {
constexpr int ConnectStep = 125;
constexpr int NoLimit = -2;
}

void TcpClient::OpenConnection(int timeout)
{
    CheckForDisconnect(false);
    if (socketAllocated())
        throw AlreadyConnectedError();
    SocketHandler& fresh = UseTls ? newHandler(std::make_unique<TlsSocketHandler>(Host, TlsAcceptedFingerprint))
                                  : newHandler();
    resetInput();
    try {
        fresh.allocate();
        fresh.bind(BoundIP, BoundPort);
        if (!HostAddress::isDotted(Host))
            DoStatus(hsResolving, Host);
        const std::string ip = HostAddress::resolve(Host);
        liveHandler().setPeer(ip, Port);
        DoStatus(hsConnecting, ip);
        if (timeout != -1 && timeout != 0)
            threadedConnect(timeout);
        else if (WaitPump::inUse())
            threadedConnect(DefaultConnectTimeout);
        else
            liveHandler().connectDirect();
        if (UseTls)
            tlsHandshake(timeout != -1 && timeout != 0 ? timeout : WaitPump::inUse() ? DefaultConnectTimeout : NoLimit);
        DoStatus(hsConnected);
        if (OnConnected)
            OnConnected(*this);
    } catch (...) {
        closeSocket();
        releaseHandler();
        throw;
    }
}

// The worker connects while this thread waits in steps, pumping events between them. A
// handler that closes the connection meanwhile has already stopped the worker with the
// socket; that is noticed after the step.
void TcpClient::threadedConnect(int timeout)
{
    liveHandler().startConnect();
    const WaitPump* pump = WaitPump::inUse();
    const int step = pump ? std::min(pump->slice(), ConnectStep) : ConnectStep;
    int remaining = timeout;
    bool finished = false;
    while (remaining == NoLimit || remaining > step) {
        finished = liveHandler().waitConnect(step);
        WaitPump::pump(true);
        liveHandler();
        if (finished)
            break;
        if (remaining != NoLimit)
            remaining -= step;
    }
    if (!finished)
        finished = liveHandler().waitConnect(remaining);
    SocketHandler& handler = liveHandler();
    if (!finished) {
        handler.endConnect();
        closeSocket();
        throw ConnectTimeoutError();
    }
    const int error = handler.connectError();
    handler.endConnect();
    if (error != 0)
        throw ConnectException(error);
}

// The handshake's waits are pumped like every other wait here; a handler run meanwhile may
// close the connection, so the socket is looked up afresh after each.
void TcpClient::tlsHandshake(int timeout)
{
    tlsPeerFingerprint_.clear();
    tlsPeerSubject_.clear();
    const auto note = [this] {
        if (!socketAllocated())
            return;
        const auto& tls = static_cast<TlsSocketHandler&>(liveHandler());
        tlsPeerFingerprint_ = tls.peerFingerprint();
        tlsPeerSubject_ = tls.peerSubject();
    };
    try {
        while (!static_cast<TlsSocketHandler&>(liveHandler()).handshakeStep()) {
            if (!Readable(timeout))
                throw ConnectTimeoutError();
            static_cast<TlsSocketHandler&>(liveHandler()).pullInput();
        }
    } catch (const TlsConnectionError&) {
        note();
        throw;
    }
    note();
}

} // namespace nimbra
