// The catalogue of failure lines, docs/errors.md, held against the launcher:
// every failure that an end-to-end test provokes prints a line of the
// catalogue (checked by BundleFixture::run), and every row of the catalogue
// is printed by one of the failures below.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <new>
#include <set>
#include <stdexcept>

#include "BundleFixture.h"
#include "ErrorCatalogue.h"
#include "launch/ZarnLauncher.h"
#include "launch/app.h"
#include "testing/StderrCapture.h"

namespace {

std::string failureLineOf(const ProcessResult& result) {
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    return failureLine(result.err);
}

// What the launcher prints when `routine` fails inside its run wrapper.
std::string failureLineOfWrapped(void (*routine)()) {
    StderrCapture capture;
    const int status = app::launch(std::nothrow, routine, nullptr);
    const std::string err = capture.finish();
    EXPECT_EQ(status, 1);
    return failureLine(err);
}

std::string runtimeLibrary(const BundleFixture& bundle) {
    return bundle.defaultRuntimeDir() + "/Contents/Home/lib/libxelo.dylib";
}

// A request whose argument alone is the largest size the launch block can
// have, so the block cannot be built. It takes about 4 GiB while it runs.
void launchOversizedRequest() {
    Zarn zarn;
    zarn.setLibraryPath("/none/libxelo.dylib").addArgument(std::string(INT32_MAX, 'x'));
    zarn.launch();
}

void throwOutOfMemory() {
    throw std::bad_alloc();
}

void throwStandardError() {
    errno = ENOMEM;
    throw std::runtime_error("not one of the launcher's own errors");
}

struct Scenario {
    const char* row;
    const char* what;
    std::function<std::string(const BundleFixture&)> failureLine;
};

const Scenario scenarios[] = {
    {"Error opening \"{path}\" file: {error}", "no configuration file",
     [](const BundleFixture& bundle) { return failureLineOf(bundle.run()); }},
    {"Error parsing [{path}] file at {line}: Missing ']' character", "header without ']'",
     [](const BundleFixture& bundle) {
         bundle.writeConfig("; notes\n[Application\n");
         return failureLineOf(bundle.run());
     }},
    {"Failed to read \"{path}\" file up to the end: {error}", "configuration is a directory",
     [](const BundleFixture& bundle) {
         std::filesystem::create_directories(bundle.configPath());
         return failureLineOf(bundle.run());
     }},
    {"Macro expansion of \"{value}\" does not terminate", "bundle path holding a macro name",
     [](const BundleFixture&) {
         const BundleFixture bundle("$ROOTDIR.app");
         bundle.writeConfig("[Application]\napp.classpath=$ROOTDIR/x.jar\n");
         bundle.installRuntime();
         return failureLineOf(bundle.run());
     }},
    {"Failed to find ZARN in \"{dir}\" directory.", "no runtime",
     [](const BundleFixture& bundle) {
         bundle.writeConfig("[Application]\n");
         return failureLineOf(bundle.run());
     }},
    {"dlopen({library}) failed. Error: {error}", "runtime library that is no library",
     [](const BundleFixture& bundle) {
         bundle.writeConfig("[Application]\n");
         bundle.writeFile(runtimeLibrary(bundle), "not a library\n");
         return failureLineOf(bundle.run());
     }},
    {"dlsym({library}, XELO_Launch) failed. Error: {error}", "library without the entry point",
     [](const BundleFixture& bundle) {
         bundle.writeConfig("[Application]\n");
         bundle.writeFile(runtimeLibrary(bundle), "");
         std::filesystem::copy_file(ZELT_DLL_FIXTURE, runtimeLibrary(bundle),
                                    std::filesystem::copy_options::overwrite_existing);
         return failureLineOf(bundle.run());
     }},
    {"Failed to launch ZARN", "runtime that reports failure",
     [](const BundleFixture& bundle) {
         bundle.writeConfig("[Application]\n");
         bundle.installRuntime();
         return failureLineOf(bundle.run({}, {"XELO_STANDIN_RESULT=1"}));
     }},
    // No end-to-end run can pass the launcher 2 GiB of arguments; the
    // request is launched inside the run wrapper instead, as main() does.
    {"Failed to create the ZARN launch data", "arguments beyond the block's 32-bit size",
     [](const BundleFixture&) { return failureLineOfWrapped(launchOversizedRequest); }},
    {"getcwd() failed. Error: {error}", "relative start from a directory too long to name",
     [](const BundleFixture& bundle) {
         bundle.writeConfig("[Application]\n");
         bundle.installRuntime();
         const BundleFixture::RelativeStart start = bundle.relativeStartFromTooLongDirectory();
         return failureLineOf(
             runProcess(start.launcher, {"app"}, bundle.environment({}), start.workingDir));
     }},
    {"lstat({path}) failed. Error: {error}", "link whose next step the launcher cannot find",
     [](const BundleFixture& bundle) {
         bundle.writeConfig("[Application]\n");
         bundle.installRuntime();
         // "links/start\x" points to "links/r", the launcher, for the system;
         // the launcher takes the backslash for a directory separator and
         // looks for "links/start/r", which does not exist.
         const std::string links = bundle.tempDir() + "/links";
         std::filesystem::create_directories(links);
         std::filesystem::create_symlink("../Root.app/Contents/MacOS/app", links + "/r");
         std::filesystem::create_symlink("r", links + "/start\\x");
         return failureLineOf(runProcess(links + "/start\\x", {"app"}, bundle.environment({})));
     }},
    {"More than 40 levels of symbolic links from {path}", "link the launcher reads as a loop",
     [](const BundleFixture& bundle) {
         bundle.writeConfig("[Application]\n");
         bundle.installRuntime();
         // The system follows at most 40 links itself, so a longer chain is
         // one it reads differently: "links/start\x" points to "links/r",
         // the launcher; the launcher takes the backslash for a directory
         // separator and follows "links/start/r", which points to itself.
         const std::string links = bundle.tempDir() + "/links";
         std::filesystem::create_directories(links + "/start");
         std::filesystem::create_symlink("../Root.app/Contents/MacOS/app", links + "/r");
         std::filesystem::create_symlink("r", links + "/start\\x");
         std::filesystem::create_symlink("r", links + "/start/r");
         return failureLineOf(runProcess(links + "/start\\x", {"app"}, bundle.environment({})));
     }},
    // Out of memory and errors of the standard library do not come on demand
    // in an end-to-end run; they are thrown inside the run wrapper instead.
    {"Unknown error", "memory running out",
     [](const BundleFixture&) { return failureLineOfWrapped(throwOutOfMemory); }},
    {"{system error text}", "a standard runtime error",
     [](const BundleFixture&) { return failureLineOfWrapped(throwStandardError); }},
};

TEST(ErrorsCatalogue, EveryRowIsPrintedByAScenarioAndOnlyItsOwn) {
    std::set<std::string> rows;
    for (const std::string& pattern : cataloguePatterns()) {
        EXPECT_TRUE(rows.insert(pattern).second) << "row twice: " << pattern;
    }
    std::set<std::string> produced;
    for (const Scenario& scenario : scenarios) {
        produced.insert(scenario.row);
    }
    EXPECT_EQ(produced, rows) << "each row of docs/errors.md needs a scenario here";

    for (const Scenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.what);
        const BundleFixture bundle;
        const std::string line = scenario.failureLine(bundle);
        EXPECT_EQ(matchingRows(line), std::vector<std::string>{scenario.row}) << line;
    }
}

}  // namespace
