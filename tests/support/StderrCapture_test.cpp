#include "testing/StderrCapture.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

namespace {

// What file descriptor 2 stands for.
std::pair<dev_t, ino_t> standardErrorFile() {
    struct stat status {};
    EXPECT_EQ(::fstat(STDERR_FILENO, &status), 0);
    return {status.st_dev, status.st_ino};
}

TEST(StderrCapture, CatchesEveryWayOfWritingAndPutsTheStreamBack) {
    const auto before = standardErrorFile();
    StderrCapture capture;
    EXPECT_NE(standardErrorFile(), before);
    std::fputs("stdio ", stderr);
    std::cerr << "stream ";
    ASSERT_EQ(::write(STDERR_FILENO, "fd\n", 3), 3);
    EXPECT_EQ(capture.finish(), "stdio stream fd\n");
    EXPECT_EQ(standardErrorFile(), before);
    EXPECT_EQ(capture.finish(), "stdio stream fd\n");
}

}  // namespace
