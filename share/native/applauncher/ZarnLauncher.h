#ifndef ZARNLAUNCHER_H
#define ZARNLAUNCHER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CfgFile;

// The flat launch block: this header, then the library path text, the
// argument pointer array (unaligned unless the path's length plus one is a
// multiple of 8) and the argument texts. Every pointer points into the same
// allocation, so a filled block must stay where it was filled.
struct ZarnlLauncherData {
    char* libraryPath;
    int32_t argc;
    char** argv;
};

static_assert(offsetof(ZarnlLauncherData, libraryPath) == 0, "block layout");
static_assert(offsetof(ZarnlLauncherData, argc) == 8, "block layout");
static_assert(offsetof(ZarnlLauncherData, argv) == 16, "block layout");
static_assert(sizeof(ZarnlLauncherData) == 24, "block layout");

// Sizes, fills and destroys what a launcher handle stands for. A handle is
// an opaque pointer made by Zarn::exportLauncher().
struct ZarnlLauncherAPI {
    void (*closeHandle)(void* handle);
    int32_t (*getZarnlLauncherDataSize)(void* handle);
    ZarnlLauncherData* (*initZarnlLauncherData)(void* handle, void* buffer, int32_t bufferSize);
};

// Exported from the executable under these names; the runtime side may call them.
extern "C" {

const ZarnlLauncherAPI* zarnLauncherGetAPI();

// Consumes `handle` (closes it through `api` whenever it is not null) and
// returns a block from malloc() that the caller frees, or null.
ZarnlLauncherData* zarnLauncherCreateZarnlLauncherData(const ZarnlLauncherAPI* api, void* handle);

// Writes one line to stderr, only while ZELT_DEBUG is "true".
void zarnLauncherLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Calls the runtime's XELO_Launch at `entryPoint` with the block's arguments.
int32_t zarnLauncherStartZarn(const ZarnlLauncherData* data, void* entryPoint);
}

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

    bool isWithSplash() const;

    // Starts the runtime; throws when it cannot be started or reports failure.
    void launch();

    // A new launcher handle holding copies of the path and the arguments.
    void* exportLauncher() const;

private:
    std::string libraryPath;
    std::vector<std::string> arguments;
};

#endif  // ZARNLAUNCHER_H
