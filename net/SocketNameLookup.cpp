#include "net/SocketNameLookup.h"

#include "net/SocketException.h"

#include <system_error>

namespace nimbra {

bool SocketNameLookup::start(const std::string& host, Done done)
{
    clear();
    host_ = host;
    if (HostLookup::isDottedAddress(host)) {
        result_ = host;
        results_.push_back(host);
        return true;
    }
    try {
        lookup_.start(host, answer(std::move(done)));
    } catch (const std::system_error& e) {
        throw SocketException(host + ": can't start DNS lookup, error #" + std::to_string(e.code().value()));
    }
    return false;
}

void SocketNameLookup::startReverse(const std::string& address, Done done)
{
    clear();
    lookup_.startReverse(address, answer(std::move(done)));
}

void SocketNameLookup::clear()
{
    cancel();
    result_.clear();
    results_.clear();
}

HostLookup::Done SocketNameLookup::answer(Done done)
{
    return [this, done = std::move(done)](int error, const std::vector<std::string>& answers) {
        if (error == 0) {
            results_ = answers;
            result_ = answers.front();
        }
        done(error);
    };
}

} // namespace nimbra
