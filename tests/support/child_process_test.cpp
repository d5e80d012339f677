// The suites' child processes: what a child prints is kept whole, also when nobody reads it
// while it runs, and a child that ignores its stop signal is reported as still running and
// killed at the end of its scope.
#include "support/child_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>

using ac_test::ChildProcess;

TEST(ChildProcess, KeepsOutputAndErrorsAsAskedAndReportsTheExitCode)
{
    const std::string script = "echo out; echo err >&2; exit 3";
    ChildProcess captured({"/bin/sh", "-c", script}, ChildProcess::Output::captured);
    ChildProcess both({"/bin/sh", "-c", script}, ChildProcess::Output::captured_with_errors);
    ASSERT_TRUE(captured.started() && both.started());
    EXPECT_EQ(ac_test::exit_code(captured.wait_for_exit()), 3);
    EXPECT_EQ(ac_test::exit_code(both.wait_for_exit()), 3);
    EXPECT_EQ(captured.output(), "out\n");
    EXPECT_EQ(both.output(), "out\nerr\n");
    EXPECT_FALSE(captured.running());

    ChildProcess missing({"/nonexistent/program"});
    EXPECT_FALSE(missing.started());
    EXPECT_EQ(missing.wait_for_exit(), -1);
}

// A pipe holds 64 KiB: a child writing more while the test waits for something else would
// block in its write and never end.
TEST(ChildProcess, AChildThatPrintsALotEndsWithoutBeingRead)
{
    ChildProcess chatty({"/bin/sh", "-c", "head -c 1048576 /dev/zero | tr '\\000' x"});
    ASSERT_TRUE(chatty.started());
    EXPECT_EQ(ac_test::exit_code(chatty.wait_for_exit()), 0);
    EXPECT_EQ(chatty.output().size(), 1048576u);
    EXPECT_TRUE(chatty.wait_for_output("xxxx", std::chrono::seconds(1)));
}

TEST(ChildProcess, AChildThatIgnoresItsStopSignalIsStillRunningAndKilledAtTheEnd)
{
    pid_t pid = -1;
    {
        ChildProcess stubborn({"/bin/sh", "-c", "trap '' TERM; echo ready; while :; do sleep 1; done"});
        ASSERT_TRUE(stubborn.wait_for_output("ready", ac_test::kExitTimeout));
        pid = stubborn.pid();
        EXPECT_EQ(stubborn.stop(SIGTERM, std::chrono::milliseconds(300)), -1) << "still running";
        EXPECT_TRUE(stubborn.running());
    }
    EXPECT_EQ(::kill(pid, 0), -1) << "killed and reaped with its scope";
}
