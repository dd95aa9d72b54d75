#include "download/ConnectionSetup.h"

#include "download/SessionReply.h"
#include "download/SessionSettings.h"
#include "download/SessionView.h"

#include "net/AsyncSocket.h"
#include "net/NntpCapabilities.h"
#include "platform/Log.h"

namespace nimbra {

void ConnectionSetup::startRun(const SessionView& view)
{
    client_.SetHost(view.hostText());
    client_.SetPort(view.portText());
    client_.SetUserName(view.userNameText());
    client_.SetPassWord(view.passwordText());
    client_.SetPipelineWindow(SessionSettings::pipelineWindow(view));
    client_.SetArticleLimit(SessionSettings::articleLimitBytes(view));
    askCapabilities_ = view.fastScanChosen();
    compression_ = view.compressionChosen();
    takeCounts();  // a connection left from before counts for no run
    groupWire_ = groupPlain_ = runWire_ = runPlain_ = 0;
}

int ConnectionSetup::credentials() const
{
    return (client_.UserName().empty() ? 0 : 1) + (client_.PassWord().empty() ? 0 : 1);
}

void ConnectionSetup::newConnection()
{
    takeCounts();  // what the closing connection still counted
    capabilitiesAsked_ = authenticated_ = compressAsked_ = compressing_ = false;
    wireTaken_ = plainTaken_ = 0;
}

bool ConnectionSetup::sendNext(bool login)
{
    if (askCapabilities_ && !capabilitiesAsked_) {
        capabilitiesAsked_ = true;
        client_.Capabilities();
        return true;
    }
    if (login && !authenticated_) {
        client_.Authenticate();
        return true;
    }
    if (compression_ && !compressAsked_ && client_.ServerCapabilities().compressDeflate()) {
        compressAsked_ = true;
        client_.Compress();
        return true;
    }
    return false;
}

std::string ConnectionSetup::greetingRefusal() const
{
    const std::int32_t status = client_.StatusCode();
    if (status != replyServiceDiscontinued && status != replyServiceUnavailable)
        return {};
    return "the news server refused the connection: " + client_.LastResponse();
}

std::string ConnectionSetup::replied(NntpRequest rqType, std::uint16_t error)
{
    switch (rqType) {
    case nntpCapabilities:
        if (error != 0 && scans_)
            qCInfo(logSession, "%s did not list its capabilities (%u): the overview is tried on the first group",
                   client_.Host().c_str(), error);
        else if (error != 0)
            qCDebug(logSession, "%s did not list its capabilities (%u) on a fetching connection",
                    client_.Host().c_str(), error);
        return {};
    case nntpAuthenticate:
        authenticated_ = error == replySuccess;
        if (!authenticated_)
            return "the news server refused the login (" + std::to_string(error) + "): " + client_.LastResponse();
        return {};
    case nntpCompress:
        compressing_ = error == 0;
        if (compressing_)
            qCInfo(logSession, "compression on for %s", client_.Host().c_str());
        else
            qCInfo(logSession, "%s refused compression (%u): going on uncompressed", client_.Host().c_str(), error);
        return {};
    default:
        return {};
    }
}

bool ConnectionSetup::overviewUnlisted() const
{
    const NntpCapabilities& capabilities = client_.ServerCapabilities();
    return capabilitiesAsked_ && capabilities.known() && !capabilities.over();
}

void ConnectionSetup::logGroupSavings(const std::string& group)
{
    takeCounts();
    if (groupPlain_ > 0)
        qCInfo(logSession, "group %s: %s", group.c_str(), savingsText(groupWire_, groupPlain_).c_str());
    runWire_ += groupWire_;
    runPlain_ += groupPlain_;
    groupWire_ = groupPlain_ = 0;
}

void ConnectionSetup::logRunSavings()
{
    takeCounts();
    runWire_ += groupWire_;
    runPlain_ += groupPlain_;
    groupWire_ = groupPlain_ = 0;
    if (runPlain_ > 0)
        qCInfo(logSession, "run: %s", savingsText(runWire_, runPlain_).c_str());
}

void ConnectionSetup::takeCounts()
{
    if (!compressing_)
        return;
    const AsyncSocket& socket = client_.Socket();
    groupWire_ += socket.WireBytes() - wireTaken_;
    groupPlain_ += socket.PlainBytes() - plainTaken_;
    wireTaken_ = socket.WireBytes();
    plainTaken_ = socket.PlainBytes();
}

std::string ConnectionSetup::savingsText(long long wire, long long plain)
{
    const long long saved = plain - wire;
    return "compression saved " + std::to_string(saved) + " bytes (" + std::to_string(wire) + " on the wire for "
           + std::to_string(plain) + ", " + std::to_string(saved * 100 / plain) + "%)";
}

} // namespace nimbra
