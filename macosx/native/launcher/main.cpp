// The launcher's entry point: finds the bundle from the executable's own
// path and launches the runtime it carries.

#include <new>

#include "AppLauncher.h"
#include "FileUtils.h"
#include "SysInfo.h"
#include "ZarnLauncher.h"
#include "app.h"

namespace {

// Set once the request exists; a later entry into main() relaunches it.
Zarn* zarnLauncher;

void launchZarn() {
    zarnLauncher->launch();
}

// The application launcher of the bundle around the executable,
// {root}/Contents/MacOS/{launcher}.
AppLauncher bundleAppLauncher() {
    const std::string executableDir = FileUtils::dirname(SysInfo::getProcessModulePath());
    const std::string rootDir = FileUtils::dirname(FileUtils::dirname(executableDir));

    AppLauncher appLauncher;
    appLauncher.setRootDir(rootDir)
        .addZarnLibName("Contents/Home/lib/libxelo.dylib")
        .addZarnLibName("Contents/Home/lib/xelo/libxelo.dylib")
        .setAppDir(FileUtils::combinePath(rootDir, "Contents/app"))
        .setLibPathVarName("DYLD_LIBRARY_PATH")
        .setDefaultRuntimeDir(FileUtils::combinePath(rootDir, "Contents/runtime"));
    return appLauncher;
}

// The application launcher is gone before the runtime starts; only the
// request stays, for a later entry into main().
void initZarnLauncher() {
    zarnLauncher = bundleAppLauncher().createZarnLauncher();
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
