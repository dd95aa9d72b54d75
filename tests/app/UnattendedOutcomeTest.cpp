// An unattended run ends with status 1 and the reason on standard error when a part of the
// run reported an error that ended it, whatever the status panel says afterwards.
#include "app/ButtonRow.h"
#include "app/CommandLineOptions.h"
#include "app/ConsoleDialogs.h"
#include "app/MainWindow.h"
#include "app/UnattendedRun.h"
#include "platform/AtomicFile.h"
#include "tests/support/EventLoop.h"
#include "tests/support/LoopbackListener.h"
#include "tests/support/TestEnvironment.h"

#include <QPushButton>

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace nimbra::test {

TEST(UnattendedOutcome, AnErrorReportedByTheRunEndsItWithStatusOneAndTheReason)
{
    // A server that accepts and never answers keeps the run going until the test ends it.
    std::uint16_t port = 0;
    const int listener = LoopbackListener::open(port);
    ASSERT_GE(listener, 0);
    ConsoleDialogs console;
    MainWindow window(&console);
    CommandLineOptions::parse({"nimbra", "--server", "127.0.0.1", "--port", QString::number(port), "--folder",
                               QString::fromStdString(TestEnvironment::makeFolder("outcome")), "--groups",
                               "alt.test", "--get-files"})
        .applyTo(window);
    window.runOutcome().fail("left over from an earlier run");

    const std::string errors = TestEnvironment::makeFolder("stderr") + "err";
    const int saved = ::dup(2);
    const int fd = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ::dup2(fd, 2);
    UnattendedRun run(window, 600000);
    run.start();
    QPushButton* getFiles = window.buttonRow()->getFilesButton();
    const bool started = waitUntil([&] { return !getFiles->isEnabled(); }, 10000);
    EXPECT_FALSE(window.runOutcome().failed()) << "a new run starts without an error";
    window.runOutcome().fail("the news server refused the account (481)");
    window.runOutcome().fail("a later consequence");
    // The part that failed ends the run as the session does.
    window.buttonRow()->stopButton()->click();
    const bool ended = waitUntil([&] { return run.status() != -1; }, 10000);
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    ::close(fd);
    ::close(listener);
    ASSERT_TRUE(started);
    ASSERT_TRUE(ended);
    EXPECT_EQ(run.status(), 1);
    std::string text;
    AtomicFile::read(errors, text);
    EXPECT_NE(text.find("nimbra: the news server refused the account (481)\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("nimbra: a later consequence"), std::string::npos) << text;
}

} // namespace nimbra::test

namespace nimbra::test {

TEST(UnattendedOutcome, AMessageOfAnUnattendedRunMarksItFailedAndIsPrintedOnce)
{
    RunOutcome outcome;
    ConsoleDialogs console;
    console.setOutcome(&outcome);
    EXPECT_TRUE(console.ask("End the program?"));
    EXPECT_FALSE(outcome.failed()) << "a question answered is no error";
    console.inform("error 400");
    console.inform("Not connected to x: later");
    EXPECT_TRUE(outcome.failed());
    EXPECT_EQ(outcome.reason(), "error 400");
    EXPECT_TRUE(outcome.reasonShown());
    outcome.reset();
    EXPECT_FALSE(outcome.failed());
    EXPECT_FALSE(outcome.reasonShown());
}

} // namespace nimbra::test
