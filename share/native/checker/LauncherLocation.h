#ifndef ZELT_CHECK_LAUNCHERLOCATION_H
#define ZELT_CHECK_LAUNCHERLOCATION_H

#include <string>

// The launcher that `bundle` names: a bundle directory stands for the one
// regular executable file in its Contents/MacOS, any other path for itself.
// Throws std::runtime_error, saying why, when there is no such launcher.
std::string findLauncher(const std::string& bundle);

#endif  // ZELT_CHECK_LAUNCHERLOCATION_H
