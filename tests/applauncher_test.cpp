#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <regex>
#include <sstream>

#include "BundleFixture.h"

namespace {

using Args = std::vector<std::string>;

const char debugOn[] = "ZELT_DEBUG=true";

Args lines(const std::string& text) {
    Args result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        result.push_back(line);
    }
    return result;
}

// What the loader says about `path`, asked the same way the launcher asks.
std::string dlopenError(const std::string& path) {
    EXPECT_EQ(dlopen(path.c_str(), RTLD_LAZY), nullptr);
    return dlerror();
}

std::string dlsymError(const std::string& path, const char* symbol) {
    void* handle = dlopen(path.c_str(), RTLD_LAZY);
    EXPECT_NE(handle, nullptr) << dlerror();
    EXPECT_EQ(dlsym(handle, symbol), nullptr);
    const std::string error = dlerror();
    dlclose(handle);
    return error;
}

class LauncherTest : public testing::Test {
protected:
    // The arguments of the only runtime call of a successful launch; the
    // record is cleared for the next run.
    Args launchedArgs(const ProcessResult& result) const {
        EXPECT_EQ(result.exitStatus, 0) << result.err;
        const StandinRecord record = bundle.record();
        std::filesystem::remove(bundle.recordPath());
        EXPECT_EQ(record.calls.size(), 1u);
        return record.calls.empty() ? Args() : record.calls[0].args;
    }

    // The one line and the status a user sees when the launch fails.
    void expectFailure(const ProcessResult& result, const std::string& message) const {
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.err, message + "\n");
        EXPECT_EQ(result.out, "");
    }

    std::string exe() const { return bundle.launcherPath(); }
    std::string appDir() const { return bundle.appDir(); }
    std::string root() const { return bundle.root(); }
    std::string appPath() const { return "-Dzelt.app-path=" + exe(); }

    BundleFixture bundle;
};

TEST_F(LauncherTest, EmptyApplicationSectionStillNamesTheLauncher) {
    bundle.writeConfig("[Application]\n");
    bundle.installRuntime();

    const ProcessResult result = bundle.run();

    EXPECT_EQ(launchedArgs(result), (Args{exe(), appPath()}));
    EXPECT_EQ(result.err, "");
}

TEST_F(LauncherTest, EveryPropertyInItsPlace) {
    bundle.writeConfig(
        "; every property the launcher reads, and some it does not\n"
        "[Application]\n"
        "app.version=1.0\n"
        "app.mainclass=main.Class\n"
        "app.modulepath=$APPDIR/mods1\n"
        "app.modulepath=$APPDIR/mods2\n"
        "app.classpath=$APPDIR/a.jar\n"
        "app.classpath=$ROOTDIR/b.jar\n"
        "app.splash=$APPDIR/splash.png\n"
        "app.mainmodule=mod/main.Mod\n"
        "app.maintvar=$APPDIR/app.tvar\n"
        "app.memory=auto\n"
        "app.runtime=$ROOTDIR/Contents/runtime\n"
        "[ArgOptions]\n"
        "arguments=first\n"
        "arguments=$APPDIR/second\n"
        "[TovelOptions]\n"
        "tovel-options=-Xa\n"
        "tovel-options=-Dbin=$BINDIR\n"
        "[AppVornTovelOptions]\n"
        "tovel-options=-Xignored\n");
    bundle.writeFile(appDir() + "/splash.png", "");
    bundle.installRuntime();

    const ProcessResult result = bundle.run();

    const std::string binDir = root() + "/Contents/MacOS";
    const Args expected{exe(),
                        "--module-path",
                        appDir() + "/mods1",
                        "--module-path",
                        appDir() + "/mods2",
                        "-classpath",
                        appDir() + "/a.jar:" + root() + "/b.jar",
                        "-splash:" + appDir() + "/splash.png",
                        "-Xa",
                        "-Dbin=" + binDir,
                        appPath(),
                        "-m",
                        "mod/main.Mod",
                        "main.Class",
                        "-tvar",
                        appDir() + "/app.tvar",
                        "first",
                        appDir() + "/second"};
    EXPECT_EQ(launchedArgs(result), expected);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, "");
}

