#ifndef ZELT_TESTING_RAISEDERROR_H
#define ZELT_TESTING_RAISEDERROR_H

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "base/ErrorReporting.h"

// The two messages of a program error: the bare one and the one that
// starts with the raising position.
struct RaisedError {
    std::string raw;
    std::string full;
};

// Runs `action` and returns the messages of the program error it raises;
// a test failure when it raises none.
template <class Action>
RaisedError raisedError(Action&& action) {
    try {
        action();
    } catch (const ZeltError<std::runtime_error>& e) {
        return {e.rawMessage(), e.what()};
    }
    ADD_FAILURE() << "no error was raised";
    return {};
}

#endif  // ZELT_TESTING_RAISEDERROR_H
