// The launch pipeline in one process, without starting a runtime: a
// configuration, command-line arguments and a library search path go
// through the application launcher's request building into the launch
// block, which is decoded again and compared with the request byte for
// byte. The input is two header lines, then the configuration:
//   1. DYLD_LIBRARY_PATH: each of the first four bytes picks an entry;
//      an empty line leaves it unset;
//   2. the command-line arguments, separated by TAB; an empty line: none.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "base/ErrorReporting.h"
#include "base/Log.h"
#include "config/CfgFile.h"
#include "launch/AppLauncher.h"
#include "launch/BundleLayout.h"
#include "launch/ZarnLauncher.h"
#include "runtime/XeloLaunch.h"

namespace {

const char libPathVar[] = "DYLD_LIBRARY_PATH";

void check(bool holds) {
    if (!holds) {
        __builtin_trap();
    }
}

// One temporary bundle for the whole run, with a runtime library file in
// the default runtime so that the request finds it.
struct Bundle {
    std::string dir;
    std::string root;
    std::string appDir;
    std::unique_ptr<AppLauncher> launcher;
};

Bundle bundle;

void removeBundle() {
    std::filesystem::remove_all(bundle.dir);
}

// The variable as the launcher must leave it: the application directory
// appended unless an entry already names it, and alone instead of empty.
std::string expectedLibPath(const std::string& before) {
    for (const std::string& entry : splitAt(before, ':')) {
        if (entry == bundle.appDir) {
            return before;
        }
    }
    return before.empty() ? bundle.appDir : before + ":" + bundle.appDir;
}

// The C library keeps every value the variable ever had, so free-form
// values would grow the process by each run: entries come from a few,
// among them the application directory and near misses of it.
std::string libPathFrom(const std::string& line) {
    const std::string entries[] = {"",
                                   "/opt/lib",
                                   "a b",
                                   bundle.root,
                                   bundle.appDir,
                                   bundle.appDir + "/",
                                   bundle.appDir.substr(0, bundle.appDir.size() - 1),
                                   bundle.appDir + "x"};
    std::string value;
    for (std::size_t i = 0; i < std::min<std::size_t>(line.size(), 4); ++i) {
        value += (i == 0 ? "" : ":") + entries[static_cast<unsigned char>(line[i]) % 8];
    }
    return value;
}

const char* pointerAt(const char* block, std::size_t offset) {
    const char* pointer;
    std::memcpy(&pointer, block + offset, sizeof pointer);
    return pointer;
}

// Checks that `text` and its NUL lie at `offset`, and returns the offset after them.
std::size_t checkText(const char* block, std::size_t offset, const std::string& text) {
    check(std::memcmp(block + offset, text.data(), text.size()) == 0);
    check(block[offset + text.size()] == '\0');
    return offset + text.size() + 1;
}

// The block holds the header, the path, the pointer array with its null
// terminator and the argument texts, each right after the one before.
void checkBlock(const ZarnlLauncherData* data, const Zarn& request) {
    const char* block = reinterpret_cast<const char*>(data);
    const std::vector<std::string>& arguments = request.getArguments();
    std::size_t offset = sizeof(ZarnlLauncherData);
    check(pointerAt(block, offsetof(ZarnlLauncherData, libraryPath)) == block + offset);
    offset = checkText(block, offset, request.getLibraryPath());
    check(data->argc >= 0 && static_cast<std::size_t>(data->argc) == arguments.size());
    const std::size_t array = offset;
    check(pointerAt(block, offsetof(ZarnlLauncherData, argv)) == block + array);
    offset += (arguments.size() + 1) * sizeof(char*);
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        check(pointerAt(block, array + i * sizeof(char*)) == block + offset);
        offset = checkText(block, offset, arguments[i]);
    }
    check(pointerAt(block, array + arguments.size() * sizeof(char*)) == nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/AppLauncher_fuzz.XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    bundle.dir = pattern;
    bundle.root = bundle.dir + "/Fuzz.app";
    bundle.appDir = bundle.root + "/Contents/app";
    const std::string lib = bundle.root + "/Contents/runtime/Contents/Home/lib";
    std::filesystem::create_directories(lib);
    std::ofstream(lib + "/libxelo.dylib") << "not loaded";
    std::atexit(removeBundle);
    static NopLogAppender quiet;
    Logger::defaultLogger().setAppender(quiet);
    bundle.launcher.reset(new AppLauncher(bundleAppLauncher(bundle.root + "/Contents/MacOS/Fuzz")));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string rest(reinterpret_cast<const char*>(data), size);
    const std::string libPathLine = headerLine(rest);
    const std::string libPath = libPathFrom(libPathLine);
    const std::string argsLine = headerLine(rest);
    const std::vector<std::string> args =
        argsLine.empty() ? std::vector<std::string>() : splitAt(argsLine, '\t');
    if (libPathLine.empty()) {
        ::unsetenv(libPathVar);
    } else {
        ::setenv(libPathVar, libPath.c_str(), 1);
    }

    AppLauncher launcher = *bundle.launcher;
    launcher.setCommandArgs(args);
    std::istringstream input(rest);
    std::unique_ptr<Zarn> request;
    try {
        request.reset(
            launcher.createZarnLauncher(launcher.expandCfgFile(CfgFile::load(input, "fuzz.cfg"))));
    } catch (const ZeltError<std::runtime_error>&) {
        return 0;  // a malformed file, a runaway expansion or no runtime: reported, not a fault
    }
    const char* const after = std::getenv(libPathVar);
    check(after != nullptr && after == expectedLibPath(libPath));
    const std::vector<std::string>& arguments = request->getArguments();
    check(!arguments.empty() && arguments[0] == bundle.root + "/Contents/MacOS/Fuzz");
    check(arguments.size() >= args.size() + 1 &&
          std::equal(args.begin(), args.end(), arguments.end() - args.size()));

    ZarnlLauncherData* block =
        zarnLauncherCreateZarnlLauncherData(zarnLauncherGetAPI(), request->exportLauncher());
    check(block != nullptr);
    checkBlock(block, *request);
    std::free(block);
    return 0;
}
