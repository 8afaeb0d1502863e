#include "standin/StandinRecord.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "runtime/XeloLaunch.h"
#include "testing/ScopedEnv.h"
#include "testing/TempDir.h"

namespace {

// The stand-in loaded into this process, recording into a fresh directory.
class StandinTest : public ::testing::Test {
protected:
    void SetUp() override {
        library = ::dlopen(ZELT_STANDIN_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(nullptr, library) << ::dlerror();
        void* symbol = ::dlsym(library, "XELO_Launch");
        ASSERT_NE(nullptr, symbol);
        xeloLaunch = reinterpret_cast<XeloLaunchFunction*>(symbol);
    }

    void TearDown() override {
        if (library != nullptr) {
            ::dlclose(library);
        }
    }

    std::string recordPath() const { return dir.path("record"); }

    std::string recordText() const {
        std::ifstream in(recordPath(), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    const TempDir dir{"zelt-standin"};
    void* library = nullptr;
    XeloLaunchFunction* xeloLaunch = nullptr;
};

// The launcher hands over a pointer array that is rarely 8-byte aligned;
// build one at an odd address so that a typed read would be caught.
class UnalignedArgv {
public:
    explicit UnalignedArgv(const std::vector<std::string>& args)
        : args(args), bytes(1 + (args.size() + 1) * sizeof(char*)) {
        for (size_t i = 0; i <= args.size(); ++i) {
            const char* text = i < args.size() ? this->args[i].c_str() : nullptr;
            std::memcpy(bytes.data() + 1 + i * sizeof(char*), &text, sizeof(text));
        }
    }
    char** get() { return reinterpret_cast<char**>(bytes.data() + 1); }

private:
    const std::vector<std::string> args;
    std::vector<char> bytes;
};

const char emptyText[] = "";
const char tovelText[] = "tovel";
const char otherEmptyText[] = "";
const char otherTovelText[] = "tovel";
const int somewhere = 0;

struct CallCase {
    const char* name;
    std::vector<std::string> args;
    int32_t int3;
    const void* pointer4;
    int32_t int5;
    const void* pointer6;
    const char* texts[4];  // positions 7 to 10
    uint8_t bytes[3];      // positions 11 to 13
    int32_t int14;
    const char* libraryPathVariable;  // null: unset
};

const CallCase callCases[] = {
    {"as the launcher calls it",
     {"/b/app", "-Dzelt.app-path=/b/app", "--module-path", "/b/mods"},
     0,
     nullptr,
     0,
     nullptr,
     {emptyText, emptyText, tovelText, tovelText},
     {0, 0, 0},
     0,
     "/x:/b/Contents/app"},
    {"awkward bytes, distinct texts",
     {"", "two words", "say \"hi\" 'there'", "line\nbreak\n", "\x01\x7f\xc3\xa9\xff", "- 3 -"},
     7,
     &somewhere,
     -2,
     &somewhere,
     {emptyText, otherEmptyText, tovelText, otherTovelText},
     {1, 128, 255},
     -9,
     nullptr},
    {"no arguments, null texts, empty variable",
     {},
     0,
     nullptr,
     0,
     nullptr,
     {nullptr, nullptr, nullptr, tovelText},
     {0, 0, 0},
     0,
     ""},
};

std::optional<std::string> textOrNull(const char* text) {
    return text != nullptr ? std::optional<std::string>(text) : std::nullopt;
}

TEST_F(StandinTest, RecordsEveryCallExactly) {
    const ScopedEnv recordTo("XELO_STANDIN_RECORD", recordPath().c_str());
    for (const CallCase& c : callCases) {
        const ScopedEnv libraryPath("DYLD_LIBRARY_PATH", c.libraryPathVariable);
        UnalignedArgv argv(c.args);
        EXPECT_EQ(0, xeloLaunch(static_cast<int32_t>(c.args.size()), argv.get(), c.int3, c.pointer4,
                                c.int5, c.pointer6, c.texts[0], c.texts[1], c.texts[2], c.texts[3],
                                c.bytes[0], c.bytes[1], c.bytes[2], c.int14))
            << c.name;
    }
    const StandinRecord record = readStandinRecord(recordPath());
    ASSERT_EQ(std::size(callCases), record.calls.size());
    EXPECT_TRUE(record.mainStatuses.empty());
    for (size_t i = 0; i != record.calls.size(); ++i) {
        const CallCase& c = callCases[i];
        const StandinCall& call = record.calls[i];
        SCOPED_TRACE(c.name);
        EXPECT_EQ(1, call.depth);
        EXPECT_EQ(c.args, call.args);
        EXPECT_TRUE(call.argvTerminated);
        EXPECT_EQ(c.int3, call.int3);
        EXPECT_EQ(c.pointer4 == nullptr, call.pointer4IsNull);
        EXPECT_EQ(c.int5, call.int5);
        EXPECT_EQ(c.pointer6 == nullptr, call.pointer6IsNull);
        EXPECT_EQ(textOrNull(c.texts[0]), call.text7);
        EXPECT_EQ(textOrNull(c.texts[1]), call.text8);
        EXPECT_EQ(textOrNull(c.texts[2]), call.text9);
        EXPECT_EQ(textOrNull(c.texts[3]), call.text10);
        EXPECT_EQ(c.texts[0] == c.texts[1], call.sameText7And8);
        EXPECT_EQ(c.texts[2] == c.texts[3], call.sameText9And10);
        EXPECT_EQ(c.bytes[0], call.byte11);
        EXPECT_EQ(c.bytes[1], call.byte12);
        EXPECT_EQ(c.bytes[2], call.byte13);
        EXPECT_EQ(c.int14, call.int14);
        EXPECT_EQ(textOrNull(c.libraryPathVariable), call.libraryPathVariable);
        EXPECT_FALSE(call.launcherInterfaceExported);  // this process is no launcher
    }
}

TEST_F(StandinTest, ReturnsTheRequestedResult) {
    const struct {
        const char* setting;
        int32_t result;
    } cases[] = {{nullptr, 0}, {"", 0}, {"1", 1}, {"-3", -3}, {"255", 255}};
    for (const auto& c : cases) {
        const ScopedEnv result("XELO_STANDIN_RESULT", c.setting);
        UnalignedArgv argv({"/b/app"});
        EXPECT_EQ(c.result, xeloLaunch(1, argv.get(), 0, nullptr, 0, nullptr, emptyText, emptyText,
                                       tovelText, tovelText, 0, 0, 0, 0))
            << (c.setting ? c.setting : "unset");
    }
}

TEST_F(StandinTest, WritesNothingWithoutARecordFile) {
    const ScopedEnv noRecord("XELO_STANDIN_RECORD", nullptr);
    UnalignedArgv argv({"/b/app"});
    xeloLaunch(1, argv.get(), 0, nullptr, 0, nullptr, emptyText, emptyText, tovelText, tovelText, 0,
               0, 0, 0);
    EXPECT_FALSE(std::filesystem::exists(recordPath()));
    EXPECT_TRUE(readStandinRecord(recordPath()).calls.empty());
}

TEST_F(StandinTest, ParserRejectsEveryTruncationAndForeignText) {
    const ScopedEnv recordTo("XELO_STANDIN_RECORD", recordPath().c_str());
    UnalignedArgv argv({"/b/app", "a\nb"});
    xeloLaunch(2, argv.get(), 0, nullptr, 0, nullptr, emptyText, emptyText, tovelText, tovelText, 0,
               0, 0, 0);
    const std::string text = recordText();
    ASSERT_EQ(1u, parseStandinRecord(text).calls.size());
    for (size_t length = 1; length < text.size(); ++length) {
        EXPECT_THROW(parseStandinRecord(text.substr(0, length)), std::runtime_error)
            << "prefix of " << length << " bytes";
    }
    for (const char* foreign :
         {"bogus 1\n", "main x\n", "main 1", "call 1\nargc 1\narg 9 short\n"}) {
        EXPECT_THROW(parseStandinRecord(foreign), std::runtime_error) << foreign;
    }
    EXPECT_EQ(std::vector<int>({0, -1}), parseStandinRecord("main 0\nmain -1\n").mainStatuses);
}

}  // namespace
