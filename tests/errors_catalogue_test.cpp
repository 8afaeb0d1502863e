// The catalogue of failure lines, docs/errors.md, held against the launcher:
// every failure that an end-to-end test provokes prints a line of the
// catalogue (checked by BundleFixture::run), and every row of the catalogue
// is printed by one of the failures below.

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <new>
#include <set>
#include <sstream>
#include <stdexcept>

#include "BundleFixture.h"
#include "launch/ZarnLauncher.h"
#include "launch/app.h"

namespace {

// One row of the catalogue: a line in which each "{name}" stands for any text.
class CatalogueRow {
public:
    explicit CatalogueRow(const std::string& pattern) : text(pattern) {
        size_t from = 0;
        for (size_t open; (open = pattern.find('{', from)) != std::string::npos;) {
            const size_t close = pattern.find('}', open);
            if (close == std::string::npos) {
                break;
            }
            pieces.push_back(pattern.substr(from, open - from));
            from = close + 1;
        }
        pieces.push_back(pattern.substr(from));
        placeholdersOnly = pieces.size() > 1 && std::all_of(pieces.begin(), pieces.end(),
                                                            std::mem_fn(&std::string::empty));
    }

    const std::string& pattern() const { return text; }

    bool matches(const std::string& line) const {
        if (placeholdersOnly) {
            // Matched as any text it would accept every line and so prove
            // nothing: it stands for the system's text of an error number.
            return systemErrorTexts().count(line) != 0;
        }
        if (pieces.size() == 1) {
            return line == pieces[0];
        }
        const std::string& first = pieces.front();
        const std::string& last = pieces.back();
        if (line.size() < first.size() + last.size() || line.compare(0, first.size(), first) != 0 ||
            line.compare(line.size() - last.size(), last.size(), last) != 0) {
            return false;
        }
        // Between the two ends, the inner pieces in order; the leftmost
        // place of each leaves the most room for the rest.
        size_t from = first.size();
        const size_t end = line.size() - last.size();
        for (size_t i = 1; i + 1 < pieces.size(); ++i) {
            const size_t at = line.find(pieces[i], from);
            if (at == std::string::npos || at + pieces[i].size() > end) {
                return false;
            }
            from = at + pieces[i].size();
        }
        return true;
    }

private:
    static const std::set<std::string>& systemErrorTexts() {
        static const std::set<std::string> texts = [] {
            std::set<std::string> result;
            for (int error = 0; error < 256; ++error) {
                result.insert(std::strerror(error));
            }
            return result;
        }();
        return texts;
    }

    std::string text;
    std::vector<std::string> pieces;  // the literal text around the placeholders
    bool placeholdersOnly = false;
};

// The rows of the catalogue's table: the code span that opens each row.
const std::vector<CatalogueRow>& catalogue() {
    static const std::vector<CatalogueRow> rows = [] {
        std::ifstream in(ZELT_SOURCE_DIR "/docs/errors.md");
        EXPECT_TRUE(in.good()) << "cannot read docs/errors.md";
        std::vector<CatalogueRow> result;
        for (std::string line; std::getline(in, line);) {
            const std::string opening = "| `";
            const size_t close = line.find("` |");
            if (line.compare(0, opening.size(), opening) == 0 && close != std::string::npos) {
                result.emplace_back(line.substr(opening.size(), close - opening.size()));
            }
        }
        return result;
    }();
    return rows;
}

std::vector<std::string> matchingRows(const std::string& line) {
    std::vector<std::string> result;
    for (const CatalogueRow& row : catalogue()) {
        if (row.matches(line)) {
            result.push_back(row.pattern());
        }
    }
    return result;
}

const char* const recordStarts[] = {"[TRACE] ", "[INFO] ", "[WARNING] ", "[ERROR] ", "[UNKNOWN] "};

// The failure line of a run's standard error: its last line that is not a
// record of the trace.
std::string failureLine(const std::string& standardError) {
    std::istringstream in(standardError);
    std::string result;
    for (std::string line; std::getline(in, line);) {
        const bool record = std::any_of(
            std::begin(recordStarts), std::end(recordStarts),
            [&](const char* start) { return line.compare(0, std::strlen(start), start) == 0; });
        if (!record) {
            result = line;
        }
    }
    return result;
}

std::string failureLineOf(const ProcessResult& result) {
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    return failureLine(result.err);
}

// What the launcher prints when `routine` fails inside its run wrapper.
std::string failureLineOfWrapped(void (*routine)()) {
    testing::internal::CaptureStderr();
    const int status = app::launch(std::nothrow, routine, nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
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
         std::string deep = bundle.tempDir();
         std::string up;
         while (deep.size() <= 1100) {
             deep += "/" + std::string(100, 'd');
             up += "../";
         }
         std::filesystem::create_directories(deep);
         return failureLineOf(
             runProcess(up + "Root.app/Contents/MacOS/app", {"app"}, bundle.environment({}), deep));
     }},
    {"lstat({path}) failed. Error: {error}", "started from a descriptor closed on exec",
     [](const BundleFixture& bundle) {
         bundle.writeConfig("[Application]\n");
         bundle.installRuntime();
         // The launcher is given the path /dev/fd/{n}, which is gone once the
         // descriptor closes at exec. A high number, so that nothing the
         // launcher opens first can take it.
         const int fd = ::open(bundle.launcherPath().c_str(), O_RDONLY | O_CLOEXEC);
         const int high = ::fcntl(fd, F_DUPFD_CLOEXEC, 100);
         ::close(fd);
         const ProcessResult result =
             runProcess("/dev/fd/" + std::to_string(high), {"app"}, bundle.environment({}));
         ::close(high);
         return failureLineOf(result);
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
    for (const CatalogueRow& row : catalogue()) {
        EXPECT_TRUE(rows.insert(row.pattern()).second) << "row twice: " << row.pattern();
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

void expectCataloguedFailure(const std::string& standardError) {
    const std::string line = failureLine(standardError);
    EXPECT_FALSE(matchingRows(line).empty())
        << "failure line in no row of docs/errors.md: " << line;
}
