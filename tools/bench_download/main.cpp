// Walks two groups of 10,000 articles each over loopback and prints articles per second,
// with the status bar of a counting view updated as the run goes.
#include "download/ArticleSink.h"
#include "download/DownloadSession.h"
#include "download/SessionView.h"
#include "platform/MemoryStream.h"
#include "tests/support/FakeNewsServer.h"
#include "tests/support/NewsServerModel.h"
#include "tools/bench_common/BenchRun.h"

#include <QCoreApplication>

#include <cstdio>

using namespace nimbra;
using namespace nimbra::test;

namespace {

constexpr int ArticlesPerGroup = 10000;

class CountingView : public SessionView {
public:
    void setPanelText(Panel panel, const std::string& text) override
    {
        panels[panel] = text;
        ++updates;
    }
    void setGetFilesEnabled(bool) override {}
    void setStopEnabled(bool) override {}
    void inform(const std::string& text) override { std::printf("message: %s\n", text.c_str()); }
    bool trustCertificate(const std::string&, const std::string&, const std::string&, const std::string&) override
    {
        return false;
    }
    int groupCount() const override { return static_cast<int>(groups.size()); }
    std::string groupText(int index) const override { return groups.at(index); }
    bool groupSelected(int index) const override { return index == selected; }
    std::string hostText() const override { return "127.0.0.1"; }
    std::string portText() const override { return port; }
    std::string userNameText() const override { return {}; }
    std::string passwordText() const override { return {}; }
    std::string timeoutText() const override { return "30"; }
    std::string articleCacheText() const override { return "100000"; }
    std::string minimumText() const override { return "0"; }
    std::string maximumText() const override { return "200"; }
    std::string downloadFolderText() const override { return "/tmp/"; }
    bool saveToOneFolder() const override { return true; }

    std::vector<std::string> groups{"bench.known", "bench.new"};
    int selected = 0;
    std::string port;
    std::string panels[5];
    long updates = 0;
};

class CountingSink : public ArticleSink {
public:
    void articleDone(const Article& article) override
    {
        ++articles;
        bytes += article.ArticleStream.size();
    }
    long articles = 0;
    long long bytes = 0;
};

double walk(DownloadSession& session, CountingView& view, int group)
{
    view.selected = group;
    view.updates = 0;
    return BenchRun::getFiles(session);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    NewsServerModel model;
    std::vector<ModelArticle> known, fresh;
    for (int i = 1; i <= ArticlesPerGroup; ++i) {
        known.push_back(NewsServerModel::article(i, "k" + std::to_string(i) + "@bench", "known (01/01)", 5));
        fresh.push_back(NewsServerModel::article(i, "n" + std::to_string(i) + "@bench", "pic " + std::to_string(i)
                                                 + ".jpg (01/01)", 8));
    }
    model.addGroup("bench.known", known);
    model.addGroup("bench.new", fresh);
    auto server = model.start();

    CountingView view;
    view.port = server->portText();
    CountingSink sink;
    DownloadSession session(view);
    session.setArticleSink(&sink);
    for (const ModelArticle& a : known)
        session.messageIdCache().testAndEnter(a.messageId, 100000);

    const double knownSeconds = walk(session, view, 0);
    std::printf("known articles (NEXT only):      %5d in %.3f s = %8.0f articles/s, %ld status updates, %d expiries\n",
                ArticlesPerGroup, knownSeconds, ArticlesPerGroup / knownSeconds, view.updates,
                session.watchdogExpiries());
    const double freshSeconds = walk(session, view, 1);
    std::printf("new articles (NEXT, XHDR, ARTICLE): %5ld in %.3f s = %8.0f articles/s, %ld status updates, "
                "%.1f MB, %d expiries\n",
                sink.articles, freshSeconds, ArticlesPerGroup / freshSeconds, view.updates, sink.bytes / 1e6,
                session.watchdogExpiries());
    std::printf("targets: 5000 and 2000 articles/s; load average %s\n", BenchRun::loadAverage().c_str());
    return sink.articles == ArticlesPerGroup ? 0 : 1;
}
