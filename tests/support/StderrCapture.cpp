#include "StderrCapture.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <stdexcept>

namespace {

// Writes buffered for standard error must land on the side they were made on.
void flushStandardError() {
    std::cerr.flush();
    std::fflush(stderr);
}

}  // namespace

StderrCapture::StderrCapture() : file(std::tmpfile()) {
    if (file == nullptr) {
        throw std::runtime_error(std::string("tmpfile failed: ") + std::strerror(errno));
    }
    flushStandardError();
    saved = ::dup(STDERR_FILENO);
    if (saved == -1 || ::dup2(::fileno(file), STDERR_FILENO) == -1) {
        const int error = errno;
        if (saved != -1) {
            ::close(saved);
        }
        std::fclose(file);
        throw std::runtime_error(std::string("redirecting standard error failed: ") +
                                 std::strerror(error));
    }
}

StderrCapture::~StderrCapture() {
    finish();
}

std::string StderrCapture::finish() {
    if (saved < 0) {
        return text;
    }
    flushStandardError();
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    saved = -1;
    std::rewind(file);
    char buffer[512];
    for (size_t n; (n = std::fread(buffer, 1, sizeof(buffer), file)) > 0;) {
        text.append(buffer, n);
    }
    std::fclose(file);
    return text;
}
