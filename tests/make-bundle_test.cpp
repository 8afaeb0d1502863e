// The demo script run as a new user runs it: its standard output and error
// go to one regular file, where every writer shares a single file offset.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "testing/ChildProcess.h"
#include "testing/TempDir.h"

namespace {

using Lines = std::vector<std::string>;

// Runs make-bundle on the built launcher and stand-in as `> log 2>&1`
// would, and returns its exit status (-1 when it did not exit normally).
// Its environment: PATH for the script's tools, the sanitizers' options,
// then `env`; nothing else from the test process reaches the launcher.
int runDemo(const std::string& outDir, const Lines& args, const Lines& env,
            const std::string& logPath) {
    Lines argv{ZELT_DEMO_SCRIPT, ZELT_LAUNCHER_PATH, ZELT_STANDIN_PATH, outDir};
    argv.insert(argv.end(), args.begin(), args.end());
    Lines environment = inheritedEnvironment({"PATH"});
    environment.insert(environment.end(), env.begin(), env.end());
    return runProcess(argv[0], argv, environment, {}, logPath).exitStatus;
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
