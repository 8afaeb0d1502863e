#include "launch/app.h"

#include <iostream>
#include <memory>

#include "base/ErrorReporting.h"
#include "base/Log.h"
#include "platform/SysInfo.h"

namespace {

// Holds an appender for the whole life of the process: constant-initialised,
// and never destroyed, so records logged during static destruction still
// reach a live sink.
template <class T>
union Immortal {
    constexpr Immortal() : object() {}
    ~Immortal() {}
    T object;
};

const std::string* theLastErrorMsg = nullptr;

// One line per record: "[{level}] {file}:{line}: {message}".
class StandardLogAppender : public LogAppender {
public:
    void append(const LogEvent& event) override {
        std::cerr << "[" << event.levelName << "] " << event.sourceFile << ":" << event.sourceLine
                  << ": " << event.message << std::endl;
    }
};

// Shows the bare failure message, whatever the record says.
class LastErrorLogAppender : public LogAppender {
public:
    void append(const LogEvent&) override { std::cerr << app::lastErrorMsg() << std::endl; }
};

Immortal<NopLogAppender> nopLogAppender;
Immortal<StandardLogAppender> standardLogAppender;
Immortal<LastErrorLogAppender> lastErrorLogAppender;

// Reports the exception being handled as one ERROR record.
void reportCurrentException(const SourceCodePos& pos) {
    try {
        throw;
    } catch (const std::runtime_error& e) {
        reportError(pos, e);
    } catch (...) {
        reportUnknownError(pos);
    }
}

// The failure message of one run; lastErrorMsg() sees it until the run ends.
class LastErrorMsg {
public:
    LastErrorMsg() = default;
    LastErrorMsg(const LastErrorMsg&) = delete;
    LastErrorMsg& operator=(const LastErrorMsg&) = delete;
    ~LastErrorMsg() { theLastErrorMsg = nullptr; }

    void set(const std::string& text) {
        msg = text;
        theLastErrorMsg = &msg;
    }

private:
    std::string msg;
};

// Adds the last-error appender when the guarded region is left, before any
// handler runs, so the failure's report reaches it.
class SetLoggerAtEndOfScope {
public:
    SetLoggerAtEndOfScope(std::unique_ptr<WithExtraLogAppender>& withLogAppender,
                          LogAppender* lastErrorLogAppender)
        : withLogAppender(withLogAppender), lastErrorLogAppender(lastErrorLogAppender) {}
    SetLoggerAtEndOfScope(const SetLoggerAtEndOfScope&) = delete;
    SetLoggerAtEndOfScope& operator=(const SetLoggerAtEndOfScope&) = delete;

    ~SetLoggerAtEndOfScope() {
        try {
            withLogAppender = std::make_unique<WithExtraLogAppender>(*lastErrorLogAppender);
        } catch (...) {
            reportCurrentException(SourceCodePos(__FILE__, "~SetLoggerAtEndOfScope", __LINE__));
        }
    }

private:
    std::unique_ptr<WithExtraLogAppender>& withLogAppender;
    LogAppender* lastErrorLogAppender;
};

}  // namespace

namespace app {

int launch(const std::nothrow_t&, void (*func)(), LogAppender* lastErrorLogAppender) {
    if (isWithLogging()) {
        Logger::defaultLogger().setAppender(standardLogAppender.object);
    } else {
        Logger::defaultLogger().setAppender(nopLogAppender.object);
    }
    const Logger::ScopeTracer tracer(Logger::defaultLogger(), Logger::TRACE, __FILE__, __LINE__,
                                     "launch", "launch");
    if (lastErrorLogAppender == nullptr) {
        lastErrorLogAppender = &defaultLastErrorLogAppender();
    }
    // Declared in the reverse order of their release: the message is
    // withdrawn first, then the tee, then the tracer logs its exit.
    std::unique_ptr<WithExtraLogAppender> withLastErrorLogAppender;
    LastErrorMsg errorMsg;
    int status = 1;
    try {
        const SetLoggerAtEndOfScope setLogger(withLastErrorLogAppender, lastErrorLogAppender);
        func();
        status = 0;
    } catch (const ZeltErrorBase& e) {
        errorMsg.set(e.rawMessage());
        reportCurrentException(ZELT_SOURCE_POS);
    } catch (const std::runtime_error&) {
        errorMsg.set(lastCRTError());
        reportCurrentException(ZELT_SOURCE_POS);
    } catch (...) {
        errorMsg.set("Unknown error");
        reportCurrentException(ZELT_SOURCE_POS);
    }
    return status;
}

bool isWithLogging() {
    return SysInfo::getEnvVariable(std::nothrow, "ZELT_DEBUG", "") == "true";
}

LogAppender& defaultLastErrorLogAppender() {
    return lastErrorLogAppender.object;
}

std::string lastErrorMsg() {
    return theLastErrorMsg != nullptr ? *theLastErrorMsg : std::string();
}

}  // namespace app
