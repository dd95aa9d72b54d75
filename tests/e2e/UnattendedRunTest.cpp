// The program run unattended as a child process against the demo news server in this
// process or the demo server executable, in plain text and over TLS: every file it saves is
// compared byte for byte with what the server encoded.
#include "tests/e2e/DemoServer.h"
#include "tests/e2e/DemoServerProcess.h"
#include "tests/e2e/ProgramRun.h"
#include "tests/support/EventLoop.h"
#include "tests/support/TestCertificate.h"
#include "tests/support/TestEnvironment.h"

#include "app/CommandLineOptions.h"
#include "app/ConsoleDialogs.h"
#include "app/MainWindow.h"
#include "app/UnattendedRun.h"
#include "download/SaveTarget.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include <algorithm>
#include <set>

namespace nimbra::test {
namespace {

std::string joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ",") + name;
    return text;
}

std::vector<std::string> runArguments(const std::string& port, const std::string& folder,
                                      const std::vector<std::string>& groups)
{
    return {"--server", "127.0.0.1", "--port", port, "--folder", folder, "--groups", joined(groups), "--get-files"};
}

std::vector<std::string> runArguments(const DemoServer& server, const std::string& folder,
                                      const std::vector<std::string>& groups)
{
    return runArguments(server.portText(), folder, groups);
}

std::string countersLine(int todayFiles, int todayKB, int totalFiles, int totalKB)
{
    return "Today: " + std::to_string(todayFiles) + " files, " + std::to_string(todayKB) + " KB. Total: "
           + std::to_string(totalFiles) + " files, " + std::to_string(totalKB) + " KB. Duplicates: 0.";
}

// Compares the folder with the files expected there (prefixed by their group's folder when
// separated): same names, no others, the same bytes.
void expectFolderHolds(const std::map<std::string, std::string>& onDisk,
                       const std::map<std::string, const DemoFile*>& expected, bool byGroup)
{
    std::set<std::string> wanted;
    for (const auto& [name, file] : expected) {
        const std::string path = byGroup ? file->group + "/" + name : name;
        wanted.insert(path);
        const auto found = onDisk.find(path);
        ASSERT_NE(found, onDisk.end()) << path << " was not saved";
        EXPECT_EQ(DemoServer::sha256(found->second), DemoServer::sha256(file->bytes)) << path << " differs";
    }
    for (const auto& [path, bytes] : onDisk)
        EXPECT_TRUE(wanted.count(path)) << "unexpected file " << path;
}

std::vector<const DemoFile*> values(const std::map<std::string, const DemoFile*>& files)
{
    std::vector<const DemoFile*> list;
    for (const auto& [name, file] : files)
        list.push_back(file);
    return list;
}

// A first run into an empty folder from every demo group completed: every file within the
// default limits saved byte for byte and printed, the large one left, and the counters.
void expectFirstRunComplete(const ProgramRun& run, const DemoServer& demo, const std::string& folder,
                            const std::vector<std::string>& groups)
{
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto onDisk = DemoServer::filesBelow(folder);
    const auto expected = demo.expectedFiles(groups);
    expectFolderHolds(onDisk, expected, false);
    EXPECT_EQ(onDisk.count("night.jpg"), 0u) << "the article over the size limit was fetched";

    std::vector<std::string> saved = run.saved();
    std::sort(saved.begin(), saved.end());
    std::vector<std::string> names;
    for (const auto& [name, file] : expected)
        names.push_back(name);
    EXPECT_EQ(saved, names);
    const int files = static_cast<int>(expected.size());
    const int kilobytes = DemoServer::kilobytes(values(expected));
    EXPECT_TRUE(run.printed("Processing is over"));
    ASSERT_FALSE(run.out.empty());
    EXPECT_TRUE(run.printed(countersLine(files, kilobytes, files, kilobytes))) << run.out.back();
}

TEST(UnattendedRun, SavesEveryFileByteForByteAndASecondRunFetchesNothingNew)
{
    DemoServer server;
    server.start();
    const std::string folder = TestEnvironment::makeFolder("downloads");
    std::vector<std::string> groups = server.content().groups();  // the empty and text-only ones too

    const ProgramRun first = ProgramRun::run(runArguments(server, folder, groups));
    expectFirstRunComplete(first, server, folder, groups);
    const auto onDisk = DemoServer::filesBelow(folder);
    const auto expected = server.expectedFiles(groups);
    const int files = static_cast<int>(expected.size());
    const int kilobytes = DemoServer::kilobytes(values(expected));

    const int articles = server.articleCommands();
    const ProgramRun second = ProgramRun::run(runArguments(server, folder, groups));
    ASSERT_EQ(second.exitCode, 0) << second.err;
    EXPECT_TRUE(second.saved().empty());
    EXPECT_EQ(server.articleCommands(), articles) << "known articles were fetched again";
    // Every group's mark stands at its last article: nothing is even looked at again.
    for (const std::string& group : groups)
        EXPECT_TRUE(second.printed("Group " + group + ": 0 scanned, 0 fetched, 0 skipped")) << group;
    EXPECT_TRUE(second.printed(countersLine(0, 0, files, kilobytes))) << second.out.back();
    EXPECT_EQ(DemoServer::filesBelow(folder).size(), onDisk.size());
}

