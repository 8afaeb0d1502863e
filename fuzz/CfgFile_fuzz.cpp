// Loads arbitrary bytes as a launcher configuration and expands it with the
// three bundle macros. The first input line is the bundle root, so that roots
// holding macro names (which make expansion grow without end) are explored
// too; the rest is the file.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/ErrorReporting.h"
#include "config/CfgFile.h"

namespace {

const CfgFile::Id<CfgFile::SectionNameTag> allSections[] = {
    SectionName::Application,         SectionName::TovelOptions,
    SectionName::AppVornTovelOptions, SectionName::AppVornGenerateCacheTovelOptions,
    SectionName::ArgOptions,
};

// Bundle paths are bounded in practice; a longer first line is cut.
const std::size_t maxRootLength = 256;

char directory[] = "/tmp/CfgFile_fuzz.XXXXXX";
std::string inputPath;

void removeInput() {
    std::remove(inputPath.c_str());
    ::rmdir(directory);
}

void writeInput(const std::string& content) {
    FILE* file = std::fopen(inputPath.c_str(), "wb");
    if (file == nullptr || std::fwrite(content.data(), 1, content.size(), file) != content.size()) {
        std::perror(inputPath.c_str());
        std::abort();
    }
    std::fclose(file);
}

CfgFile::Macros bundleMacros(const std::string& root) {
    return {{"$APPDIR", root + "/Contents/app"},
            {"$BINDIR", root + "/Contents/MacOS"},
            {"$ROOTDIR", root}};
}

// A loaded configuration holds no empty section and no property without values.
void checkLoaded(const CfgFile& cfg) {
    for (const auto& section : allSections) {
        for (const auto& property : cfg.getProperties(section)) {
            if (property.second.empty()) {
                __builtin_trap();
            }
        }
    }
}

// Expansion changes values only: same sections, same properties, same counts.
void checkSameShape(const CfgFile& source, const CfgFile& expanded) {
    for (const auto& section : allSections) {
        const CfgFile::Properties& before = source.getProperties(section);
        const CfgFile::Properties& after = expanded.getProperties(section);
        if (before.size() != after.size()) {
            __builtin_trap();
        }
        for (auto b = before.begin(), a = after.begin(); b != before.end(); ++b, ++a) {
            if (!(b->first == a->first) || b->second.size() != a->second.size()) {
                __builtin_trap();
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (::mkdtemp(directory) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    inputPath = std::string(directory) + "/fuzz.cfg";
    std::atexit(removeInput);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const auto rootEnd = input.find('\n');
    const std::string root = input.substr(0, std::min(rootEnd, maxRootLength));
    writeInput(rootEnd == std::string::npos ? std::string() : input.substr(rootEnd + 1));
    try {
        const CfgFile cfg = CfgFile::load(inputPath);
        checkLoaded(cfg);
        checkSameShape(cfg, cfg.expandMacros({}));
        checkSameShape(cfg, cfg.expandMacros(bundleMacros(root)));
    } catch (const ZeltError<std::runtime_error>&) {
        // A malformed file or a non-terminating expansion: reported, not a fault.
    }
    return 0;
}
