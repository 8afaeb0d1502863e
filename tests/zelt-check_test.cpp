// The real zelt-check on temporary bundles, next to the real launcher
// started in the same bundles with the same arguments and environment.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>

#include "BundleFixture.h"

namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;
using nlohmann::json;

ProcessResult runCheck(const BundleFixture& bundle, const Args& checkArgs, const Args& env = {},
                       const std::string& workingDir = {}) {
    Args argv{ZELT_CHECK_PATH};
    argv.insert(argv.end(), checkArgs.begin(), checkArgs.end());
    return runProcess(ZELT_CHECK_PATH, argv, bundle.environment(env), workingDir);
}

// The command line that checks `target` as if the launcher were started with `args`.
Args checkArgs(const std::string& target, const Args& args, const Args& options = {"--json"}) {
    Args result = options;
    result.push_back(target);
    if (!args.empty()) {
        result.push_back("--");
        result.insert(result.end(), args.begin(), args.end());
    }
    return result;
}

json parseReport(const ProcessResult& result) {
    EXPECT_EQ(result.err, "");
    try {
        return json::parse(result.out);
    } catch (const json::exception& e) {
        ADD_FAILURE() << e.what() << "\n" << result.out;
        return json::object();
    }
}

// The bytes an escaped text stands for: each "\xHH" is one byte.
std::string unescape(const std::string& text) {
    std::string bytes;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\\x") == 0 && i + 4 <= text.size()) {
            bytes += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            bytes += text[i];
        }
    }
    return bytes;
}

std::optional<std::string> unescapedOrNull(const json& value) {
    return value.is_null() ? std::nullopt : std::optional(unescape(value.get<std::string>()));
}

Args unescapedArgv(const json& report) {
    Args args;
    for (const json& arg : report.at("argv")) {
        args.push_back(unescape(arg.get<std::string>()));
    }
    return args;
}

// Starts the launcher and checks the bundle the same way, and expects the
// runtime to receive exactly what the checker reports.
void expectCheckMatchesLaunch(const BundleFixture& bundle, const std::string& start,
                              const Args& args, const Args& env, const std::string& workingDir,
                              int expectedStatus) {
    fs::remove(bundle.recordPath());
    Args launchArgv{start};
    launchArgv.insert(launchArgv.end(), args.begin(), args.end());
    const ProcessResult launched =
        runProcess(start, launchArgv, bundle.environment(env), workingDir);
    ASSERT_EQ(launched.exitStatus, 0) << launched.err;
    const StandinRecord record = bundle.record();
    ASSERT_EQ(record.calls.size(), 1u);

    const ProcessResult checked = runCheck(bundle, checkArgs(start, args), env, workingDir);
    const json report = parseReport(checked);
    EXPECT_EQ(checked.exitStatus, expectedStatus) << checked.out;
    EXPECT_EQ(report.value("status", -1), expectedStatus);
    EXPECT_EQ(unescapedArgv(report), record.calls[0].args);
    EXPECT_EQ(unescapedOrNull(report.at("library_path_variable")),
              record.calls[0].libraryPathVariable);
    EXPECT_EQ(report.at("load"), "loaded");
    EXPECT_EQ(report.at("errors"), json::array());
}

TEST(ZeltCheck, DemoBundleReportsWhatItsRuntimeReceives) {
    const BundleFixture scratch;
    const std::string out = scratch.tempDir() + "/demo";
    const ProcessResult made =
        runProcess(ZELT_DEMO_SCRIPT, {ZELT_DEMO_SCRIPT, ZELT_LAUNCHER_PATH, ZELT_STANDIN_PATH, out},
                   scratch.environment({"PATH=" + std::string(std::getenv("PATH"))}));
    ASSERT_EQ(made.exitStatus, 0) << made.err;
    const std::string app = out + "/Demo.app";

    // The demo's launcher, recording into the scratch bundle's record file.
    expectCheckMatchesLaunch(scratch, app + "/Contents/MacOS/Demo", {}, {}, {}, 0);
    const json report = parseReport(runCheck(scratch, {"--json", app}));
    EXPECT_EQ(report.at("warnings"), json::array());
    EXPECT_EQ(report.at("config"), app + "/Contents/app/Demo.cfg");
    EXPECT_EQ(report.at("runtime_dir"), app + "/Contents/runtime");
    EXPECT_EQ(report.at("library"), app + "/Contents/runtime/Contents/Home/lib/libxelo.dylib");
}

