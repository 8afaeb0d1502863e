#include "platform/Dll.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>

#include "testing/RaisedError.h"
#include "testing/TempDir.h"

namespace {

const std::string fixturePath = ZELT_DLL_FIXTURE;
const std::string unresolvedFixturePath = ZELT_DLL_UNRESOLVED_FIXTURE;

typedef int (*AnswerFunc)();

// Asks the loader without loading anything.
bool isLoaded(const std::string& path) {
    void* handle = ::dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle != nullptr) {
        ::dlclose(handle);
    }
    return handle != nullptr;
}

void expectLoaderMessage(const RaisedError& error, const std::string& start,
                         const std::string& function) {
    ASSERT_EQ(error.raw.substr(0, start.size()), start) << error.raw;
    EXPECT_GT(error.raw.size(), start.size()) << "the loader's own text is missing";
    EXPECT_NE(error.full.find(") at " + function + "(): " + error.raw), std::string::npos)
        << error.full;
}

class DllTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(isLoaded(fixturePath)) << "left loaded by another test"; }
};

TEST_F(DllTest, LoadsUntilDestroyed) {
    {
        const Dll library(tstrings::any() << fixturePath);
        EXPECT_EQ(library.path(), fixturePath);
        EXPECT_TRUE(isLoaded(fixturePath));
        void* address = library.getFunction("zeltFixtureAnswer", true);
        ASSERT_NE(address, nullptr);
        EXPECT_EQ(reinterpret_cast<AnswerFunc>(address)(), 42);

        AnswerFunc typed = nullptr;
        library.getFunction(tstrings::any() << "zeltFixtureAnswer", typed);
        EXPECT_EQ(typed, address);
    }
    EXPECT_FALSE(isLoaded(fixturePath));
}

TEST_F(DllTest, CopyOwnsItsOwnLoad) {
    auto original = std::make_unique<Dll>(tstrings::any() << fixturePath);
    {
        const Dll copy(*original);
        original.reset();
        ASSERT_TRUE(isLoaded(fixturePath));
        EXPECT_EQ(copy.path(), fixturePath);
        EXPECT_EQ(reinterpret_cast<AnswerFunc>(copy.getFunction("zeltFixtureAnswer", true))(), 42);
    }
    EXPECT_FALSE(isLoaded(fixturePath));
}

TEST_F(DllTest, BindsLazilyAndKeepsSymbolsLocal) {
    ASSERT_EQ(::dlopen(unresolvedFixturePath.c_str(), RTLD_NOW), nullptr)
        << "the fixture must need lazy binding";
    const Dll library(tstrings::any() << unresolvedFixturePath);
    EXPECT_NE(library.getFunction("zeltFixtureCallNowhere", false), nullptr);
    EXPECT_EQ(::dlsym(RTLD_DEFAULT, "zeltFixtureCallNowhere"), nullptr);
}

TEST_F(DllTest, MissingSymbolWithoutFlagIsNull) {
    const Dll library(tstrings::any() << fixturePath);
    EXPECT_EQ(library.getFunction("zeltFixtureMissing", false), nullptr);
}

TEST_F(DllTest, MissingSymbolFailsEveryThrowingLookup) {
    const struct {
        const char* name;
        std::function<void(const Dll&)> lookUp;
    } cases[] = {
        {"flagged lookup", [](const Dll& dll) { dll.getFunction("zeltFixtureMissing", true); }},
        {"typed lookup",
         [](const Dll& dll) {
             AnswerFunc f = nullptr;
             dll.getFunction(tstrings::any() << "zeltFixtureMissing", f);
         }},
        {"function object",
         [](const Dll& dll) {
             const DllFunction<void*> f(dll, tstrings::any() << "zeltFixtureMissing");
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        {
            const Dll library(tstrings::any() << fixturePath);
            const RaisedError error = raisedError([&] { c.lookUp(library); });
            expectLoaderMessage(
                error,
                "dlsym(" + fixturePath + ", zeltFixtureMissing) failed. Error: ", "getFunction");
            EXPECT_NE(error.raw.find("zeltFixtureMissing", error.raw.find("Error: ")),
                      std::string::npos)
                << "the loader's text should name the symbol: " << error.raw;
        }
        // A failed lookup leaves no load of its own behind.
        EXPECT_FALSE(isLoaded(fixturePath));
    }
}

TEST_F(DllTest, FailsToLoadWhatIsNotALibrary) {
    const TempDir dir("zelt-dll");
    std::ofstream(dir.path("notes.txt")) << "not a library\n";
    for (const std::string& path : {dir.path("missing.so"), dir.path("notes.txt"), dir.path()}) {
        SCOPED_TRACE(path);
        expectLoaderMessage(raisedError([&] { Dll library(tstrings::any() << path); }),
                            "dlopen(" + path + ") failed. Error: ", "loadLibrary");
    }
}

// In a child process: handing null to the loader may crash it.
TEST(DllDeathTest, FreeingNullDoesNotReachTheLoader) {
    EXPECT_EXIT(
        {
            ::dlerror();
            Dll::freeLibrary(nullptr);
            std::exit(::dlerror() == nullptr ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(DllTest, FunctionObjectKeepsItsLibraryLoaded) {
    {
        auto library = std::make_unique<Dll>(tstrings::any() << fixturePath);
        const DllFunction<void*> answer(*library, tstrings::any() << "zeltFixtureAnswer");
        library.reset();
        ASSERT_TRUE(isLoaded(fixturePath));
        EXPECT_EQ(reinterpret_cast<AnswerFunc>(static_cast<void*>(answer))(), 42);
    }
    EXPECT_FALSE(isLoaded(fixturePath));
}

}  // namespace
