#pragma once

#include <condition_variable>
#include <mutex>
#include <netinet/in.h>
#include <thread>

namespace nimbra {

// The worker of a threaded connect: connects one socket to one peer on its own thread so that
// the GUI thread can keep pumping events and give up after a time-out. The worker touches
// only the socket handle it was given, its result and its finished flag. The socket must stay
// open until the worker has been joined (cancel() or the destructor).
class ConnectThread {
public:
    // Starts connecting at once. Throws std::system_error when no thread can be started.
    ConnectThread(int socket, const sockaddr_in& peer);
    ~ConnectThread();
    ConnectThread(const ConnectThread&) = delete;
    ConnectThread& operator=(const ConnectThread&) = delete;

    // Waits up to ms (0: not at all) for the connect to end; true when it has ended.
    bool waitFor(int ms);
    bool finished() const;
    // The socket error number of a failed connect; 0 when it connected or was cancelled.
    int error() const;
    // Stops a connect still under way and joins the worker; idempotent.
    void cancel();

private:
    void run(const sockaddr_in& peer);
    void finish(int error);

    int socket_;
    int wake_[2] = {-1, -1};
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool finished_ = false;
    bool cancelled_ = false;
    int error_ = 0;
    std::thread worker_;
};

} // namespace nimbra
