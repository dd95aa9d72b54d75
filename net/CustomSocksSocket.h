#pragma once

#include "net/CustomAsyncSocket.h"

namespace nimbra {

enum SocksAuthentication { socksNoAuthentication, socksAuthenticateUsercode };
enum SocksAuthState { socksAuthStart, socksAuthSuccess, socksAuthFailure, socksAuthNotRequired };

// The SOCKS proxy layer. Inactive (every call and event passes straight through) unless
// SocksServer is set. When set, Connect connects to SocksServer:SocksPort instead, and the
// negotiation for Addr:Port at level "4", "4A" or "5" (with optional user name and password
// at level 5) runs before OnSessionConnected reports the outcome to the layers above.
// A refusal reports the error 20000 + the proxy's reply code (20255 for "no acceptable
// authentication", 20254 for a broken reply), then closes.
class CustomSocksSocket : public CustomAsyncSocket {
public:
    using SocksErrorEvent = std::function<void(CustomAsyncSocket& sender, int error, const std::string& msg)>;
    using SocksAuthStateEvent = std::function<void(CustomAsyncSocket& sender, SocksAuthState state)>;

    const std::string& SocksServer() const { return socksServer_; }
    void SetSocksServer(const std::string& server) { socksServer_ = server; }
    const std::string& SocksPort() const { return socksPort_; }
    void SetSocksPort(const std::string& port) { socksPort_ = port; }
    const std::string& SocksLevel() const { return socksLevel_; }
    void SetSocksLevel(const std::string& level);
    SocksAuthentication GetSocksAuthentication() const { return socksAuthentication_; }
    void SetSocksAuthentication(SocksAuthentication value) { socksAuthentication_ = value; }
    const std::string& SocksUsercode() const { return socksUsercode_; }
    void SetSocksUsercode(const std::string& user) { socksUsercode_ = user; }
    const std::string& SocksPassword() const { return socksPassword_; }
    void SetSocksPassword(const std::string& password) { socksPassword_ = password; }

    void Connect() override;

    ErrorEvent OnSocksConnected;
    SocksErrorEvent OnSocksError;
    SocksAuthStateEvent OnSocksAuthState;

protected:
    void TriggerSessionConnected(std::uint16_t error) override;
    bool TriggerDataAvailable(std::uint16_t error) override;

private:
    enum Phase { None, Greeting, Authenticating, Requesting };
    void SendConnectRequest();
    int ReplyBytesMissing() const;
    void Negotiate();
    void Succeed();
    void Fail(int error, const std::string& msg);

    std::string socksServer_;
    std::string socksPort_ = "1080";
    std::string socksLevel_ = "5";
    SocksAuthentication socksAuthentication_ = socksNoAuthentication;
    std::string socksUsercode_;
    std::string socksPassword_;
    Phase phase_ = None;
    std::string targetHost_;
    std::uint16_t targetPort_ = 0;
    std::string reply_;
};

} // namespace nimbra
