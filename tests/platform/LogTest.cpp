#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/Log.h"
#include "platform/LogFile.h"
#include "platform/PrivateFiles.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace nimbra;
using nimbra::test::TestEnvironment;

namespace {

std::string contentOf(const std::string& path)
{
    std::string bytes;
    AtomicFile::read(path, bytes);
    return bytes;
}

unsigned modeOf(const std::string& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return 0xffff;
    return info.st_mode & 0777;
}

// Restores Qt's handler even when an assertion ends the test early.
struct InstalledLog {
    explicit InstalledLog(const std::string& path, long long rotation = 4 * 1024 * 1024) { ok = Log::install(path, rotation); }
    ~InstalledLog() { Log::uninstall(); }
    bool ok = false;
};

} // namespace

TEST(Log, EachMessageIsOneStampedLineInAPrivateFile)
{
    const std::string folder = TestEnvironment::root() + "newstate/nimbra/";
    const std::string path = folder + "nimbra.log";
    {
        InstalledLog log(path);
        ASSERT_TRUE(log.ok);
        qCInfo(logSession) << "connected to" << "news.example.net";
        qCWarning(logSaving, "cannot write %s\nsecond line", "a.jpg");
    }
    const std::string text = contentOf(path);
    EXPECT_NE(text.find(" info session: connected to news.example.net\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" warning saving: cannot write a.jpg second line\n"), std::string::npos) << text;
    // A UTC stamp with milliseconds opens each line.
    EXPECT_EQ(text.substr(4, 1), "-");
    EXPECT_EQ(text.substr(10, 1), "T");
    EXPECT_EQ(text.substr(23, 2), "Z ");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(modeOf(folder), 0700u);
}

TEST(Log, DefaultPathFollowsXdgStateHomeElseTheDataFolder)
{
    EXPECT_EQ(Log::defaultPath(), std::string(std::getenv("XDG_STATE_HOME")) + "/nimbra/nimbra.log");
    const std::string saved = std::getenv("XDG_STATE_HOME");
    ::unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(Log::defaultPath(), AppPaths::dataFolder() + "nimbra.log");
    ::setenv("XDG_STATE_HOME", "relative/state", 1);
    EXPECT_EQ(Log::defaultPath(), AppPaths::dataFolder() + "nimbra.log");
    ::setenv("XDG_STATE_HOME", saved.c_str(), 1);
}

TEST(Log, AuthinfoPassArgumentIsMaskedWhateverItsCase)
{
    EXPECT_EQ(Log::masked("sent AUTHINFO PASS s3cret-word\r\nnext"), "sent AUTHINFO PASS ****\r\nnext");
    EXPECT_EQ(Log::masked("\"authinfo pass  two words\" then"), "\"authinfo pass  ****\" then");
    EXPECT_EQ(Log::masked("AUTHINFO USER me"), "AUTHINFO USER me");
    EXPECT_EQ(Log::masked("AUTHINFO PASS a / AUTHINFO PASS b"), "AUTHINFO PASS ****");
    const std::string path = TestEnvironment::makeFolder("mask") + "nimbra.log";
    {
        InstalledLog log(path);
        qCInfo(logProtocol) << "> AUTHINFO PASS s3cret-word";
    }
    EXPECT_EQ(contentOf(path).find("s3cret"), std::string::npos);
}

TEST(LogFile, RotatesPastTheSizeKeepingOneOlderFile)
{
    const std::string path = TestEnvironment::makeFolder("rotate") + "nimbra.log";
    LogFile log(path, 100);
    ASSERT_TRUE(log.open());
    const std::string line(39, 'x');  // 40 bytes with its line end
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(log.writeLine(line));
    EXPECT_FALSE(::access((path + ".1").c_str(), F_OK) == 0);
    ASSERT_TRUE(log.writeLine("third"));  // 80 + 6 still fits
    ASSERT_TRUE(log.writeLine(line));     // 86 + 40 does not: a new file
    EXPECT_EQ(contentOf(path + ".1"), line + '\n' + line + "\nthird\n");
    EXPECT_EQ(contentOf(path), line + '\n');
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(log.writeLine("round " + std::to_string(i) + std::string(40, 'y')));
    // Only one older file is kept; the oldest lines are gone.
    EXPECT_EQ(contentOf(path + ".1").find("third"), std::string::npos);
    EXPECT_NE(contentOf(path).find("round 2"), std::string::npos);
    EXPECT_FALSE(::access((path + ".2").c_str(), F_OK) == 0);
    EXPECT_EQ(modeOf(path), 0600u);
}

TEST(LogFile, AppendsToTheOldLogAndNarrowsAWideOne)
{
    const std::string path = TestEnvironment::makeFolder("append") + "nimbra.log";
    ASSERT_TRUE(AtomicFile::write(path, "earlier\n"));
    ::chmod(path.c_str(), 0644);
    LogFile log(path);
    ASSERT_TRUE(log.open());
    ASSERT_TRUE(log.writeLine("later"));
    EXPECT_EQ(contentOf(path), "earlier\nlater\n");
    EXPECT_EQ(modeOf(path), 0600u);
}

TEST(LogFile, ASymlinkInThePlaceOfTheLogIsNotFollowed)
{
    const std::string folder = TestEnvironment::makeFolder("linked");
    const std::string outside = TestEnvironment::makeFolder("outside") + "decoy";
    ASSERT_TRUE(AtomicFile::write(outside, "user data\n"));
    ASSERT_EQ(::symlink(outside.c_str(), (folder + "nimbra.log").c_str()), 0);
    LogFile log(folder + "nimbra.log");
    EXPECT_FALSE(log.open());
    EXPECT_FALSE(log.error().empty());
    EXPECT_FALSE(log.writeLine("never"));
    EXPECT_EQ(contentOf(outside), "user data\n");
}

TEST(Log, MirrorCopiesTheProgramsLinesToStandardError)
{
    const std::string path = TestEnvironment::makeFolder("mirror") + "nimbra.log";
    const std::string errors = TestEnvironment::makeFolder("stderr") + "err";
    const int saved = ::dup(2);
    const int fd = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ::dup2(fd, 2);
    {
        InstalledLog log(path);
        qCInfo(logApp) << "quiet line";
        Log::setMirror(true);
        qCInfo(logApp) << "mirrored line";
    }
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    ::close(fd);
    const std::string mirrored = contentOf(errors);
    EXPECT_EQ(mirrored.find("quiet line"), std::string::npos) << mirrored;
    EXPECT_NE(mirrored.find(" info app: mirrored line\n"), std::string::npos) << mirrored;
    const std::string logged = contentOf(path);
    EXPECT_NE(logged.find("quiet line"), std::string::npos);
    EXPECT_NE(logged.find("mirrored line"), std::string::npos);
}

TEST(PrivateFiles, StateFoldersAndFilesAreTheUsersAlone)
{
    const std::string config = AppPaths::configFolder();
    const std::string data = AppPaths::dataFolder();
    EXPECT_EQ(modeOf(config), 0700u);
    EXPECT_EQ(modeOf(data), 0700u);
    ASSERT_TRUE(AtomicFile::write(data + "mesagid", "<a@b>\r\n"));
    EXPECT_EQ(modeOf(data + "mesagid"), 0600u);
    // An own folder left wide by an earlier version is narrowed; parents made on the way are private.
    const std::string deep = TestEnvironment::root() + "p1/p2/nimbra/";
    ASSERT_TRUE(PrivateFiles::ensureOwnFolder(deep));
    EXPECT_EQ(modeOf(TestEnvironment::root() + "p1"), 0700u);
    ::chmod(deep.c_str(), 0755);
    ASSERT_TRUE(PrivateFiles::ensureOwnFolder(deep));
    EXPECT_EQ(modeOf(deep), 0700u);
}
