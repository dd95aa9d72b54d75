#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QObject;

namespace nimbra {

// Name lookups on a worker thread. The answer is delivered through the event loop of the
// context object's thread, never on the worker; once the lookup is cancelled, restarted or
// this object is destroyed, a late answer is dropped (the worker never touches the owner,
// it only hands the answer to the context object's queue while a shared flag says that the
// owner still waits for it). The context object must outlive this object.
class HostLookup {
public:
    // error is a socket error number (SocketErrorCode), 0 with at least one address.
    using Done = std::function<void(int error, const std::vector<std::string>& addresses)>;

    explicit HostLookup(QObject* context);
    ~HostLookup();
    HostLookup(const HostLookup&) = delete;
    HostLookup& operator=(const HostLookup&) = delete;

    // Starts looking up the IPv4 addresses of host (dotted text), cancelling any running one.
    void start(const std::string& host, Done done);
    // Starts looking up the host name of a dotted address; the answer is the one name.
    void startReverse(const std::string& address, Done done);
    void cancel();
    bool running() const { return running_; }

    // Blocking lookups on the calling thread, for connect's own resolving.
    static int resolve(const std::string& host, std::vector<std::string>& addresses);
    static int reverse(const std::string& address, std::vector<std::string>& names);
    // A dotted IPv4 address ("127.0.0.1")?
    static bool isDottedAddress(const std::string& text);

private:
    struct Shared;
    void launch(std::function<int(std::vector<std::string>&)> work, Done done);

    std::shared_ptr<Shared> shared_;
    bool running_ = false;
};

} // namespace nimbra
