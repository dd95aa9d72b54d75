#include "platform/AtomicFile.h"
#include "platform/PasswordFile.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace nimbra;
using nimbra::test::TestEnvironment;

namespace {

std::string passwordFile(const std::string& name, const std::string& content, unsigned mode)
{
    const std::string path = TestEnvironment::makeFolder("passwords") + name;
    EXPECT_TRUE(AtomicFile::write(path, content));
    ::chmod(path.c_str(), mode);
    return path;
}

} // namespace

TEST(PasswordFile, APrivateFileGivesItsFirstLine)
{
    std::string error;
    EXPECT_EQ(PasswordFile::read(passwordFile("crlf", "s3cret word\r\nsecond line\n", 0600), error), "s3cret word");
    EXPECT_EQ(PasswordFile::read(passwordFile("bare", "only", 0400), error), "only");
    EXPECT_FALSE(PasswordFile::read(passwordFile("empty", "\nlater\n", 0600), error));
    EXPECT_NE(error.find("no password on its first line"), std::string::npos) << error;
}

TEST(PasswordFile, AFileOthersCanReadIsRefusedNamingBothModesButNotTheContent)
{
    for (const unsigned mode : {0644u, 0640u, 0604u, 0620u}) {
        char name[16];
        std::snprintf(name, sizeof name, "m%o", mode);
        std::string error;
        EXPECT_FALSE(PasswordFile::read(passwordFile(name, "hunter2\n", mode), error)) << name;
        char has[16];
        std::snprintf(has, sizeof has, "mode 0%o", mode);
        EXPECT_NE(error.find(has), std::string::npos) << error;
        EXPECT_NE(error.find("needs 0600"), std::string::npos) << error;
        EXPECT_EQ(error.find("hunter2"), std::string::npos) << error;
    }
}

TEST(PasswordFile, OnlyARegularFileOfThisUserIsRead)
{
    std::string error;
    EXPECT_FALSE(PasswordFile::read(TestEnvironment::root() + "missing", error));
    EXPECT_NE(error.find("missing"), std::string::npos);
    EXPECT_FALSE(PasswordFile::read(TestEnvironment::makeFolder("a-folder"), error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;

    // A link to a private file of the user's own is followed.
    const std::string own = passwordFile("own", "mine\n", 0600);
    const std::string ownLink = TestEnvironment::root() + "own-link";
    ASSERT_EQ(::symlink(own.c_str(), ownLink.c_str()), 0);
    EXPECT_EQ(PasswordFile::read(ownLink, error), "mine");
    if (::geteuid() != 0)
        GTEST_SKIP() << "a file of another owner needs root to make";
    // A link to a file of another owner is refused, private mode or not.
    const std::string foreign = passwordFile("foreign", "theirs\n", 0600);
    ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
    const std::string link = TestEnvironment::root() + "foreign-link";
    ASSERT_EQ(::symlink(foreign.c_str(), link.c_str()), 0);
    EXPECT_FALSE(PasswordFile::read(link, error));
    EXPECT_NE(error.find("belongs to another user"), std::string::npos) << error;
    EXPECT_EQ(error.find("theirs"), std::string::npos);
}
