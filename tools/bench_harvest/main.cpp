// The classic walk against the overview walk through a delaying loopback relay, one connection:
// 500 pictures of 20-60 KB (first harvest), the same group again with nothing new, then with
// 100 new, at 0, 24 and 50 ms round trip; 200 yEnc parts of 768 KB at 24 ms; and an overview
// scan of a 1,000,000-article group on loopback (lines per second and peak memory). Prints
// seconds, MB/s and the commands the server received, with the baseline measured in the same
// run (the classic walk; for the scan, the fixed blocks of 5,000 the walk used before) and the
// load average. The yEnc parts are also fetched over several connections ("--connections N",
// default 4) at 0 and 24 ms, against one connection in the same run, with the client's
// processor time per MB (the session's thread: fetching, and handing the articles on), and at
// 24 ms through a relay that caps each connection at 25 MB/s, with those parts and with 20 of
// 12 MB.
//
//     bench_harvest [pictures|yenc|scan] [--connections N]
#include "download/ArticleSink.h"
#include "download/AttachmentSaver.h"
#include "download/DownloadSession.h"
#include "download/GroupMarks.h"
#include "download/SaveSettings.h"
#include "download/SavedFileView.h"
#include "download/SessionView.h"
#include "platform/MemoryStream.h"
#include "tests/support/FakeNewsServer.h"
#include "tools/bench_common/BenchRun.h"
#include "tools/bench_harvest/BenchGroups.h"
#include "tools/delay_relay/DelayRelay.h"
#include "tools/newsmodel/ModelServer.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <filesystem>
#include <algorithm>
#include <map>
#include <tuple>
#include <utility>

#include <sys/resource.h>
#include <unistd.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

constexpr const char* Group = "bench.pictures";
constexpr int FirstPictures = 500;
constexpr int NewPictures = 100;
constexpr int YencParts = 200;
// Large parts, as some posters use: fewer of them fit the bytes the connections may hold.
constexpr int LargeParts = 20;
constexpr int LargePartBytes = 12 * 1024 * 1024;
constexpr int YencPartBytes = 768 * 1024;
constexpr std::int64_t MillionArticles = 1000000;

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
    std::string groupText(int) const override { return group; }
    bool groupSelected(int) const override { return true; }
    std::string hostText() const override { return "127.0.0.1"; }
    std::string portText() const override { return port; }
    std::string userNameText() const override { return {}; }
    std::string passwordText() const override { return {}; }
    std::string timeoutText() const override { return "60"; }
    std::string articleCacheText() const override { return "10000"; }
    std::string minimumText() const override { return "0"; }
    std::string maximumText() const override { return maximum; }
    std::string downloadFolderText() const override { return "/tmp/"; }
    bool saveToOneFolder() const override { return true; }
    bool fastScanChosen() const override { return fast; }
    std::string pipelineText() const override { return pipeline; }
    std::string connectionsText() const override { return connections; }

    std::string group = Group;
    std::string port;
    std::string maximum = "200";
    std::string pipeline = "16";
    std::string connections = "1";
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

// The articles decoded and saved as a run saves them, into a folder of their own.
class SavingSink : public ArticleSink, private SaveSettings, private SavedFileView {
public:
    explicit SavingSink(const std::string& folder)
        : folder_(folder + "/"),
          saver_(*this, *this, folder + "/yenc-ledger", folder + "/split-ledger", folder + "/content-store")
    {
    }
    void articleDone(const Article& article) override
    {
        ++articles;
        bytes += article.ArticleStream.size();
        saver_.articleDone(article);
    }
    void flush() override { saver_.flush(); }
    long articles = 0;
    long long bytes = 0;
    int saved = 0;

private:
    std::string downloadFolderText() const override { return folder_; }
    bool saveToOneFolder() const override { return true; }
    bool skipKnownContent() const override { return true; }  // as the program starts
    void showSavedName(const std::string&, const std::string&) override { ++saved; }
    void showPicture(const PicturePreview&) override {}
    bool showsPictures() const override { return false; }
    void showSavedSize(std::int64_t) override {}
    void addToStatistics(std::int32_t, std::int32_t) override {}

