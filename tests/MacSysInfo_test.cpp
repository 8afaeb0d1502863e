#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/tstrings.h"
#include "platform/ExecutablePath.h"
#include "platform/SysInfo.h"
#include "testing/ChildProcess.h"
#include "testing/RaisedError.h"
#include "testing/ScopedCurrentDir.h"
#include "testing/TempDir.h"

namespace fs = std::filesystem;

namespace {

// What the scripted executable-path call does on one call.
struct Step {
    int result;        // returned; a negative one also stores `size`
    uint32_t size;     // the size asked for
    std::string path;  // written when the result is 0
};

// What it was given.
struct Call {
    bool withBuffer;
    uint32_t size;

    bool operator==(const Call& other) const {
        return withBuffer == other.withBuffer && size == other.size;
    }
};

std::deque<Step> script;
std::vector<Call> calls;

}  // namespace

// Replaces the platform's executable-path service in this test program.
int getExecutablePath(char* buffer, uint32_t* bufferSize) {
    calls.push_back({buffer != nullptr, *bufferSize});
    if (script.empty()) {
        throw std::logic_error("called more often than scripted");
    }
    const Step step = script.front();
    script.pop_front();
    if (step.result < 0) {
        *bufferSize = step.size;
    } else if (step.result == 0 && buffer != nullptr) {
        std::memcpy(buffer, step.path.c_str(), std::min<size_t>(step.path.size() + 1, *bufferSize));
    }
    return step.result;
}

namespace {

std::ostream& operator<<(std::ostream& out, const Call& call) {
    return out << "{" << (call.withBuffer ? "buffer" : "null") << ", " << call.size << "}";
}

std::vector<char> bufferOf(const std::string& path) {
    std::vector<char> buffer(path.begin(), path.end());
    buffer.push_back('\0');
    return buffer;
}

// A private directory tree of files and links, removed with the object.
class TempTree : public TempDir {
public:
    TempTree() : TempDir("zelt-sysinfo") {}

    // Expands "{dir}" to the tree's root.
    std::string expand(const std::string& text) const {
        return tstrings::replace(text, "{dir}", path());
    }

    void file(const std::string& relative) const {
        fs::create_directories(fs::path(path(relative)).parent_path());
        std::ofstream(path(relative)) << "x";
    }

    void link(const std::string& relative, const std::string& target) const {
        fs::create_directories(fs::path(path(relative)).parent_path());
        fs::create_symlink(expand(target), path(relative));
    }
};

// A link text longer than the first read buffer; "." components keep it
// pointing at the same file.
std::string longTarget(const std::string& directory, const std::string& name) {
    std::string text = directory + "/";
    while (text.size() <= 1500) {
        text += "./";
    }
    return text + name;
}

class ProcessModulePathTest : public testing::Test {
protected:
    void SetUp() override {
        tree.file("real/app");
        script.clear();
        calls.clear();
    }

