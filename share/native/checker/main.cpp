// zelt-check [--json] [--no-load] BUNDLE [-- ARG...]: what the launcher of a
// bundle would do with it, up to the start of the runtime.

#include <cstring>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "check/BundleCheck.h"
#include "check/LauncherLocation.h"
#include "check/ReportWriter.h"

namespace {

const char usage[] = "usage: zelt-check [--json] [--no-load] BUNDLE [-- ARG...]\n";

struct Options {
    bool json = false;
    bool load = true;
    std::string bundle;
    std::vector<std::string> args;
};

// False for a command line that does not fit the usage.
bool parseOptions(int argc, char* argv[], Options& options) {
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        if (std::strcmp(argv[i], "--json") == 0) {
            options.json = true;
        } else if (std::strcmp(argv[i], "--no-load") == 0) {
            options.load = false;
        } else {
            return false;
        }
    }
    if (i == argc) {
        return false;
    }
    options.bundle = argv[i++];
    if (i < argc && std::strcmp(argv[i++], "--") != 0) {
        return false;
    }
    options.args.assign(argv + i, argv + argc);
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::cout << usage;
        return 0;
    }
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::cerr << usage;
        return 1;
    }
    std::string launcher;
    try {
        launcher = findLauncher(options.bundle);
    } catch (const std::runtime_error& e) {
        std::cerr << "zelt-check: " << e.what() << "\n";
        return 1;
    }
    const CheckReport report = checkLauncher(launcher, options.args, options.load);
    if (options.json) {
        writeJsonReport(std::cout, report);
    } else {
        writeTextReport(std::cout, report);
    }
    std::cout.flush();
    return std::cout ? checkStatus(report) : 1;
}
