#pragma once

#include "download/ArticleWalk.h"
#include "download/OverviewWalk.h"

namespace nimbra {

class ArticleSink;
class GroupProgress;
class MessageIdCache;
class SessionView;
class TransferRate;

// The two ways of walking a group and the run's choice between them: the overview walk while
// the view asks for the fast scan and the server has not shown in this run that it lacks the
// overview, else the article-by-article walk. The client, view, cache and progress are the
// session's and must outlive the choice.
class WalkerChoice {
public:
    WalkerChoice(NntpClient& client, SessionView& view, MessageIdCache& cache, GroupProgress& progress,
                 TransferRate& rate);

    // A run starts: both walks start afresh and the overview is offered again.
    void startRun();
    // The run is over: both walks let go of what they kept open for it.
    void endRun();
    void setArticleSink(ArticleSink* sink);
    // Picks the walker for the group about to start.
    void choose();
    // The server lacks the overview (why, for the log): the walk of the current group is left
    // and this group and the rest of the run are walked article by article.
    void overviewLacking(const char* why);

    GroupWalker& current() { return *current_; }
    const GroupWalker& current() const { return *current_; }
    OverviewWalk& overviewWalk() { return overview_; }

private:
    NntpClient& client_;
    SessionView& view_;
    ArticleWalk article_;
    OverviewWalk overview_;
    GroupWalker* current_ = &article_;
    bool overviewLacking_ = false;
};

} // namespace nimbra
