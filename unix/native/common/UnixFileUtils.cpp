#include <sys/stat.h>
#include <unistd.h>

#include "base/ErrorReporting.h"
#include "base/FileUtils.h"

namespace FileUtils {

const char pathSeparator = ':';

namespace {

std::string currentDirectory() {
    char buffer[1024] = {};
    if (::getcwd(buffer, sizeof(buffer)) == nullptr) {
        const std::string error = lastCRTError();
        throw makeException(tstrings::any() << "getcwd() failed. Error: " << error,
                            SourceCodePos(__FILE__, "toAbsolutePath", __LINE__));
    }
    if (buffer[0] == '\0') {
        throw makeException("getcwd() returned empty string",
                            SourceCodePos(__FILE__, "toAbsolutePath", __LINE__));
    }
    return buffer;
}

}  // namespace

bool isFileExists(const std::string& path) {
    struct stat status;
    return ::stat(path.c_str(), &status) != -1;
}

std::string toAbsolutePath(const std::string& path) {
    if (!path.empty() && isDirSeparator(path[0])) {
        return path;
    }
    if (path.empty()) {
        return currentDirectory();
    }
    return combinePath(currentDirectory(), path);
}

std::string stripExeSuffix(const std::string& path) {
    return path;
}

}  // namespace FileUtils
