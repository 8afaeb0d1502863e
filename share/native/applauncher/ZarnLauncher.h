#ifndef ZELT_LAUNCH_ZARNLAUNCHER_H
#define ZELT_LAUNCH_ZARNLAUNCHER_H

#include <string>
#include <vector>

#include "runtime/XeloLaunch.h"

class CfgFile;

// The runtime launch request: the runtime's launcher library and the
// argument vector its entry point receives.
class Zarn {
public:
    Zarn();
    ~Zarn();
    Zarn(const Zarn&) = delete;
    Zarn& operator=(const Zarn&) = delete;

    Zarn& setLibraryPath(const std::string& path);
    Zarn& addArgument(const std::string& argument);

    // Appends the arguments the expanded configuration asks for: options,
    // then the main module, class or archive, then the application's own.
    Zarn& initFromConfigFile(const CfgFile& cfg);

    const std::string& getLibraryPath() const { return libraryPath; }
    const std::vector<std::string>& getArguments() const { return arguments; }
    bool isWithSplash() const;

    // Starts the runtime; throws when it cannot be started or reports failure.
    void launch();

    // A new launcher handle holding copies of the path and the arguments.
    void* exportLauncher() const;

private:
    std::string libraryPath;
    std::vector<std::string> arguments;
};

#endif  // ZELT_LAUNCH_ZARNLAUNCHER_H
