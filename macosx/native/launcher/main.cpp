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

// {root}/Contents/MacOS/{launcher}: the root lies three levels up.
void initZarnLauncher() {
    const std::string executableDir = FileUtils::dirname(SysInfo::getProcessModulePath());
    const std::string rootDir = FileUtils::dirname(FileUtils::dirname(executableDir));

    AppLauncher appLauncher;
    appLauncher.setRootDir(rootDir)
        .addZarnLibName("Contents/Home/lib/libxelo.dylib")
        .addZarnLibName("Contents/Home/lib/xelo/libxelo.dylib")
        .setAppDir(FileUtils::combinePath(rootDir, "Contents/app"))
        .setLibPathVarName("DYLD_LIBRARY_PATH")
        .setDefaultRuntimeDir(FileUtils::combinePath(rootDir, "Contents/runtime"));

    zarnLauncher = appLauncher.createZarnLauncher();
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
