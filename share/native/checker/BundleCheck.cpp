#include "check/BundleCheck.h"

#include <fstream>
#include <memory>
#include <optional>

#include "base/Log.h"
#include "check/CfgWarnings.h"
#include "check/CheckedLauncherPath.h"
#include "config/CfgFile.h"
#include "launch/AppLauncher.h"
#include "launch/BundleLayout.h"
#include "launch/ZarnLauncher.h"
#include "launch/app.h"
#include "platform/Dll.h"
#include "platform/SysInfo.h"

namespace {

struct Check {
    bool load;
    CheckReport report;
    std::optional<CfgWarnings> warnings;
};

// The run wrapper takes a plain function: this is the check it works on.
Check* currentCheck = nullptr;

// Keeps the one line that the launcher would print for its failure.
class LastErrorCapture : public LogAppender {
public:
    void append(const LogEvent&) override { message = app::lastErrorMsg(); }

    std::string message;
};

CfgFile loadCfgFile(const std::string& path, CfgWarnings& warnings) {
    std::ifstream input(path);
    if (!input.good()) {
        // Fails again, with the reader's own message.
        return CfgFile::load(path);
    }
    return CfgFile::load(input, path, [&](const CfgFile::Line& line) { warnings.observe(line); });
}

// The launcher's initialisation and launch, less the start of the runtime.
void runLauncherSteps() {
    Check& check = *currentCheck;
    CheckReport& report = check.report;
    const AppLauncher launcher = bundleAppLauncher(SysInfo::getProcessModulePath());
    report.config = launcher.getCfgFilePath();
    check.warnings.emplace(*report.config);
    const CfgFile loaded = loadCfgFile(*report.config, *check.warnings);
    // Checked before the request is built, so that these warnings come even
    // when that fails.
    const CfgFile expanded = launcher.expandCfgFile(loaded);
    check.warnings->checkExpanded(expanded);
    report.runtimeDir = launcher.getRuntimeDir(expanded);

    const std::unique_ptr<Zarn> zarn(launcher.createZarnLauncher(expanded));
    report.library = zarn->getLibraryPath();
    report.argv = zarn->getArguments();
    report.libraryPathVariable =
        SysInfo::getEnvVariable(std::nothrow, launcher.getLibPathVarName(), "");
    if (!check.load) {
        report.load = CheckReport::Load::Skipped;
        return;
    }
    const DllFunction<void*> entryPoint{Dll{tstrings::any(zarn->getLibraryPath())},
                                        tstrings::any("XELO_Launch")};
    report.load = CheckReport::Load::Loaded;
}

}  // namespace

CheckReport checkLauncher(const std::string& launcherPath, const std::vector<std::string>& args,
                          bool load) {
    setCheckedLauncherPath(launcherPath);
    // The process arguments as the launcher would receive them, so that its
    // own command-line handling picks the application's arguments.
    std::vector<std::string> processArgs{launcherPath};
    processArgs.insert(processArgs.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : processArgs) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    SysInfo::argc = static_cast<int>(processArgs.size());
    SysInfo::argv = argv.data();
    // The launcher's trace would mix into the report; only its failure line counts.
    SysInfo::setEnvVariable("ZELT_DEBUG", "");

    Check check{load, CheckReport(), std::nullopt};
    currentCheck = &check;
    LastErrorCapture lastError;
    if (app::launch(std::nothrow, runLauncherSteps, &lastError) != 0) {
        check.report.errors.push_back(lastError.message);
    }
    currentCheck = nullptr;
    SysInfo::argc = 0;
    SysInfo::argv = nullptr;
    if (check.warnings) {
        check.report.warnings = check.warnings->warnings();
    }
    return check.report;
}
