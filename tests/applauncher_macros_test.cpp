// End-to-end: macro expansion under bundle paths that a hostile packager
// chose, with the real launcher and the stand-in runtime.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "BundleFixture.h"

namespace {

using Args = std::vector<std::string>;

std::string repeated(const std::string& text, std::size_t count) {
    std::string result;
    result.reserve(text.size() * count);
    for (std::size_t i = 0; i < count; ++i) {
        result += text;
    }
    return result;
}

// A bundle whose directory name holds "$ROOTDIR" 25 times: every use of a
// macro brings in 25 more, so a value full of them grows without end. The
// launcher must fail quickly with one short line, before any runtime call.
TEST(LauncherMacros, RunawayExpansionFailsWithOneShortLine) {
    const BundleFixture bundle(repeated("$ROOTDIR", 25) + ".app");
    bundle.installRuntime();
    for (const std::size_t size : {std::size_t(1) << 20, std::size_t(16) << 20}) {
        SCOPED_TRACE(size);
        const std::string value = repeated("$ROOTDIR", size / 8);
        bundle.writeConfig("[Application]\napp.mainclass=M\napp.classpath=" + value + "\n");

        const ProcessResult result = bundle.run();

        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.err,
                  "Macro expansion of \"" + value.substr(0, 80) + "...\" does not terminate\n");
        EXPECT_EQ(result.out, "");
        EXPECT_FALSE(std::filesystem::exists(bundle.recordPath()));
    }
}

// Under a bundle directory whose name ends in "$", "$ROOTDIR" followed by
// "ROOTDIR" forms a new name at the edge of each replacement; such values
// settle one pass per "ROOTDIR", and long chains still come out exact.
TEST(LauncherMacros, NamesFormedAcrossReplacementsResolveExactly) {
    const BundleFixture bundle("B$");
    bundle.installRuntime();
    const std::string root = bundle.root();
    const std::string stem = root.substr(0, root.size() - 1);
    const std::size_t links = 150;
    bundle.writeConfig("[Application]\napp.mainclass=M\napp.classpath=$ROOTDIR" +
                       repeated("ROOTDIR", links) + "\napp.classpath=$APPDIR/a.jar\n");

    const ProcessResult result = bundle.run({}, {"DYLD_LIBRARY_PATH=/x"});

    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const StandinRecord record = bundle.record();
    ASSERT_EQ(record.calls.size(), 1u);
    const Args expected{bundle.launcherPath(), "-classpath",
                        repeated(stem, links + 1) + "$:" + bundle.appDir() + "/a.jar",
                        "-Dzelt.app-path=" + bundle.launcherPath(), "M"};
    EXPECT_EQ(record.calls[0].args, expected);
    EXPECT_EQ(record.calls[0].libraryPathVariable, "/x:" + bundle.appDir());
}

}  // namespace
