#include "launch/ZarnLauncher.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "base/ErrorReporting.h"
#include "base/Log.h"
#include "config/CfgFile.h"
#include "platform/SysInfo.h"
#include "standin/StandinRecord.h"
#include "testing/RecordingAppender.h"
#include "testing/ScopedDefaultAppender.h"
#include "testing/ScopedEnv.h"
#include "testing/StderrCapture.h"
#include "testing/TempDir.h"

namespace {

struct FreeBlock {
    void operator()(ZarnlLauncherData* data) const { std::free(data); }
};
using Block = std::unique_ptr<ZarnlLauncherData, FreeBlock>;

Block makeBlock(const Zarn& zarn) {
    return Block(zarnLauncherCreateZarnlLauncherData(zarnLauncherGetAPI(), zarn.exportLauncher()));
}

// The array of a block is rarely aligned: read its slots bytewise.
const char* slotAt(const ZarnlLauncherData& data, int32_t index) {
    const char* slot;
    std::memcpy(&slot, reinterpret_cast<const char*>(data.argv) + index * sizeof(char*),
                sizeof(slot));
    return slot;
}

std::vector<std::string> blockArguments(const ZarnlLauncherData& data) {
    std::vector<std::string> result;
    for (int32_t i = 0; i < data.argc; ++i) {
        result.push_back(slotAt(data, i));
    }
    return result;
}

std::string addressText(const void* address) {
    std::ostringstream text;
    text << address;
    return text.str();
}

// Records the default logger's output, for the tests that read it.
class ZarnLauncherLogTest : public ::testing::Test {
protected:
    RecordingAppender log;
    const ScopedDefaultAppender logTo{log};
};

// --- The block -----------------------------------------------------------

struct LayoutCase {
    const char* name;
    std::string libraryPath;
    std::vector<std::string> args;
    size_t arrayOffset;
    int32_t size;
};

const LayoutCase layoutCases[] = {
    {"no arguments", "/l", {}, 27, 24 + 3 + 8},
    {"7-character path, aligned array", "/a/b/cd", {"x"}, 32, 24 + 8 + 16 + 2},
    {"8-character path, unaligned array",
     "/a/b/cde",
     {"ab", "", "c d"},
     33,
     24 + 9 + 32 + 3 + 1 + 4},
};

TEST(ZarnLauncher, BlockLayoutPlacesEveryPartWhereTheRuntimeLooks) {
    const ZarnlLauncherAPI& api = *zarnLauncherGetAPI();
    for (const LayoutCase& c : layoutCases) {
        SCOPED_TRACE(c.name);
        Zarn zarn;
        zarn.setLibraryPath(c.libraryPath);
        for (const std::string& arg : c.args) {
            zarn.addArgument(arg);
        }
        void* const handle = zarn.exportLauncher();
        const int32_t size = api.getZarnlLauncherDataSize(handle);
        ASSERT_EQ(c.size, size);
        EXPECT_EQ(size, api.getZarnlLauncherDataSize(handle));

        std::vector<char> buffer(static_cast<size_t>(size));
        char* const base = buffer.data();
        const ZarnlLauncherData* data = api.initZarnlLauncherData(handle, base, size);
        api.closeHandle(handle);
        ASSERT_EQ(static_cast<void*>(base), data);
        EXPECT_EQ(base + 24, data->libraryPath);
        EXPECT_EQ(c.libraryPath, std::string(data->libraryPath));
        EXPECT_EQ(static_cast<int32_t>(c.args.size()), data->argc);
        EXPECT_EQ(reinterpret_cast<char**>(base + c.arrayOffset), data->argv);
        size_t textOffset = c.arrayOffset + 8 * (c.args.size() + 1);
        for (size_t i = 0; i != c.args.size(); ++i) {
            const char* slot = slotAt(*data, static_cast<int32_t>(i));
            EXPECT_EQ(base + textOffset, slot) << "argument " << i;
            EXPECT_EQ(c.args[i], std::string(slot));
            textOffset += c.args[i].size() + 1;
        }
        EXPECT_EQ(nullptr, slotAt(*data, data->argc));
        EXPECT_EQ(static_cast<size_t>(size), textOffset);
    }
}

TEST(ZarnLauncher, ExactSizeFillWritesEveryByteButTheGapAndNothingBeyond) {
    const ZarnlLauncherAPI& api = *zarnLauncherGetAPI();
    Zarn zarn;
    zarn.setLibraryPath("/a/b/cde").addArgument("first").addArgument("").addArgument("last");
    void* const handle = zarn.exportLauncher();
    const int32_t size = api.getZarnlLauncherDataSize(handle);
    const size_t guard = 16;
    std::vector<unsigned char> buffer(static_cast<size_t>(size) + guard);
    // Filled over two backgrounds: a byte the fill writes reads the same over both.
    const unsigned char backgrounds[] = {0x00, 0xFF};
    std::vector<unsigned char> filled[2];
    for (int i = 0; i < 2; ++i) {
        std::fill(buffer.begin(), buffer.end(), backgrounds[i]);
        ASSERT_NE(nullptr, api.initZarnlLauncherData(handle, buffer.data(), size));
        filled[i] = buffer;
    }
    api.closeHandle(handle);
    for (size_t b = 0; b != buffer.size(); ++b) {
        const bool untouched = (b >= 12 && b < 16) || b >= static_cast<size_t>(size);
        if (untouched) {
            EXPECT_EQ(backgrounds[0], filled[0][b]) << "byte " << b;
            EXPECT_EQ(backgrounds[1], filled[1][b]) << "byte " << b;
        } else {
            EXPECT_EQ(filled[0][b], filled[1][b]) << "byte " << b;
        }
    }
}

TEST(ZarnLauncher, FillNeedsAtLeastTheSizeAndNeverWritesPastIt) {
    const ZarnlLauncherAPI& api = *zarnLauncherGetAPI();
    const struct {
        const char* name;
        int32_t extra;
        bool fills;
    } cases[] = {{"one byte short", -1, false}, {"exact", 0, true}, {"larger", 7, true}};
    Zarn zarn;
    zarn.setLibraryPath("/rt/libxelo.dylib").addArgument("/b/app").addArgument("-m");
    void* const handle = zarn.exportLauncher();
    const int32_t size = api.getZarnlLauncherDataSize(handle);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const unsigned char background = 0xA5;
        const int32_t bufferSize = size + c.extra;
        std::vector<unsigned char> buffer(static_cast<size_t>(size) + 16, background);
        const ZarnlLauncherData* data =
            api.initZarnlLauncherData(handle, buffer.data(), bufferSize);
        const auto firstUntouched = c.fills ? buffer.begin() + size : buffer.begin();
        EXPECT_EQ(c.fills ? static_cast<void*>(buffer.data()) : nullptr, data);
        EXPECT_TRUE(std::all_of(firstUntouched, buffer.end(),
                                [&](unsigned char b) { return b == background; }));
    }
    api.closeHandle(handle);
}

