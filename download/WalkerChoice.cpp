#include "download/WalkerChoice.h"

#include "download/SessionView.h"
#include "platform/Log.h"

namespace nimbra {

WalkerChoice::WalkerChoice(NntpClient& client, SessionView& view, MessageIdCache& cache, GroupProgress& progress,
                           TransferRate& rate)
    : client_(client), view_(view), article_(client, view, cache, progress),
      overview_(client, view, cache, progress, rate)
{
}

void WalkerChoice::startRun()
{
    article_.startRun();
    overview_.startRun();
    overviewLacking_ = false;
}

void WalkerChoice::endRun()
{
    article_.endRun();
    overview_.endRun();
}

void WalkerChoice::setArticleSink(ArticleSink* sink)
{
    article_.setArticleSink(sink);
    overview_.setArticleSink(sink);
}

void WalkerChoice::choose()
{
    const bool overview = view_.fastScanChosen() && !overviewLacking_;
    current_ = overview ? static_cast<GroupWalker*>(&overview_) : &article_;
}

void WalkerChoice::overviewLacking(const char* why)
{
    if (overviewLacking_)
        return;
    qCInfo(logSession, "%s %s; walking article by article", client_.Host().c_str(), why);
    overviewLacking_ = true;
    current_->leaveGroup();
    choose();
}

} // namespace nimbra
