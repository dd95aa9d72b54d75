#include "net/CustomSocksSocket.h"

#include "net/HostLookup.h"
#include "net/SocketException.h"
#include "net/SocketResolver.h"

#include <arpa/inet.h>

namespace nimbra {
namespace {

constexpr int SocksReplyError = 20000;
constexpr int SocksBrokenReply = SocksReplyError + 254;
constexpr int SocksNoMethod = SocksReplyError + 255;

std::string portBytes(std::uint16_t port)
{
    return {static_cast<char>(port >> 8), static_cast<char>(port & 0xFF)};
}

} // namespace

void CustomSocksSocket::SetSocksLevel(const std::string& level)
{
    if (level != "4" && level != "4A" && level != "5")
        RaiseException("Invalid socks level. Must be 4, 4A or 5.");
    socksLevel_ = level;
}

void CustomSocksSocket::Connect()
{
    phase_ = None;
    if (socksServer_.empty()) {
        CustomAsyncSocket::Connect();
        return;
    }
    if (Proto() != "tcp")
        RaiseException("tcp is the only protocol supported thru socks server");
    targetHost_ = Addr();
    try {
        targetPort_ = SocketResolver::port(Port(), 6);
        if (socksLevel_ == "4" && !HostLookup::isDottedAddress(targetHost_)) {
            // Level 4 carries an address only; the name is resolved here.
            const in_addr address = SocketResolver::host(targetHost_);
            char text[INET_ADDRSTRLEN];
            targetHost_ = ::inet_ntop(AF_INET, &address, text, sizeof text);
        }
    } catch (const SocketException& e) {
        RaiseException(std::string("connect: ") + e.what());
    }
    SetAddr(socksServer_);
    SetPort(socksPort_);
    reply_.clear();
    CustomAsyncSocket::Connect();
    phase_ = Greeting;
}

void CustomSocksSocket::TriggerSessionConnected(std::uint16_t error)
{
    if (phase_ == None || error != 0) {
        phase_ = None;
        CustomAsyncSocket::TriggerSessionConnected(error);
        return;
    }
    if (socksLevel_ != "5") {
        SendConnectRequest();
        return;
    }
    if (socksAuthentication_ == socksAuthenticateUsercode)
        SendStr(std::string("\x05\x02\x00\x02", 4));
    else
        SendStr(std::string("\x05\x01\x00", 3));
}

void CustomSocksSocket::SendConnectRequest()
{
    phase_ = Requesting;
    in_addr address{};
    const bool dotted = ::inet_pton(AF_INET, targetHost_.c_str(), &address) == 1;
    const std::string ip(reinterpret_cast<const char*>(&address), 4);
    if (socksLevel_ == "5") {
        std::string request("\x05\x01\x00", 3);
        if (dotted)
            request += '\x01' + ip;
        else
            request += '\x03' + std::string(1, static_cast<char>(targetHost_.size() & 0xFF)) + targetHost_;
        SendStr(request + portBytes(targetPort_));
    } else {
        // Level 4A asks the proxy to resolve the name: the address 0.0.0.1, then the name.
        std::string request = std::string("\x04\x01", 2) + portBytes(targetPort_);
        request += dotted ? ip : std::string("\x00\x00\x00\x01", 4);
        request += socksUsercode_ + '\0';
        if (!dotted)
            request += targetHost_ + '\0';
        SendStr(request);
    }
}

bool CustomSocksSocket::TriggerDataAvailable(std::uint16_t error)
{
    if (phase_ == None)
        return CustomAsyncSocket::TriggerDataAvailable(error);
    // Only the bytes of the proxy's reply are taken; what follows belongs to the layers above.
    char buffer[512];
    const int count = CustomAsyncSocket::Receive(buffer, ReplyBytesMissing());
    if (count > 0) {
        reply_.append(buffer, static_cast<std::size_t>(count));
        Negotiate();
    }
    return true;
}

int CustomSocksSocket::ReplyBytesMissing() const
{
    std::size_t whole = 2;
    if (socksLevel_ != "5") {
        whole = 8;
    } else if (phase_ == Requesting) {
        whole = 5;
        if (reply_.size() >= 5) {
            const unsigned type = static_cast<unsigned char>(reply_[3]);
            whole = type == 3 ? 7 + static_cast<unsigned char>(reply_[4]) : type == 4 ? 22 : 10;
        }
    }
    return static_cast<int>(whole > reply_.size() ? whole - reply_.size() : 1);
}

void CustomSocksSocket::Negotiate()
{
    const auto byte = [this](std::size_t i) { return static_cast<unsigned char>(reply_[i]); };
    if (socksLevel_ != "5") {
        if (reply_.size() < 8)
            return;
        if (byte(1) == 90)
            Succeed();
        else
            Fail(SocksReplyError + byte(1), "SOCKS request rejected");
        return;
    }
    if (phase_ == Greeting) {
        if (reply_.size() < 2)
            return;
        const unsigned method = byte(1);
        reply_.erase(0, 2);
        if (method == 0) {
            if (OnSocksAuthState)
                OnSocksAuthState(*this, socksAuthNotRequired);
            SendConnectRequest();
        } else if (method == 2 && socksAuthentication_ == socksAuthenticateUsercode) {
            phase_ = Authenticating;
            if (OnSocksAuthState)
                OnSocksAuthState(*this, socksAuthStart);
            SendStr(std::string(1, '\x01') + static_cast<char>(socksUsercode_.size() & 0xFF) + socksUsercode_
                    + static_cast<char>(socksPassword_.size() & 0xFF) + socksPassword_);
        } else {
            Fail(SocksNoMethod, "No acceptable authentication method");
        }
    } else if (phase_ == Authenticating) {
        if (reply_.size() < 2)
            return;
        const bool accepted = byte(1) == 0;
        reply_.erase(0, 2);
        if (OnSocksAuthState)
            OnSocksAuthState(*this, accepted ? socksAuthSuccess : socksAuthFailure);
        if (accepted)
            SendConnectRequest();
        else
            Fail(SocksReplyError + 1, "SOCKS authentication failed");
    } else if (phase_ == Requesting) {
        if (reply_.size() < 5)
            return;
        const unsigned type = byte(3);
        const std::size_t length = type == 1 ? 10 : type == 3 ? 7 + byte(4) : type == 4 ? 22 : 0;
        if (length == 0 || byte(0) != 5)
            Fail(SocksBrokenReply, "SOCKS reply not understood");
        else if (byte(1) != 0)
            Fail(SocksReplyError + byte(1), "SOCKS request rejected");
        else if (reply_.size() >= length)
            Succeed();
    }
}

void CustomSocksSocket::Succeed()
{
    phase_ = None;
    reply_.clear();
    if (OnSocksConnected)
        OnSocksConnected(*this, 0);
    CustomAsyncSocket::TriggerSessionConnected(0);
}

void CustomSocksSocket::Fail(int error, const std::string& msg)
{
    phase_ = None;
    reply_.clear();
    if (OnSocksError)
        OnSocksError(*this, error, msg);
    CustomAsyncSocket::TriggerSessionConnected(static_cast<std::uint16_t>(error));
    Close();
}

} // namespace nimbra
