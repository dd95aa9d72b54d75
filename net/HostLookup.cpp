#include "net/HostLookup.h"
#include "platform/SocketErrorCode.h"


#include <QMetaObject>
#include <QObject>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <mutex>
#include <thread>

namespace nimbra {

struct HostLookup::Shared {
    std::mutex mutex;
    QObject* context = nullptr;  // null once the owner is gone
    unsigned current = 0;        // the lookup the owner waits for
};

HostLookup::HostLookup(QObject* context) : shared_(std::make_shared<Shared>())
{
    shared_->context = context;
}

HostLookup::~HostLookup()
{
    std::lock_guard lock(shared_->mutex);
    shared_->context = nullptr;
    ++shared_->current;
}

void HostLookup::cancel()
{
    std::lock_guard lock(shared_->mutex);
    ++shared_->current;
    running_ = false;
}

void HostLookup::start(const std::string& host, Done done)
{
    launch([host](std::vector<std::string>& out) { return resolve(host, out); }, std::move(done));
}

void HostLookup::startReverse(const std::string& address, Done done)
{
    launch([address](std::vector<std::string>& out) { return reverse(address, out); }, std::move(done));
}

void HostLookup::launch(std::function<int(std::vector<std::string>&)> work, Done done)
{
    unsigned id;
    {
        std::lock_guard lock(shared_->mutex);
        id = ++shared_->current;
    }
    running_ = true;
    std::shared_ptr<Shared> shared = shared_;
    // The thread owns its copies; it may outlive the owner, which it then simply forgets.
    std::thread([shared, id, work = std::move(work), done = std::move(done), this]() {
        std::vector<std::string> addresses;
        const int error = work(addresses);
        std::lock_guard lock(shared->mutex);
        if (!shared->context || shared->current != id)
            return;
        QMetaObject::invokeMethod(
            shared->context,
            [shared, id, error, addresses = std::move(addresses), done, this]() {
                // On the owner's thread: the owner is alive exactly while the context is
                // not null, and it still waits for this answer when the id is current.
                if (!shared->context || shared->current != id)
                    return;
                running_ = false;
                done(error, addresses);
            },
            Qt::QueuedConnection);
    }).detach();
}

int HostLookup::resolve(const std::string& host, std::vector<std::string>& addresses)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    const int status = ::getaddrinfo(host.c_str(), nullptr, &hints, &result);
    if (status != 0)
        return SocketErrorCode::fromLookup(status);
    for (addrinfo* entry = result; entry; entry = entry->ai_next) {
        char text[INET_ADDRSTRLEN];
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
        if (::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text)) {
            std::string dotted(text);
            bool seen = false;
            for (const std::string& known : addresses)
                seen = seen || known == dotted;
            if (!seen)
                addresses.push_back(dotted);
        }
    }
    ::freeaddrinfo(result);
    return addresses.empty() ? SocketErrorCode::HostNotFound : 0;
}

int HostLookup::reverse(const std::string& address, std::vector<std::string>& names)
{
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    if (::inet_pton(AF_INET, address.c_str(), &peer.sin_addr) != 1)
        return SocketErrorCode::InvalidArgument;
    char name[NI_MAXHOST];
    const int status = ::getnameinfo(reinterpret_cast<sockaddr*>(&peer), sizeof peer, name, sizeof name, nullptr, 0,
                                     NI_NAMEREQD);
    if (status != 0)
        return SocketErrorCode::fromLookup(status);
    names.emplace_back(name);
    return 0;
}

bool HostLookup::isDottedAddress(const std::string& text)
{
    in_addr ignored{};
    return ::inet_pton(AF_INET, text.c_str(), &ignored) == 1;
}

} // namespace nimbra
