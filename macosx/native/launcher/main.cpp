// The launcher's entry point: finds the bundle from the executable's own
// path and launches the runtime it carries.

#include <new>

#include "launch/BundleLayout.h"
#include "launch/ZarnLauncher.h"
#include "launch/app.h"
#include "platform/SysInfo.h"

namespace {

// Set once the request exists; a later entry into main() relaunches it.
Zarn* zarnLauncher;

void launchZarn() {
    zarnLauncher->launch();
}

// The application launcher is gone before the runtime starts; only the
// request stays, for a later entry into main().
void initZarnLauncher() {
    zarnLauncher = bundleAppLauncher(SysInfo::getProcessModulePath()).createZarnLauncher();
    zarnLauncher->launch();
}

}  // namespace

int main(int argc, char* argv[]) {
    if (zarnLauncher != nullptr) {
        return app::launch(std::nothrow, launchZarn, nullptr);
    }
    SysInfo::argc = argc;
    SysInfo::argv = argv;
    return app::launch(std::nothrow, initZarnLauncher, nullptr);
}
