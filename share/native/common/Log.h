#ifndef ZELT_BASE_LOG_H
#define ZELT_BASE_LOG_H

#include <ostream>
#include <string>

#include "base/PlatformLogEvent.h"
#include "base/tstrings.h"

// One log record.
struct LogEvent : PlatformLogEvent {
    std::string levelName;
    std::string sourceFile;
    int sourceLine = 0;
    std::string functionName;
    std::string message;

    static void init(PlatformLogEvent& event);
    static void appendFormatted(const PlatformLogEvent& event, std::string& buffer);
};

// A sink for log records. Appenders never own what they point to.
class LogAppender {
public:
    virtual ~LogAppender() = default;
    virtual void append(const LogEvent& event) = 0;
};

// Writes each record as two lines: "[file:line (function)]" and a
// tab-indented "LEVEL: message".
class StreamLogAppender : public LogAppender {
public:
    explicit StreamLogAppender(std::ostream& stream) : stream(&stream) {}
    void append(const LogEvent& event) override;

private:
    std::ostream* stream;
};

class NopLogAppender : public LogAppender {
public:
    void append(const LogEvent&) override {}
};

// Forwards each record to `first`, then to `second`; either may be null.
class TeeLogAppender : public LogAppender {
public:
    TeeLogAppender(LogAppender* first, LogAppender* second) : first(first), second(second) {}
    void append(const LogEvent& event) override;

private:
    LogAppender* first;
    LogAppender* second;
};

class Logger {
public:
    enum LogLevel : int { TRACE = 0, INFO = 1, WARNING = 2, ERROR = 3 };

    Logger(LogAppender& appender, LogLevel level) : level(level), appender(&appender) {}

    // The process-wide logger; usable from any point of the process's life.
    static Logger& defaultLogger();

    void setLogLevel(LogLevel newLevel) { level = newLevel; }
    bool isLoggable(LogLevel candidate) const { return candidate >= level; }

    // Hands one record to the appender; the caller tests isLoggable().
    void log(LogLevel logLevel, const char* sourceFile, int sourceLine, const char* functionName,
             const std::string& message) const;

    LogAppender& getAppender() const { return *appender; }
    void setAppender(LogAppender& newAppender) { appender = &newAppender; }

    // Writes "Entering {scope}" now and "Exiting {scope} (entered at
    // {file}:{line})" when the scope ends, if the level was loggable at entry.
    class ScopeTracer {
    public:
        ScopeTracer(Logger& logger, LogLevel level, const char* sourceFile, int sourceLine,
                    const char* functionName, const std::string& scopeName);
        ~ScopeTracer();
        ScopeTracer(const ScopeTracer&) = delete;
        ScopeTracer& operator=(const ScopeTracer&) = delete;

    private:
        Logger& logger;
        LogLevel level;
        std::string sourceFile;
        int sourceLine;
        std::string functionName;
        std::string scopeName;
        bool active;
    };

private:
    // The default logger's state before its first use: every level wanted,
    // no appender yet. Constant-initialised, so nothing runs at start-up.
    constexpr explicit Logger(std::nullptr_t) : level(TRACE), appender(nullptr) {}

    static void initializeLogging();
    static void initializingLogging();

    LogLevel level;
    LogAppender* appender;
};

// Installs a tee of the default logger's appender and `extra` for its own
// lifetime. Overlapping instances must end in reverse order.
class WithExtraLogAppender {
public:
    explicit WithExtraLogAppender(LogAppender& extra);
    virtual ~WithExtraLogAppender();
    WithExtraLogAppender(const WithExtraLogAppender&) = delete;
    WithExtraLogAppender& operator=(const WithExtraLogAppender&) = delete;

private:
    LogAppender* savedAppender;
    TeeLogAppender tee;
};

// A log statement builds its message only when the level is wanted.
#define ZELT_LOG(level, message)                                \
    do {                                                        \
        Logger& zeltLogger = Logger::defaultLogger();           \
        if (zeltLogger.isLoggable(level)) {                     \
            zeltLogger.log(level, __FILE__, __LINE__, __func__, \
                           (tstrings::any() << message).str()); \
        }                                                       \
    } while (false)

#define LOG_TRACE(message) ZELT_LOG(Logger::TRACE, message)
#define LOG_WARNING(message) ZELT_LOG(Logger::WARNING, message)

#endif  // ZELT_BASE_LOG_H
