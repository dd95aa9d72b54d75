#pragma once

#include <QProcess>

#include <cstdint>
#include <string>
#include <vector>

namespace nimbra::test {

// The demo news server executable as a child process, started with the arguments given
// ("--port", "0" lets it pick a free port, read back from its first line). The constructor
// waits up to 20 s for its start lines; the destructor ends it with SIGTERM (SIGKILL if it
// does not go) and reaps it.
class DemoServerProcess {
public:
    explicit DemoServerProcess(const std::vector<std::string>& arguments);
    ~DemoServerProcess();
    DemoServerProcess(const DemoServerProcess&) = delete;
    DemoServerProcess& operator=(const DemoServerProcess&) = delete;

    // It printed its first line "Nimbra demo news server on 127.0.0.1:PORT...".
    bool started() const { return port_ != 0; }
    std::uint16_t port() const { return port_; }
    std::string portText() const { return std::to_string(port_); }
    // Everything it printed before it served, line by line; the first is the address line.
    const std::vector<std::string>& startLines() const { return lines_; }
    // The value after "prefix" on the first start line that begins with it; empty when none.
    std::string startValue(const std::string& prefix) const;
    // Standard error so far (also what a server that did not start said).
    std::string errors();

    // Sends SIGTERM and waits for the end: the exit code, -1 when it crashed or did not end.
    int terminate();

private:
    QProcess process_;
    std::vector<std::string> lines_;
    std::uint16_t port_ = 0;
};

} // namespace nimbra::test
