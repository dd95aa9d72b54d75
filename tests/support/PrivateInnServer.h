#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <sys/types.h>

namespace nimbra::test {

// A private INN news server (Debian's inn2) for tests: its own inn.conf (found through
// INNCONF), history, active file and spool in a temporary folder, listening on a free port of
// 127.0.0.1, run as the user "news"; never the system's own instance. Readers are let in
// from 127.0.0.1 without a login, or only with the user and password given (readers.conf
// with ckpasswd and a password file). start() says why when it cannot run (inn2 missing, not
// root): a test then skips with that reason, and fails when it is there and will not start. The destructor stops innd (ctlinnd shutdown,
// then its PID) and removes the folder. Not thread-safe; one per test.
class PrivateInnServer {
public:
    PrivateInnServer();
    ~PrivateInnServer();
    PrivateInnServer(const PrivateInnServer&) = delete;
    PrivateInnServer& operator=(const PrivateInnServer&) = delete;

    // Require AUTHINFO USER/PASS with these; call before start().
    void requireLogin(const std::string& user, const std::string& password);
    // nnrpd drops a reader idle this many seconds (inn.conf "clienttimeout"); call before start().
    void setClientTimeout(int seconds) { clientTimeout_ = seconds; }
    // Why no private INN can run on this machine, or empty when one can.
    static std::string unavailable();
    // Starts innd and waits until it answers; false with the reason in whyNot.
    bool start(std::string& whyNot);
    void stop();

    std::uint16_t port() const { return port_; }
    std::string portText() const { return std::to_string(port_); }
    // Posts an article (header lines, an empty line, body lines; unstuffed, no line ends) over
    // a plain blocking connection, logging in when a login is required; false with the
    // server's answer in whyNot.
    bool post(const std::vector<std::string>& lines, std::string& whyNot);
    // Creates a group (ctlinnd newgroup); false with the reason in whyNot.
    bool newGroup(const std::string& name, std::string& whyNot);

private:
    // Runs an INN program as news with this instance's INNCONF; its exit status.
    int runAsNews(const std::string& program, const std::vector<std::string>& arguments);
    bool writeConfiguration(std::string& whyNot);

    std::string folder_;
    std::string user_, password_;
    std::uint16_t port_ = 0;
    int clientTimeout_ = 0;  // 0: as the system's inn.conf says
    pid_t innd_ = -1;
    uid_t newsUid_ = 0;
    gid_t newsGid_ = 0;
};

} // namespace nimbra::test