TEST_F(LauncherTest, FixedEntryPointValues) {
    bundle.writeConfig("[Application]\napp.mainclass=Main\n");
    bundle.installRuntime();
    ASSERT_EQ(bundle.run().exitStatus, 0);
    const StandinRecord record = bundle.record();
    ASSERT_EQ(record.calls.size(), 1u);
    const StandinCall& call = record.calls[0];
    EXPECT_EQ(call.args, (Args{exe(), appPath(), "Main"}));
    EXPECT_TRUE(call.argvTerminated);
    EXPECT_EQ(call.int3, 0);
    EXPECT_TRUE(call.pointer4IsNull);
    EXPECT_EQ(call.int5, 0);
    EXPECT_TRUE(call.pointer6IsNull);
    EXPECT_EQ(call.text7, std::string());
    EXPECT_TRUE(call.sameText7And8);
    EXPECT_EQ(call.text9, std::string("tovel"));
    EXPECT_TRUE(call.sameText9And10);
    EXPECT_EQ(call.byte11, 0u);
    EXPECT_EQ(call.byte12, 0u);
    EXPECT_EQ(call.byte13, 0u);
    EXPECT_EQ(call.int14, 0);
}

TEST_F(LauncherTest, MissingSplashIsDroppedWithAWarning) {
    bundle.writeConfig("[Application]\napp.splash=$APPDIR/none.png\napp.mainclass=M\n");
    bundle.installRuntime();

    EXPECT_EQ(launchedArgs(bundle.run()), (Args{exe(), appPath(), "M"}));
    const ProcessResult traced = bundle.run({}, {debugOn});
    const std::regex warning(
        "\\[WARNING\\] ZarnLauncher\\.cpp:[0-9]+: Splash property ignored\\. "
        "File \"" +
        appDir() + "/none\\.png\" not found");
    EXPECT_TRUE(std::regex_search(traced.err, warning)) << traced.err;
}

TEST_F(LauncherTest, CommandLineReplacesTheConfiguredArgumentsLiterally) {
    bundle.writeConfig("[ArgOptions]\narguments=a\narguments=b\narguments=c\n");
    bundle.installRuntime();

    EXPECT_EQ(launchedArgs(bundle.run({"word", "$APPDIR"})),
              (Args{exe(), appPath(), "word", "$APPDIR"}));
}

TEST_F(LauncherTest, ProcessSerialNumberArgumentsAreDropped) {
    bundle.writeConfig("[ArgOptions]\narguments=from-file\n");
    bundle.installRuntime();

    EXPECT_EQ(launchedArgs(bundle.run({"-psn_0_12345", "a", "-PSN_1", "-psn_", "-psn", "b"})),
              (Args{exe(), appPath(), "a", "-PSN_1", "-psn", "b"}));
    EXPECT_EQ(launchedArgs(bundle.run({"-psn_0_1"})), (Args{exe(), appPath(), "from-file"}));
}

TEST_F(LauncherTest, ArgumentsArriveByteForByte) {
    bundle.writeConfig("[Application]\n");
    bundle.installRuntime();
    const Args odd{"",          "two words", "quote\"d",     "it's",
                   "new\nline", "tab\there", "\xC3\xA9\xFF", "$ROOTDIR",
                   "a=b",       ";x",        "[S]"};

    Args expected{exe(), appPath()};
    expected.insert(expected.end(), odd.begin(), odd.end());
    EXPECT_EQ(launchedArgs(bundle.run(odd)), expected);
}