TEST(ZeltCheck, ArgumentVectorEqualsWhatTheRuntimeReceives) {
    const struct {
        const char* what;
        std::string bundleName;
        std::string config;
        Args args;
        Args env;
        int status;
        std::function<void(const BundleFixture&)> prepare = nullptr;
        // Where the launcher is started from, and the directory it is started in.
        std::function<std::string(const BundleFixture&)> start = nullptr;
        std::function<std::string(const BundleFixture&)> workingDir = nullptr;
    } cases[] = {
        {"every property, and some the launcher does not read",
         "Root.app",
         "[Application]\napp.version=1.0\napp.mainclass=main.Class\n"
         "app.modulepath=$APPDIR/mods1\napp.modulepath=$APPDIR/mods2\n"
         "app.classpath=$APPDIR/a.jar\napp.classpath=$ROOTDIR/b.jar\n"
         "app.splash=$APPDIR/splash.png\napp.mainmodule=mod/main.Mod\n"
         "app.maintvar=$APPDIR/app.tvar\napp.memory=auto\n"
         "app.runtime=$ROOTDIR/Contents/runtime\n"
         "[ArgOptions]\narguments=first\narguments=$APPDIR/second\n"
         "[TovelOptions]\ntovel-options=-Xa\ntovel-options=-Dbin=$BINDIR\n"
         "[AppVornTovelOptions]\ntovel-options=-Xignored\n",
         {},
         {},
         2,
         [](const BundleFixture& b) { b.writeFile(b.appDir() + "/splash.png", ""); }},
        {"missing splash", "Root.app", "[Application]\napp.splash=$APPDIR/none.png\n", {}, {}, 2},
        {"command line replaces the arguments literally",
         "Root.app",
         "[ArgOptions]\narguments=a\narguments=b\n",
         {"word", "$APPDIR"},
         {},
         0},
        {"process serial numbers dropped",
         "Root.app",
         "[ArgOptions]\narguments=from-file\n",
         {"-psn_0_12345", "a", "-PSN_1", "-psn_", "-psn", "b"},
         {},
         0},
        {"only a process serial number",
         "Root.app",
         "[ArgOptions]\narguments=from-file\n",
         {"-psn_0_1"},
         {},
         0},
        {"arguments of any bytes",
         "Root.app",
         "[Application]\n",
         {"", "two words", "quote\"d", "new\nline", "tab\there", "\xC3\xA9\xFF", "back\\x41slash",
          "\x7F\x01", "$ROOTDIR"},
         {},
         0},
        {"bundle path with blanks and non-ASCII bytes",
         "My \xC3\xA9 App.app",
         "[Application]\napp.classpath=$APPDIR/x.jar\napp.mainclass=M\n",
         {"arg"},
         {},
         0},
        {"library search path already set",
         "Root.app",
         "[Application]\n",
         {},
         {"DYLD_LIBRARY_PATH=/x:"},
         0},
        {"trace switched on",
         "Root.app",
         "[Application]\napp.mainclass=M\n",
         {},
         {"ZELT_DEBUG=true"},
         0},
        {"library in the second place",
         "Root.app",
         "[Application]\n",
         {},
         {},
         0,
         [](const BundleFixture& b) {
             fs::remove_all(b.defaultRuntimeDir());
             b.installRuntime(BundleFixture::RuntimeLib::LibXelo);
         }},
        {"relative runtime directory",
         "Root.app",
         "[Application]\napp.runtime=rel\n",
         {},
         {},
         2,
         [](const BundleFixture& b) {
             b.installRuntime(BundleFixture::RuntimeLib::Lib, b.tempDir() + "/work/rel");
         },
         nullptr,
         [](const BundleFixture& b) { return b.tempDir() + "/work"; }},
        {"started through relative symbolic links",
         "Root.app",
         "[Application]\napp.mainclass=M\n",
         {"arg"},
         {},
         0,
         [](const BundleFixture& b) {
             const std::string bin = b.tempDir() + "/usr/local/bin";
             fs::create_directories(bin);
             fs::create_symlink("../../../Root.app/Contents/MacOS/app", bin + "/alias");
             fs::create_symlink("alias", bin + "/app");
         },
         [](const BundleFixture& b) { return b.tempDir() + "/usr/local/bin/app"; },
         [](const BundleFixture&) { return std::string("/"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const BundleFixture bundle(c.bundleName);
        bundle.writeConfig(c.config);
        bundle.installRuntime();
        if (c.prepare) {
            c.prepare(bundle);
        }
        expectCheckMatchesLaunch(bundle, c.start ? c.start(bundle) : bundle.launcherPath(), c.args,
                                 c.env, c.workingDir ? c.workingDir(bundle) : std::string(),
                                 c.status);
    }
}

// What the launcher shows when it fails.
std::string launcherFailure(const ProcessResult& result) {
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_FALSE(result.err.empty());
    return result.err.empty() ? result.err : result.err.substr(0, result.err.size() - 1);
}

TEST(ZeltCheck, EachLauncherFailureWithTheLaunchersMessage) {
    const struct {
        const char* what;
        std::function<void(const BundleFixture&)> prepare;
    } cases[] = {
        {"no configuration file", [](const BundleFixture&) {}},
        {"configuration is a directory",
         [](const BundleFixture& b) { fs::create_directories(b.configPath()); }},
        {"header without ']'",
         [](const BundleFixture& b) { b.writeConfig("\n; comment\n[Application\n"); }},
        {"macro expansion that does not end",
         [](const BundleFixture& b) {
             // A root directory whose path holds the macro's own name.
             b.writeConfig("[Application]\napp.classpath=$ROOTDIR\n");
         }},
        {"no runtime library", [](const BundleFixture& b) { b.writeConfig("[Application]\n"); }},
        {"empty runtime directory",
         [](const BundleFixture& b) { b.writeConfig("[Application]\napp.runtime=\n"); }},
        {"library that does not load",
         [](const BundleFixture& b) {
             b.writeConfig("[Application]\n");
             b.writeFile(b.defaultRuntimeDir() + "/Contents/Home/lib/libxelo.dylib", "no library");
         }},
        {"library without the entry point",
         [](const BundleFixture& b) {
             b.writeConfig("[Application]\n");
             const std::string lib = b.defaultRuntimeDir() + "/Contents/Home/lib/libxelo.dylib";
             b.writeFile(lib, "");
             fs::copy_file(ZELT_DLL_FIXTURE, lib, fs::copy_options::overwrite_existing);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const bool selfExpanding = std::strstr(c.what, "macro") != nullptr;
        const BundleFixture bundle(selfExpanding ? "$ROOTDIR.app" : "Root.app");
        c.prepare(bundle);
        const std::string message = launcherFailure(bundle.run({}, {}, bundle.tempDir()));

        for (const bool asJson : {true, false}) {
            const ProcessResult checked =
                runCheck(bundle, checkArgs(bundle.root(), {}, asJson ? Args{"--json"} : Args{}), {},
                         bundle.tempDir());
            EXPECT_EQ(checked.exitStatus, 1);
            EXPECT_EQ(checked.err, "");
            if (asJson) {
                const json report = parseReport(checked);
                EXPECT_EQ(report.at("errors"), json::array({{{"message", message}}}));
                EXPECT_EQ(report.at("status"), 1);
            } else {
                EXPECT_NE(checked.out.find("\nerror: " + message + "\nstatus: 1 "),
                          std::string::npos)
                    << checked.out;
            }
        }
    }
}

TEST(ZeltCheck, RelativeStartFromADirectoryTooLongToNameFailsLikeTheLauncher) {
    const BundleFixture bundle;
    bundle.writeConfig("[Application]\n");
    bundle.installRuntime();
    const BundleFixture::RelativeStart start = bundle.relativeStartFromTooLongDirectory();

    const std::string message = launcherFailure(
        runProcess(start.launcher, {start.launcher}, bundle.environment({}), start.workingDir));
    const json report =
        parseReport(runCheck(bundle, {"--json", start.launcher}, {}, start.workingDir));

    EXPECT_EQ(report.at("errors"), json::array({{{"message", message}}}));
    EXPECT_EQ(report.at("config"), nullptr);
}

TEST(ZeltCheck, EveryWarningWithItsFileAndLine) {
    const struct {
        const char* what;
        std::string config;
        uint64_t line;
        std::string message;  // what the warning says, in part
    } cases[] = {
        {"unknown property", "[Application]\napp.mainclas=M\n", 2,
         "unknown property \"app.mainclas\""},
        {"blanks around '='", "[Application]\napp.mainclass = M\n", 2,
         "blanks around \"=\" belong to the name"},
        {"no '='", "[Application]\napp.mainclass M\n", 2, "(the line holds no \"=\")"},
        {"property where the launcher does not read it", "[TovelOptions]\narguments=x\n", 2,
         "does not read \"arguments\" in section [TovelOptions]; it reads it in [ArgOptions]"},
        {"property the launcher never reads", "[Application]\napp.memory=auto\n", 2,
         "does not read \"app.memory\" in section [Application]"},
        {"section without a reader", "[AppVornTovelOptions]\ntovel-options=-Xa\n", 2,
         "does not read \"tovel-options\" in section [AppVornTovelOptions]; it reads it in "
         "[TovelOptions]"},
        {"unknown section", "[Application]\n[application]\napp.mainclass=M\n", 2,
         "unknown section [application]: the launcher ignores it and its lines; did you mean "
         "[Application]?"},
        {"section given twice",
         "[Application]\napp.mainclass=A\n\n[Application]\napp.mainclass=B\n", 4,
         "section [Application] given again (first at line 1)"},
        {"line before the first section", "; comment\napp.mainclass=M\n[Application]\n", 2,
         "line before the first section"},
        {"byte-order mark", "\xEF\xBB\xBF; comment\n[Application]\n", 1, "byte-order mark"},
        {"CR at the line end", "[Application]\napp.mainclass=M\r\n", 2, "ends with a CR"},
        {"leading blank in a value", "[Application]\napp.mainclass= M\n", 2,
         "value of \"app.mainclass\" has leading or trailing blanks"},
        {"trailing blank in a value", "[ArgOptions]\narguments=a \n", 2,
         "value of \"arguments\" has leading or trailing blanks"},
        {"single value given twice", "[Application]\napp.mainclass=A\napp.mainclass=B\n", 3,
         "\"app.mainclass\" given again (first at line 2): only the last value counts"},
        {"misspelt macro", "[Application]\napp.classpath=a.jar\napp.classpath=$APPDR/b.jar\n", 3,
         "\"$APPDR\" is left in the value of \"app.classpath\" after expansion"},
        {"unknown macro word in a later section",
         "[Application]\n[TovelOptions]\ntovel-options=-Dx=$HOME\n", 3,
         "\"$HOME\" is left in the value of \"tovel-options\""},
        {"missing splash file", "[Application]\napp.mainclass=M\napp.splash=$BINDIR/s.png\n", 3,
         ".app/Contents/MacOS/s.png\" not found"},
        {"relative runtime", "[Application]\napp.runtime=.\n", 2, "relative \"app.runtime\" \".\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const BundleFixture bundle;
        bundle.writeConfig(c.config);
        bundle.installRuntime();
        // A relative runtime directory "." is the bundle's default one from here.
        const std::string workingDir = bundle.defaultRuntimeDir();

        const ProcessResult checked = runCheck(bundle, {"--json", bundle.root()}, {}, workingDir);
        const json report = parseReport(checked);

        EXPECT_EQ(checked.exitStatus, 2);
        EXPECT_EQ(report.at("status"), 2);
        EXPECT_EQ(report.at("errors"), json::array());
        ASSERT_EQ(report.at("warnings").size(), 1u) << report.at("warnings").dump();
        const json& warning = report.at("warnings")[0];
        EXPECT_EQ(warning.at("file"), bundle.configPath());
        EXPECT_EQ(warning.at("line"), c.line);
        EXPECT_NE(warning.at("message").get<std::string>().find(c.message), std::string::npos)
            << warning.at("message");
        // The launcher accepts all of it.
        EXPECT_EQ(bundle.run({}, {}, workingDir).exitStatus, 0);
    }
}

TEST(ZeltCheck, WarningsOfTheFileComeAlsoWhenTheLaunchFails) {
    const BundleFixture bundle;
    bundle.writeConfig("[Application]\napp.runtime=rt\n[Aplication]\n");

    const json report = parseReport(runCheck(bundle, {"--json", bundle.root()}));

    EXPECT_EQ(report.at("status"), 1);
    EXPECT_EQ(report.at("runtime_dir"), "rt");
    EXPECT_EQ(report.at("library"), nullptr);
    ASSERT_EQ(report.at("warnings").size(), 2u);
    EXPECT_EQ(report.at("warnings")[0].at("line"), 3);
    EXPECT_EQ(report.at("warnings")[1].at("line"), 2);
}

TEST(ZeltCheck, TextReportShowsEachFieldAndEscapesBytes) {
    const BundleFixture bundle;
    bundle.writeConfig("[Application]\napp.mainclass=M\napp.mainclass=N\n");
    bundle.installRuntime();
    const std::string lib = bundle.defaultRuntimeDir() + "/Contents/Home/lib/libxelo.dylib";

    const ProcessResult checked =
        runCheck(bundle, checkArgs(bundle.launcherPath(), {"\xC3\xA9\\", "a\tb"}, {}));

    EXPECT_EQ(checked.exitStatus, 2);
    EXPECT_EQ(checked.err, "");
    EXPECT_EQ(checked.out,
              "config: " + bundle.configPath() + "\n" +
                  "runtime_dir: " + bundle.defaultRuntimeDir() + "\n" + "library: " + lib + "\n" +
                  "library_path_variable: " + bundle.appDir() + "\n" + "argv: 5\n" + "  [0] " +
                  bundle.launcherPath() + "\n" + "  [1] -Dzelt.app-path=" + bundle.launcherPath() +
                  "\n" + "  [2] N\n" + "  [3] \\xC3\\xA9\\x5C\n" + "  [4] a\\x09b\n" +
                  "load: loaded\n" + "warning: " + bundle.configPath() +
                  ":3: \"app.mainclass\" given again (first at " +
                  "line 2): only the last value counts\n" +
                  "status: 2 (the launcher would start the runtime, but see the warnings)\n");
}

TEST(ZeltCheck, JsonKeepsValidUtf8AndEscapesTheRest) {
    const BundleFixture bundle;
    bundle.writeConfig("[Application]\n");
    bundle.installRuntime();

    const ProcessResult checked =
        runCheck(bundle, checkArgs(bundle.root(), {"\xC3\xA9", "\xFF", "\\x41", "\"\n"}));

    const json report = parseReport(checked);
    EXPECT_EQ(checked.exitStatus, 0);
    const json& argv = report.at("argv");
    ASSERT_EQ(argv.size(), 6u);
    EXPECT_EQ(argv[2], "\xC3\xA9");
    EXPECT_EQ(argv[3], "\\xFF");
    EXPECT_EQ(argv[4], "\\x5Cx41");
    EXPECT_EQ(argv[5], "\"\n");
    EXPECT_EQ(report.at("config"), bundle.configPath());
    EXPECT_EQ(report.at("warnings"), json::array());
}

TEST(ZeltCheck, NoLoadSkipsALibraryThatDoesNotLoad) {
    const BundleFixture bundle;
    bundle.writeConfig("[Application]\n");
    const std::string lib = bundle.defaultRuntimeDir() + "/Contents/Home/lib/libxelo.dylib";
    bundle.writeFile(lib, "not a library\n");

    const ProcessResult skipped = runCheck(bundle, {"--json", "--no-load", bundle.root()});
    const json report = parseReport(skipped);
    EXPECT_EQ(skipped.exitStatus, 0);
    EXPECT_EQ(report.at("load"), "skipped");
    EXPECT_EQ(report.at("library"), lib);
    EXPECT_EQ(report.at("errors"), json::array());

    const ProcessResult loaded = runCheck(bundle, {"--no-load", bundle.root()});
    EXPECT_NE(loaded.out.find("\nload: skipped\n"), std::string::npos) << loaded.out;
    const json failed = parseReport(runCheck(bundle, {"--json", bundle.root()}));
    EXPECT_EQ(failed.at("status"), 1);
    EXPECT_EQ(failed.at("load"), nullptr);
}

TEST(ZeltCheck, BundleDirectoryNeedsExactlyOneExecutable) {
    const BundleFixture bundle;
    bundle.writeConfig("[Application]\n");
    bundle.installRuntime();
    const std::string macOS = bundle.root() + "/Contents/MacOS";
    // Neither a plain file nor a directory counts.
    bundle.writeFile(macOS + "/Info.txt", "");
    fs::create_directories(macOS + "/Resources");
    fs::permissions(macOS + "/Resources", fs::perms::all);

    EXPECT_EQ(runCheck(bundle, {bundle.root()}).exitStatus, 0);

    fs::copy_file(bundle.launcherPath(), macOS + "/second");
    fs::permissions(macOS + "/second", fs::perms::owner_exec, fs::perm_options::add);
    const ProcessResult two = runCheck(bundle, {bundle.root()});
    EXPECT_EQ(two.exitStatus, 1);
    EXPECT_EQ(two.out, "");
    EXPECT_NE(two.err.find(macOS + " holds 2 executable files, not exactly one"), std::string::npos)
        << two.err;

    fs::remove(macOS + "/second");
    fs::remove(bundle.launcherPath());
    const ProcessResult none = runCheck(bundle, {"--json", bundle.root()});
    EXPECT_EQ(none.exitStatus, 1);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err, "zelt-check: " + macOS + " holds 0 executable files, not exactly one\n");
}

TEST(ZeltCheck, BadUsageGoesToStandardError) {
    const BundleFixture bundle;
    const std::string usage = "usage: zelt-check [--json] [--no-load] BUNDLE [-- ARG...]\n";
    const Args badCommandLines[] = {
        {},
        {"--json"},
        {"--verbose", bundle.root()},
        {bundle.root(), "arg"},
        {bundle.root(), "--json"},
    };
    for (const Args& args : badCommandLines) {
        const ProcessResult result = runCheck(bundle, args);
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, usage);
    }
    const ProcessResult missing = runCheck(bundle, {bundle.tempDir() + "/None.app"});
    EXPECT_EQ(missing.exitStatus, 1);
    EXPECT_EQ(missing.err,
              "zelt-check: " + bundle.tempDir() + "/None.app: no such bundle or launcher\n");
    const ProcessResult help = runCheck(bundle, {"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_EQ(help.out, usage);
}

}  // namespace