    TempTree tree;
};

TEST_F(ProcessModulePathTest, NegotiatesTheBufferSize) {
    const std::string app = tree.path("real/app");
    const auto fits = static_cast<uint32_t>(app.size() + 1);
    const struct {
        const char* name;
        std::vector<Step> steps;
        std::vector<Call> calls;
    } cases[] = {
        {"asks, then fills", {{-1, fits, ""}, {0, 0, app}}, {{false, 0}, {true, fits}}},
        {"resizes on every negative result",
         {{-1, 3, ""}, {-1, fits + 7, ""}, {-1, fits, ""}, {0, 0, app}},
         {{false, 0}, {true, 3}, {true, fits + 7}, {true, fits}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        script.assign(c.steps.begin(), c.steps.end());
        calls.clear();
        EXPECT_EQ(SysInfo::getProcessModulePath(), app);
        EXPECT_EQ(calls, c.calls);
    }
}

TEST_F(ProcessModulePathTest, FailsOnAPositiveResult) {
    const struct {
        const char* name;
        std::vector<Step> steps;
        std::vector<Call> calls;
    } cases[] = {
        {"at once", {{1, 0, ""}}, {{false, 0}}},
        {"after a resize", {{-1, 40, ""}, {2, 0, ""}}, {{false, 0}, {true, 40}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        script.assign(c.steps.begin(), c.steps.end());
        calls.clear();
        const RaisedError error = raisedError([] { SysInfo::getProcessModulePath(); });
        EXPECT_EQ(error.raw, "_NSGetExecutablePath() failed");
        EXPECT_NE(error.full.find(") at getProcessModulePath(): _NSGetExecutablePath() failed"),
                  std::string::npos)
            << error.full;
        EXPECT_EQ(calls, c.calls);
    }
}

TEST_F(ProcessModulePathTest, MakesARelativePathAbsolute) {
    const ScopedCurrentDir inTree(tree.path());
    script = {{-1, 9, ""}, {0, 0, "real/app"}};
    EXPECT_EQ(SysInfo::getProcessModulePath(), tree.path("real/app"));
}

// A link right under the root counts from "/". The system's own root-level
// links (such as /bin -> usr/bin) are the only ones a test may rely on. They
// are named, not listed: under qemu-user with a library prefix, "/" lists
// the prefix instead.
TEST(RealPath, LinkUnderTheRootCountsFromTheRoot) {
    for (const char* link : {"/bin", "/sbin", "/lib", "/lib32", "/lib64", "/libx32"}) {
        if (!fs::is_symlink(link)) {
            continue;
        }
        const std::string text = fs::read_symlink(link).string();
        if (text.empty() || text[0] == '/' || fs::is_symlink("/" + text)) {
            continue;
        }
        EXPECT_EQ(SysInfo::getRealPath(bufferOf(link)), "/" + text);
        return;
    }
    GTEST_SKIP() << "no relative link under the root";
}

class RealPathTest : public testing::Test {
protected:
    void SetUp() override {
        tree.file("real/app");
        tree.link("bin/abs", "{dir}/real/app");
        tree.link("bin/rel", "../real/app");
        tree.link("here", "real/app");
        tree.link("bin/first", "second");
        tree.link("bin/second", "../real/app");
        tree.link("bin/toLib", "{dir}/lib/next");
        tree.link("lib/next", "../real/app");
        tree.link("bin/long", longTarget("{dir}/real", "app"));
        tree.link("linkdir", "real");
        tree.link("bin/dangling", "../nothing");
        tree.link("loop/a", "b");
        tree.link("loop/b", "a");
        // c0 -> c1 -> ... -> c40 -> the file: 41 links from c0, 40 from c1.
        for (int i = 0; i < 40; ++i) {
            tree.link("chain/c" + std::to_string(i), "c" + std::to_string(i + 1));
        }
        tree.link("chain/c40", "../real/app");
    }

    TempTree tree;
};

TEST_F(RealPathTest, FollowsLinksOnTheLastComponent) {
    const ScopedCurrentDir inTree(tree.path());
    const struct {
        const char* name;
        std::string input;
        std::string expected;
    } cases[] = {
        {"not a link", "{dir}/real/app", "{dir}/real/app"},
        {"relative, not a link", "real/app", "real/app"},
        {"dot components stay", "{dir}/bin/../real/./app", "{dir}/bin/../real/./app"},
        {"absolute link text", "{dir}/bin/abs", "{dir}/real/app"},
        {"relative text counts from the link", "{dir}/bin/rel", "{dir}/bin/../real/app"},
        {"relative link path", "bin/rel", "bin/../real/app"},
        {"link in the current directory", "here", "real/app"},
        {"dot-dot before the link", "{dir}/real/../bin/rel", "{dir}/real/../bin/../real/app"},
        {"chain of two", "{dir}/bin/first", "{dir}/bin/../real/app"},
        {"chain through an absolute text", "{dir}/bin/toLib", "{dir}/lib/../real/app"},
        {"text longer than 1024 bytes", "{dir}/bin/long", longTarget("{dir}/real", "app")},
        {"directory link earlier in the path", "{dir}/linkdir/app", "{dir}/linkdir/app"},
        {"chain of 40", "{dir}/chain/c1", "{dir}/chain/../real/app"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SysInfo::getRealPath(bufferOf(tree.expand(c.input))), tree.expand(c.expected));
    }
}

TEST_F(RealPathTest, Failures) {
    const std::string missing = std::strerror(ENOENT);
    const struct {
        const char* name;
        std::string input;
        std::string message;
    } cases[] = {
        {"missing file", "{dir}/missing", "lstat({dir}/missing) failed. Error: " + missing},
        {"dangling link", "{dir}/bin/dangling",
         "lstat({dir}/bin/../nothing) failed. Error: " + missing},
        {"chain of 41", "{dir}/chain/c0",
         "More than 40 levels of symbolic links from {dir}/chain/c0"},
        {"loop", "{dir}/loop/a", "More than 40 levels of symbolic links from {dir}/loop/a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const RaisedError error =
            raisedError([&] { SysInfo::getRealPath(bufferOf(tree.expand(c.input))); });
        EXPECT_EQ(error.raw, tree.expand(c.message));
        EXPECT_NE(error.full.find(") at getRealPath(): "), std::string::npos) << error.full;
    }
}

// Sets the process arguments for one test and puts the real ones back.
class CommandArgsTest : public testing::Test {
protected:
    void SetUp() override {
        savedArgc = SysInfo::argc;
        savedArgv = SysInfo::argv;
    }
    void TearDown() override {
        SysInfo::argc = savedArgc;
        SysInfo::argv = savedArgv;
    }

private:
    int savedArgc = 0;
    char** savedArgv = nullptr;
};

TEST_F(CommandArgsTest, DropsEveryProcessSerialNumber) {
    const auto without = SysInfo::WithoutProgramName;
    const auto with = SysInfo::WithProgramName;
    typedef std::vector<std::string> Args;
    const struct {
        Args args;
        SysInfo::CommandArgProgramNameMode mode;
        Args expected;
    } cases[] = {
        {{"app", "-psn_0_12345", "a", "-psn_x", "b"}, without, {"a", "b"}},
        {{"app", "-PSN_1"}, without, {"-PSN_1"}},
        {{"app", "-psn", "-psn_"}, without, {"-psn"}},
        {{"app", "a"}, with, {"app", "a"}},
        {{"-psn_1", "a"}, with, {"a"}},
        {{"app", "a"}, static_cast<SysInfo::CommandArgProgramNameMode>(2), {"app", "a"}},
        {{"app"}, without, {}},
        {{}, without, {}},
        {{}, with, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(tstrings::join(c.args.begin(), c.args.end(), " ") + " / mode " +
                     std::to_string(c.mode));
        std::vector<std::string> storage = c.args;
        std::vector<char*> argv;
        for (auto& arg : storage) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        SysInfo::argc = static_cast<int>(storage.size());
        SysInfo::argv = argv.data();
        EXPECT_EQ(SysInfo::getCommandArgs(c.mode), c.expected);
    }
}

// Starts `path` exactly as given (so the kernel records that text as the
// program's name) from `directory`.
ProcessResult run(const std::string& path, const std::string& directory) {
    return runProcess(path, {path}, inheritedEnvironment(), directory);
}

TEST(ProcessModulePath, ReportsHowTheExecutableWasStarted) {
    const TempTree tree;
    const std::string app = "opt/B.app/Contents/MacOS/app";
    fs::create_directories(fs::path(tree.path(app)).parent_path());
    fs::copy_file(ZELT_MODULE_PATH_PRINTER, tree.path(app));
    fs::create_directories(tree.path("elsewhere"));
    tree.link("usr/local/bin/app", "../../../" + app);
    tree.link("bin/abs", "{dir}/" + app);
    tree.link("bin/first", "second");
    tree.link("bin/second", "../" + app);
    const std::string longText = longTarget("{dir}/opt/B.app/Contents/MacOS", "app");
    tree.link("bin/long", longText);

    const struct {
        const char* name;
        std::string directory;
        std::string path;
        std::string expected;
    } cases[] = {
        {"real path", "elsewhere", "{dir}/" + app, "{dir}/" + app},
        {"relative real path", "opt", "B.app/Contents/MacOS/app", "{dir}/" + app},
        {"absolute link", "elsewhere", "{dir}/bin/abs", "{dir}/" + app},
        {"relative link from an unrelated directory", "elsewhere", "{dir}/usr/local/bin/app",
         "{dir}/usr/local/bin/../../../" + app},
        {"relative link started relatively", "usr", "local/bin/app",
         "{dir}/usr/local/bin/../../../" + app},
        {"chain of two links", "elsewhere", "{dir}/bin/first", "{dir}/bin/../" + app},
        {"link text longer than 1024 bytes", "elsewhere", "{dir}/bin/long", longText},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ProcessResult result = run(tree.expand(c.path), tree.path(c.directory));
        EXPECT_EQ(result.exitStatus, 0) << result.err;
        EXPECT_EQ(result.out, tree.expand(c.expected) + "\n");
    }
}

}  // namespace
