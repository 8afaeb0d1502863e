#include "base/FileUtils.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// The same table holds for "\" in place of every "/".
std::string backslashed(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

struct PathCase {
    const char *input, *dirname, *basename, *suffix, *withoutTrailingSlash;
};

const PathCase pathCases[] = {
    {"", "", "", "", ""},
    {"a", "", "a", "", "a"},
    {"/", "", "", "", ""},
    {"//", "", "", "", ""},
    {"/a", "", "a", "", "/a"},
    {"a/", "a", "", "", "a"},
    {"a/b", "a", "b", "", "a/b"},
    {"a//b", "a", "b", "", "a//b"},
    {"a/b/", "a/b", "", "", "a/b"},
    {"a/b//", "a/b", "", "", "a/b"},
    {"/usr/lib", "/usr", "lib", "", "/usr/lib"},
    {".", "", ".", ".", "."},
    {"..", "", "..", "", ".."},
    {"/.", "", ".", ".", "/."},
    {"a/.", "", ".", ".", "a/."},
    {"a/b/.", "a", ".", ".", "a/b/."},
    {"a/..", "a", "..", "", "a/.."},
    {"./a", ".", "a", "", "./a"},
    {"../a", "..", "a", "", "../a"},
    {"a/./b", "a/.", "b", "", "a/./b"},
    {"file.txt", "", "file.txt", ".txt", "file.txt"},
    {"a.tar.gz", "", "a.tar.gz", ".gz", "a.tar.gz"},
    {"dir.d/file", "dir.d", "file", "", "dir.d/file"},
    {".profile", "", ".profile", ".profile", ".profile"},
    {"a/.profile", "a", ".profile", ".profile", "a/.profile"},
    {"x.", "", "x.", ".", "x."},
    {"a..", "", "a..", ".", "a.."},
    {"a..b", "", "a..b", ".b", "a..b"},
    {"..x", "", "..x", "", "..x"},
    {"...x", "", "...x", ".x", "...x"},
    {"a/..b", "a", "..b", "", "a/..b"},
    // Bytes from 0x80 up whose low seven bits are "/", "\" or "." are plain bytes.
    {"\xC3\xA9\xAF\xDC/x\xAE.\xFF", "\xC3\xA9\xAF\xDC", "x\xAE.\xFF", ".\xFF",
     "\xC3\xA9\xAF\xDC/x\xAE.\xFF"},
};

TEST(FileUtils, PathParts) {
    for (const auto& c : pathCases) {
        for (const bool back : {false, true}) {
            const auto convert = [back](const char* s) { return back ? backslashed(s) : s; };
            const std::string input = convert(c.input);
            SCOPED_TRACE("input '" + input + "'");
            EXPECT_EQ(FileUtils::dirname(input), convert(c.dirname));
            EXPECT_EQ(FileUtils::basename(input), convert(c.basename));
            EXPECT_EQ(FileUtils::suffix(input), convert(c.suffix));
            EXPECT_EQ(FileUtils::removeTrailingSlash(input), convert(c.withoutTrailingSlash));
        }
    }
}

TEST(FileUtils, CombinePath) {
    const struct {
        const char *parent, *child, *expected;
    } cases[] = {
        {"", "", ""},
        {"a", "", "a"},
        {"a/", "", "a/"},
        {"", "b", "b"},
        {"", "/b", "/b"},
        {"a", "b", "a/b"},
        {"a/", "b", "a/b"},
        {"a//", "/b", "a/b"},
        {"a", "//b", "a//b"},
        {"/", "b", "/b"},
        {"//", "b", "/b"},
        {"/", "/", "/"},
        {"a/", "/", "a/"},
        {"a", "b/", "a/b/"},
        // Backslashes are removed like slashes, but the inserted separator is "/".
        {"a\\", "\\b", "a/b"},
        {"a\\", "", "a\\"},
        {"", "\\b", "\\b"},
        {"a", "\\\\b", "a/\\b"},
        {"\\/", "b", "/b"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FileUtils::combinePath(c.parent, c.child), c.expected)
            << "'" << c.parent << "' + '" << c.child << "'";
    }
}

TEST(FileUtils, ReplaceSuffix) {
    const struct {
        const char *path, *newSuffix, *expected;
    } cases[] = {
        {"a.txt", ".cfg", "a.cfg"},
        {"a", ".cfg", "a.cfg"},
        {"a.b/c", ".cfg", "a.b/c.cfg"},
        {"a.tar.gz", ".zip", "a.tar.zip"},
        {"dir/app.exe", "", "dir/app"},
        {".profile", ".x", ".x"},
        {"a..", ".x", "a..x"},
        {"..", ".x", "...x"},
        {"a.b\\c", ".cfg", "a.b\\c.cfg"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FileUtils::replaceSuffix(c.path, c.newSuffix), c.expected) << c.path;
    }
}

TEST(FileUtils, NormalizePathTurnsBackslashesOnly) {
    EXPECT_EQ(FileUtils::normalizePath("a\\b//c\\..\\D"), "a/b//c/../D");
    EXPECT_TRUE(FileUtils::isDirSeparator('\\'));
    EXPECT_FALSE(FileUtils::isDirSeparator(':'));
}

}  // namespace