TEST(UnattendedRun, OverTlsWithTheDemoCertificateTrustedSavesEveryFileAsInPlainText)
{
    const std::string certificate = TestEnvironment::makeFolder("demo-trust") + "demo-server.pem";
    DemoServerProcess server({"--port", "0", "--tls", "--write-certificate", certificate});
    ASSERT_TRUE(server.started()) << server.errors();
    const DemoServer demo;  // not started: what the executable serves
    const std::string folder = TestEnvironment::makeFolder("tls-downloads");
    const std::vector<std::string> groups = demo.content().groups();
    std::vector<std::string> arguments = runArguments(server.portText(), folder, groups);
    arguments.push_back("--tls");

    const ProgramRun run = ProgramRun::run(arguments, 60000, {{"SSL_CERT_FILE", certificate}});
    expectFirstRunComplete(run, demo, folder, groups);
}

TEST(UnattendedRun, OverTlsAnUntrustedCertificateSavesNothingAndEndsWithAFailure)
{
    const ServerCertificate certificate({"127.0.0.1", "localhost"});
    DemoServer server;
    server.start(&certificate);
    // Only another certificate is trusted here, and not the system's store either.
    const auto trusted = TestCertificate::local().trustInThisProcess();
    const std::string folder = TestEnvironment::makeFolder("untrusted-downloads");
    QStringList arguments{QStringLiteral("nimbra"), QStringLiteral("--tls")};
    for (const std::string& argument : runArguments(server, folder, server.binariesGroups()))
        arguments << QString::fromStdString(argument);

    // The program's own unattended run, in this process, so that its no-progress limit can be
    // a few seconds instead of four time-outs.
    ConsoleDialogs console;
    MainWindow window(&console);
    CommandLineOptions::parse(arguments).applyTo(window);
    window.show();
    UnattendedRun run(window, 2000);
    run.start();
    ASSERT_TRUE(waitUntil([&] { return run.status() != -1; }, 60000)) << "the run did not end";
    EXPECT_NE(run.status(), 0);
    EXPECT_TRUE(DemoServer::filesBelow(folder).empty());
    EXPECT_GE(server.connections(), 1) << "the server was never reached";
}

TEST(UnattendedRun, SeparateByGroupsPutsEachFileInItsGroupsFolder)
{
    DemoServer server;
    server.start();
    const std::string folder = TestEnvironment::makeFolder("by-group");
    const std::vector<std::string> groups = server.binariesGroups();
    std::vector<std::string> arguments = runArguments(server, folder, groups);
    arguments.push_back("--separate-by-groups");

    const ProgramRun run = ProgramRun::run(arguments);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto onDisk = DemoServer::filesBelow(folder);
    expectFolderHolds(onDisk, server.expectedFiles(groups), true);
}

TEST(UnattendedRun, ADownloadFolderThatCannotBeWrittenEndsTheRunWithStatusOneAndTheReason)
{
    DemoServer server;
    server.start();
    // Where the download folder should be made, a file stands in the way.
    const std::string parent = TestEnvironment::makeFolder("unwritable");
    std::ofstream(parent + "blocked") << "a file, not a folder";
    const std::vector<std::string> groups{"demo.binaries.pictures.uuencode"};

    const ProgramRun run = ProgramRun::run(runArguments(server, parent + "blocked/downloads", groups));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Cannot make folder"), std::string::npos) << run.err;
    EXPECT_TRUE(run.saved().empty());
    EXPECT_EQ(DemoServer::filesBelow(parent).size(), 1u);
}

// A run over the uuencoded group whose article 8, the middle part of harbour.jpg (split over
// articles 7, 8 and 9), stalls once; every file arrives. Returns the commands of the
// connections after the stall, and checks that nothing before article 8 was fetched again.
std::vector<std::string> commandsAfterAStallAtArticle8(const std::string& name, std::vector<std::string> extra)
{
    DemoServer server;
    server.model().silentInsideArticle(8);
    server.start();
    const std::string folder = TestEnvironment::makeFolder(name);
    const std::vector<std::string> groups{"demo.binaries.pictures.uuencode"};
    std::vector<std::string> arguments = runArguments(server, folder, groups);
    arguments.insert(arguments.end(), {"--timeout", "10"});
    arguments.insert(arguments.end(), extra.begin(), extra.end());

    const ProgramRun run = ProgramRun::run(arguments, 90000);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    expectFolderHolds(DemoServer::filesBelow(folder), server.expectedFiles(groups), false);
    EXPECT_EQ(run.saved().size(), 6u);  // the two split posts after the stall whole too
    EXPECT_GE(server.connections(), 2);
    std::vector<std::string> afterStall;
    for (const auto& [connection, line] : server.received())
        if (connection >= 1)
            afterStall.push_back(line);
    for (const char* earlier : {"ARTICLE 3", "ARTICLE 4", "ARTICLE 5", "ARTICLE 6", "ARTICLE 7"})
        EXPECT_EQ(std::find(afterStall.begin(), afterStall.end(), earlier), afterStall.end()) << earlier;
    return afterStall;
}

