#include "launch/BundleLayout.h"

#include "base/FileUtils.h"

AppLauncher bundleAppLauncher(const std::string& executablePath) {
    const std::string executableDir = FileUtils::dirname(executablePath);
    const std::string rootDir = FileUtils::dirname(FileUtils::dirname(executableDir));

    AppLauncher appLauncher;
    appLauncher.setExecutablePath(executablePath)
        .setRootDir(rootDir)
        .addZarnLibName("Contents/Home/lib/libxelo.dylib")
        .addZarnLibName("Contents/Home/lib/xelo/libxelo.dylib")
        .setAppDir(FileUtils::combinePath(rootDir, "Contents/app"))
        .setLibPathVarName("DYLD_LIBRARY_PATH")
        .setDefaultRuntimeDir(FileUtils::combinePath(rootDir, "Contents/runtime"));
    return appLauncher;
}
