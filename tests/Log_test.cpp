#include "base/Log.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <cstdio>
#include <sstream>

#include "testing/RecordingAppender.h"
#include "testing/ScopedDefaultAppender.h"

namespace {

TEST(LoggerDeathTest, DefaultLoggerWritesTwoLineRecordsToStandardOutputBeforeAnySetUp) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The child is a fresh process: the default logger has never been used.
    // Its standard output goes where the death test reads, its standard
    // error nowhere, so only records on standard output can match.
    EXPECT_EXIT(
        {
            dup2(STDERR_FILENO, STDOUT_FILENO);
            dup2(open("/dev/null", O_WRONLY), STDERR_FILENO);
            Logger::defaultLogger().log(Logger::TRACE, "dir/x.cpp", 12, "f", "hello");
            Logger::defaultLogger().log(Logger::ERROR, "y", -3, "g", "two\nlines");
            std::exit(0);
        },
        testing::ExitedWithCode(0),
        "\\[x.cpp:12 \\(f\\)\\]\n\tTRACE: hello\n\\[y:-3 \\(g\\)\\]\n\tERROR: two\nlines\n$");
}

TEST(Logger, IsLoggableComparesWithTheLevel) {
    NopLogAppender nop;
    Logger logger(nop, Logger::TRACE);
    EXPECT_TRUE(logger.isLoggable(Logger::TRACE));
    logger.setLogLevel(Logger::WARNING);
    EXPECT_FALSE(logger.isLoggable(Logger::INFO));
    EXPECT_TRUE(logger.isLoggable(Logger::WARNING));
    EXPECT_TRUE(logger.isLoggable(Logger::ERROR));
    EXPECT_TRUE(Logger::defaultLogger().isLoggable(Logger::TRACE));
}

TEST(Logger, LogFillsTheRecordWhateverTheLevel) {
    RecordingAppender recorder;
    Logger logger(recorder, Logger::ERROR);
    const struct {
        int level;
        const char* path;
        const char* levelName;
        const char* sourceFile;
    } cases[] = {
        {0, "dir/sub/name", "TRACE", "name"}, {1, "dir\\name", "INFO", "name"},
        {2, "name", "WARNING", "name"},       {3, "dir/", "ERROR", ""},
        {4, "a/b", "UNKNOWN", "b"},           {-1, "a/b", "UNKNOWN", "b"},
    };
    for (const auto& c : cases) {
        logger.log(static_cast<Logger::LogLevel>(c.level), c.path, 7, "fn", "msg");
    }
    ASSERT_EQ(recorder.events.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        const LogEvent& event = recorder.events[i];
        EXPECT_EQ(event.levelName, cases[i].levelName);
        EXPECT_EQ(event.sourceFile, cases[i].sourceFile);
        EXPECT_EQ(event.sourceLine, 7);
        EXPECT_EQ(event.functionName, "fn");
        EXPECT_EQ(event.message, "msg");
    }
}

TEST(StreamLogAppender, WritesHeaderLineAndIndentedMessage) {
    std::ostringstream out;
    StreamLogAppender appender(out);
    Logger logger(appender, Logger::TRACE);
    logger.log(Logger::INFO, "src/x", 12, "f", "hello");
    logger.log(Logger::WARNING, "w", -5, "g", "a\nb");
    EXPECT_EQ(out.str(), "[x:12 (f)]\n\tINFO: hello\n[w:-5 (g)]\n\tWARNING: a\nb\n");
}

TEST(TeeLogAppender, ForwardsToEachTargetInOrderSkippingNull) {
    struct Ordered : LogAppender {
        Ordered(std::string& trail, char mark) : trail(trail), mark(mark) {}
        void append(const LogEvent&) override { trail += mark; }
        std::string& trail;
        char mark;
    };
    std::string trail;
    Ordered a(trail, 'a'), b(trail, 'b');
    const LogEvent event;
    TeeLogAppender(&a, &b).append(event);
    TeeLogAppender(nullptr, &b).append(event);
    TeeLogAppender(&a, nullptr).append(event);
    TeeLogAppender(nullptr, nullptr).append(event);
    EXPECT_EQ(trail, "abba");
}

TEST(ScopeTracer, DecidesOnceAtEntry) {
    RecordingAppender recorder;
    Logger logger(recorder, Logger::WARNING);
    {
        Logger::ScopeTracer tracer(logger, Logger::TRACE, "a/t.cpp", 9, "f", "quiet");
        logger.setLogLevel(Logger::TRACE);
    }
    EXPECT_TRUE(recorder.events.empty());
    {
        Logger::ScopeTracer tracer(logger, Logger::TRACE, "a/t.cpp", 9, "f", "launch");
        logger.setLogLevel(Logger::ERROR);
    }
    ASSERT_EQ(recorder.events.size(), 2u);
    EXPECT_EQ(recorder.events[0].message, "Entering launch");
    EXPECT_EQ(recorder.events[0].sourceLine, 9);
    EXPECT_EQ(recorder.events[1].message, "Exiting launch (entered at t.cpp:9)");
    EXPECT_EQ(recorder.events[1].sourceLine, 0);
    EXPECT_EQ(recorder.events[1].sourceFile, "t.cpp");
    EXPECT_EQ(recorder.events[1].functionName, "f");
    EXPECT_EQ(recorder.events[1].levelName, "TRACE");
}

TEST(DefaultLogger, NestedExtraAppendersRestoreInReverseOrder) {
    RecordingAppender base, first, second;
    const ScopedDefaultAppender logTo(base);
    Logger& logger = Logger::defaultLogger();
    const auto logOne = [&logger] { logger.log(Logger::INFO, "f", 1, "g", "m"); };
    {
        WithExtraLogAppender outer(first);
        logOne();
        {
            WithExtraLogAppender inner(second);
            logOne();
        }
        logOne();
    }
    logOne();
    EXPECT_EQ(&logger.getAppender(), &base);
    EXPECT_EQ(base.events.size(), 4u);
    EXPECT_EQ(first.events.size(), 3u);
    EXPECT_EQ(second.events.size(), 1u);
}

TEST(DefaultLogger, LogMacroBuildsNoMessageWhenNotLoggable) {
    RecordingAppender recorder;
    const ScopedDefaultAppender logTo(recorder);
    int built = 0;
    const auto piece = [&built] { return ++built; };
    Logger::defaultLogger().setLogLevel(Logger::ERROR);
    LOG_WARNING("value " << piece());
    Logger::defaultLogger().setLogLevel(Logger::TRACE);
    LOG_TRACE("value " << piece());
    EXPECT_EQ(built, 1);
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_EQ(recorder.events[0].message, "value 1");
    EXPECT_EQ(recorder.events[0].sourceFile, "Log_test.cpp");
    EXPECT_EQ(recorder.events[0].functionName, "TestBody");
}

}  // namespace
