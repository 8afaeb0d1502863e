#ifndef ZELT_LAUNCH_APPLAUNCHER_H
#define ZELT_LAUNCH_APPLAUNCHER_H

#include <string>
#include <vector>

class CfgFile;
class Zarn;

// Turns the bundle's directories into a ready runtime launch request: finds
// and reads the launcher configuration, merges the command line into it,
// extends the library search path and finds the runtime's launcher library.
class AppLauncher {
public:
    // Takes the process's own path and arguments.
    AppLauncher();

    // Stand in for the process's own path and arguments, to prepare the
    // launch of another executable.
    AppLauncher& setExecutablePath(const std::string& path);
    AppLauncher& setCommandArgs(const std::vector<std::string>& args);

    AppLauncher& setDefaultRuntimeDir(const std::string& dir);
    AppLauncher& setAppDir(const std::string& dir);
    AppLauncher& setLibPathVarName(const std::string& name);
    AppLauncher& setRootDir(const std::string& dir);
    // Candidate library paths relative to the runtime directory, preferred first.
    AppLauncher& addZarnLibName(const std::string& name);

    // {appDir}/{executable name without suffix}.cfg
    std::string getCfgFilePath() const;
    const std::string& getLibPathVarName() const { return libPathVarName; }

    // The configuration as loaded, with the bundle macros expanded.
    CfgFile expandCfgFile(const CfgFile& loadedCfgFile) const;
    // The runtime directory that an expanded configuration selects.
    std::string getRuntimeDir(const CfgFile& expandedCfgFile) const;

    // The caller owns the result; failures are exceptions, never null.
    Zarn* createZarnLauncher() const;
    // The same from a configuration whose macros are expanded; taken by
    // value, since the command line is merged into it.
    Zarn* createZarnLauncher(CfgFile cfgFile) const;
    void launch() const;

    bool libEnvVariableContainsAppDir() const;

private:
    std::vector<std::string> commandArgs;
    std::string executablePath;
    std::string defaultRuntimeDir;
    std::string appDir;
    std::string libPathVarName;
    std::string rootDir;
    std::vector<std::string> zarnLibNames;
};

#endif  // ZELT_LAUNCH_APPLAUNCHER_H
