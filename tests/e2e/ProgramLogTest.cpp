// The log of a whole unattended run of the program against the demo news server, and what the
// run prints besides its files: the lines land in the private log file, --verbose mirrors
// them, and the question the run answers for itself is not printed.
#include "tests/e2e/DemoServer.h"
#include "tests/e2e/ProgramRun.h"
#include "tests/support/TestEnvironment.h"

#include "platform/AtomicFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

namespace nimbra::test {
namespace {

std::string logPath()
{
    return std::string(std::getenv("XDG_STATE_HOME")) + "/nimbra/nimbra.log";
}

std::string logText()
{
    std::string text;
    AtomicFile::read(logPath(), text);
    return text;
}

std::vector<std::string> arguments(const DemoServer& server, const std::string& folder)
{
    return {"--server", "127.0.0.1", "--port", server.portText(), "--folder", folder,
            "--groups", "demo.binaries.pictures.uuencode", "--get-files"};
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

TEST(ProgramLog, AnUnattendedRunLogsItsStartOptionsEndAndStatusQuietly)
{
    DemoServer server;
    server.start();
    const ProgramRun run = ProgramRun::run(arguments(server, TestEnvironment::makeFolder("quiet")));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string log = logText();
    EXPECT_TRUE(contains(log, " info app: Nimbra File 2.03 started; options: --server 127.0.0.1 --port ")) << log;
    EXPECT_TRUE(contains(log, "--groups demo.binaries.pictures.uuencode --get-files\n")) << log;
    EXPECT_TRUE(contains(log, " info app: unattended run completed\n")) << log;
    EXPECT_TRUE(contains(log, " info app: exit status 0\n")) << log;
    // The close question was answered by the run itself: logged, not printed.
    EXPECT_TRUE(contains(log, "answered Yes: End the program?")) << log;
    EXPECT_FALSE(contains(run.err, "End the program?")) << run.err;
    EXPECT_FALSE(contains(run.err, " info app: ")) << "without --verbose the log stays in its file";
    struct stat info {};
    ASSERT_EQ(::stat(logPath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(ProgramLog, VerboseMirrorsTheLogOnStandardErrorAndTheOutputStaysTheSame)
{
    DemoServer server;
    server.start();
    std::vector<std::string> verbose = arguments(server, TestEnvironment::makeFolder("verbose"));
    verbose.push_back("--verbose");
    // Its own data folder, so that nothing is known from another run of this process.
    const ProgramRun run = ProgramRun::run(verbose, 60000, {{"XDG_DATA_HOME", TestEnvironment::makeFolder("verbose-data")}});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(contains(run.err, " info app: unattended run completed\n")) << run.err;
    EXPECT_TRUE(contains(run.err, " info app: exit status 0\n")) << run.err;
    EXPECT_TRUE(run.printed("Processing is over"));
    EXPECT_FALSE(run.saved().empty());
    for (const std::string& line : run.out)
        EXPECT_FALSE(contains(line, " info ")) << "a log line on standard output: " << line;
}

} // namespace nimbra::test