    std::string folder_;
    AttachmentSaver saver_;
};

struct Walk {
    const char* name;
    bool fast;
    const char* pipeline;
};
constexpr Walk Classic{"classic", false, "1"};
constexpr Walk OverviewOneAtATime{"overview, window 1", true, "1"};
constexpr Walk Pipelined{"overview, window 16", true, "16"};

struct Result {
    double seconds = 0;
    double cpuSeconds = 0;  // of the session's thread
    double megabytes = 0;
    int commands = 0;
    long articles = 0;
};

// One run of the session through a fresh relay in front of the server; the group's mark is
// carried to the relay's port, which is the server as the program sees it.
// saveInto: a folder to decode and save the articles into; empty, and they are only counted.
Result harvest(DownloadSession& session, BenchView& view, GroupMarks& marks, std::string& lastKey,
               NewsServerModel& model, std::uint16_t serverPort, int delayMs, const std::string& saveInto = {},
               std::int64_t connectionRate = 0)
{
    DelayRelay relay(serverPort, delayMs);
    relay.setConnectionRate(connectionRate);
    relay.start();
    view.port = std::to_string(relay.port());
    const std::string key = GroupMarks::serverKey(view.hostText(), view.port);
    if (!lastKey.empty())
        marks.setMark(key, view.group, marks.mark(lastKey, view.group));
    lastKey = key;

    ByteSink counter;
    std::unique_ptr<SavingSink> saving;
    if (!saveInto.empty()) {
        std::filesystem::remove_all(saveInto);
        std::filesystem::create_directories(saveInto);
        saving = std::make_unique<SavingSink>(saveInto);
    }
    session.setArticleSink(saving ? static_cast<ArticleSink*>(saving.get()) : &counter);
    const int commandsBefore = model.commands();
    Result result;
    const double cpuBefore = BenchRun::threadProcessorSeconds();
    result.seconds = BenchRun::getFiles(session);
    result.cpuSeconds = BenchRun::threadProcessorSeconds() - cpuBefore;
    result.megabytes = static_cast<double>(saving ? saving->bytes : counter.bytes) / 1e6;
    result.commands = model.commands() - commandsBefore;
    result.articles = saving ? saving->articles : counter.articles;
    session.setArticleSink(nullptr);
    if (saving && saving->saved != 1)
        std::printf("saved %d files, not the one the parts make\n", saving->saved);
    saving.reset();
    if (!saveInto.empty())
        std::filesystem::remove_all(saveInto);
    return result;
}

bool printRow(int roundTripMs, const Walk& walk, const char* name, const Result& r, long expected, double baseline)
{
    std::printf("%-6d %-20s %-22s %9.3f %9.1f %8.2f %9d %12.2f %7.1fx  %s\n", roundTripMs, walk.name, name, r.seconds,
                r.megabytes, r.seconds > 0 ? r.megabytes / r.seconds : 0.0, r.commands,
                r.articles > 0 ? static_cast<double>(r.commands) / r.articles : 0.0,
                r.seconds > 0 ? baseline / r.seconds : 1.0, BenchRun::loadAverage().c_str());
    std::fflush(stdout);
    return r.articles == expected;
}

