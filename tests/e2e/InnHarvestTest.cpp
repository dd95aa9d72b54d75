// Whole unattended runs against a real news server: a private INN holding a uuencoded, a
// MIME (base64) and a yEnc file, harvested with and without a login, and by both walks (the
// overview one pipelined and compressed); every file saved must have the SHA-256 of the one
// posted. Skipped, with the reason, only where inn2 cannot run.
#include "tests/e2e/DemoServer.h"
#include "tests/e2e/ProgramRun.h"
#include "tests/support/PrivateInnServer.h"
#include "tests/support/TestEnvironment.h"
#include "tools/newsmodel/ArticleEncoders.h"
#include "tools/newsmodel/YencEncoder.h"

#include <QCryptographicHash>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>

namespace nimbra::test {
namespace {

const std::string Group = "alt.binaries.pictures.nimbra";

std::string sha256(const std::string& bytes)
{
    return QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha256).toHex().toStdString();
}

std::string randomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

std::vector<std::string> header(const std::string& subject, const std::string& id)
{
    return {"From: poster@nimbra.test", "Newsgroups: " + Group, "Subject: " + subject, "Message-ID: <" + id + ">"};
}

// Posts the three files; returns name -> sha256.
std::map<std::string, std::string> postFiles(PrivateInnServer& inn)
{
    const std::string uu = randomBytes(40000, 1), mime = randomBytes(50000, 2), yenc = randomBytes(60000, 3);
    std::vector<std::string> uuArticle = header("uu picture", "uu@nimbra.test");
    uuArticle.push_back("");
    for (const std::string& line : ArticleEncoders::uuFile("uu-picture.jpg", uu))
        uuArticle.push_back(line);

    std::vector<std::string> mimeArticle = header("mime picture", "mime@nimbra.test");
    for (const char* line : {"MIME-Version: 1.0", "Content-Type: multipart/mixed; boundary=\"nimbra-b\"", "",
                             "--nimbra-b", "Content-Type: image/jpeg; name=\"mime-picture.jpg\"",
                             "Content-Transfer-Encoding: base64", ""})
        mimeArticle.push_back(line);
    for (const std::string& line : ArticleEncoders::base64Lines(mime))
        mimeArticle.push_back(line);
    mimeArticle.push_back("--nimbra-b--");

    std::vector<std::string> yencArticle = header("yenc picture \"yenc-picture.jpg\" yEnc (1/1)", "yenc@nimbra.test");
    yencArticle.push_back("");
    for (const std::string& line : yencSingle("yenc-picture.jpg", yenc))
        yencArticle.push_back(line);

    for (const auto* article : {&uuArticle, &mimeArticle, &yencArticle}) {
        std::string whyNot;
        EXPECT_TRUE(inn.post(*article, whyNot)) << whyNot;
    }
    return {{"uu-picture.jpg", sha256(uu)}, {"mime-picture.jpg", sha256(mime)}, {"yenc-picture.jpg", sha256(yenc)}};
}

// One unattended run into a folder of its own, with data and settings folders of its own (no
// message-id cache, mark or setting of an earlier run); the saved files must be the posted ones.
ProgramRun harvestInto(PrivateInnServer& inn, const std::map<std::string, std::string>& posted, const std::string& name,
                       const std::vector<std::string>& more)
{
    const std::string folder = TestEnvironment::makeFolder(name + "-downloads");
    std::vector<std::string> arguments = {"--server", "127.0.0.1", "--port", inn.portText(), "--folder", folder,
                                          "--groups", Group, "--get-files"};
    arguments.insert(arguments.begin(), more.begin(), more.end());
    const ProgramRun run =
        ProgramRun::run(arguments, 120000, {{"XDG_DATA_HOME", TestEnvironment::makeFolder(name + "-data")},
                                            {"XDG_CONFIG_HOME", TestEnvironment::makeFolder(name + "-config")}});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::map<std::string, std::string> saved;
    for (const auto& [path, bytes] : DemoServer::filesBelow(folder))
        saved[path] = sha256(bytes);
    std::string out;
    for (const std::string& line : run.out)
        out += line + "\n";
    EXPECT_EQ(saved, posted) << out << run.err;
    return run;
}

void harvestAndCompare(PrivateInnServer& inn, const std::vector<std::string>& login)
{
    harvestInto(inn, postFiles(inn), "inn", login);
}

class InnHarvest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string missing = PrivateInnServer::unavailable();
        if (!missing.empty())
            GTEST_SKIP() << "no private INN: " << missing;
    }
    // Starts INN with the group; a failure to start where inn2 is there is a test failure.
    void startInn()
    {
        std::string whyNot;
        ASSERT_TRUE(inn.start(whyNot)) << whyNot;
        ASSERT_TRUE(inn.newGroup(Group, whyNot)) << whyNot;
    }
    PrivateInnServer inn;
};

TEST_F(InnHarvest, EveryFileArrivesWithItsHash)
{
    startInn();
    harvestAndCompare(inn, {});
}