TEST(Launcher, BundlePathWithSpacesAndNonAsciiBytes) {
    const BundleFixture bundle("My \xC3\xA9 App.app", "my app");
    bundle.writeConfig("[Application]\napp.classpath=$APPDIR/x.jar\napp.mainclass=M\n");
    bundle.installRuntime();

    const ProcessResult result = bundle.run({"arg"});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    const Args expected{bundle.launcherPath(),
                        "-classpath",
                        bundle.appDir() + "/x.jar",
                        "-Dzelt.app-path=" + bundle.launcherPath(),
                        "M",
                        "arg"};
    EXPECT_EQ(bundle.record().calls.at(0).args, expected);
}

TEST_F(LauncherTest, LibraryLocationsAndPreference) {
    bundle.writeConfig("[Application]\n");
    const std::string lib = bundle.defaultRuntimeDir() + "/Contents/Home/lib/libxelo.dylib";
    const std::string xeloLib =
        bundle.defaultRuntimeDir() + "/Contents/Home/lib/xelo/libxelo.dylib";
    const auto usedLibrary = [this] {
        const ProcessResult result = bundle.run({}, {debugOn});
        EXPECT_EQ(result.exitStatus, 0) << result.err;
        std::smatch match;
        EXPECT_TRUE(std::regex_search(result.err, match, std::regex("\nxelo lib: \\[(.*)\\]\n")));
        return match.size() > 1 ? match[1].str() : std::string();
    };

    bundle.installRuntime(BundleFixture::RuntimeLib::LibXelo);
    EXPECT_EQ(usedLibrary(), xeloLib);
    bundle.installRuntime(BundleFixture::RuntimeLib::Lib);
    EXPECT_EQ(usedLibrary(), lib);
}

TEST_F(LauncherTest, RuntimeDirectoryFromTheConfiguration) {
    const std::string elsewhere = bundle.tempDir() + "/shared-runtime";
    bundle.installRuntime(BundleFixture::RuntimeLib::Lib, elsewhere);
    bundle.installRuntime(BundleFixture::RuntimeLib::LibXelo, root() + "/rt");
    bundle.installRuntime(BundleFixture::RuntimeLib::Lib, bundle.tempDir() + "/work/rel");
    bundle.installRuntime(BundleFixture::RuntimeLib::Lib, bundle.tempDir() + "/cwd");
    const struct {
        std::string config;
        std::string workingDir;
        std::string library;
    } cases[] = {
        {"app.runtime=" + elsewhere, "", elsewhere + "/Contents/Home/lib/libxelo.dylib"},
        {"app.runtime=/none\napp.runtime=$ROOTDIR/rt", "",
         root() + "/rt/Contents/Home/lib/xelo/libxelo.dylib"},
        {"app.runtime=rel", bundle.tempDir() + "/work", "rel/Contents/Home/lib/libxelo.dylib"},
        {"app.runtime=", bundle.tempDir() + "/cwd", "Contents/Home/lib/libxelo.dylib"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.config);
        bundle.writeConfig("[Application]\n" + c.config + "\n");
        const ProcessResult result = bundle.run({}, {debugOn}, c.workingDir);
        EXPECT_EQ(result.exitStatus, 0) << result.err;
        EXPECT_NE(result.err.find("\nxelo lib: [" + c.library + "]\n"), std::string::npos)
            << result.err;
    }
}