TEST(UnattendedRun, StallInsideAnArticleReconnectsAndResumesAtThatArticle)
{
    const auto afterStall = commandsAfterAStallAtArticle8("stalled", {"--classic-walk"});
    EXPECT_NE(std::find(afterStall.begin(), afterStall.end(), "STAT 8"), afterStall.end());
}

TEST(UnattendedRun, StallInsideAnArticleWithTheOverviewAsksAgainFromThatArticle)
{
    const auto afterStall = commandsAfterAStallAtArticle8("stalled-overview", {});
    EXPECT_TRUE(std::any_of(afterStall.begin(), afterStall.end(),
                            [](const std::string& line) { return line.rfind("XOVER 8-", 0) == 0; }));
}

// Ctrl+C in the middle of a run: the run stops as "Close" stops it, with the counters printed
// and the status a shell gives a program ended by SIGINT; what was saved is whole, and what
// the run learnt is kept, so a second run brings exactly the rest.
TEST(UnattendedRun, SigintStopsTheRunKeepingWhatItLearntAndASecondRunBringsTheRest)
{
    DemoServer server;
    server.model().silentInsideArticle(8);  // the run is still busy when the signal comes
    server.start();
    const std::string folder = TestEnvironment::makeFolder("interrupted");
    const std::vector<std::string> groups{"demo.binaries.pictures.uuencode"};
    std::remove(MainWindow::messageIdCachePath().c_str());

    const ProgramRun stopped = ProgramRun::signalledWhenPrinted(runArguments(server, folder, groups), "Saved ", SIGINT);
    EXPECT_EQ(stopped.exitCode, 128 + SIGINT) << stopped.err;
    EXPECT_NE(stopped.err.find("stopped by SIGINT"), std::string::npos) << stopped.err;
    EXPECT_FALSE(stopped.printed("Processing is over"));
    ASSERT_FALSE(stopped.saved().empty());
    ASSERT_FALSE(stopped.out.empty());
    EXPECT_EQ(stopped.out.back().rfind("Today: " + std::to_string(stopped.saved().size()) + " files", 0), 0u)
        << stopped.out.back();
    const auto expected = server.expectedFiles(groups);
    for (const auto& [path, bytes] : DemoServer::filesBelow(folder)) {
        // The first part of a split file whose next part had not come is kept for the next
        // run under a hidden name; the second run below must leave none behind.
        if (SaveTarget::isWorkingName(std::filesystem::path(path).filename().string()))
            continue;
        const auto file = expected.find(path);
        ASSERT_NE(file, expected.end()) << "unexpected file " << path;
        EXPECT_EQ(DemoServer::sha256(bytes), DemoServer::sha256(file->second->bytes)) << path << " differs";
    }
    std::ifstream cache(MainWindow::messageIdCachePath());
    std::string firstId;
    EXPECT_TRUE(std::getline(cache, firstId) && !firstId.empty()) << "the message-id cache was not kept";

    const ProgramRun rest = ProgramRun::run(runArguments(server, folder, groups));
    ASSERT_EQ(rest.exitCode, 0) << rest.err;
    expectFolderHolds(DemoServer::filesBelow(folder), expected, false);
    EXPECT_EQ(stopped.saved().size() + rest.saved().size(), expected.size());
    ASSERT_FALSE(rest.out.empty());
    EXPECT_NE(rest.out.back().find("Duplicates: 0."), std::string::npos) << rest.out.back();
}

// With the window kept open, SIGTERM (a logout) closes it without a question, keeping the
// settings and the message-id cache, and the program ends normally.
TEST(UnattendedRun, SigtermClosesAKeptOpenWindowWithoutAskingAndKeepsItsState)
{
    DemoServer server;
    server.model().silentInsideArticle(8);
    server.start();
    const std::string folder = TestEnvironment::makeFolder("terminated");
    std::remove(MainWindow::messageIdCachePath().c_str());
    std::vector<std::string> arguments = runArguments(server, folder, {"demo.binaries.pictures.uuencode"});
    arguments.insert(arguments.end(), {"--keep-open", "--verbose"});

    const ProgramRun run = ProgramRun::signalledWhenPrinted(arguments, "session: group demo.binaries.pictures.uuencode:", SIGTERM);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("SIGTERM received"), std::string::npos) << run.err;
    std::ifstream cache(MainWindow::messageIdCachePath());
    EXPECT_TRUE(cache.good()) << "the message-id cache was not kept";
}

} // namespace
} // namespace nimbra::test
