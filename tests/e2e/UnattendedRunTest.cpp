// The program run unattended as a child process against the demo news server in this
// process: every file it saves is compared byte for byte with what the server encoded.
#include "tests/e2e/DemoServer.h"
#include "tests/e2e/ProgramRun.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

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

std::vector<std::string> runArguments(const DemoServer& server, const std::string& folder,
                                      const std::vector<std::string>& groups)
{
    return {"--server", "127.0.0.1", "--port", server.portText(), "--folder", folder, "--groups", joined(groups),
            "--get-files"};
}

std::string countersLine(int todayFiles, int todayKB, int totalFiles, int totalKB)
{
    return "Today: " + std::to_string(todayFiles) + " files, " + std::to_string(todayKB) + " KB. Total: "
           + std::to_string(totalFiles) + " files, " + std::to_string(totalKB) + " KB.";
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

TEST(UnattendedRun, SavesEveryFileByteForByteAndASecondRunFetchesNothingNew)
{
    DemoServer server;
    server.start();
    const std::string folder = TestEnvironment::makeFolder("downloads");
    std::vector<std::string> groups = server.content().groups();  // the empty and text-only ones too

    const ProgramRun first = ProgramRun::run(runArguments(server, folder, groups));
    ASSERT_EQ(first.exitCode, 0) << first.err;
    const auto onDisk = DemoServer::filesBelow(folder);
    const auto expected = server.expectedFiles(groups);
    expectFolderHolds(onDisk, expected, false);
    EXPECT_EQ(onDisk.count("night.jpg"), 0u) << "the article over the size limit was fetched";

    std::vector<std::string> saved = first.saved();
    std::sort(saved.begin(), saved.end());
    std::vector<std::string> names;
    for (const auto& [name, file] : expected)
        names.push_back(name);
    EXPECT_EQ(saved, names);
    const int files = static_cast<int>(expected.size());
    const int kilobytes = DemoServer::kilobytes(values(expected));
    EXPECT_TRUE(first.printed("Processing is over"));
    EXPECT_TRUE(first.printed(countersLine(files, kilobytes, files, kilobytes))) << first.out.back();

    const int articles = server.articleCommands();
    const ProgramRun second = ProgramRun::run(runArguments(server, folder, groups));
    ASSERT_EQ(second.exitCode, 0) << second.err;
    EXPECT_TRUE(second.saved().empty());
    EXPECT_EQ(server.articleCommands(), articles) << "known articles were fetched again";
    EXPECT_TRUE(second.printed(countersLine(0, 0, files, kilobytes))) << second.out.back();
    EXPECT_EQ(DemoServer::filesBelow(folder).size(), onDisk.size());
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

TEST(UnattendedRun, StallInsideAnArticleReconnectsAndResumesAtThatArticle)
{
    DemoServer server;
    // Article 8 is the middle part of harbour.jpg, split over articles 7, 8 and 9.
    server.model().silentInsideArticle(8);
    server.start();
    const std::string folder = TestEnvironment::makeFolder("stalled");
    const std::vector<std::string> groups{"demo.binaries.pictures.uuencode"};
    std::vector<std::string> arguments = runArguments(server, folder, groups);
    arguments.insert(arguments.end(), {"--timeout", "10"});

    const ProgramRun run = ProgramRun::run(arguments, 90000);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    expectFolderHolds(DemoServer::filesBelow(folder), server.expectedFiles(groups), false);
    EXPECT_EQ(run.saved().size(), 4u);

    // The second connection walks on from article 8; nothing before it is fetched again.
    ASSERT_GE(server.connections(), 2);
    std::vector<std::string> afterStall;
    for (const auto& [connection, line] : server.received())
        if (connection >= 1)
            afterStall.push_back(line);
    EXPECT_NE(std::find(afterStall.begin(), afterStall.end(), "STAT 8"), afterStall.end());
    for (const char* earlier : {"ARTICLE 3", "ARTICLE 4", "ARTICLE 5", "ARTICLE 6", "ARTICLE 7"})
        EXPECT_EQ(std::find(afterStall.begin(), afterStall.end(), earlier), afterStall.end()) << earlier;
}

} // namespace
} // namespace nimbra::test
