#include "base/tstrings.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using Items = std::vector<std::string>;

TEST(tstrings, ComparisonsHonourCaseMode) {
    EXPECT_FALSE(tstrings::equals("AbC", "aBc", tstrings::CaseSensitive));
    EXPECT_TRUE(tstrings::equals("AbC", "aBc", tstrings::CaseInsensitive));
    EXPECT_FALSE(tstrings::equals("abc", "abcd", tstrings::CaseInsensitive));
    EXPECT_TRUE(tstrings::equals("", ""));
    EXPECT_TRUE(tstrings::equals("A", "a", static_cast<tstrings::CompareType>(1)));
    EXPECT_FALSE(tstrings::equals("A", "a", static_cast<tstrings::CompareType>(2)));

    EXPECT_TRUE(tstrings::startsWith("-psn_1", "-psn_"));
    EXPECT_FALSE(tstrings::startsWith("-PSN_1", "-psn_"));
    EXPECT_TRUE(tstrings::startsWith("-PSN_1", "-psn_", tstrings::CaseInsensitive));
    EXPECT_TRUE(tstrings::startsWith("", ""));
    EXPECT_FALSE(tstrings::startsWith("ab", "abc"));
    EXPECT_TRUE(tstrings::endsWith("a/b/.", "/."));
    EXPECT_TRUE(tstrings::endsWith("FILE.CFG", ".cfg", tstrings::CaseInsensitive));
    EXPECT_FALSE(tstrings::endsWith("FILE.CFG", ".cfg"));
    EXPECT_TRUE(tstrings::endsWith("", ""));
    EXPECT_FALSE(tstrings::endsWith("c", "abc"));
}

TEST(tstrings, ToLowerFoldsAsciiLettersOnly) {
    EXPECT_EQ(tstrings::toLower("AZaz09-_[@"), "azaz09-_[@");
    EXPECT_EQ(tstrings::toLower("\xC3\x84\x80\xFF"), "\xC3\x84\x80\xFF");
}

TEST(tstrings, Split) {
    const struct {
        const char* text;
        const char* delimiter;
        tstrings::SplitType type;
        Items expected;
    } cases[] = {
        {"a:b:c", ":", tstrings::KeepEmpty, {"a", "b", "c"}},
        {"a::b", ":", tstrings::KeepEmpty, {"a", "", "b"}},
        {":", ":", tstrings::KeepEmpty, {"", ""}},
        {"a:b:", ":", tstrings::KeepEmpty, {"a", "b", ""}},
        {"abc", ":", tstrings::KeepEmpty, {"abc"}},
        {"", ":", tstrings::KeepEmpty, {}},
        {"a::b", ":", tstrings::SkipEmpty, {"a", "b"}},
        {"a:b:", ":", tstrings::SkipEmpty, {"a", "b"}},
        {":", ":", static_cast<tstrings::SplitType>(7), {}},
        {"ab", "abc", tstrings::KeepEmpty, {"ab"}},
        {"abc", "", tstrings::KeepEmpty, {}},
        {"a:::b", "::", tstrings::KeepEmpty, {"a", ":b"}},
    };
    for (const auto& c : cases) {
        Items list;
        tstrings::split(list, c.text, c.delimiter, c.type);
        EXPECT_EQ(list, c.expected) << "text '" << c.text << "' delimiter '" << c.delimiter << "'";
    }
}

TEST(tstrings, SplitAppendsToExistingItems) {
    Items list{"x"};
    tstrings::split(list, "a:b", ":", tstrings::KeepEmpty);
    EXPECT_EQ(list, (Items{"x", "a", "b"}));
}

TEST(tstrings, ReplaceAndCount) {
    const struct {
        const char *text, *search, *replacement, *expected;
        std::size_t count;
    } cases[] = {
        {"aaaa", "aa", "a", "aa", 2},
        {"aaa", "aa", "b", "ba", 1},
        {"aaa", "a", "aa", "aaaaaa", 3},
        {"abc", "", "x", "abc", 0},
        {"abc", "z", "x", "abc", 0},
        {"", "a", "x", "", 0},
        {"$APPDIR/a:$APPDIR/b", "$APPDIR", "/d", "/d/a:/d/b", 2},
        {"$$$$APPDIR$", "$APPDIR", "/d", "$$$/d$", 1},
        {"xx", "xx", "", "", 1},
        {"ab", "abc", "x", "ab", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tstrings::replace(c.text, c.search, c.replacement), c.expected)
            << "replace '" << c.search << "' in '" << c.text << "'";
        const std::string search = c.search;
        const tstrings::Occurrences occurrences(search);
        EXPECT_EQ(occurrences.count(c.text), c.count)
            << "count '" << c.search << "' in '" << c.text << "'";
        EXPECT_EQ(occurrences.replace(c.text, c.replacement), c.expected);
    }
}

TEST(tstrings, TrimKeepsInnerBytes) {
    EXPECT_EQ(tstrings::trim("  b c\t", " \t"), "b c");
    EXPECT_EQ(tstrings::trim(" \t ", " \t"), "");
    EXPECT_EQ(tstrings::trim("", " "), "");
    EXPECT_EQ(tstrings::trim(" a ", ""), " a ");
}

TEST(tstrings, Join) {
    const Items none, one{"a"}, three{"a", "", "c"};
    EXPECT_EQ(tstrings::join(none.begin(), none.end(), ":"), "");
    EXPECT_EQ(tstrings::join(one.begin(), one.end(), ":"), "a");
    EXPECT_EQ(tstrings::join(three.begin(), three.end(), ", "), "a, , c");
}

TEST(tstrings, UnsafeFormatGrowsPastTheFirstBuffer) {
    const std::string long300(300, 'x');
    const std::string result = tstrings::unsafe_format("%s", long300.c_str());
    EXPECT_EQ(result.size(), 300u);
    EXPECT_EQ(result, long300);
    const std::string exactly256(256, 'y');
    EXPECT_EQ(tstrings::unsafe_format("%s", exactly256.c_str()), exactly256);
    EXPECT_EQ(tstrings::unsafe_format("%d-%s", 42, "z"), "42-z");
}

TEST(tstrings, UnsafeFormatRejectsNullFormat) {
    const char* format = nullptr;
    EXPECT_THROW(tstrings::unsafe_format(format), std::invalid_argument);
}

TEST(tstrings, AnyStreamsPiecesInOrder) {
    tstrings::any message("x=");
    message << 12 << ' ' << std::string("y") << -3;
    EXPECT_EQ(message.str(), "x=12 y-3");
    EXPECT_EQ((tstrings::any() << "").str(), "");
}

}  // namespace
