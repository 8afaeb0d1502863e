#include "launch/AppLauncher.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "launch/ZarnLauncher.h"
#include "platform/SysInfo.h"
#include "standin/StandinRecord.h"
#include "testing/RaisedError.h"
#include "testing/RecordingAppender.h"
#include "testing/ScopedDefaultAppender.h"
#include "testing/ScopedEnv.h"
#include "testing/TempDir.h"

namespace {

// An application directory holding the configuration named after this test
// program, and a runtime directory holding the stand-in.
class AppLauncherTest : public testing::Test {
protected:
    void SetUp() override {
        const std::string name = std::filesystem::path(SysInfo::getProcessModulePath()).filename();
        std::filesystem::create_directories(appDir());
        std::ofstream(appDir() + "/" + name + ".cfg") << "[Application]\napp.mainclass=Main\n";
        const std::string lib = runtimeDir() + "/lib/libxelo.dylib";
        std::filesystem::create_directories(runtimeDir() + "/lib");
        std::filesystem::copy_file(ZELT_STANDIN_PATH, lib);
    }

    std::string appDir() const { return temp.path("app"); }
    std::string runtimeDir() const { return temp.path("runtime"); }

    AppLauncher configured() const {
        AppLauncher launcher;
        launcher.setRootDir(temp.path())
            .setAppDir(appDir())
            .setDefaultRuntimeDir(runtimeDir())
            .setLibPathVarName("ZELT_TEST_LIBRARY_PATH")
            .addZarnLibName("lib/missing.dylib")
            .addZarnLibName("lib/libxelo.dylib");
        return launcher;
    }

    TempDir temp{"zelt-applauncher"};
    RecordingAppender log;
    const ScopedDefaultAppender logTo{log};
    const ScopedEnv record{"XELO_STANDIN_RECORD", temp.path("record").c_str()};
    const ScopedEnv libraryPath{"ZELT_TEST_LIBRARY_PATH", nullptr};
};

TEST_F(AppLauncherTest, LaunchStartsTheRuntimeAndReleasesTheRequest) {
    const ScopedEnv result("XELO_STANDIN_RESULT", nullptr);
    configured().launch();

    const StandinRecord record = readStandinRecord(temp.path("record"));
    ASSERT_EQ(record.calls.size(), 1u);
    const std::string exe = SysInfo::getProcessModulePath();
    EXPECT_EQ(record.calls[0].args,
              (std::vector<std::string>{exe, "-Dzelt.app-path=" + exe, "Main"}));
    EXPECT_EQ(SysInfo::getEnvVariable(std::nothrow, "ZELT_TEST_LIBRARY_PATH", "unset"), appDir());
    ASSERT_FALSE(log.events.empty());
    EXPECT_NE(log.events.back().message.find(")::~Zarn()"), std::string::npos);
}

TEST_F(AppLauncherTest, LaunchReleasesTheRequestWhenTheRuntimeFails) {
    const ScopedEnv result("XELO_STANDIN_RESULT", "1");
    EXPECT_EQ(raisedError([this] { configured().launch(); }).raw, "Failed to launch ZARN");
    EXPECT_EQ(readStandinRecord(temp.path("record")).calls.size(), 1u);
    ASSERT_FALSE(log.events.empty());
    EXPECT_NE(log.events.back().message.find(")::~Zarn()"), std::string::npos);
}

// The configuration is named after the executable as it is, suffix and
// all: only a platform whose executables carry a suffix drops it.
TEST(AppLauncher, ConfigurationFileIsNamedAfterTheWholeExecutableName) {
    const struct {
        const char* executable;
        const char* expected;
    } cases[] = {
        {"/b/Contents/MacOS/app", "/b/Contents/app/app.cfg"},
        {"/b/Contents/MacOS/app.exe", "/b/Contents/app/app.exe.cfg"},
        {"/b/Contents/MacOS/My App.v2", "/b/Contents/app/My App.v2.cfg"},
        {"app", "/b/Contents/app/app.cfg"},
    };
    for (const auto& c : cases) {
        AppLauncher launcher;
        launcher.setExecutablePath(c.executable).setAppDir("/b/Contents/app");
        EXPECT_EQ(launcher.getCfgFilePath(), c.expected) << c.executable;
    }
}

TEST(AppLauncher, LibraryPathListsTheApplicationDirectoryOnlyAsAWholeEntry) {
    const std::string dir = "/b/Contents/app";
    AppLauncher launcher;
    launcher.setAppDir(dir).setLibPathVarName("ZELT_TEST_LIBRARY_PATH");
    const struct {
        std::optional<std::string> value;  // none: unset
        bool contains;
    } cases[] = {
        {std::nullopt, false}, {"", false},
        {"/x", false},         {dir, true},
        {"/x::" + dir, true},  {dir + ":/y", true},
        {dir + "/", false},    {dir.substr(0, dir.size() - 1), false},
        {"/x;" + dir, false},
    };
    for (const auto& c : cases) {
        const ScopedEnv value("ZELT_TEST_LIBRARY_PATH", c.value ? c.value->c_str() : nullptr);
        EXPECT_EQ(launcher.libEnvVariableContainsAppDir(), c.contains) << c.value.value_or("unset");
    }
}

}  // namespace
