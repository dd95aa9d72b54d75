#include "tests/grouplist/StalledListener.h"

#include "tests/support/LoopbackListener.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace nimbra::test {
namespace {

sockaddr_in loopback(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// Starts a connect; true when it completed within ms, false when it is still waiting.
bool connectsWithin(int fd, std::uint16_t port, int ms)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    const sockaddr_in peer = loopback(port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0)
        return true;
    if (errno != EINPROGRESS)
        return true; // failed outright: not a hanging connect either
    pollfd wait{fd, POLLOUT, 0};
    return ::poll(&wait, 1, ms) > 0;
}

} // namespace

StalledListener::StalledListener()
{
    listener_ = LoopbackListener::open(port_, 0);
    if (listener_ < 0)
        return;
    for (int attempt = 0; attempt < 16 && !stalled_; ++attempt) {
        const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (filler < 0)
            return;
        stalled_ = !connectsWithin(filler, port_, 300);
        fillers_.push_back(filler);
    }
}

StalledListener::~StalledListener()
{
    for (int fd : fillers_)
        ::close(fd);
    if (listener_ >= 0)
        ::close(listener_);
}

} // namespace nimbra::test
