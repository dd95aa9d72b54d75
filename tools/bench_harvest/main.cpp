// The classic walk against the overview walk through a delaying loopback relay: 500 pictures
// of 20-60 KB (first harvest), the same group again with nothing new, then with 100 new, at
// 0, 25 and 50 ms round trip, one connection. Prints seconds, MB/s and round trips (commands
// that waited for their reply before the next was sent), with the classic walk measured in
// the same run as the baseline, and the load average.
#include "download/ArticleSink.h"
#include "download/DownloadSession.h"
#include "download/GroupMarks.h"
#include "download/SessionView.h"
#include "platform/MemoryStream.h"
#include "tests/support/FakeNewsServer.h"
#include "tests/support/NewsServerModel.h"
#include "tools/delay_relay/DelayRelay.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <fstream>
#include <map>

#include <unistd.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

constexpr const char* Group = "bench.pictures";
constexpr int FirstPictures = 500;
constexpr int NewPictures = 100;

class BenchView : public SessionView {
public:
    void setPanelText(Panel, const std::string&) override {}
    void setGetFilesEnabled(bool) override {}
    void setStopEnabled(bool) override {}
    void inform(const std::string& text) override { std::printf("message: %s\n", text.c_str()); }
    bool trustCertificate(const std::string&, const std::string&, const std::string&, const std::string&) override
    {
        return false;
    }
    int groupCount() const override { return 1; }
    std::string groupText(int) const override { return Group; }
    bool groupSelected(int) const override { return true; }
    std::string hostText() const override { return "127.0.0.1"; }
    std::string portText() const override { return port; }
    std::string userNameText() const override { return {}; }
    std::string passwordText() const override { return {}; }
    std::string timeoutText() const override { return "60"; }
    std::string articleCacheText() const override { return "10000"; }
    std::string minimumText() const override { return "0"; }
    std::string maximumText() const override { return "200"; }
    std::string downloadFolderText() const override { return "/tmp/"; }
    bool saveToOneFolder() const override { return true; }
    bool fastScanChosen() const override { return fast; }

    std::string port;
    bool fast = false;
};

class ByteSink : public ArticleSink {
public:
    void articleDone(const Article& article) override
    {
        ++articles;
        bytes += article.ArticleStream.size();
    }
    long articles = 0;
    long long bytes = 0;
};

// A picture of 20 to 60 KB as uuencoded lines: 45 bytes to a 61-character line.
ModelArticle picture(int number)
{
    const int kilobytes = 20 + static_cast<int>((number * 7919u) % 41u);
    const std::string id = "pic" + std::to_string(number) + "@bench";
    ModelArticle a = NewsServerModel::article(number, id, "picture " + std::to_string(number) + ".jpg (1/1)", 0);
    const int lines = kilobytes * 1024 / 45;
    a.body.assign(static_cast<std::size_t>(lines), "M" + std::string(60, static_cast<char>('!' + number % 60)));
    for (std::string& header : a.headers)
        if (header.rfind("Lines:", 0) == 0)
            header = "Lines: " + std::to_string(lines);
    return a;
}

std::vector<ModelArticle> pictures(int count)
{
    std::vector<ModelArticle> list;
    for (int number = 1; number <= count; ++number)
        list.push_back(picture(number));
    return list;
}

std::string loadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

struct Result {
    double seconds = 0;
    double megabytes = 0;
    int roundTrips = 0;
    long articles = 0;
};

// One run of the session through a fresh relay in front of the server; the group's mark is
// carried to the relay's port, which is the server as the program sees it.
Result harvest(DownloadSession& session, BenchView& view, GroupMarks& marks, std::string& lastKey,
               NewsServerModel& model, FakeNewsServer& server, int delayMs)
{
    DelayRelay relay(server.port(), delayMs);
    relay.start();
    view.port = std::to_string(relay.port());
    const std::string key = GroupMarks::serverKey(view.hostText(), view.port);
    if (!lastKey.empty())
        marks.setMark(key, Group, marks.mark(lastKey, Group));
    lastKey = key;

    ByteSink sink;
    session.setArticleSink(&sink);
    const int commandsBefore = model.commands();
    QElapsedTimer clock;
    clock.start();
    session.bitbtn1Click();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!session.sessionActive())
            loop.quit();
    });
    poll.start(1);
    loop.exec();
    Result result;
    result.seconds = clock.nsecsElapsed() / 1e9;
    result.megabytes = sink.bytes / 1e6;
    result.roundTrips = model.commands() - commandsBefore;
    result.articles = sink.articles;
    session.setArticleSink(nullptr);
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const std::string folder = QDir::tempPath().toStdString() + "/nimbra-bench-harvest-" + std::to_string(::getpid());
    QDir().mkpath(QString::fromStdString(folder));

    NewsServerModel firstModel;
    firstModel.addGroup(Group, pictures(FirstPictures));
    auto firstServer = firstModel.start();
    NewsServerModel grownModel;
    grownModel.addGroup(Group, pictures(FirstPictures + NewPictures));
    auto grownServer = grownModel.start();

    std::printf("%-6s %-8s %-22s %9s %9s %8s %11s %12s %7s  %s\n", "rtt ms", "walk", "case", "seconds", "MB",
                "MB/s", "round trips", "per article", "ratio", "load average");
    std::map<std::string, double> baseline;
    bool complete = true;
    // One-way delays of whole milliseconds: round trips of 0, 24 and 50 ms.
    for (const int roundTripMs : {0, 24, 50}) {
        for (const bool fast : {false, true}) {
            BenchView view;
            view.fast = fast;
            GroupMarks marks(folder + "/marks-" + std::to_string(roundTripMs) + (fast ? "-fast" : "-classic"));
            DownloadSession session(view);
            session.setGroupMarks(&marks);
            std::string lastKey;
            const int delayMs = roundTripMs / 2;
            const struct {
                const char* name;
                NewsServerModel& model;
                FakeNewsServer& server;
                long expected;
            } cases[] = {{"500 pictures, first", firstModel, *firstServer, FirstPictures},
                         {"nothing new", firstModel, *firstServer, 0},
                         {"100 new", grownModel, *grownServer, NewPictures}};
            for (const auto& c : cases) {
                const Result r = harvest(session, view, marks, lastKey, c.model, c.server, delayMs);
                complete = complete && r.articles == c.expected;
                const std::string row = std::to_string(roundTripMs) + c.name;
                if (!fast)
                    baseline[row] = r.seconds;
                const double ratio = fast && r.seconds > 0 ? baseline[row] / r.seconds : 1.0;
                std::printf("%-6d %-8s %-22s %9.3f %9.1f %8.2f %11d %12.2f %6.1fx  %s\n", roundTripMs,
                            fast ? "overview" : "classic", c.name, r.seconds, r.megabytes,
                            r.seconds > 0 ? r.megabytes / r.seconds : 0.0, r.roundTrips,
                            r.articles > 0 ? static_cast<double>(r.roundTrips) / r.articles : 0.0, ratio,
                            loadAverage().c_str());
                std::fflush(stdout);
            }
        }
    }
    std::printf("ratio: classic seconds / overview seconds in the same run; targets at 25 ms: 500 pictures "
                "in 2 s, nothing new in 2 round trips after the greeting\n");
    QDir(QString::fromStdString(folder)).removeRecursively();
    return complete ? 0 : 1;
}
