#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

#include "base/ErrorReporting.h"
#include "base/FileUtils.h"
#include "platform/ExecutablePath.h"
#include "platform/SysInfo.h"

namespace SysInfo {

int argc = 0;
char** argv = nullptr;

}  // namespace SysInfo

namespace {

// Longer chains are taken for a loop; kernels give up at a similar depth.
const int maxLinkHops = 40;

bool isSymbolicLink(const std::string& path) {
    struct stat status;
    if (::lstat(path.c_str(), &status) == -1) {
        const std::string error = lastCRTError();
        throw makeException(tstrings::any() << "lstat(" << path << ") failed. Error: " << error,
                            SourceCodePos(__FILE__, "getRealPath", __LINE__));
    }
    return S_ISLNK(status.st_mode);
}

// The link's text as stored, however long it is.
std::string readLink(const std::string& path) {
    std::vector<char> text(1024);
    for (;;) {
        const ssize_t length = ::readlink(path.c_str(), text.data(), text.size());
        if (length < 0) {
            const std::string error = lastCRTError();
            throw makeException(tstrings::any()
                                    << "readlink(" << path << ") failed. Error: " << error,
                                SourceCodePos(__FILE__, "getRealPath", __LINE__));
        }
        // A full buffer may hold a cut text.
        if (static_cast<size_t>(length) < text.size()) {
            return std::string(text.data(), static_cast<size_t>(length));
        }
        text.resize(text.size() * 2);
    }
}

// A relative link text counts from the link's own directory, not from the
// current one: that is what the file system does when it follows the link.
std::string linkTarget(const std::string& link, const std::string& text) {
    if (!text.empty() && FileUtils::isDirSeparator(text[0])) {
        return text;
    }
    std::string directory = FileUtils::dirname(link);
    if (directory.empty() && !link.empty() && FileUtils::isDirSeparator(link[0])) {
        directory = "/";
    }
    return FileUtils::combinePath(directory, text);
}

}  // namespace

namespace SysInfo {

std::string getRealPath(const std::vector<char>& buffer) {
    const std::string start(buffer.begin(), std::find(buffer.begin(), buffer.end(), '\0'));
    std::string path = start;
    for (int hops = 0; isSymbolicLink(path); ++hops) {
        if (hops == maxLinkHops) {
            throw makeException(tstrings::any() << "More than " << maxLinkHops
                                                << " levels of symbolic links from " << start,
                                ZELT_SOURCE_POS);
        }
        path = linkTarget(path, readLink(path));
    }
    return path;
}

std::string getProcessModulePath() {
    std::vector<char> buffer;
    uint32_t size = 0;
    for (;;) {
        const int result = getExecutablePath(buffer.empty() ? nullptr : buffer.data(), &size);
        if (result == 0) {
            break;
        }
        if (result > 0) {
            throw makeException("_NSGetExecutablePath() failed", ZELT_SOURCE_POS);
        }
        buffer.resize(size);
    }
    return FileUtils::toAbsolutePath(getRealPath(buffer));
}

std::vector<std::string> getCommandArgs(CommandArgProgramNameMode mode) {
    std::vector<std::string> result;
    for (int i = mode == WithoutProgramName ? 1 : 0; i < argc; ++i) {
        const std::string arg(argv[i]);
        if (!tstrings::startsWith(arg, "-psn_")) {
            result.push_back(arg);
        }
    }
    return result;
}

}  // namespace SysInfo
