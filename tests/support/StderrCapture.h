#ifndef ZELT_TESTING_STDERRCAPTURE_H
#define ZELT_TESTING_STDERRCAPTURE_H

#include <cstdio>
#include <string>

// Sends file descriptor 2 into a temporary file from construction until
// finish(), so that whatever writes there is caught: stdio, streams and
// direct writes alike.
class StderrCapture {
public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // Puts standard error back and returns what was written meanwhile;
    // later calls return the same text.
    std::string finish();

private:
    std::FILE* file;
    int saved = -1;
    std::string text;
};

#endif  // ZELT_TESTING_STDERRCAPTURE_H
