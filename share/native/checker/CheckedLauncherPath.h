#ifndef ZELT_CHECK_CHECKEDLAUNCHERPATH_H
#define ZELT_CHECK_CHECKEDLAUNCHERPATH_H

#include <string>

// The checker takes the place of the launcher it checks: the launch code asks
// the executable-path service for the running executable's path, and gets
// this path, as the launcher started by it would. Until it is set the service
// fails as the system's would.
void setCheckedLauncherPath(const std::string& path);

#endif  // ZELT_CHECK_CHECKEDLAUNCHERPATH_H
