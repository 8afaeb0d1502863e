// Start-up cost of the launcher: runs it in a demo-like bundle whose stand-in
// runtime returns at once, alternating with the floor program that calls the
// same library with the same argument vector, and prints per-launch wall
// time, peak memory and (under valgrind) instruction counts with their
// ratios to the floor.
//
// Usage: startup_bench [RUNS]   (RUNS launches of each, default 400)

#include <fcntl.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "standin/StandinRecord.h"
#include "testing/ChildProcess.h"
#include "testing/TempDir.h"

namespace fs = std::filesystem;

namespace {

const char demoConfig[] =
    "[Application]\n"
    "app.version=1.0\n"
    "app.mainmodule=demo.app/demo.app.Main\n"
    "app.modulepath=$APPDIR/mods\n"
    "app.modulepath=$ROOTDIR/Contents/shared/mods\n"
    "app.classpath=$APPDIR/lib/demo-core.lib\n"
    "app.classpath=$APPDIR/lib/demo-ui.lib\n"
    "app.splash=$APPDIR/splash.png\n"
    "\n"
    "[TovelOptions]\n"
    "tovel-options=-Ddemo.bin=$BINDIR\n"
    "tovel-options=-Xss1m\n"
    "\n"
    "[ArgOptions]\n"
    "arguments=--greeting\n"
    "arguments=hello from $APPDIR\n";

struct Run {
    int status = -1;
    double wallMicros = 0;
};

// One process from spawn to reaping, output discarded. A program named
// without a slash is looked up in PATH.
Run run(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    Run result;
    const auto start = std::chrono::steady_clock::now();
    const ProcessResult process = runProcess(argv[0], argv, env, {}, "/dev/null");
    const auto end = std::chrono::steady_clock::now();
    result.status = process.exitStatus;
    result.wallMicros = std::chrono::duration<double, std::micro>(end - start).count();
    return result;
}

long vmHighWaterMarkKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return 0;
}

// The peak resident set of one run, read from the process itself when it
// stops at its exit under ptrace. wait4's ru_maxrss is no use here: exec
// carries the spawning process's own high-water mark over into the child.
long peakRssKiB(const std::vector<std::string>& argv) {
    std::vector<char*> args = nullTerminated(argv);
    char* noEnvironment[] = {nullptr};
    const pid_t pid = fork();
    if (pid == 0) {
        const int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, STDOUT_FILENO);
        dup2(devNull, STDERR_FILENO);
        ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
        execve(args[0], args.data(), noEnvironment);
        _exit(127);
    }
    long peak = 0;
    int status = 0;
    while (waitpid(pid, &status, 0) == pid && WIFSTOPPED(status)) {
        int signal = 0;
        if (status >> 8 == (SIGTRAP | (PTRACE_EVENT_EXIT << 8))) {
            peak = vmHighWaterMarkKiB(pid);
        } else if (WSTOPSIG(status) == SIGTRAP) {  // the stop right after exec
            ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_TRACEEXIT);
        } else {
            signal = WSTOPSIG(status);
        }
        ptrace(PTRACE_CONT, pid, nullptr, signal);
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? peak : 0;
}

void writeFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

void copyInto(const fs::path& from, const fs::path& to) {
    fs::create_directories(to.parent_path());
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

struct Bundle {
    fs::path launcher;
    fs::path library;
};

Bundle makeDemoBundle(const fs::path& dir) {
    const fs::path root = dir / "Demo.app" / "Contents";
    Bundle bundle{root / "MacOS" / "demo", root / "runtime/Contents/Home/lib/libxelo.dylib"};
    copyInto(ZELT_LAUNCHER_PATH, bundle.launcher);
    copyInto(ZELT_STANDIN_PATH, bundle.library);
    writeFile(root / "app" / "demo.cfg", demoConfig);
    writeFile(root / "app" / "splash.png", "image");
    return bundle;
}

// The vector the launcher hands to the runtime, as the stand-in recorded it.
std::vector<std::string> recordedArguments(const Bundle& bundle, const fs::path& dir) {
    const fs::path recordPath = dir / "record";
    const Run once =
        run({bundle.launcher.string()}, {"XELO_STANDIN_RECORD=" + recordPath.string()});
    const StandinRecord record = readStandinRecord(recordPath.string());
    if (once.status != 0 || record.calls.size() != 1) {
        throw std::runtime_error("the launcher did not start the stand-in runtime once");
    }
    return record.calls[0].args;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(fraction * static_cast<double>(values.size() - 1))];
}

