#include "grouplist/WorkComponent.h"

namespace nimbra {

void WorkComponent::BeginWork(WorkMode mode, std::int64_t size)
{
    Session& session = sessions_[mode];
    if (++session.level == 1) {
        session.count = 0;
        if (OnWorkBegin)
            OnWorkBegin(*this, mode, size);
    }
}

void WorkComponent::EndWork(WorkMode mode)
{
    Session& session = sessions_[mode];
    if (session.level <= 0)
        return;
    if (session.level-- == 1 && OnWorkEnd)
        OnWorkEnd(*this, mode);
}

void WorkComponent::DoWork(WorkMode mode, std::int64_t count)
{
    Session& session = sessions_[mode];
    if (session.level <= 0)
        return;
    session.count += count;
    if (OnWork)
        OnWork(*this, mode, session.count);
}

void WorkComponent::DoStatus(ConnStatus status, const std::string& argument)
{
    if (OnStatus)
        OnStatus(*this, status, statusText(status, argument));
}

std::string WorkComponent::statusText(ConnStatus status, const std::string& argument)
{
    switch (status) {
    case hsResolving: return "Resolving hostname " + argument + ".";
    case hsConnecting: return "Connecting to " + argument + ".";
    case hsConnected: return "Connected.";
    case hsDisconnecting: return "Disconnecting.";
    case hsDisconnected: return "Disconnected.";
    case hsStatusText: return argument;
    }
    return argument;
}

} // namespace nimbra