TEST_F(ZarnLauncherLogTest, SizingAndFillingAreTraced) {
    const ZarnlLauncherAPI& api = *zarnLauncherGetAPI();
    Zarn zarn;
    zarn.setLibraryPath("/l");
    void* const handle = zarn.exportLauncher();
    std::vector<char> buffer(35);
    api.initZarnlLauncherData(handle, buffer.data(), 35);
    api.closeHandle(handle);
    EXPECT_TRUE(log.hasMessage("Need 35 bytes for ZarnlLauncherData buffer"));
    EXPECT_TRUE(
        log.hasMessage("Initialized 35 bytes at " + addressText(buffer.data()) + " address"));
}

TEST_F(ZarnLauncherLogTest, TableFunctionsReportFailuresInsteadOfThrowing) {
    const ZarnlLauncherAPI& api = *zarnLauncherGetAPI();
    std::vector<char> buffer(64);
    EXPECT_EQ(-1, api.getZarnlLauncherDataSize(nullptr));
    EXPECT_EQ(nullptr, api.initZarnlLauncherData(nullptr, buffer.data(), 64));
    api.closeHandle(nullptr);
    const std::vector<LogEvent> errors = log.withLevel("ERROR");
    ASSERT_EQ(2u, errors.size());
    EXPECT_EQ("getZarnlLauncherDataSize", errors[0].functionName);
    EXPECT_EQ("initZarnlLauncherData", errors[1].functionName);
}

