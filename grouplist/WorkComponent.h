#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace nimbra {

enum ConnStatus { hsResolving, hsConnecting, hsConnected, hsDisconnecting, hsDisconnected, hsStatusText };
enum WorkMode { wmRead, wmWrite };

// Status and work events of a blocking component. Handlers run on the caller's thread, inside
// the blocking call; they may pump events, so a handler can re-enter the component (a Stop
// button that closes the connection). Work sessions nest by a counter per mode: OnWorkBegin
// fires when the first opens, OnWorkEnd when the last closes, OnWork only inside a session,
// with the byte count since that session began.
class WorkComponent {
public:
    using StatusEvent = std::function<void(WorkComponent& sender, ConnStatus status, const std::string& text)>;
    using WorkEvent = std::function<void(WorkComponent& sender, WorkMode mode, std::int64_t count)>;
    using WorkBeginEvent = std::function<void(WorkComponent& sender, WorkMode mode, std::int64_t size)>;
    using WorkEndEvent = std::function<void(WorkComponent& sender, WorkMode mode)>;

    virtual ~WorkComponent() = default;

    StatusEvent OnStatus;
    WorkEvent OnWork;
    WorkBeginEvent OnWorkBegin;
    WorkEndEvent OnWorkEnd;

    void BeginWork(WorkMode mode, std::int64_t size = 0);
    void EndWork(WorkMode mode);
    void DoWork(WorkMode mode, std::int64_t count);
    // Reports status with its text; argument fills the "%s" of hsResolving, hsConnecting and
    // hsStatusText.
    void DoStatus(ConnStatus status, const std::string& argument = {});

    static std::string statusText(ConnStatus status, const std::string& argument);

private:
    struct Session {
        int level = 0;
        std::int64_t count = 0;
    };
    Session sessions_[2];
};

// Opens a work session for the life of the object.
class WorkSession {
public:
    WorkSession(WorkComponent& component, WorkMode mode, std::int64_t size = 0)
        : component_(component), mode_(mode)
    {
        component_.BeginWork(mode_, size);
    }
    ~WorkSession() { component_.EndWork(mode_); }
    WorkSession(const WorkSession&) = delete;
    WorkSession& operator=(const WorkSession&) = delete;

private:
    WorkComponent& component_;
    WorkMode mode_;
};

} // namespace nimbra
