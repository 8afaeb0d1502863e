#include "launch/app.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "base/ErrorReporting.h"
#include "base/Log.h"
#include "testing/RecordingAppender.h"
#include "testing/ScopedDefaultAppender.h"
#include "testing/ScopedEnv.h"
#include "testing/StderrCapture.h"

namespace {

void succeed() {
    LOG_TRACE("working on " << 1 << " task");
}

void failDeepest() {
    throw makeException(tstrings::any() << "Deep failure in level " << 3, ZELT_SOURCE_POS);
}
void failDeeper() {
    failDeepest();
}
void failDeep() {
    LOG_TRACE("descending");
    failDeeper();
}

void throwBoom() {
    errno = EACCES;
    throw std::runtime_error("boom");
}

void throwInt() {
    throw 7;
}

// Source lines change with every edit, so they are compared as "#"; the
// exit record's line 0 is kept.
std::string withoutLineNumbers(const std::string& text) {
    static const std::regex line("(app(_test)?\\.cpp[:(])[1-9][0-9]*");
    return std::regex_replace(text, line, "$1#");
}

const std::string entering = "[TRACE] app.cpp:#: Entering launch\n";
const std::string exiting = "[TRACE] app.cpp:0: Exiting launch (entered at app.cpp:#)\n";
const std::string errorText = std::strerror(EACCES);

struct Routine {
    const char* name;
    void (*func)();
    int status;
    std::string quiet;   // standard error without logging
    std::string traced;  // standard error with logging, line numbers as "#"
};

const Routine routines[] = {
    {"Returns", succeed, 0, "", entering + "[TRACE] app_test.cpp:#: working on 1 task\n" + exiting},
    {"ThrowsProgramError", failDeep, 1, "Deep failure in level 3\n",
     entering + "[TRACE] app_test.cpp:#: descending\n" +
         "[ERROR] app.cpp:#: Exception with message 'app_test.cpp(#) at failDeepest(): "
         "Deep failure in level 3' caught\n" +
         "Deep failure in level 3\n" + exiting},
    {"ThrowsRuntimeError", throwBoom, 1, errorText + "\n",
     entering + "[ERROR] app.cpp:#: Exception with message 'boom' caught\n" + errorText + "\n" +
         exiting},
    {"ThrowsInt", throwInt, 1, "Unknown error\n",
     entering + "[ERROR] app.cpp:#: Unknown exception caught\nUnknown error\n" + exiting},
};

struct Debug {
    const char* name;
    const char* value;  // null: unset
    bool logging;
};

const Debug debugSettings[] = {
    {"Unset", nullptr, false},
    {"True", "true", true},
    {"Upper", "TRUE", false},
    {"LeadingBlank", " true", false},
    {"TrailingBlank", "true ", false},
    {"Digit", "1", false},
    {"Empty", "", false},
};

// Short names in test listings instead of the objects' bytes.
void PrintTo(const Routine& routine, std::ostream* out) {
    *out << routine.name;
}
void PrintTo(const Debug& debug, std::ostream* out) {
    *out << debug.name;
}

// Leaves the process-wide logger and environment as it found them.
class AppTest : public testing::Test {
protected:
    void setDebug(const char* value) { zeltDebug.emplace("ZELT_DEBUG", value); }

    // Runs `func` with its standard error captured.
    static int launchCapturing(void (*func)(), std::string& errors,
                               LogAppender* lastErrorAppender = nullptr) {
        StderrCapture capture;
        const int status = app::launch(std::nothrow, func, lastErrorAppender);
        errors = capture.finish();
        return status;
    }

private:
    const ScopedDefaultAppender appender;
    std::optional<ScopedEnv> zeltDebug;
};

class AppLaunchTest : public AppTest,
                      public testing::WithParamInterface<std::tuple<Routine, Debug>> {};

TEST_P(AppLaunchTest, StatusAndStandardError) {
    const Routine& routine = std::get<0>(GetParam());
    const Debug& debug = std::get<1>(GetParam());
    setDebug(debug.value);
    EXPECT_EQ(app::isWithLogging(), debug.logging);

    std::string errors;
    EXPECT_EQ(launchCapturing(routine.func, errors), routine.status);

    if (!debug.logging) {
        EXPECT_EQ(errors, routine.quiet);
        return;
    }
    EXPECT_EQ(withoutLineNumbers(errors), routine.traced);
    std::smatch entry;
    std::smatch exit;
    ASSERT_TRUE(std::regex_search(errors, entry, std::regex("app\\.cpp:([0-9]+): Entering")));
    ASSERT_TRUE(std::regex_search(errors, exit, std::regex("entered at app\\.cpp:([0-9]+)\\)")));
    EXPECT_EQ(entry[1], exit[1]);
}

INSTANTIATE_TEST_SUITE_P(RoutinesAndSettings, AppLaunchTest,
                         testing::Combine(testing::ValuesIn(routines),
                                          testing::ValuesIn(debugSettings)),
                         [](const testing::TestParamInfo<AppLaunchTest::ParamType>& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    std::get<1>(info.param).name;
                         });

TEST_F(AppTest, LastErrorMessageIsEmptyOutsideFailureHandling) {
    setDebug(nullptr);
    std::string errors;
    EXPECT_EQ(app::lastErrorMsg(), "");
    ASSERT_EQ(launchCapturing(failDeep, errors), 1);
    EXPECT_EQ(app::lastErrorMsg(), "");
    ASSERT_EQ(launchCapturing(succeed, errors), 0);
    EXPECT_EQ(app::lastErrorMsg(), "");
    ASSERT_EQ(launchCapturing(throwInt, errors), 1);
    EXPECT_EQ(app::lastErrorMsg(), "");
}

// Notes, with each record, the last error message at the time.
class LastErrorRecorder : public RecordingAppender {
public:
    void append(const LogEvent& event) override {
        RecordingAppender::append(event);
        lastErrors.push_back(app::lastErrorMsg());
    }

    std::vector<std::string> lastErrors;
};

TEST_F(AppTest, GivenLastErrorAppenderSeesOnlyTheErrorRecord) {
    for (const bool logging : {false, true}) {
        SCOPED_TRACE(logging ? "with logging" : "without logging");
        setDebug(logging ? "true" : nullptr);
        LastErrorRecorder recorder;
        std::string errors;

        ASSERT_EQ(launchCapturing(succeed, errors, &recorder), 0);
        EXPECT_TRUE(recorder.events.empty());

        ASSERT_EQ(launchCapturing(throwBoom, errors, &recorder), 1);
        ASSERT_EQ(recorder.events.size(), 1u);
        EXPECT_EQ(recorder.events[0].levelName, "ERROR");
        EXPECT_EQ(recorder.events[0].message, "Exception with message 'boom' caught");
        EXPECT_EQ(recorder.lastErrors, std::vector<std::string>{errorText});
        // The default last-error appender is not involved.
        EXPECT_EQ(errors.find(errorText), std::string::npos) << errors;
    }
}

TEST_F(AppTest, LeavesTheChosenAppenderInstalled) {
    const struct {
        const char* debug;
        std::string expected;
    } cases[] = {
        {nullptr, ""},
        {"true", "[TRACE] app_test.cpp:#: afterwards\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.debug != nullptr ? c.debug : "unset");
        setDebug(c.debug);
        std::string errors;
        ASSERT_EQ(launchCapturing(failDeep, errors), 1);

        StderrCapture capture;
        LOG_TRACE("afterwards");
        EXPECT_EQ(withoutLineNumbers(capture.finish()), c.expected);
    }
}

}  // namespace
