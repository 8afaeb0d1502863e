// Reading and expanding launcher configurations, against a plain std::getline
// loop over the same file as the floor, at 20 lines (a real configuration),
// 1,000 and up to 1,000,000. After the runs it prints the ratios that
// matter: load plus expansion of a million lines within 3 times the floor,
// and ten times the input costing at most eleven times the time.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <limits>
#include <map>
#include <string>

#include "config/CfgFile.h"
#include "testing/TempDir.h"

namespace {

const CfgFile::Macros bundleMacros = {
    {"$APPDIR", "/Applications/Example Application.app/Contents/app"},
    {"$BINDIR", "/Applications/Example Application.app/Contents/MacOS"},
    {"$ROOTDIR", "/Applications/Example Application.app"},
};

const double loadTarget = 3.0;      // load plus expansion, times the getline floor
const double scalingTarget = 11.0;  // time at ten times the input, times the time

// A temporary directory holding one generated file per size.
class Workspace {
public:
    // A realistic configuration of `lines` property lines: a few single
    // values, then class path entries and runtime options using the macros.
    const std::string& configuration(long lines) {
        std::string& path = files[lines];
        if (path.empty()) {
            path = dir.path("lines-" + std::to_string(lines) + ".cfg");
            std::ofstream out(path);
            out << "; generated\n[Application]\napp.mainclass=com.example.Main\n"
                << "app.runtime=$ROOTDIR/Contents/runtime\napp.splash=$APPDIR/splash.png\n";
            const long rest = lines - 3;
            for (long i = 0; i < rest / 2; ++i) {
                out << "app.classpath=$APPDIR/lib/library-" << i << ".jar\n";
            }
            out << "\n[TovelOptions]\n";
            for (long i = rest / 2; i < rest; ++i) {
                out << "tovel-options=-Dexample.plugin." << i << "=$APPDIR/plugins/" << i << "\n";
            }
        }
        return path;
    }

private:
    const TempDir dir{"zelt-cfgfile-bench"};
    std::map<long, std::string> files;
};

Workspace& workspace() {
    static Workspace instance;
    return instance;
}

// The fastest run of each measurement, by name and size.
std::map<std::string, std::map<long, double>> fastest;

typedef std::chrono::steady_clock Clock;

double seconds(Clock::time_point start, Clock::time_point end) {
    return std::chrono::duration<double>(end - start).count();
}

void record(benchmark::State& state, const std::string& name, double time) {
    state.SetIterationTime(time);
    double& best =
        fastest[name].emplace(state.range(0), std::numeric_limits<double>::max()).first->second;
    best = std::min(best, time);
}

void BM_GetlineFloor(benchmark::State& state) {
    const std::string& path = workspace().configuration(state.range(0));
    for (auto _ : state) {
        const auto start = Clock::now();
        std::ifstream in(path);
        std::string line;
        long count = 0;
        while (std::getline(in, line)) {
            ++count;
        }
        benchmark::DoNotOptimize(count);
        record(state, "getline", seconds(start, Clock::now()));
    }
}

void BM_Load(benchmark::State& state) {
    const std::string& path = workspace().configuration(state.range(0));
    CfgFile::load(path);  // warms the heap
    for (auto _ : state) {
        const auto start = Clock::now();
        CfgFile cfg = CfgFile::load(path);
        const auto end = Clock::now();
        benchmark::DoNotOptimize(cfg);
        record(state, "load", seconds(start, end));
    }
}

// Times one expansion of `cfg` per iteration.
void timeExpansion(benchmark::State& state, const CfgFile& cfg, const char* measurement) {
    cfg.expandMacros(bundleMacros);  // warms the heap
    for (auto _ : state) {
        const auto start = Clock::now();
        CfgFile expanded = cfg.expandMacros(bundleMacros);
        const auto end = Clock::now();
        benchmark::DoNotOptimize(expanded);
        record(state, measurement, seconds(start, end));
    }
}

void BM_Expand(benchmark::State& state) {
    timeExpansion(state, CfgFile::load(workspace().configuration(state.range(0))), "expand");
}

void BM_LoadAndExpand(benchmark::State& state) {
    const std::string& path = workspace().configuration(state.range(0));
    CfgFile::load(path).expandMacros(bundleMacros);  // warms the heap
    for (auto _ : state) {
        const auto start = Clock::now();
        const CfgFile loaded = CfgFile::load(path);
        CfgFile expanded = loaded.expandMacros(bundleMacros);
        const auto end = Clock::now();
        benchmark::DoNotOptimize(expanded);
        record(state, "load+expand", seconds(start, end));
    }
}

// One class path value holding range(0) macro names.
void BM_ExpandManyNames(benchmark::State& state) {
    std::string value;
    for (long i = 0; i < state.range(0); ++i) {
        value += "$APPDIR/lib/library-" + std::to_string(i) + ".jar:";
    }
    CfgFile cfg;
    cfg.setPropertyValue(SectionName::Application, PropertyName::classpath, {value});
    timeExpansion(state, cfg, "one value");
}

// A real configuration's size, then powers of ten, timed by hand so that
// only the work is measured.
void measured(benchmark::internal::Benchmark* b, long largest) {
    b->Arg(20);
    for (long lines = 1000; lines <= largest; lines *= 10) {
        b->Arg(lines);
    }
    b->UseManualTime()->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_GetlineFloor)->Apply([](auto* b) { measured(b, 1000000); });
BENCHMARK(BM_Load)->Apply([](auto* b) { measured(b, 1000000); });
BENCHMARK(BM_Expand)->Apply([](auto* b) { measured(b, 1000000); });
BENCHMARK(BM_LoadAndExpand)->Apply([](auto* b) { measured(b, 1000000); });
BENCHMARK(BM_ExpandManyNames)->Apply([](auto* b) { measured(b, 100000); });

const char* verdict(bool met) {
    return met ? "met" : "MISSED";
}

// The fastest time of a measurement, or NaN when it did not run.
double best(const std::string& name, long size) {
    const auto times = fastest.find(name);
    if (times == fastest.end() || times->second.count(size) == 0) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return times->second.at(size);
}

void printRatios() {
    std::printf("\nFastest run of each measurement, in microseconds:\n");
    std::printf("%10s %10s %10s %10s %12s %22s\n", "lines", "getline", "load", "expand",
                "load+expand", "(load+expand)/getline");
    for (const auto& [lines, floor] : fastest["getline"]) {
        const double both = best("load+expand", lines);
        std::printf("%10ld %10.1f %10.1f %10.1f %12.1f %22.2f\n", lines, floor * 1e6,
                    best("load", lines) * 1e6, best("expand", lines) * 1e6, both * 1e6,
                    both / floor);
    }
    const long largest = fastest["getline"].rbegin()->first;
    const double ratio = best("load+expand", largest) / best("getline", largest);
    std::printf("Load plus expansion of %ld lines: %.2f times the floor (target <= %.0f): %s\n",
                largest, ratio, loadTarget, verdict(ratio <= loadTarget));

    std::printf("\nTime at ten times the input, divided by the time (target <= %.0f):\n",
                scalingTarget);
    for (const auto& [name, times] : fastest) {
        for (const auto& [small, time] : times) {
            const auto large = times.find(small * 10);
            if (large == times.end()) {
                continue;
            }
            const double growth = large->second / time;
            std::printf("%12s %8ld -> %8ld: %6.2f %s\n", name.c_str(), small, large->first, growth,
                        verdict(growth <= scalingTarget));
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Keep freed memory in the heap between iterations, so that each one
    // measures the work, not the first touch of fresh pages (which a launcher
    // pays once, and which some virtual machines make very costly).
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    if (!fastest["getline"].empty()) {
        printRatios();
    }
    benchmark::Shutdown();
    return 0;
}
