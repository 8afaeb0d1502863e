#ifndef ZELT_PLATFORM_EXECUTABLEPATH_H
#define ZELT_PLATFORM_EXECUTABLEPATH_H

#include <cstdint>

// The path the running executable was started by, with the contract of
// macOS's _NSGetExecutablePath(): when *bufferSize is large enough, fills
// `buffer` with the NUL-terminated path and returns 0; otherwise stores the
// size needed in *bufferSize and returns -1. Any other failure returns a
// positive value. The build links exactly one implementation.
int getExecutablePath(char* buffer, uint32_t* bufferSize);

#endif  // ZELT_PLATFORM_EXECUTABLEPATH_H
