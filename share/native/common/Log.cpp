#include "base/Log.h"

#include <iostream>
#include <new>

#include "base/FileUtils.h"

namespace {

// Plain zero-initialised storage: the default appender is built on first use.
alignas(StreamLogAppender) unsigned char defaultLogAppenderMemory[sizeof(StreamLogAppender)];
int loggingInitState;

const char* levelName(Logger::LogLevel level) {
    static const char* const names[] = {"TRACE", "INFO", "WARNING", "ERROR"};
    const auto index = static_cast<unsigned>(level);
    return index < sizeof(names) / sizeof(names[0]) ? names[index] : "UNKNOWN";
}

}  // namespace

Logger& Logger::defaultLogger() {
    static Logger defaultLoggerMemory(nullptr);
    if (defaultLoggerMemory.appender == nullptr) {
        defaultLoggerMemory.appender = new (defaultLogAppenderMemory) StreamLogAppender(std::cout);
    }
    switch (loggingInitState) {
        case 0:
            loggingInitState = 1;
            initializeLogging();
            loggingInitState = 2;
            break;
        case 1:
            initializingLogging();
            break;
        default:
            break;
    }
    return defaultLoggerMemory;
}

void Logger::log(LogLevel logLevel, const char* sourceFile, int sourceLine,
                 const char* functionName, const std::string& message) const {
    LogEvent event;
    LogEvent::init(event);
    event.sourceFile = FileUtils::basename(sourceFile);
    event.functionName = functionName;
    event.levelName = levelName(logLevel);
    event.sourceLine = sourceLine;
    event.message = message;
    appender->append(event);
}

Logger::ScopeTracer::ScopeTracer(Logger& logger, LogLevel level, const char* sourceFile,
                                 int sourceLine, const char* functionName,
                                 const std::string& scopeName)
    : logger(logger),
      level(level),
      sourceFile(sourceFile),
      sourceLine(sourceLine),
      functionName(functionName),
      scopeName(scopeName),
      active(logger.isLoggable(level)) {
    if (active) {
        logger.log(level, sourceFile, sourceLine, functionName, "Entering " + scopeName);
    }
}

Logger::ScopeTracer::~ScopeTracer() {
    if (active) {
        logger.log(level, sourceFile.c_str(), 0, functionName.c_str(),
                   (tstrings::any() << "Exiting " << scopeName << " (entered at "
                                    << FileUtils::basename(sourceFile) << ":" << sourceLine << ")")
                       .str());
    }
}

void StreamLogAppender::append(const LogEvent& event) {
    std::string platformText;
    LogEvent::appendFormatted(event, platformText);
    const std::string record =
        (tstrings::any() << "[" << platformText << event.sourceFile << ":" << event.sourceLine
                         << " (" << event.functionName << ")]\n\t" << event.levelName << ": "
                         << event.message)
            .str();
    *stream << record << std::endl;
}

void TeeLogAppender::append(const LogEvent& event) {
    if (first != nullptr) {
        first->append(event);
    }
    if (second != nullptr) {
        second->append(event);
    }
}

WithExtraLogAppender::WithExtraLogAppender(LogAppender& extra)
    : savedAppender(&Logger::defaultLogger().getAppender()), tee(savedAppender, &extra) {
    Logger::defaultLogger().setAppender(tee);
}

WithExtraLogAppender::~WithExtraLogAppender() {
    Logger::defaultLogger().setAppender(*savedAppender);
}
