#pragma once

// A whole download run against the model news server: the session, a recording view and a
// sink that keeps the message-ids of the articles it received. Time-outs are counted in
// tenths of a second. The watchdog is 60 s, so that a slow reply on a loaded machine never
// makes a reconnect; tests about the watchdog call shortWatchdog().

#include "download/ArticleSink.h"
#include "download/DownloadSession.h"
#include "download/RunOutcome.h"
#include "tests/download/RecordingSessionView.h"
#include "tests/support/FakeNewsServer.h"
#include "tests/support/NewsServerModel.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace nimbra::test {

class RecordingSink : public ArticleSink {
public:
    void articleDone(const Article& article) override;

    std::vector<std::string> ids;     // Message-ID of each article, in order
    std::vector<std::string> groups;  // the group it came from
    bool throwNext = false;           // the next article fails to save
};

class SessionRun {
public:
    SessionRun();

    // The time-out field "5": a 500 ms watchdog, short enough for a test to wait for it and
    // long enough that a reply slowed by load is not taken for a stall.
    void shortWatchdog() { view.timeout = "5"; }
    // Starts the server and presses "Get Files".
    void start();
    // Runs the event loop until the run is over.
    bool waitForEnd(int timeoutMs = 8000);
    // The commands the server received, over all connections.
    std::vector<std::string> commands() const { return server ? server->received() : std::vector<std::string>{}; }

    NewsServerModel model;
    std::unique_ptr<FakeNewsServer> server;
    RecordingSessionView view;
    RecordingSink sink;
    RunOutcome outcome;
    DownloadSession session{view};
};

std::vector<std::string> numbered(const std::string& prefix, int first, int last);
// Every file below folder (names relative to it) with its bytes.
std::map<std::string, std::string> folderFiles(const std::string& folder);

} // namespace nimbra::test