TEST_F(LauncherTest, EachFailureShowsItsOneLine) {
    const std::string cfg = bundle.configPath();
    const std::string runtimeLib = bundle.defaultRuntimeDir() + "/Contents/Home/lib/libxelo.dylib";
    // Each case prepares the bundle from scratch and says what the user sees.
    const struct {
        const char* what;
        std::function<void()> prepare;
        std::function<std::string()> message;
    } cases[] = {
        {"no configuration file", [] {},
         [&] { return "Error opening \"" + cfg + "\" file: No such file or directory"; }},
        {"configuration is a directory", [&] { mkdir(cfg.c_str(), 0755); },
         [&] { return "Failed to read \"" + cfg + "\" file up to the end: Is a directory"; }},
        {"header without ']'",
         [&] { bundle.writeConfig("\n; comment\n[Application\napp.mainclass=M\n"); },
         [&] { return "Error parsing [" + cfg + "] file at 3: Missing ']' character"; }},
        {"no runtime library", [&] { bundle.writeConfig("[Application]\n"); },
         [&] {
             return "Failed to find ZARN in \"" + bundle.defaultRuntimeDir() + "\" directory.";
         }},
        {"empty runtime directory", [&] { bundle.writeConfig("[Application]\napp.runtime=\n"); },
         [] { return std::string("Failed to find ZARN in \"\" directory."); }},
        {"library that does not load",
         [&] {
             bundle.writeConfig("[Application]\n");
             bundle.writeFile(runtimeLib, "not a library\n");
         },
         [&] { return "dlopen(" + runtimeLib + ") failed. Error: " + dlopenError(runtimeLib); }},
        {"library without the entry point",
         [&] {
             bundle.writeConfig("[Application]\n");
             bundle.writeFile(runtimeLib, "");
             std::filesystem::copy_file(ZELT_DLL_FIXTURE, runtimeLib,
                                        std::filesystem::copy_options::overwrite_existing);
         },
         [&] {
             return "dlsym(" + runtimeLib +
                    ", XELO_Launch) failed. Error: " + dlsymError(runtimeLib, "XELO_Launch");
         }},
        {"runtime that fails",
         [&] {
             bundle.writeConfig("[Application]\n");
             bundle.installRuntime();
         },
         [] { return std::string("Failed to launch ZARN"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(bundle.appDir());
        std::filesystem::create_directories(bundle.appDir());
        std::filesystem::remove_all(bundle.defaultRuntimeDir());
        c.prepare();
        const ProcessResult result = bundle.run({}, {"XELO_STANDIN_RESULT=1"}, bundle.tempDir());
        expectFailure(result, c.message());
    }
}

TEST_F(LauncherTest, RuntimeFailureComesAfterTheRuntimeRan) {
    bundle.writeConfig("[Application]\n");
    bundle.installRuntime();
    for (const char* value : {"1", "-1", "255", "256"}) {
        const ProcessResult result = bundle.run({}, {std::string("XELO_STANDIN_RESULT=") + value});
        expectFailure(result, "Failed to launch ZARN");
    }
    EXPECT_EQ(bundle.record().calls.size(), 4u);
}

TEST_F(LauncherTest, LibrarySearchPathGainsTheApplicationDirectoryOnce) {
    bundle.writeConfig("[Application]\n");
    bundle.installRuntime();
    const std::string dir = appDir();
    const struct {
        std::vector<std::string> env;
        std::string expected;
    } cases[] = {
        {{}, dir},
        {{"DYLD_LIBRARY_PATH="}, dir},
        {{"DYLD_LIBRARY_PATH=/x"}, "/x:" + dir},
        {{"DYLD_LIBRARY_PATH=/x:" + dir + ":/y"}, "/x:" + dir + ":/y"},
        {{"DYLD_LIBRARY_PATH=" + dir}, dir},
        {{"DYLD_LIBRARY_PATH=" + dir + "/"}, dir + "/:" + dir},
        {{"DYLD_LIBRARY_PATH=/x:"}, "/x::" + dir},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.env.empty() ? "unset" : c.env[0]);
        std::filesystem::remove(bundle.recordPath());
        ASSERT_EQ(bundle.run({}, c.env).exitStatus, 0);
        const StandinRecord record = bundle.record();
        ASSERT_EQ(record.calls.size(), 1u);
        EXPECT_EQ(record.calls[0].libraryPathVariable, c.expected);
    }
}

TEST_F(LauncherTest, TraceOfASuccessfulRun) {
    bundle.writeConfig("[Application]\napp.mainclass=Main\n");
    bundle.installRuntime();
    const std::string lib = bundle.defaultRuntimeDir() + "/Contents/Home/lib/libxelo.dylib";

    const ProcessResult result = bundle.run({"x"}, {debugOn});

    ASSERT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "");
    const Args trace = lines(result.err);
    const std::string n = "[0-9]+";
    // Header, path text, pointer array with its null, argument texts.
    size_t blockSize = 24 + lib.size() + 1 + 8 * (4 + 1);
    for (const std::string& arg : {exe(), appPath(), std::string("Main"), std::string("x")}) {
        blockSize += arg.size() + 1;
    }
    const std::string size = std::to_string(blockSize);
    const std::string address = "0x[0-9a-f]+";
    const std::vector<std::string> expected{
        "\\[TRACE\\] app\\.cpp:" + n + ": Entering launch",
        "\\[TRACE\\] AppLauncher\\.cpp:" + n + ": Launcher config file path: \"" +
            bundle.configPath() + "\"",
        "\\[TRACE\\] ZarnLauncher\\.cpp:" + n + ": Zarn\\(" + address + "\\)::Zarn\\(\\)",
        "\\[TRACE\\] AppLauncher\\.cpp:" + n +
            ": Property \"app\\.runtime\" not found in \"Application\" section of launcher "
            "config file\\. Using Tovel runtime from \"" +
            bundle.defaultRuntimeDir() + "\" directory",
        "\\[TRACE\\] ZarnLauncher\\.cpp:" + n + ": Need " + size +
            " bytes for ZarnlLauncherData buffer",
        "\\[TRACE\\] ZarnLauncher\\.cpp:" + n + ": Need " + size +
            " bytes for ZarnlLauncherData buffer",
        "\\[TRACE\\] ZarnLauncher\\.cpp:" + n + ": Initialized " + size + " bytes at " + address +
            " address",
        "\\[TRACE\\] ZarnLauncher\\.cpp:" + n + ": ZARN library: \"" + lib + "\"",
        "xelo lib: \\[" + lib + "\\]",
        "xelo arg\\[0\\]: \\[" + exe() + "\\]",
        "xelo arg\\[1\\]: \\[" + appPath() + "\\]",
        "xelo arg\\[2\\]: \\[Main\\]",
        "xelo arg\\[3\\]: \\[x\\]",
        "\\[TRACE\\] app\\.cpp:0: Exiting launch \\(entered at app\\.cpp:" + n + "\\)",
    };
    ASSERT_EQ(trace.size(), expected.size()) << result.err;
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_TRUE(std::regex_match(trace[i], std::regex(expected[i])))
            << "line " << i << ": " << trace[i];
    }
}

