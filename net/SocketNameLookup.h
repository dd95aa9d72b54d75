#pragma once

#include "net/HostLookup.h"

#include <functional>
#include <string>
#include <vector>

class QObject;

namespace nimbra {

// A socket's name lookups and the answer of the last one: a host looked up to its IPv4
// addresses, or an address to its name. Starting a lookup cancels a running one and clears
// the last answer. A dotted address is answered inside start(); every other answer arrives
// later through the context object's event loop, the results stored before done is called
// (done gets the socket error number, 0 with at least one answer). The context object must
// outlive this object.
class SocketNameLookup {
public:
    using Done = std::function<void(int error)>;

    explicit SocketNameLookup(QObject* context) : lookup_(context) {}

    // Starts looking up host; true when it was a dotted address, answered already (done is
    // then not called). Raises SocketException when the lookup cannot be started.
    bool start(const std::string& host, Done done);
    void startReverse(const std::string& address, Done done);
    void cancel() { lookup_.cancel(); }

    // The first answer, and all of them.
    const std::string& result() const { return result_; }
    const std::vector<std::string>& results() const { return results_; }
    // The host text of the last start(), as it was given.
    const std::string& host() const { return host_; }

private:
    void clear();
    HostLookup::Done answer(Done done);

    HostLookup lookup_;
    std::string result_;
    std::string host_;
    std::vector<std::string> results_;
};

} // namespace nimbra