// --- Building a block through a table ------------------------------------

// Fakes for the three table functions; they record what they were asked.
struct FakeTable {
    int32_t size = 0;
    bool fillFails = false;
    int sizeCalls = 0;
    int fillCalls = 0;
    std::vector<void*> closed;
    int32_t fillBufferSize = 0;
};
FakeTable fake;

const ZarnlLauncherAPI fakeApi = {
    [](void* handle) { fake.closed.push_back(handle); },
    [](void*) {
        ++fake.sizeCalls;
        return fake.size;
    },
    [](void*, void* buffer, int32_t bufferSize) {
        ++fake.fillCalls;
        fake.fillBufferSize = bufferSize;
        return fake.fillFails ? nullptr : static_cast<ZarnlLauncherData*>(buffer);
    },
};

TEST(ZarnLauncher, CreateDataFollowsTheTableAndAlwaysClosesTheHandle) {
    int handleObject = 0;
    void* const someHandle = &handleObject;
    const struct {
        const char* name;
        void* handle;
        int32_t size;
        bool fillFails;
        bool givesBlock;
        int sizeCalls;
        int fillCalls;
    } cases[] = {
        {"null handle", nullptr, 40, false, false, 0, 0},
        {"failed sizing", someHandle, -1, false, false, 1, 0},
        {"zero size", someHandle, 0, false, false, 1, 0},
        {"refused fill", someHandle, 40, true, false, 1, 1},
        {"filled", someHandle, 40, false, true, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fake = FakeTable();
        fake.size = c.size;
        fake.fillFails = c.fillFails;
        const Block block(zarnLauncherCreateZarnlLauncherData(&fakeApi, c.handle));
        EXPECT_EQ(c.givesBlock, block != nullptr);
        EXPECT_EQ(c.sizeCalls, fake.sizeCalls);
        EXPECT_EQ(c.fillCalls, fake.fillCalls);
        if (c.fillCalls > 0) {
            EXPECT_EQ(c.size, fake.fillBufferSize);
        }
        EXPECT_EQ(c.handle == nullptr ? std::vector<void*>() : std::vector<void*>{c.handle},
                  fake.closed);
    }
}

// --- Logging and starting ------------------------------------------------

TEST(ZarnLauncher, LogWritesOnlyWhenTheSwitchIsExactlyTrue) {
    const struct {
        const char* setting;
        bool writes;
    } cases[] = {{nullptr, false}, {"", false},      {"TRUE", false}, {"True", false},
                 {"true ", false}, {" true", false}, {"1", false},    {"true", true}};
    for (const auto& c : cases) {
        const ScopedEnv debug("ZELT_DEBUG", c.setting);
        StderrCapture err;
        zarnLauncherLog("value %d of [%s]", 42, "x");
        EXPECT_EQ(c.writes ? "value 42 of [x]\n" : "", err.finish())
            << (c.setting ? c.setting : "unset");
    }
}

struct EntryCall {
    int calls = 0;
    int32_t argc = 0;
    char** argv = nullptr;
    int32_t int3 = -1;
    const void* pointer4 = &calls;
    int32_t int5 = -1;
    const void* pointer6 = &calls;
    const char* texts[4] = {};
    uint8_t bytes[3] = {1, 1, 1};
    int32_t int14 = -1;
    int32_t result = 0;
};
EntryCall entry;

// Declared from the interface, so that the definition must match it.
XeloLaunchFunction fakeXeloLaunch;

int32_t fakeXeloLaunch(int32_t argc, char** argv, int32_t int3, const void* pointer4, int32_t int5,
                       const void* pointer6, const char* text7, const char* text8,
                       const char* text9, const char* text10, uint8_t byte11, uint8_t byte12,
                       uint8_t byte13, int32_t int14) {
    ++entry.calls;
    entry.argc = argc;
    entry.argv = argv;
    entry.int3 = int3;
    entry.pointer4 = pointer4;
    entry.int5 = int5;
    entry.pointer6 = pointer6;
    const char* texts[] = {text7, text8, text9, text10};
    std::copy(std::begin(texts), std::end(texts), entry.texts);
    entry.bytes[0] = byte11;
    entry.bytes[1] = byte12;
    entry.bytes[2] = byte13;
    entry.int14 = int14;
    std::fputs("entry point\n", stderr);
    return entry.result;
}

TEST(ZarnLauncher, StartPassesTheFourteenValuesAndReturnsTheResult) {
    Zarn zarn;
    zarn.setLibraryPath("/rt/lib/libxelo.dylib").addArgument("/b/app").addArgument("a b");
    const Block block = makeBlock(zarn);
    ASSERT_NE(nullptr, block);
    for (const int32_t result : {0, 1, -7}) {
        SCOPED_TRACE(result);
        entry = EntryCall();
        entry.result = result;
        StderrCapture quiet;
        EXPECT_EQ(result,
                  zarnLauncherStartZarn(block.get(), reinterpret_cast<void*>(fakeXeloLaunch)));
        EXPECT_EQ(1, entry.calls);
        EXPECT_EQ(2, entry.argc);
        EXPECT_EQ(block->argv, entry.argv);
        EXPECT_EQ(0, entry.int3);
        EXPECT_EQ(nullptr, entry.pointer4);
        EXPECT_EQ(0, entry.int5);
        EXPECT_EQ(nullptr, entry.pointer6);
        EXPECT_STREQ("", entry.texts[0]);
        EXPECT_EQ(entry.texts[0], entry.texts[1]);
        EXPECT_STREQ("tovel", entry.texts[2]);
        EXPECT_EQ(entry.texts[2], entry.texts[3]);
        EXPECT_EQ(0, entry.bytes[0] | entry.bytes[1] | entry.bytes[2]);
        EXPECT_EQ(0, entry.int14);
    }
}

TEST(ZarnLauncher, StartLogsLibraryAndArgumentsBeforeTheEntryPoint) {
    const ScopedEnv debug("ZELT_DEBUG", "true");
    Zarn zarn;
    zarn.setLibraryPath("/rt/lib/libxelo.dylib").addArgument("/b/app").addArgument("a b");
    const Block block = makeBlock(zarn);
    ASSERT_NE(nullptr, block);
    entry = EntryCall();
    StderrCapture err;
    zarnLauncherStartZarn(block.get(), reinterpret_cast<void*>(fakeXeloLaunch));
    EXPECT_EQ(
        "xelo lib: [/rt/lib/libxelo.dylib]\n"
        "xelo arg[0]: [/b/app]\n"
        "xelo arg[1]: [a b]\n"
        "entry point\n",
        err.finish());
}

// --- The request ---------------------------------------------------------

TEST_F(ZarnLauncherLogTest, RequestTracesItsCreationAndDestruction) {
    std::string address;
    {
        const Zarn zarn;
        address = addressText(&zarn);
    }
    ASSERT_EQ(2u, log.events.size());
    EXPECT_EQ("Zarn(" + address + ")::Zarn()", log.events[0].message);
    EXPECT_EQ("Zarn", log.events[0].functionName);
    EXPECT_EQ("Zarn(" + address + ")::~Zarn()", log.events[1].message);
    EXPECT_EQ("~Zarn", log.events[1].functionName);
}

TEST(ZarnLauncher, SplashIsRecognisedOnlyWithItsColonPrefix) {
    const struct {
        std::vector<std::string> args;
        bool withSplash;
    } cases[] = {
        {{}, false},
        {{"-splash"}, false},
        {{"-SPLASH:s.png"}, false},
        {{"x-splash:s.png"}, false},
        {{"/b/app", "-splash:"}, true},
        {{"/b/app", "-splash:s.png", "-m"}, true},
    };
    for (const auto& c : cases) {
        Zarn zarn;
        for (const std::string& arg : c.args) {
            zarn.addArgument(arg);
        }
        EXPECT_EQ(c.withSplash, zarn.isWithSplash()) << ::testing::PrintToString(c.args);
    }
}

// A configuration file in a fresh directory, with a splash image beside it.
class ZarnConfigTest : public ZarnLauncherLogTest {
protected:
    void SetUp() override { std::ofstream(splashPath()) << "image"; }

    std::string splashPath() const { return dir.path("splash.png"); }
    std::string missingPath() const { return dir.path("missing.png"); }

    // "{splash}" and "{missing}" stand for the two image paths, "{app-path}"
    // for the option that names the running executable.
    std::string fill(const std::string& text) const {
        const std::string appPath = "-Dzelt.app-path=" + SysInfo::getProcessModulePath();
        return tstrings::replace(
            tstrings::replace(tstrings::replace(text, "{splash}", splashPath()), "{missing}",
                              missingPath()),
            "{app-path}", appPath);
    }

    CfgFile load(const std::string& text) const {
        const std::string path = dir.path("app.cfg");
        std::ofstream(path, std::ios::binary) << fill(text);
        return CfgFile::load(path);
    }

    const TempDir dir{"zelt-zarn"};
};

struct OrderCase {
    const char* name;
    const char* cfg;
    std::vector<std::string> expected;  // after the program path
    bool splashWarning;
    bool withSplash;
};

const OrderCase orderCases[] = {
    {"every property",
     "[Application]\n"
     "app.maintvar=main.tvar\n"
     "app.mainclass=pkg.Main\n"
     "app.mainmodule=mod/pkg.Main\n"
     "app.splash={splash}\n"
     "app.classpath=a\n"
     "app.classpath=b\n"
     "app.modulepath=m1\n"
     "app.modulepath=m2\n"
     "app.runtime=/elsewhere\n"
     "app.memory=512\n"
     "app.version=1\n"
     "[ArgOptions]\n"
     "arguments=first\n"
     "arguments=\n"
     "arguments=last one\n"
     "[TovelOptions]\n"
     "tovel-options=-Xb\n"
     "tovel-options=-Xa\n"
     "[AppVornTovelOptions]\n"
     "tovel-options=-Xvorn\n",
     {"--module-path", "m1", "--module-path", "m2", "-classpath", "a:b", "-splash:{splash}", "-Xb",
      "-Xa", "{app-path}", "-m", "mod/pkg.Main", "pkg.Main", "-tvar", "main.tvar", "first", "",
      "last one"},
     false,
     true},
    {"empty Application section", "[Application]\n", {"{app-path}"}, false, false},
    {"no file content at all", "", {"{app-path}"}, false, false},
    {"last splash missing, last main class wins",
     "[Application]\n"
     "app.splash={splash}\n"
     "app.splash={missing}\n"
     "app.mainclass=First\n"
     "app.mainclass=Second\n",
     {"{app-path}", "Second"},
     true,
     false},
    {"only the last splash is tested",
     "[Application]\n"
     "app.splash={missing}\n"
     "app.splash={splash}\n",
     {"-splash:{splash}", "{app-path}"},
     false,
     true},
    {"properties count only in their own section",
     "[TovelOptions]\n"
     "app.mainclass=Wrong\n"
     "arguments=wrong\n"
     "tovel-options=-Xt\n"
     "[ArgOptions]\n"
     "tovel-options=-Xwrong\n"
     "app.modulepath=wrong\n",
     {"-Xt", "{app-path}"},
     false,
     false},
};

TEST_F(ZarnConfigTest, ArgumentsFollowTheConfiguredOrder) {
    for (const OrderCase& c : orderCases) {
        SCOPED_TRACE(c.name);
        const CfgFile cfg = load(c.cfg);
        log.events.clear();
        Zarn zarn;
        zarn.setLibraryPath("/rt/libxelo.dylib").addArgument("/b/app").initFromConfigFile(cfg);

        std::vector<std::string> expected{"/b/app"};
        for (const std::string& arg : c.expected) {
            expected.push_back(fill(arg));
        }
        const Block block = makeBlock(zarn);
        ASSERT_NE(nullptr, block);
        EXPECT_EQ(expected, blockArguments(*block));
        EXPECT_EQ("/rt/libxelo.dylib", std::string(block->libraryPath));

        const std::vector<LogEvent> warnings = log.withLevel("WARNING");
        ASSERT_EQ(c.splashWarning ? 1u : 0u, warnings.size());
        if (c.splashWarning) {
            EXPECT_EQ("Splash property ignored. File \"" + missingPath() + "\" not found",
                      warnings[0].message);
            EXPECT_EQ("initFromConfigFile", warnings[0].functionName);
        }
        EXPECT_EQ(c.withSplash, zarn.isWithSplash());
    }
}

// --- Launching the stand-in runtime --------------------------------------

class ZarnLaunchTest : public ::testing::Test {
protected:
    std::string recordPath() const { return dir.path("record"); }

    // The raw message of the launch's failure; empty when it succeeded.
    static std::string launchFailure(Zarn& zarn) {
        try {
            zarn.launch();
        } catch (const ZeltErrorBase& e) {
            return e.rawMessage();
        }
        return "";
    }

    static bool isStandinLoaded() {
        void* handle = ::dlopen(ZELT_STANDIN_PATH, RTLD_LAZY | RTLD_NOLOAD);
        if (handle != nullptr) {
            ::dlclose(handle);
        }
        return handle != nullptr;
    }

    const TempDir dir{"zelt-zarn"};
};

TEST_F(ZarnLaunchTest, LaunchRunsTheEntryPointAndJudgesItsResult) {
    const struct {
        const char* result;
        const char* failure;
    } cases[] = {{"0", ""}, {"1", "Failed to launch ZARN"}, {"-1", "Failed to launch ZARN"}};
    RecordingAppender log;
    const ScopedDefaultAppender logTo(log);
    const ScopedEnv record("XELO_STANDIN_RECORD", recordPath().c_str());
    Zarn zarn;
    zarn.setLibraryPath(ZELT_STANDIN_PATH).addArgument("/b/app").addArgument("x\ny");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.result);
        std::filesystem::remove(recordPath());
        const ScopedEnv result("XELO_STANDIN_RESULT", c.result);
        EXPECT_EQ(c.failure, launchFailure(zarn));
        const StandinRecord calls = readStandinRecord(recordPath());
        ASSERT_EQ(1u, calls.calls.size());
        EXPECT_EQ(std::vector<std::string>({"/b/app", "x\ny"}), calls.calls[0].args);
        EXPECT_FALSE(isStandinLoaded());
    }
    EXPECT_TRUE(log.hasMessage(std::string("ZARN library: \"") + ZELT_STANDIN_PATH + "\""));
}

TEST_F(ZarnLaunchTest, LaunchFailsBeforeTheEntryPointWhenTheLibraryIsMissing) {
    const ScopedEnv record("XELO_STANDIN_RECORD", recordPath().c_str());
    Zarn zarn;
    zarn.setLibraryPath(dir.path("libxelo.dylib")).addArgument("/b/app");
    EXPECT_EQ(0u, launchFailure(zarn).rfind(
                      "dlopen(" + dir.path("libxelo.dylib") + ") failed. Error: ", 0));
    EXPECT_TRUE(readStandinRecord(recordPath()).calls.empty());
}

}  // namespace
