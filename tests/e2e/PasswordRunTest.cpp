// The password of an unattended run: from a private file, from NIMBRA_PASSWORD or (with a
// warning) from --password; each logs in to the demo news server, and the password is found
// neither in the log, nor in the settings, nor in the output.
#include "tests/e2e/DemoServer.h"
#include "tests/e2e/ProgramRun.h"
#include "tests/support/TestEnvironment.h"

#include "platform/AtomicFile.h"
#include "platform/RegistryStore.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

namespace nimbra::test {
namespace {

const std::string secret = "pa55-w0rd-e2e";

std::string fileText(const std::string& path)
{
    std::string text;
    AtomicFile::read(path, text);
    return text;
}

std::string logText()
{
    return fileText(std::string(std::getenv("XDG_STATE_HOME")) + "/nimbra/nimbra.log");
}

std::string passwordFile(const std::string& name, const std::string& password, unsigned mode)
{
    const std::string path = TestEnvironment::makeFolder("secrets") + name;
    EXPECT_TRUE(AtomicFile::write(path, password + "\n"));
    ::chmod(path.c_str(), mode);
    return path;
}

struct LoginRun {
    DemoServer server;
    std::string folder = TestEnvironment::makeFolder("downloads-" + std::to_string(++count));
    static inline int count = 0;

    LoginRun()
    {
        server.model().setCredentials("reader", secret);
        server.start();
    }
    std::vector<std::string> arguments(const std::vector<std::string>& extra) const
    {
        std::vector<std::string> all{"--server", "127.0.0.1", "--port", server.portText(), "--user", "reader",
                                     "--folder", folder, "--groups", "demo.binaries.pictures.uuencode", "--get-files"};
        all.insert(all.end(), extra.begin(), extra.end());
        return all;
    }
    bool loggedIn() const
    {
        for (const auto& [connection, line] : server.received())
            if (line == "AUTHINFO PASS " + secret)
                return true;
        return false;
    }
};

void expectLoggedInAndKeptSecret(const LoginRun& login, const ProgramRun& run)
{
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(login.loggedIn());
    EXPECT_FALSE(run.saved().empty());
    EXPECT_EQ(logText().find(secret), std::string::npos) << "the password is in the log";
    EXPECT_EQ(fileText(RegistryStore::defaultPath()).find(secret), std::string::npos)
        << "the password is in the settings";
    EXPECT_EQ(run.err.find(secret), std::string::npos);
    for (const std::string& line : run.out)
        EXPECT_EQ(line.find(secret), std::string::npos) << line;
}

} // namespace

TEST(PasswordRun, APrivatePasswordFileLogsIn)
{
    LoginRun login;
    const ProgramRun run = ProgramRun::run(login.arguments({"--password-file", passwordFile("ok", secret, 0600)}));
    expectLoggedInAndKeptSecret(login, run);
    EXPECT_EQ(run.err.find("warning"), std::string::npos) << run.err;
    EXPECT_NE(logText().find("password from --password-file"), std::string::npos);
}

TEST(PasswordRun, APasswordFileOthersCanReadEndsTheRunAtOnceWithStatusTwo)
{
    for (const unsigned mode : {0644u, 0640u}) {
        LoginRun login;
        const ProgramRun run =
            ProgramRun::run(login.arguments({"--password-file", passwordFile("wide", secret, mode)}));
        EXPECT_EQ(run.exitCode, 2);
        char has[16];
        std::snprintf(has, sizeof has, "has mode 0%o", mode);
        EXPECT_NE(run.err.find(has), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("needs 0600"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find(secret), std::string::npos) << run.err;
        EXPECT_EQ(login.server.connections(), 0) << "the run went on";
    }
}

TEST(PasswordRun, TheEnvironmentVariableServesWhenNoOptionIsGivenAndAnOptionWinsOverIt)
{
    {
        LoginRun login;
        const ProgramRun run = ProgramRun::run(login.arguments({}), 60000, {{"NIMBRA_PASSWORD", secret}});
        expectLoggedInAndKeptSecret(login, run);
        EXPECT_NE(logText().find("password from NIMBRA_PASSWORD"), std::string::npos);
    }
    LoginRun login;
    const ProgramRun run = ProgramRun::run(login.arguments({"--password-file", passwordFile("wins", secret, 0600)}),
                                           60000, {{"NIMBRA_PASSWORD", "wrong-one"},
                                                   // nothing known from the first run
                                                   {"XDG_DATA_HOME", TestEnvironment::makeFolder("data-2")}});
    expectLoggedInAndKeptSecret(login, run);
    for (const auto& [connection, line] : login.server.received())
        EXPECT_NE(line, "AUTHINFO PASS wrong-one");
}

TEST(PasswordRun, PasswordOnTheCommandLineStillWorksWithAWarningNamingTheSaferWays)
{
    LoginRun login;
    ProgramRun run = ProgramRun::run(login.arguments({"--password", secret}));
    // The warning is about the command line; the password itself is not repeated.
    EXPECT_NE(run.err.find("can be read by other users"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("--password-file"), std::string::npos);
    EXPECT_NE(run.err.find("NIMBRA_PASSWORD"), std::string::npos);
    expectLoggedInAndKeptSecret(login, run);
}

} // namespace nimbra::test
