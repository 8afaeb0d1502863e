#include "launch/AppLauncher.h"

#include <memory>
#include <optional>

#include "base/ErrorReporting.h"
#include "base/FileUtils.h"
#include "base/Log.h"
#include "config/CfgFile.h"
#include "launch/ZarnLauncher.h"
#include "platform/SysInfo.h"

namespace {

// The last "app.runtime" of the Application section, when there is one.
std::optional<std::string> configuredRuntimeDir(const CfgFile& cfgFile) {
    const CfgFile::Properties& appOptions = cfgFile.getProperties(SectionName::Application);
    const auto runtime = appOptions.find(PropertyName::runtime);
    if (runtime == appOptions.end()) {
        return std::nullopt;
    }
    return CfgFile::asString(*runtime);
}

std::string findZarnLib(const CfgFile& cfgFile, const std::string& defaultRuntimeDir,
                        const std::vector<std::string>& zarnLibNames) {
    std::optional<std::string> runtimeDir = configuredRuntimeDir(cfgFile);
    if (!runtimeDir) {
        runtimeDir = defaultRuntimeDir;
        LOG_TRACE("Property \"" << PropertyName::runtime.name() << "\" not found in \""
                                << SectionName::Application.name()
                                << "\" section of launcher config file."
                                << " Using Tovel runtime from \"" << *runtimeDir << "\" directory");
    }
    for (const auto& name : zarnLibNames) {
        const std::string path = FileUtils::combinePath(*runtimeDir, name);
        if (FileUtils::isFileExists(path)) {
            return path;
        }
    }
    throw makeException(tstrings::any()
                            << "Failed to find ZARN in \"" << *runtimeDir << "\" directory.",
                        ZELT_SOURCE_POS);
}

}  // namespace

AppLauncher::AppLauncher()
    : commandArgs(SysInfo::getCommandArgs(SysInfo::WithoutProgramName)),
      executablePath(SysInfo::getProcessModulePath()) {}

AppLauncher& AppLauncher::setExecutablePath(const std::string& path) {
    executablePath = path;
    return *this;
}

AppLauncher& AppLauncher::setCommandArgs(const std::vector<std::string>& args) {
    commandArgs = args;
    return *this;
}

AppLauncher& AppLauncher::setDefaultRuntimeDir(const std::string& dir) {
    defaultRuntimeDir = dir;
    return *this;
}

AppLauncher& AppLauncher::setAppDir(const std::string& dir) {
    appDir = dir;
    return *this;
}

AppLauncher& AppLauncher::setLibPathVarName(const std::string& name) {
    libPathVarName = name;
    return *this;
}

AppLauncher& AppLauncher::setRootDir(const std::string& dir) {
    rootDir = dir;
    return *this;
}

AppLauncher& AppLauncher::addZarnLibName(const std::string& name) {
    zarnLibNames.push_back(name);
    return *this;
}

std::string AppLauncher::getCfgFilePath() const {
    return FileUtils::combinePath(
        appDir, FileUtils::stripExeSuffix(FileUtils::basename(executablePath)) + ".cfg");
}

Zarn* AppLauncher::createZarnLauncher() const {
    const std::string cfgFilePath = getCfgFilePath();
    LOG_TRACE("Launcher config file path: \"" << cfgFilePath << "\"");
    return createZarnLauncher(expandCfgFile(CfgFile::load(cfgFilePath)));
}

CfgFile AppLauncher::expandCfgFile(const CfgFile& loadedCfgFile) const {
    const CfgFile::Macros macros = {
        {"$APPDIR", appDir},
        {"$BINDIR", FileUtils::dirname(executablePath)},
        {"$ROOTDIR", rootDir},
    };
    return loadedCfgFile.expandMacros(macros);
}

std::string AppLauncher::getRuntimeDir(const CfgFile& expandedCfgFile) const {
    return configuredRuntimeDir(expandedCfgFile).value_or(defaultRuntimeDir);
}

Zarn* AppLauncher::createZarnLauncher(CfgFile cfgFile) const {
    if (!commandArgs.empty()) {
        // Set after the expansion: command-line arguments are taken literally.
        cfgFile.setPropertyValue(SectionName::ArgOptions, PropertyName::arguments, commandArgs);
    }

    if (!libEnvVariableContainsAppDir()) {
        // An empty entry would make the loader search the current directory,
        // so an unset or empty variable becomes the application directory alone.
        const std::string current = SysInfo::getEnvVariable(std::nothrow, libPathVarName, "");
        SysInfo::setEnvVariable(
            libPathVarName, current.empty() ? appDir : current + FileUtils::pathSeparator + appDir);
    }

    std::unique_ptr<Zarn> zarn(new Zarn());
    zarn->setLibraryPath(findZarnLib(cfgFile, defaultRuntimeDir, zarnLibNames));
    zarn->addArgument(executablePath);
    zarn->initFromConfigFile(cfgFile);
    return zarn.release();
}

void AppLauncher::launch() const {
    const std::unique_ptr<Zarn> zarn(createZarnLauncher());
    zarn->launch();
}

bool AppLauncher::libEnvVariableContainsAppDir() const {
    std::vector<std::string> entries;
    tstrings::split(entries, SysInfo::getEnvVariable(std::nothrow, libPathVarName, ""),
                    std::string(1, FileUtils::pathSeparator), tstrings::KeepEmpty);
    for (const auto& entry : entries) {
        if (entry == appDir) {
            return true;
        }
    }
    return false;
}