TEST_F(LauncherTest, TraceOfAFailedRunEndsWithTheRawMessage) {
    bundle.writeConfig("[Application]\n");

    const ProcessResult result = bundle.run({}, {debugOn});

    EXPECT_EQ(result.exitStatus, 1);
    const Args trace = lines(result.err);
    ASSERT_GE(trace.size(), 4u) << result.err;
    const std::string message =
        "Failed to find ZARN in \"" + bundle.defaultRuntimeDir() + "\" directory.";
    const size_t n = trace.size();
    EXPECT_TRUE(std::regex_match(trace[n - 4], std::regex("\\[TRACE\\] ZarnLauncher\\.cpp:[0-9]+: "
                                                          "Zarn\\(0x[0-9a-f]+\\)::~Zarn\\(\\)")))
        << trace[n - 4];
    EXPECT_TRUE(std::regex_match(
        trace[n - 3],
        std::regex("\\[ERROR\\] app\\.cpp:[0-9]+: Exception with message "
                   "'AppLauncher\\.cpp\\([0-9]+\\) at findZarnLib\\(\\): " +
                   std::regex_replace(message, std::regex("[.\\[\\]()]"), "\\$&") + "' caught")))
        << trace[n - 3];
    EXPECT_EQ(trace[n - 2], message);
    EXPECT_TRUE(std::regex_match(trace[n - 1], std::regex("\\[TRACE\\] app\\.cpp:0: Exiting launch "
                                                          "\\(entered at app\\.cpp:[0-9]+\\)")));
}

