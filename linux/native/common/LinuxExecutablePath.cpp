#include <sys/auxv.h>

#include <cstring>

#include "platform/ExecutablePath.h"

// The path handed to execve(), as the program was started by: unlike
// /proc/self/exe it may be relative and may name a symbolic link.
int getExecutablePath(char* buffer, uint32_t* bufferSize) {
    const char* path = reinterpret_cast<const char*>(::getauxval(AT_EXECFN));
    if (path == nullptr) {
        return 1;
    }
    const auto needed = static_cast<uint32_t>(std::strlen(path) + 1);
    if (buffer == nullptr || *bufferSize < needed) {
        *bufferSize = needed;
        return -1;
    }
    std::memcpy(buffer, path, needed);
    return 0;
}