bool picturesTable(const std::string& folder)
{
    NewsServerModel firstModel;
    firstModel.addGroup(Group, BenchGroups::pictures(FirstPictures));
    auto firstServer = firstModel.start();
    NewsServerModel grownModel;
    grownModel.addGroup(Group, BenchGroups::pictures(FirstPictures + NewPictures));
    auto grownServer = grownModel.start();
    std::map<std::string, double> baseline;
    bool complete = true;
    // One-way delays of whole milliseconds: round trips of 0, 24 and 50 ms.
    for (const int roundTripMs : {0, 24, 50}) {
        for (const Walk& walk : {Classic, OverviewOneAtATime, Pipelined}) {
            if (walk.fast && std::string(walk.pipeline) == "1" && roundTripMs != 24)
                continue;  // the walk before the pipeline, for comparison at one distance only
            BenchView view;
            view.fast = walk.fast;
            view.pipeline = walk.pipeline;
            GroupMarks marks(folder + "/marks-" + std::to_string(roundTripMs) + "-" + walk.name);
            DownloadSession session(view);
            session.setGroupMarks(&marks);
            std::string lastKey;
            const struct {
                const char* name;
                NewsServerModel& model;
                FakeNewsServer& server;
                long expected;
            } cases[] = {{"500 pictures, first", firstModel, *firstServer, FirstPictures},
                         {"nothing new", firstModel, *firstServer, 0},
                         {"100 new", grownModel, *grownServer, NewPictures}};
            for (const auto& c : cases) {
                const Result r = harvest(session, view, marks, lastKey, c.model, c.server.port(), roundTripMs / 2);
                const std::string row = std::to_string(roundTripMs) + c.name;
                if (!walk.fast)
                    baseline[row] = r.seconds;
                complete = printRow(roundTripMs, walk, c.name, r, c.expected, baseline[row]) && complete;
            }
        }
    }
    return complete;
}

bool yencTable(const std::string& folder, const std::string& connections)
{
    NewsServerModel model;
    model.addGroup("bench.yenc", BenchGroups::yencParts(YencParts, YencPartBytes));
    model.addGroup("bench.yfile", BenchGroups::yencFile(YencParts, YencPartBytes));
    model.addGroup("bench.ylarge", BenchGroups::yencParts(LargeParts, LargePartBytes));
    // Every connection served on a thread of its own, as a real server serves them.
    ModelServer server(model.greeting(), model.responder());
    const std::string many = "overview, " + connections + " conn.";
    // The "saved" rows fetch one real yEnc file of the same parts and decode and save it as a run
    // does: what the saving adds to the fetching thread. The last rows go through a relay that
    // lets each connection carry 25 MB/s, as servers that cap every connection do, with the
    // parts of 768 KB and with parts of 12 MB.
    const std::string capped = ", 25 MB/s each";
    const struct Case {
        Walk walk;
        const char* connections;
        int roundTripMs;
        std::string name;
        bool save = false;
        std::int64_t rate = 0;
        bool large = false;
    } cases[] = {{Classic, "1", 24, Classic.name},
                 {Pipelined, "1", 24, "overview, 1 conn."},
                 {Pipelined, connections.c_str(), 24, many},
                 {Pipelined, "1", 0, "overview, 1 conn."},
                 {Pipelined, connections.c_str(), 0, many},
                 {Pipelined, "1", 0, "1 conn., saved", true},
                 {Pipelined, connections.c_str(), 0, connections + " conn., saved", true},
                 {Pipelined, "1", 24, "1 conn." + capped, false, 25000000},
                 {Pipelined, connections.c_str(), 24, connections + " conn." + capped, false, 25000000},
                 {Pipelined, "1", 24, "1 conn." + capped, false, 25000000, true},
                 {Pipelined, connections.c_str(), 24, connections + " conn." + capped, false, 25000000, true}};
    std::map<std::tuple<int, std::int64_t, bool>, double> baseline;  // per round trip, rate and size: the first row's seconds
    bool complete = true;
    for (const Case& c : cases) {
        BenchView view;
        view.group = c.save ? "bench.yfile" : c.large ? "bench.ylarge" : "bench.yenc";
        view.maximum = c.large ? "20000" : "1000";
        view.fast = c.walk.fast;
        view.pipeline = c.walk.pipeline;
        view.connections = c.connections;
        std::string tag = c.name;  // a file name: "MB/s" holds a slash
        std::replace(tag.begin(), tag.end(), '/', '_');
        GroupMarks marks(folder + "/marks-yenc-" + std::to_string(c.roundTripMs) + "-" + tag + (c.large ? "-large" : ""));
        DownloadSession session(view);
        session.setGroupMarks(&marks);
        std::string lastKey;
        const Result r = harvest(session, view, marks, lastKey, model, server.port(), c.roundTripMs / 2,
                                 c.save ? folder + "/saved-yenc" : std::string(), c.rate);
        const std::tuple<int, std::int64_t, bool> key{c.roundTripMs, c.rate, c.large};
        if (!baseline.count(key))
            baseline[key] = r.seconds;
        const Walk shown{c.name.c_str(), c.walk.fast, c.walk.pipeline};
        const char* what = c.save ? "1 yEnc file, 200 parts" : c.large ? "20 yEnc parts, 12 MB" : "200 yEnc parts, 768 KB";
        complete = printRow(c.roundTripMs, shown, what, r, c.large ? LargeParts : YencParts, baseline[key])
                   && complete;
        std::printf("       client processor time: %.3f s, %.2f ms per MB\n", r.cpuSeconds,
                    r.megabytes > 0 ? r.cpuSeconds * 1000 / r.megabytes : 0.0);
        std::fflush(stdout);
    }
    return complete;
}

long peakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

bool millionScan()
{
    auto server = BenchGroups::overviewServer(MillionArticles);
    double baseline = 0;
    for (const std::int64_t block : {std::int64_t{5000}, std::int64_t{0}}) {
        BenchView view;
        view.group = "bench.million";
        view.fast = true;
        view.port = server->portText();
        DownloadSession session(view);
        session.overviewWalk().setBlockSize(block);
        std::int64_t scanned = 0;
        session.OnGroupDone = [&](const std::string&, const GroupWalker::Counts& counts) { scanned = counts.scanned; };
        const long peakBefore = peakKilobytes();
        const double seconds = BenchRun::getFiles(session);
        if (block != 0)
            baseline = seconds;
        std::printf("%-6d %-20s %-22s %9.3f %9lld lines %10.0f lines/s %7.1fx  peak RSS %ld MB (before %ld MB), "
                    "last block %lld  %s\n",
                    0, block != 0 ? "blocks of 5000" : "adaptive blocks", "1,000,000-line overview", seconds,
                    static_cast<long long>(scanned), seconds > 0 ? scanned / seconds : 0.0,
                    seconds > 0 ? baseline / seconds : 1.0, peakKilobytes() / 1024, peakBefore / 1024,
                    static_cast<long long>(session.overviewWalk().blockSize()), BenchRun::loadAverage().c_str());
        std::fflush(stdout);
        if (scanned != MillionArticles)
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const std::string folder = QDir::tempPath().toStdString() + "/nimbra-bench-harvest-" + std::to_string(::getpid());
    QDir().mkpath(QString::fromStdString(folder));
    std::string only;  // a case name runs that case alone: pictures, yenc, scan
    std::string connections = "4";
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--connections" && i + 1 < argc)
            connections = argv[++i];
        else
            only = argument;
    }
    const auto wanted = [&](const char* name) { return only.empty() || only == name; };

    std::printf("%-6s %-20s %-22s %9s %9s %8s %9s %12s %8s  %s\n", "rtt ms", "walk", "case", "seconds", "MB", "MB/s",
                "commands", "per article", "ratio", "load average");
    bool complete = true;
    if (wanted("pictures"))
        complete = picturesTable(folder) && complete;
    if (wanted("yenc"))
        complete = yencTable(folder, connections) && complete;
    if (wanted("scan"))
        complete = millionScan() && complete;
    std::printf("ratio: baseline seconds / seconds, baseline measured in the same run (the classic walk; for the scan, "
                "blocks of 5000). Commands: lines the server received; with a window of 16 most did not wait for a "
                "reply. Targets at 25 ms: 500 pictures in 2 s, nothing new in 2 round trips after the greeting, "
                "768 KB parts at 50 MB/s, and with 4 connections 1.6x one connection on loopback and 3x at 25 ms; scan: 200,000 lines/s with memory that does not grow with the group\n");
    QDir(QString::fromStdString(folder)).removeRecursively();
    return complete ? 0 : 1;
}
