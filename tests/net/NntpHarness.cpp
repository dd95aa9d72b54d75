#include "tests/net/NntpHarness.h"

#include "tests/support/EventLoop.h"

namespace nimbra::test {

NntpHarness::NntpHarness(const std::string& port)
{
    client.SetHost("127.0.0.1");
    client.SetPort(port);
    client.OnSessionConnected = [this](NntpClient&, std::uint16_t error) {
        events.push_back("connected " + std::to_string(error));
    };
    client.OnSessionClosed = [this](NntpClient&, std::uint16_t error) {
        events.push_back("closed " + std::to_string(error));
    };
    client.OnRequestDone = [this](NntpClient& c, NntpRequest type, std::uint16_t error) {
        if (inCall_)
            events.push_back("DONE INSIDE A CALL");
        events.push_back("done " + std::to_string(type) + " " + std::to_string(error));
        ++doneCount;
        lastType = type;
        lastError = error;
        lastResponseAtDone = c.LastResponse();
    };
    client.OnDataAvailable = [this](NntpClient& c, std::uint16_t) { events.push_back("data " + c.LastResponse()); };
    client.OnMessageBegin = [this](NntpClient& c) { events.push_back("begin " + c.LastResponse()); };
    client.OnMessageLine = [this](NntpClient& c) { events.push_back("line " + c.LastResponse()); };
    client.OnMessageEnd = [this](NntpClient& c) { events.push_back("end " + c.LastResponse()); };
    client.OnXHdrBegin = [this](NntpClient& c) { events.push_back("xbegin " + c.LastResponse()); };
    client.OnXHdrLine = [this](NntpClient& c) { events.push_back("xline " + c.LastResponse()); };
    client.OnXHdrEnd = [this](NntpClient& c) { events.push_back("xend " + c.LastResponse()); };
}

void NntpHarness::call(const std::function<void()>& operation)
{
    inCall_ = true;
    try {
        operation();
    } catch (...) {
        inCall_ = false;
        throw;
    }
    inCall_ = false;
}

bool NntpHarness::connect()
{
    const int before = doneCount;
    call([this] { client.Connect(); });
    return waitUntil([&] { return client.State() == nntpReady || doneCount > before; });
}

bool NntpHarness::waitForDone(int count, int timeoutMs)
{
    return waitUntil([&] { return doneCount >= count; }, timeoutMs);
}

std::vector<std::string> NntpHarness::take()
{
    std::vector<std::string> recent(events.begin() + static_cast<std::ptrdiff_t>(taken_), events.end());
    taken_ = events.size();
    return recent;
}

} // namespace nimbra::test