TEST_F(InnHarvest, BothWalksSaveTheSameFilesAndTheOverviewOneCompresses)
{
    startInn();
    const std::map<std::string, std::string> posted = postFiles(inn);
    const ProgramRun classic = harvestInto(inn, posted, "inn-classic", {"--classic-walk", "--verbose"});
    EXPECT_EQ(classic.err.find("compression on"), std::string::npos) << classic.err;
    const ProgramRun fast = harvestInto(inn, posted, "inn-fast", {"--pipeline", "8", "--verbose"});
    EXPECT_NE(fast.err.find("compression on"), std::string::npos) << fast.err;
    EXPECT_NE(fast.err.find("compression saved"), std::string::npos) << fast.err;
    EXPECT_EQ(fast.err.find("walking article by article"), std::string::npos) << fast.err;
}

TEST_F(InnHarvest, EveryFileArrivesWithItsHashBehindALogin)
{
    inn.requireLogin("harvester", "p4ss");
    startInn();
    harvestAndCompare(inn, {"--user", "harvester", "--password", "p4ss"});
}

long occurrences(const std::string& text, const std::string& part)
{
    long count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// A small uuencoded picture posted to the group given; pictures of other names differ, so none
// is taken for a repost of another. Returns the SHA-256 of its bytes.
std::string postPicture(PrivateInnServer& inn, const std::string& group, const std::string& name)
{
    std::vector<std::string> article = {"From: poster@nimbra.test", "Newsgroups: " + group, "Subject: " + name,
                                        "Message-ID: <" + name + "@nimbra.test>", ""};
    const std::string bytes = randomBytes(3000, static_cast<unsigned>(std::hash<std::string>{}(name)));
    for (const std::string& line : ArticleEncoders::uuFile(name, bytes))
        article.push_back(line);
    std::string whyNot;
    EXPECT_TRUE(inn.post(article, whyNot)) << whyNot;
    return sha256(bytes);
}

TEST_F(InnHarvest, SeveralConnectionsBehindALoginEachLogInCompressAndSaveEveryFile)
{
    inn.requireLogin("harvester", "p4ss");
    startInn();
    std::map<std::string, std::string> posted = postFiles(inn);
    for (int i = 0; i < 40; ++i) {
        const std::string name = "many" + std::to_string(i) + ".jpg";
        posted[name] = postPicture(inn, Group, name);
    }
    const ProgramRun run = harvestInto(inn, posted, "inn-connections",
                                       {"--connections", "3", "--pipeline", "2", "--verbose", "--user", "harvester",
                                        "--password", "p4ss"});
    EXPECT_EQ(occurrences(run.err, "opening"), 2) << run.err;  // the two extra connections
    EXPECT_EQ(occurrences(run.err, "compression on"), 3) << run.err;
    EXPECT_EQ(occurrences(run.err, "given up"), 0) << run.err;
    EXPECT_EQ(occurrences(run.err, "closed for this run"), 0) << run.err;
}

TEST_F(InnHarvest, OneLoginServesEveryGroupOfTheRun)
{
    inn.requireLogin("harvester", "p4ss");
    startInn();
    const std::vector<std::string> groups = {Group, Group + ".two", Group + ".three"};
    std::string whyNot;
    for (std::size_t i = 1; i < groups.size(); ++i)
        ASSERT_TRUE(inn.newGroup(groups[i], whyNot)) << whyNot;
    for (std::size_t i = 0; i < groups.size(); ++i)
        postPicture(inn, groups[i], "picture" + std::to_string(i) + ".jpg");
    const std::string folder = TestEnvironment::makeFolder("inn-one-login");
    const ProgramRun run = ProgramRun::run({"--user", "harvester", "--password", "p4ss", "--server", "127.0.0.1",
                                            "--port", inn.portText(), "--folder", folder, "--groups",
                                            groups[0] + "," + groups[1] + "," + groups[2], "--verbose", "--get-files"},
                                           120000);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.saved().size(), 3u) << run.err;
    EXPECT_EQ(occurrences(run.err, "connecting to 127.0.0.1"), 1) << run.err;  // no group cost a reconnect
    EXPECT_EQ(occurrences(run.err, "given up"), 0) << run.err;
}

TEST_F(InnHarvest, AWrongPasswordEndsTheRunWithStatusOneAndTheReason)
{
    inn.requireLogin("harvester", "p4ss");
    startInn();
    postPicture(inn, Group, "locked.jpg");
    const std::string folder = TestEnvironment::makeFolder("inn-wrong-password");
    const ProgramRun run = ProgramRun::run({"--user", "harvester", "--password", "wrong", "--server", "127.0.0.1",
                                            "--port", inn.portText(), "--folder", folder, "--groups", Group,
                                            "--verbose", "--get-files"},
                                           120000);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("refused the login (481)"), std::string::npos) << run.err;
    EXPECT_EQ(occurrences(run.err, "connecting to 127.0.0.1"), 1) << run.err;  // an account error is not retried
    EXPECT_TRUE(run.saved().empty());
}

} // namespace
} // namespace nimbra::test