TEST_F(LauncherTest, OnlyTheExactWordTurnsTheTraceOn) {
    bundle.writeConfig("[Application]\n");
    bundle.installRuntime();
    for (const char* value : {"TRUE", "True", "1", " true", "true ", "", "yes"}) {
        const ProcessResult result = bundle.run({}, {std::string("ZELT_DEBUG=") + value});
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(result.err, "") << "ZELT_DEBUG='" << value << "'";
    }
}

TEST_F(LauncherTest, RelativeStartFromADirectoryTooLongToNameFails) {
    bundle.writeConfig("[Application]\n");
    bundle.installRuntime();
    // The executable's relative path is made absolute against the current
    // directory, whose name no longer fits the launcher's buffer.
    const BundleFixture::RelativeStart start = bundle.relativeStartFromTooLongDirectory();
    const ProcessResult result =
        runProcess(start.launcher, {"app"}, bundle.environment({}), start.workingDir);

    expectFailure(result, "getcwd() failed. Error: " + std::string(std::strerror(ERANGE)));
}

TEST_F(LauncherTest, StartedThroughSymbolicLinksFromElsewhere) {
    bundle.writeConfig("[Application]\napp.mainclass=M\n");
    bundle.installRuntime();
    const std::string bin = bundle.tempDir() + "/usr/local/bin";
    std::filesystem::create_directories(bin);
    // bin/app -> bin/alias -> ../../../Root.app/Contents/MacOS/app, both relative.
    ASSERT_EQ(symlink("../../../Root.app/Contents/MacOS/app", (bin + "/alias").c_str()), 0);
    ASSERT_EQ(symlink("alias", (bin + "/app").c_str()), 0);

    const std::string canonical =
        bundle.tempDir() + "/usr/local/bin/../../../Root.app/Contents/MacOS/app";
    for (const std::string& start : {bin + "/app", bin + "/alias"}) {
        SCOPED_TRACE(start);
        std::filesystem::remove(bundle.recordPath());
        const ProcessResult result = runProcess(start, {"app", "arg"}, bundle.environment({}), "/");
        ASSERT_EQ(result.exitStatus, 0) << result.err;
        const Args args = bundle.record().calls.at(0).args;
        EXPECT_EQ(args, (Args{canonical, "-Dzelt.app-path=" + canonical, "M", "arg"}));
    }
}

TEST_F(LauncherTest, RelaunchUsesTheStoredRequest) {
    bundle.writeConfig("[Application]\napp.mainclass=M\n");
    bundle.installRuntime();

    const ProcessResult result = bundle.run({"first-run-arg"}, {"XELO_STANDIN_REENTER=2", debugOn});

    ASSERT_EQ(result.exitStatus, 0) << result.err;
    const StandinRecord record = bundle.record();
    ASSERT_EQ(record.calls.size(), 3u);
    const Args expected{exe(), appPath(), "M", "first-run-arg"};
    for (const StandinCall& call : record.calls) {
        EXPECT_EQ(call.args, expected);
    }
    EXPECT_EQ(record.calls[0].depth, 1);
    EXPECT_EQ(record.calls[1].depth, 2);
    EXPECT_EQ(record.mainStatuses, (std::vector<int>{0, 0}));
    // The configuration is read once: one trace line names its path.
    const std::string configLine = "Launcher config file path: ";
    const auto first = result.err.find(configLine);
    EXPECT_NE(first, std::string::npos);
    EXPECT_EQ(result.err.find(configLine, first + 1), std::string::npos);
}

TEST_F(LauncherTest, RelaunchReportsAFailingRuntimeEachTime) {
    bundle.writeConfig("[Application]\n");
    bundle.installRuntime();

    const ProcessResult result =
        bundle.run({}, {"XELO_STANDIN_REENTER=1", "XELO_STANDIN_RESULT=1"});

    expectFailure(result, "Failed to launch ZARN\nFailed to launch ZARN");
    EXPECT_EQ(bundle.record().mainStatuses, (std::vector<int>{1}));
}

}  // namespace
