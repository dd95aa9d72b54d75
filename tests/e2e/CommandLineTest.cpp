// The program's command-line options, as a child process: what it refuses and what it shows.
#include "tests/e2e/ProgramRun.h"

#include <gtest/gtest.h>

namespace nimbra::test {
namespace {

TEST(CommandLine, WrongOptionsAreRefusedBeforeAnythingStarts)
{
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--port", "12a", "--groups", "x", "--get-files"},
          std::vector<std::string>{"--get-files"},
          std::vector<std::string>{"--timeout", "5", "--groups", "x", "--get-files"},
          std::vector<std::string>{"--tls", "--no-tls", "--groups", "x"},
          std::vector<std::string>{"--pipeline", "65", "--groups", "x"},
          std::vector<std::string>{"--pipeline", "0", "--groups", "x"},
          std::vector<std::string>{"--connections", "51", "--groups", "x"},
          std::vector<std::string>{"--connections", "0", "--groups", "x"},
          std::vector<std::string>{"--match", "(unclosed", "--groups", "x"},
          std::vector<std::string>{"--exclude", "a[", "--groups", "x"},
          std::vector<std::string>{"--no-such-option"}}) {
        const ProgramRun run = ProgramRun::run(arguments, 20000);
        EXPECT_EQ(run.exitCode, 2) << arguments.front() << ": " << run.err;
        EXPECT_NE(run.err.find("Usage:"), std::string::npos) << arguments.front();
        if (arguments.front() == "--match" || arguments.front() == "--exclude") {
            EXPECT_NE(run.err.find("is not a valid regular expression"), std::string::npos) << run.err;
        }
    }
}

TEST(CommandLine, AnUnattendedRunWithoutAServerDoesNotCompleteAndSaysWhy)
{
    // A fresh machine has no server in its settings.
    const ProgramRun run = ProgramRun::run({"--groups", "demo.talk", "--get-files"}, 20000);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("no news server"), std::string::npos) << run.err;
    EXPECT_FALSE(run.printed("Processing is over"));
}

TEST(CommandLine, HelpListsEveryOptionAndEndsWithZero)
{
    const ProgramRun run = ProgramRun::run({"--help"}, 20000);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::string text;
    for (const std::string& line : run.out)
        text += line + "\n";
    for (const char* option : {"--server", "--port", "--user", "--password", "--folder", "--groups",
                               "--separate-by-groups", "--timeout", "--get-files", "--keep-open", "--tls", "--no-tls",
                               "--rescan", "--classic-walk", "--match", "--exclude", "--pipeline", "--connections",
                               "--no-compression", "--keep-duplicates", "--similar"})
        EXPECT_NE(text.find(option), std::string::npos) << option;
}

} // namespace
} // namespace nimbra::test