struct Series {
    std::vector<double> wall;
    int failures = 0;

    void add(const Run& r) {
        if (r.status != 0) {
            ++failures;
            return;
        }
        wall.push_back(r.wallMicros);
    }
};

double medianPeakRssKiB(const std::vector<std::string>& argv) {
    std::vector<double> peaks;
    for (int i = 0; i < 15; ++i) {
        peaks.push_back(static_cast<double>(peakRssKiB(argv)));
    }
    return median(peaks);
}

// Instructions executed by one run under callgrind, dynamic loading included;
// 0 when valgrind is not available.
long long countInstructions(const std::vector<std::string>& argv, const fs::path& outFile) {
    std::vector<std::string> command{"valgrind", "--tool=callgrind",
                                     "--callgrind-out-file=" + outFile.string()};
    command.insert(command.end(), argv.begin(), argv.end());
    try {
        if (run(command, {}).status != 0) {
            return 0;
        }
    } catch (const std::runtime_error&) {  // not installed
        return 0;
    }
    std::ifstream in(outFile);
    for (std::string line; std::getline(in, line);) {
        for (const char* key : {"summary: ", "totals: "}) {
            if (line.rfind(key, 0) == 0) {
                return std::stoll(line.substr(std::string(key).size()));
            }
        }
    }
    return 0;
}

void printRow(const char* name, double launcher, double floor, double target, int precision) {
    const double ratio = launcher / floor;
    std::printf("%-22s %14.*f %14.*f %8.3f   <= %.2f  %s\n", name, precision, launcher, precision,
                floor, ratio, target, ratio <= target ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 400;
    try {
        const TempDir temp("zelt-startup");
        const fs::path dir = temp.path();
        const Bundle bundle = makeDemoBundle(dir);
        const std::vector<std::string> vector = recordedArguments(bundle, dir);
        const std::vector<std::string> launcher{bundle.launcher.string()};
        std::vector<std::string> floor{ZELT_FLOOR_PATH, bundle.library.string()};
        floor.insert(floor.end(), vector.begin(), vector.end());

        for (int i = 0; i < 20; ++i) {  // warm the page cache and the loader
            run(launcher, {});
            run(floor, {});
        }
        Series launcherSeries;
        Series floorSeries;
        for (int i = 0; i < runs; ++i) {  // alternate who goes first, against drift
            if (i % 2 == 0) {
                launcherSeries.add(run(launcher, {}));
                floorSeries.add(run(floor, {}));
            } else {
                floorSeries.add(run(floor, {}));
                launcherSeries.add(run(launcher, {}));
            }
        }
        if (launcherSeries.failures + floorSeries.failures > 0) {
            std::fprintf(stderr, "failed runs: launcher %d, floor %d\n", launcherSeries.failures,
                         floorSeries.failures);
            return 1;
        }

        // Figures of an unoptimised build say little about the product.
        std::printf(
            "start-up (build type \"%s\"): %d launches of each, alternating; "
            "argument vector of %zu items\n",
            ZELT_BUILD_TYPE, runs, vector.size());
        std::printf("%-22s %14s %14s %8s   %s\n", "", "launcher", "floor", "ratio", "target");
        printRow("wall median (us)", median(launcherSeries.wall), median(floorSeries.wall), 1.25,
                 1);
        std::printf("%-22s %14.1f %14.1f\n", "wall p10 (us)", percentile(launcherSeries.wall, 0.1),
                    percentile(floorSeries.wall, 0.1));
        std::printf("%-22s %14.1f %14.1f\n", "wall p90 (us)", percentile(launcherSeries.wall, 0.9),
                    percentile(floorSeries.wall, 0.9));
        printRow("peak RSS median (KiB)", medianPeakRssKiB(launcher), medianPeakRssKiB(floor), 1.2,
                 0);
        const long long launcherInstructions = countInstructions(launcher, dir / "launcher.cg");
        const long long floorInstructions = countInstructions(floor, dir / "floor.cg");
        if (launcherInstructions > 0 && floorInstructions > 0) {
            printRow("instructions", static_cast<double>(launcherInstructions),
                     static_cast<double>(floorInstructions), 2.0, 0);
        } else {
            std::printf("instructions: valgrind not available\n");
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "startup_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
