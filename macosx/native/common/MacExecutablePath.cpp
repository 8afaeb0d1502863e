#include <mach-o/dyld.h>

#include "platform/ExecutablePath.h"

int getExecutablePath(char* buffer, uint32_t* bufferSize) {
    return _NSGetExecutablePath(buffer, bufferSize);
}
