#include "testing/ChildProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "testing/TempDir.h"

namespace {

using Strings = std::vector<std::string>;

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(ChildProcess, RunsWithExactlyTheGivenArgumentsEnvironmentAndDirectory) {
    const TempDir dir("zelt-child");
    // The shell's own argument vector; the last command keeps the shell
    // from handing its process over to tr.
    const std::string printArgv = "tr '\\0' '|' </proc/$$/cmdline; true";
    const struct {
        const char* name;
        std::string path;
        Strings argv;
        Strings env;
        std::string workingDir;
        ProcessResult expected;
    } cases[] = {
        {"environment, nothing inherited",
         "/usr/bin/env",
         {"env"},
         {"A=1", "B=two words", "EMPTY="},
         {},
         {0, 0, "A=1\nB=two words\nEMPTY=\n", ""}},
        {"arguments as given, program name included",
         "/bin/sh",
         {"named", "-c", printArgv, "x", "", "a b"},
         {},
         {},
         {0, 0, "named|-c|" + printArgv + "|x||a b|", ""}},
        {"working directory",
         "/bin/sh",
         {"sh", "-c", "pwd"},
         {},
         dir.path(),
         {0, 0, dir.path() + "\n", ""}},
        {"streams apart, exit status",
         "/bin/sh",
         {"sh", "-c", "echo out; echo err >&2; exit 3"},
         {},
         {},
         {3, 0, "out\n", "err\n"}},
        {"ended by a signal",
         "/bin/sh",
         {"sh", "-c", "kill -TERM $$"},
         {},
         {},
         {-1, SIGTERM, "", ""}},
        {"name without a slash found in PATH", "env", {"env"}, {"X=y"}, {}, {0, 0, "X=y\n", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ProcessResult result = runProcess(c.path, c.argv, c.env, c.workingDir);
        EXPECT_EQ(result.exitStatus, c.expected.exitStatus);
        EXPECT_EQ(result.termSignal, c.expected.termSignal);
        EXPECT_EQ(result.out, c.expected.out);
        EXPECT_EQ(result.err, c.expected.err);
    }
}

// A child that fills one pipe while the other is not read would block forever.
TEST(ChildProcess, DrainsBothStreamsOfAChildThatWritesMoreThanAPipeHolds) {
    const ProcessResult result = runProcess(
        "/bin/sh", {"sh", "-c", "head -c 300000 /dev/zero >&2; head -c 200000 /dev/zero"}, {});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.err.size(), 300000u);
    EXPECT_EQ(result.out.size(), 200000u);
}

TEST(ChildProcess, OutputFileTakesBothStreamsInTheOrderWritten) {
    const TempDir dir("zelt-child");
    const std::string log = dir.path("log");
    std::ofstream(log) << "old content, longer than the new one\n";
    const ProcessResult result =
        runProcess("/bin/sh", {"sh", "-c", "echo one; echo two >&2; echo three"}, {}, {}, log);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out + result.err, "");
    EXPECT_EQ(fileText(log), "one\ntwo\nthree\n");
}

TEST(ChildProcess, FailsToStartWhatCannotRun) {
    const TempDir dir("zelt-child");
    std::ofstream(dir.path("plain")) << "not a program\n";
    for (const std::string& path :
         {dir.path("missing"), dir.path("plain"), std::string("zelt-no-such-tool")}) {
        SCOPED_TRACE(path);
        EXPECT_THROW(runProcess(path, {path}, {}), std::runtime_error);
    }
    EXPECT_THROW(runProcess("/bin/sh", {"sh", "-c", "true"}, {}, dir.path("missing")),
                 std::runtime_error);
}

}  // namespace
