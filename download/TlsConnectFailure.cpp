#include "download/TlsConnectFailure.h"

#include "download/SessionView.h"
#include "net/AsyncSocket.h"
#include "net/NntpClient.h"
#include "platform/CertificateTrustRule.h"
#include "platform/Log.h"
#include "platform/TlsSession.h"

namespace nimbra {

TlsConnectFailure::Verdict TlsConnectFailure::judge(std::uint16_t error, NntpClient& client, SessionView& view,
                                                    const std::function<void()>& beforeAsking, std::string& fingerprint)
{
    if (TlsSession::describe(error)[0] == '\0')
        return notTls;
    AsyncSocket& socket = client.Socket();
    const std::string reason = socket.TlsErrorText();
    if (error != TlsSession::CertificateNotTrusted && error != TlsSession::NameMismatch) {
        view.setPanelText(SessionView::panelGroup, reason);
        return leftToWatchdog;
    }
    beforeAsking();
    fingerprint = socket.TlsPeerFingerprint();
    if (CertificateTrustRule::mayAsk(error, fingerprint, socket.TlsAcceptedFingerprint())
        && view.trustCertificate(client.Host(), fingerprint, socket.TlsPeerSubject(), reason))
        return trusted;
    qCWarning(logSession, "certificate of %s refused: %s", client.Host().c_str(), reason.c_str());
    view.inform("Not connected to " + client.Host() + ": " + reason);
    return refused;
}

} // namespace nimbra
