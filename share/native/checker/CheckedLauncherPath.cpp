#include "check/CheckedLauncherPath.h"

#include <cstring>

#include "platform/ExecutablePath.h"

namespace {

std::string checkedLauncherPath;

}  // namespace

void setCheckedLauncherPath(const std::string& path) {
    checkedLauncherPath = path;
}

// Defined here, the checker's executable links this definition instead of the
// platform's one.
int getExecutablePath(char* buffer, uint32_t* bufferSize) {
    if (checkedLauncherPath.empty()) {
        return 1;
    }
    const auto needed = static_cast<uint32_t>(checkedLauncherPath.size() + 1);
    if (buffer == nullptr || *bufferSize < needed) {
        *bufferSize = needed;
        return -1;
    }
    std::memcpy(buffer, checkedLauncherPath.c_str(), needed);
    return 0;
}
