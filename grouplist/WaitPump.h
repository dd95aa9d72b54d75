#pragma once

namespace nimbra {

// Keeps the window alive while a blocking call waits: between its short waits the blocking
// connection asks the pump to process pending Qt events. The newest instance is the
// process-wide one until it is destroyed; create it on the GUI thread and keep it alive for
// as long as blocking calls may run.
class WaitPump {
public:
    WaitPump();
    ~WaitPump();
    WaitPump(const WaitPump&) = delete;
    WaitPump& operator=(const WaitPump&) = delete;

    bool Active = true;
    // Process all pending events on each pump; otherwise only what is pending right now
    // within no time budget.
    bool ApplicationHasPriority = true;
    // Length of one wait slice in milliseconds.
    int IdleTimeOut = 250;
    // Pump only when a wait ended without data (idle), unless a pump is forced.
    bool OnlyWhenIdle = true;

    // The process-wide pump when it exists, is Active and the caller runs on the thread of the
    // Qt application object; nullptr otherwise.
    static WaitPump* inUse();
    // Processes pending events if the pump is in use and (idle, not OnlyWhenIdle, or force).
    static void pump(bool idle, bool force = false);

    // IdleTimeOut, never below 1 ms.
    int slice() const { return IdleTimeOut > 0 ? IdleTimeOut : 1; }
};

} // namespace nimbra
