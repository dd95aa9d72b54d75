#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace nimbra {

class NntpClient;
class SessionView;

// What a connect that ended with an error means when the error is one of TLS. A handshake cut
// short is shown in the group panel and left to the watchdog, as a server that stalls. An
// untrusted certificate is put to the user (once per certificate); a certificate the user
// refuses, or one made out for another name, ends the run with its reason, for every reconnect
// would meet it again.
class TlsConnectFailure {
public:
    enum Verdict {
        notTls,          // not a TLS failure: the caller handles it as any failed connect
        leftToWatchdog,  // the reconnect after the time-out may go through
        trusted,         // the user trusts the certificate: connect again at once
        refused,         // the run ends; the view has been told why
    };

    // beforeAsking runs before the user is asked (to stop the timers while the user decides).
    // On trusted, fingerprint is the certificate the user accepted.
    static Verdict judge(std::uint16_t error, NntpClient& client, SessionView& view,
                         const std::function<void()>& beforeAsking, std::string& fingerprint);
};

} // namespace nimbra
