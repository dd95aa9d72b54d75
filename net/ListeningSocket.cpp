#include "net/ListeningSocket.h"

#include "net/SocketEventSource.h"
#include "net/SocketException.h"

#include <sys/socket.h>

namespace nimbra {

void ListeningSocket::Listen()
{
    if (Handle().valid() && State() != wsClosed)
        RaiseException("listen: Socket already in use");
    if (!Endpoint().portAssigned())
        RaiseException("listen: port not assigned");
    if (!Endpoint().addrAssigned())
        SetAddr("0.0.0.0");
    try {
        Endpoint().resolveForListen();
    } catch (const SocketException& e) {
        RaiseException(std::string("listen: ") + e.what());
    }
    OpenSocket("socket");
    Handle().setOption(SOL_SOCKET, SO_REUSEADDR, 1);
    Check(Handle().bind(Endpoint().local()), "bind");
    ChangeState(wsBound);
    const bool stream = Endpoint().socketType() == SOCK_STREAM;
    if (stream)
        Check(Handle().listen(5), "listen");
    SocketEventSource& events = AttachEvents();
    if (stream)
        events.watchAccept();
    else
        events.rearmRead();
    ChangeState(wsListening);
}

int ListeningSocket::Accept()
{
    int error = 0;
    const int handle = Handle().accept(error);
    if (handle < 0)
        SetLastError(error);
    return handle;
}

} // namespace nimbra
