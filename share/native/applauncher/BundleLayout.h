#ifndef ZELT_LAUNCH_BUNDLELAYOUT_H
#define ZELT_LAUNCH_BUNDLELAYOUT_H

#include <string>

#include "launch/AppLauncher.h"

// The application launcher of the bundle around `executablePath`,
// {root}/Contents/MacOS/{launcher}: the configuration in {root}/Contents/app,
// the runtime in {root}/Contents/runtime unless the configuration names one.
AppLauncher bundleAppLauncher(const std::string& executablePath);

#endif  // ZELT_LAUNCH_BUNDLELAYOUT_H
