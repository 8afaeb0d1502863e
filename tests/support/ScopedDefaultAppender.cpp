#include "ScopedDefaultAppender.h"

ScopedDefaultAppender::ScopedDefaultAppender() : saved(Logger::defaultLogger().getAppender()) {}

ScopedDefaultAppender::ScopedDefaultAppender(LogAppender& installed) : ScopedDefaultAppender() {
    Logger::defaultLogger().setAppender(installed);
}

ScopedDefaultAppender::~ScopedDefaultAppender() {
    Logger::defaultLogger().setAppender(saved);
}
