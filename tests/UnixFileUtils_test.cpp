#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "base/FileUtils.h"
#include "testing/RaisedError.h"
#include "testing/ScopedCurrentDir.h"
#include "testing/TempDir.h"

namespace {

// Runs each test in a fresh temporary directory and returns to the
// original working directory afterwards.
class FileSystemTest : public testing::Test {
protected:
    const TempDir dir{"zelt-fs"};
    const ScopedCurrentDir inDir{dir.path()};
};

TEST_F(FileSystemTest, IsFileExistsFollowsLinks) {
    ASSERT_EQ(mkdir("dir", 0755), 0);
    ASSERT_EQ(symlink("missing", "dangling"), 0);
    ASSERT_EQ(symlink("dir", "dirlink"), 0);
    EXPECT_TRUE(FileUtils::isFileExists("dir"));
    EXPECT_TRUE(FileUtils::isFileExists(dir.path("dirlink")));
    EXPECT_FALSE(FileUtils::isFileExists("dangling"));
    EXPECT_FALSE(FileUtils::isFileExists("missing"));
    EXPECT_FALSE(FileUtils::isFileExists(""));
}

TEST_F(FileSystemTest, ToAbsolutePath) {
    EXPECT_EQ(FileUtils::toAbsolutePath(""), dir.path());
    EXPECT_EQ(FileUtils::toAbsolutePath("a/../b/./c"), dir.path("a/../b/./c"));
    EXPECT_EQ(FileUtils::toAbsolutePath("/x/./y"), "/x/./y");
    EXPECT_EQ(FileUtils::toAbsolutePath("\\x"), "\\x");
    ASSERT_EQ(chdir("/"), 0);
    EXPECT_EQ(FileUtils::toAbsolutePath("a"), "/a");
}

TEST_F(FileSystemTest, ToAbsolutePathFailsForACurrentDirectoryBeyondTheBuffer) {
    // Nest directories until the path no longer fits 1023 bytes plus its NUL.
    const std::string name(100, 'd');
    std::string path = dir.path();
    while (path.size() <= 1023) {
        ASSERT_EQ(mkdir(name.c_str(), 0755), 0);
        ASSERT_EQ(chdir(name.c_str()), 0);
        path += "/" + name;
    }
    SCOPED_TRACE("a current directory of " + std::to_string(path.size()) + " bytes");
    EXPECT_EQ(raisedError([] { FileUtils::toAbsolutePath("relative"); }).raw,
              "getcwd() failed. Error: " + std::string(strerror(ERANGE)));
    EXPECT_EQ(FileUtils::toAbsolutePath("/abs"), "/abs");
}

}  // namespace
