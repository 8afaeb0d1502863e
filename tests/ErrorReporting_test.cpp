#include "base/ErrorReporting.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>

#include "base/Log.h"
#include "testing/RecordingAppender.h"
#include "testing/ScopedDefaultAppender.h"
#include "testing/TempDir.h"

namespace {

TEST(ErrorReporting, ErrorCarriesRawAndPositionedMessages) {
    const struct {
        const char* file;
        int line;
        const char* what;
    } cases[] = {
        {"a/b/c", 7, "c(7) at f(): x"},
        {"a\\b\\c.cpp", 7, "c.cpp(7) at f(): x"},
        {"plain.cpp", 7, "plain.cpp(7) at f(): x"},
        {"a/b/", 7, "(7) at f(): x"},
        {"c", -12, "c(-12) at f(): x"},
    };
    for (const auto& c : cases) {
        const auto error = makeException("x", SourceCodePos(c.file, "f", c.line));
        EXPECT_STREQ(error.rawMessage(), "x");
        EXPECT_STREQ(error.what(), c.what);
    }
    const auto built = makeException(tstrings::any() << "n=" << 3, SourceCodePos("p/q", "g", 1));
    EXPECT_STREQ(built.rawMessage(), "n=3");
    EXPECT_STREQ(built.what(), "q(1) at g(): n=3");
}

TEST(ErrorReporting, ThrownErrorIsCaughtAsEitherBase) {
    try {
        throw makeException("deep", ZELT_SOURCE_POS);
    } catch (const ZeltErrorBase& e) {
        EXPECT_STREQ(e.rawMessage(), "deep");
        try {
            throw;
        } catch (const std::runtime_error& r) {
            EXPECT_NE(std::string(r.what()).find("ErrorReporting_test.cpp("), std::string::npos);
            EXPECT_NE(std::string(r.what()).find(") at TestBody(): deep"), std::string::npos);
        }
    }
}

TEST(ErrorReporting, ReportErrorWritesOneErrorRecordAtTheCatchingSite) {
    RecordingAppender recorder;
    const ScopedDefaultAppender logTo(recorder);
    Logger::defaultLogger().setLogLevel(Logger::ERROR);
    reportError(SourceCodePos("x/catch.cpp", "handler", 40), std::runtime_error("boom"));
    reportError(SourceCodePos("catch.cpp", "handler", 41),
                makeException("inner", SourceCodePos("deep/thrower.cpp", "f", 3)));
    reportUnknownError(SourceCodePos("y\\other.cpp", "guard", 50));
    Logger::defaultLogger().setLogLevel(Logger::TRACE);

    ASSERT_EQ(recorder.events.size(), 3u);
    const auto& plain = recorder.events[0];
    EXPECT_EQ(plain.levelName, "ERROR");
    EXPECT_EQ(plain.sourceFile, "catch.cpp");
    EXPECT_EQ(plain.sourceLine, 40);
    EXPECT_EQ(plain.functionName, "handler");
    EXPECT_EQ(plain.message, "Exception with message 'boom' caught");
    EXPECT_EQ(recorder.events[1].message,
              "Exception with message 'thrower.cpp(3) at f(): inner' caught");
    const auto& unknown = recorder.events[2];
    EXPECT_EQ(unknown.message, "Unknown exception caught");
    EXPECT_EQ(unknown.sourceFile, "other.cpp");
    EXPECT_EQ(unknown.sourceLine, 50);
    EXPECT_EQ(unknown.functionName, "guard");
}

TEST(ErrorReporting, JoinErrorMessages) {
    const struct {
        const char *first, *second, *expected;
    } cases[] = {
        {"Failed to load", "file missing", "Failed to load. file missing"},
        {"Error:", "x", "Error: x"},
        {"Done.  ", " next", "Done. next"},
        {"Done\n", "", "Done"},
        {"   ", " x ", "x"},
        {"", "", ""},
        {"\ta", "b", "\ta. b"},
        {"why?", "because", "why? because"},
        {"a", "\r\v\f", "a"},
        {"a\xA0", "b", "a\xA0. b"},
        {"a\xAE", "\x85x", "a\xAE. \x85x"},  // neither a high "." nor NEL is special
    };
    for (const auto& c : cases) {
        EXPECT_EQ(joinErrorMessages(c.first, c.second), c.expected)
            << "'" << c.first << "' + '" << c.second << "'";
    }
}

// Read right after each of a run of real failures, the text follows the
// code that the latest one left, not the first or a fixed one.
TEST(ErrorReporting, LastCRTErrorDescribesTheLatestFailingCall) {
    const TempDir dir("zelt-crt");
    const std::string file = dir.path("file");
    std::ofstream(file) << "x";
    const struct {
        const char* what;
        std::function<int()> call;  // returns -1 on failure
        int error;
    } cases[] = {
        {"opening a missing file", [&] { return ::open(dir.path("missing").c_str(), O_RDONLY); },
         ENOENT},
        {"making a directory that exists", [&] { return ::mkdir(dir.path().c_str(), 0700); },
         EEXIST},
        {"a file taken for a directory", [&] { return ::open((file + "/x").c_str(), O_RDONLY); },
         ENOTDIR},
        {"opening a directory to write", [&] { return ::open(dir.path().c_str(), O_WRONLY); },
         EISDIR},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(c.call(), -1);
        EXPECT_EQ(lastCRTError(), std::strerror(c.error));
    }
}

}  // namespace
