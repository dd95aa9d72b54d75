#pragma once

#include "net/NntpClient.h"

#include <cstdint>
#include <string>

namespace nimbra {

class SessionView;

// The commands between a connection's greeting and its first GROUP, each at most once per
// connection and in this order: CAPABILITIES (when the run asks for them; the client adds MODE
// READER where the server needs it), AUTHINFO (when a login is given), COMPRESS DEFLATE (when
// the run chooses compression and the server listed it; a refusal goes on uncompressed).
// It also keeps the bytes compression saved, per group and per run, for the log.
//
// The client is the session's and must outlive the setup. Calls come from the session's
// event handlers, one command at a time.
class ConnectionSetup {
public:
    // scans: the connection walks the groups' overviews (the session's); the setup of a
    // connection that only fetches articles leaves what the scan logs to the scanning one.
    explicit ConnectionSetup(NntpClient& client, bool scans = true) : client_(client), scans_(scans) {}

    // A run starts: the client takes the server, the login, the pipeline window and the
    // article size limit from the view, and the setup its choices (capabilities with the fast scan, compression). What was
    // done on a connection still open stays done.
    void startRun(const SessionView& view);
    // How many of user name and password are given: 0, 1 or 2.
    int credentials() const;
    // A connection is about to be made: every step is to be taken again on it.
    void newConnection();
    // Sends the next command of the setup and returns true, or returns false when the setup of
    // this connection is over. login: both user name and password are given.
    bool sendNext(bool login);
    // The reply to the command sent last. Returns why the run must end when the server refused
    // the login (481, 482, 483, 502...: the same account would be refused at every reconnect),
    // else empty.
    std::string replied(NntpRequest rqType, std::uint16_t error);
    // Why the run must end when the greeting refused the connection (400, 502), else empty.
    std::string greetingRefusal() const;

    // The server listed its capabilities on this connection and OVER was not among them.
    bool overviewUnlisted() const;
    // Compression is on for this connection.
    bool compressing() const { return compressing_; }

    // Logs what compression saved in the group just walked (and adds it to the run's);
    // nothing when nothing went compressed.
    void logGroupSavings(const std::string& group);
    // The same for the whole run, at its end.
    void logRunSavings();

private:
    // Adds what the socket counted since the last look.
    void takeCounts();
    static std::string savingsText(long long wire, long long plain);

    NntpClient& client_;
    bool scans_;
    bool askCapabilities_ = false;
    bool compression_ = false;
    // Taken on this connection.
    bool capabilitiesAsked_ = false;
    bool authenticated_ = false;
    bool compressAsked_ = false;
    bool compressing_ = false;
    // Compression counts: read from the socket so far on this connection, and the totals.
    long long wireTaken_ = 0, plainTaken_ = 0;
    long long groupWire_ = 0, groupPlain_ = 0;
    long long runWire_ = 0, runPlain_ = 0;
};

} // namespace nimbra
