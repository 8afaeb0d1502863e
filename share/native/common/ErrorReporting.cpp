#include "base/ErrorReporting.h"

#include <cerrno>
#include <cstring>

#include "base/FileUtils.h"
#include "base/Log.h"

namespace {

std::string getFilename(const SourceCodePos& pos) {
    return FileUtils::basename(pos.file);
}

void reportError(const SourceCodePos& pos, const std::string& text) {
    Logger::defaultLogger().log(Logger::ERROR, getFilename(pos).c_str(), pos.line, pos.function,
                                text);
}

// The POSIX locale's space class; bytes from 0x80 up are never blanks.
const char whitespace[] = " \t\n\v\f\r";

}  // namespace

std::string makeMessage(const std::runtime_error& e, const SourceCodePos& pos) {
    return (tstrings::any() << getFilename(pos) << "(" << pos.line << ") at " << pos.function
                            << "(): " << e.what())
        .str();
}

void reportError(const SourceCodePos& pos, const std::runtime_error& e) {
    reportError(pos,
                (tstrings::any() << "Exception with message '" << e.what() << "' caught").str());
}

void reportUnknownError(const SourceCodePos& pos) {
    reportError(pos, "Unknown exception caught");
}

std::string joinErrorMessages(const std::string& first, const std::string& second) {
    std::string result;
    const auto last = first.find_last_not_of(whitespace);
    if (last != std::string::npos) {
        result = first.substr(0, last + 1);
    }
    const std::string tail = tstrings::trim(second, whitespace);
    if (!result.empty() && !tail.empty()) {
        const bool endsWithPunctuation =
            std::string(";.,:!?").find(result.back()) != std::string::npos;
        result += endsWithPunctuation ? " " : ". ";
    }
    return result + tail;
}

std::string lastCRTError() {
    return std::strerror(errno);
}
