// The demo script run as a new user runs it: its standard output and error
// go to one regular file, where every writer shares a single file offset.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "TempDir.h"

namespace {

using Lines = std::vector<std::string>;

std::vector<char*> nullTerminated(const Lines& items) {
    std::vector<char*> result;
    for (const std::string& item : items) {
        result.push_back(const_cast<char*>(item.c_str()));
    }
    result.push_back(nullptr);
    return result;
}

// PATH for the script's tools, the sanitizers' options if set, then `env`:
// nothing else from the test process reaches the launcher.
Lines demoEnvironment(const Lines& env) {
    Lines result;
    for (const char* name : {"PATH", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
        if (const char* value = std::getenv(name)) {
            result.push_back(std::string(name) + "=" + value);
        }
    }
    result.insert(result.end(), env.begin(), env.end());
    return result;
}

// Runs make-bundle on the built launcher and stand-in as `> log 2>&1`
// would, and returns its exit status (-1 when it did not exit normally).
int runDemo(const std::string& outDir, const Lines& args, const Lines& env,
            const std::string& logPath) {
    Lines argv{ZELT_DEMO_SCRIPT, ZELT_LAUNCHER_PATH, ZELT_STANDIN_PATH, outDir};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> argvPointers = nullTerminated(argv);
    const Lines environment = demoEnvironment(env);
    std::vector<char*> envPointers = nullTerminated(environment);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = 0;
    const int error = ::posix_spawn(&pid, argvPointers[0], &actions, nullptr, argvPointers.data(),
                                    envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        ADD_FAILURE() << "cannot start " << argv[0] << ": " << std::strerror(error);
        return -1;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) == -1) {
        if (errno != EINTR) {
            ADD_FAILURE() << "waitpid: " << std::strerror(errno);
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Lines fileLines(const std::string& path) {
    Lines result;
    std::ifstream in(path, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        result.push_back(line);
    }
    return result;
}

// A record line of a text: "{key} {length} {bytes}".
std::string textLine(const std::string& key, const std::string& text) {
    return key + " " + std::to_string(text.size()) + " " + text;
}

// Everything the demo prints for Demo.cfg in `bundle`, when the launcher
// hands the runtime `appArgs` and the runtime's result leads to `tail`.
Lines expectedLog(const std::string& bundle, const Lines& passedArgs, const Lines& appArgs,
                  const Lines& tail) {
    const std::string exe = bundle + "/Contents/MacOS/Demo";
    const std::string appDir = bundle + "/Contents/app";
    std::string starting = "Starting " + exe;
    for (const std::string& arg : passedArgs) {
        starting += " " + arg;
    }
    Lines args{exe,
               "--module-path",
               appDir + "/mods",
               "-classpath",
               appDir + "/demo.jar:" + appDir + "/lib/util.jar",
               "-splash:" + appDir + "/splash.png",
               "-Xmx512m",
               "-Ddemo.bin=" + bundle + "/Contents/MacOS",
               "-Dzelt.app-path=" + exe,
               "demo.Main"};
    args.insert(args.end(), appArgs.begin(), appArgs.end());

    Lines result{starting, "call 1", "argc " + std::to_string(args.size())};
    for (const std::string& arg : args) {
        result.push_back(textLine("arg", arg));
    }
    result.insert(result.end(),
                  {"argv_end null", "i3 0", "p4 null", "i5 0", "p6 null", textLine("s7", ""),
                   textLine("s8", ""), textLine("s9", "tovel"), textLine("s10", "tovel"),
                   "same78 1", "same910 1", "b11 0", "b12 0", "b13 0", "i14 0",
                   textLine("dyld", appDir), "api 1", "end"});
    result.insert(result.end(), tail.begin(), tail.end());
    return result;
}

TEST(MakeBundleTest, LogFileHoldsTheWholeRecordInOrder) {
    const struct {
        const char* what;
        Lines passedArgs;
        Lines env;
        Lines appArgs;
        Lines tail;
        int status;
    } cases[] = {
        {"configured arguments",
         {},
         {},
         {"--greeting", "hello from Demo.app"},
         {"Demo exited with status 0"},
         0},
        {"arguments of the caller's",
         {"one", "two words"},
         {},
         {"one", "two words"},
         {"Demo exited with status 0"},
         0},
        {"runtime that fails",
         {},
         {"XELO_STANDIN_RESULT=1"},
         {"--greeting", "hello from Demo.app"},
         {"Failed to launch ZARN", "Demo exited with status 1"},
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const TempDir out("zelt-demo");
        const std::string log = out.path("demo.log");

        EXPECT_EQ(runDemo(out.path(), c.passedArgs, c.env, log), c.status);

        EXPECT_EQ(fileLines(log),
                  expectedLog(out.path("Demo.app"), c.passedArgs, c.appArgs, c.tail));
    }
}

}  // namespace
