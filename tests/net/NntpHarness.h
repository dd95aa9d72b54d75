#pragma once

#include "net/NntpClient.h"
#include "platform/MemoryStream.h"

#include <functional>
#include <string>
#include <vector>

namespace nimbra::test {

// An NntpClient wired to record its events as short texts ("done 7 0", "line ..", "closed 0"),
// so that a test compares the whole sequence. It also records "DONE INSIDE A CALL" when
// OnRequestDone arrives inside an operation started through call().
class NntpHarness {
public:
    explicit NntpHarness(const std::string& port);

    NntpClient client;
    MemoryStream stream;
    std::vector<std::string> events;

    // Runs an operation of the client, marking the time inside it.
    void call(const std::function<void()>& operation);
    // Connect, then wait for OnSessionConnected or the end of the connect request.
    bool connect();
    // Waits until count request-done events have been seen in all.
    bool waitForDone(int count, int timeoutMs = 5000);
    // Waits for the next request-done event after those seen so far.
    bool waitForNextDone(int timeoutMs = 5000) { return waitForDone(doneCount + 1, timeoutMs); }
    // The events recorded since the last call of take().
    std::vector<std::string> take();

    int doneCount = 0;
    NntpRequest lastType = nntpConnect;
    std::uint16_t lastError = 0;
    std::string lastResponseAtDone;

private:
    bool inCall_ = false;
    std::size_t taken_ = 0;
};

} // namespace nimbra::test
