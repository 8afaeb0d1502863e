#ifndef ZELT_CHECK_BUNDLECHECK_H
#define ZELT_CHECK_BUNDLECHECK_H

#include <string>
#include <vector>

#include "check/CheckReport.h"

// Does what the launcher at `launcherPath` would do when started with
// `args` in this process's environment, up to the start of the runtime: with
// the launcher's own code, in its order, failing with its messages. Unless
// `load` is false it loads the runtime's launcher library and looks up its
// entry point, which it never calls. Like the launcher, it extends the
// library search path variable of this process's environment.
CheckReport checkLauncher(const std::string& launcherPath, const std::vector<std::string>& args,
                          bool load);

#endif  // ZELT_CHECK_BUNDLECHECK_H
