#include "base/Log.h"

// This platform needs no logging set-up and adds nothing to a record.

void Logger::initializeLogging() {}

void Logger::initializingLogging() {}

void LogEvent::init(PlatformLogEvent&) {}

void LogEvent::appendFormatted(const PlatformLogEvent&, std::string&) {}
