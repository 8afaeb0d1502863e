#ifndef APPLAUNCHER_H
#define APPLAUNCHER_H

#include <string>
#include <vector>

class Zarn;

// Turns the bundle's directories into a ready runtime launch request: finds
// and reads the launcher configuration, merges the command line into it,
// extends the library search path and finds the runtime's launcher library.
class AppLauncher {
public:
    AppLauncher();

    AppLauncher& setDefaultRuntimeDir(const std::string& dir);
    AppLauncher& setAppDir(const std::string& dir);
    AppLauncher& setLibPathVarName(const std::string& name);
    AppLauncher& setRootDir(const std::string& dir);
    // Candidate library paths relative to the runtime directory, preferred first.
    AppLauncher& addZarnLibName(const std::string& name);

    // The caller owns the result; failures are exceptions, never null.
    Zarn* createZarnLauncher() const;
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

#endif  // APPLAUNCHER_H
