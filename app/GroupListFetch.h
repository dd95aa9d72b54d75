#pragma once

#include "grouplist/BlockingNntp.h"

#include <exception>
#include "grouplist/WaitPump.h"

#include <cstdint>
#include <string>
#include <vector>

namespace nimbra {

class GroupFetchView;

// "Get groups": reloads the cached newsgroup list of the server in the host field, or
// fetches the server's full list behind the wait window, counting the groups in its caption,
// and caches it. The fetch blocks inside getGroups() while pumping events, so the window
// repaints and the wait window's Stop button (stop()) works meanwhile; the main window is
// disabled for that time and enabled again however the fetch ends.
//
// view and fullList belong to the main window and must outlive this object; neither may be
// destroyed while getGroups() runs (running()). The object owns the blocking client and the
// process-wide wait pump.
class GroupListFetch {
public:
    static constexpr const char* RefreshQuestion = "Would you like to refresh?";

    GroupListFetch(GroupFetchView& view, std::vector<std::string>& fullList);
    GroupListFetch(const GroupListFetch&) = delete;
    GroupListFetch& operator=(const GroupListFetch&) = delete;

    // The "Get groups" button. Errors end in view.showError(); nothing escapes. A press while
    // a fetch is still running (reachable only through the event pump) is ignored.
    void getGroups();
    // The wait window's "Stop" button: ends a running fetch without an error report; the
    // groups received so far stay in the full list and nothing is saved.
    void stop();

    bool running() const { return running_; }
    int groupCounter() const { return groupCounter_; }
    BlockingNntp& client() { return ListClient1; }

    // The port field as a port number; throws std::invalid_argument with the text the user
    // sees ("'x' is not a valid integer value", "'70000' is not a valid port number").
    static int portNumber(const std::string& text);

private:
    // Connects, asking about an untrusted certificate once; the TLS failure, if any.
    std::exception_ptr connectOverTls();
    void run();
    void loadCache(const std::string& path);
    void fetch(const std::string& path);
    void endFetch();

    void ListClient1NewsgroupList(const std::string& ANewsgroup, std::int32_t ALow, std::int32_t AHigh,
        const std::string& AType, bool& ACanContinue);

    GroupFetchView& view_;
    std::vector<std::string>& fullList_;
    WaitPump WaitPump1;
    BlockingNntp ListClient1;
    int groupCounter_ = 0;
    bool running_ = false;
    bool stopped_ = false;
};

} // namespace nimbra
