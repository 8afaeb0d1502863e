#ifndef ZELT_BASE_ERRORREPORTING_H
#define ZELT_BASE_ERRORREPORTING_H

#include <stdexcept>
#include <string>

#include "base/tstrings.h"

// Where an error was raised, logged or caught. Points to static texts.
struct SourceCodePos {
    SourceCodePos(const char* file, const char* function, int line)
        : file(file), function(function), line(line) {}

    const char* file;
    const char* function;
    int line;
};

#define ZELT_SOURCE_POS SourceCodePos(__FILE__, __func__, __LINE__)

// Lets a handler read the bare message of any program error, whatever
// standard exception type it wraps.
class ZeltErrorBase {
public:
    virtual const char* rawMessage() const = 0;

protected:
    ~ZeltErrorBase() = default;
};

std::string makeMessage(const std::runtime_error& e, const SourceCodePos& pos);

// The program's error: what() is "{file}({line}) at {function}(): {message}",
// rawMessage() the message alone.
template <class T>
class ZeltError : public ZeltErrorBase, public T {
public:
    ZeltError(const T& e, const SourceCodePos& pos) : T(e), fullMessage(makeMessage(e, pos)) {}

    const char* rawMessage() const override { return T::what(); }
    const char* what() const noexcept override { return fullMessage.c_str(); }

private:
    std::string fullMessage;
};

inline ZeltError<std::runtime_error> makeException(const tstrings::any& message,
                                                   const SourceCodePos& pos) {
    return ZeltError<std::runtime_error>(std::runtime_error(message.str()), pos);
}

inline ZeltError<std::runtime_error> makeException(const char* message, const SourceCodePos& pos) {
    return ZeltError<std::runtime_error>(std::runtime_error(message), pos);
}

// Each writes one ERROR record through the default logger.
void reportError(const SourceCodePos& pos, const std::runtime_error& e);
void reportUnknownError(const SourceCodePos& pos);

// Joins two message fragments into one sentence.
std::string joinErrorMessages(const std::string& first, const std::string& second);

// The system's text for the current errno.
std::string lastCRTError();

#endif  // ZELT_BASE_ERRORREPORTING_H
