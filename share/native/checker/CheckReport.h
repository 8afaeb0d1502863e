#ifndef ZELT_CHECK_CHECKREPORT_H
#define ZELT_CHECK_CHECKREPORT_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Something the launcher accepts silently but a packager almost never means.
struct CheckWarning {
    std::string message;
    std::string file;        // empty when no file applies
    std::uint64_t line = 0;  // 0 when no line applies
};

// What the launcher would do with a bundle, up to the start of the runtime.
// A field stays empty when the launcher fails before it gets there.
struct CheckReport {
    enum class Load { NotReached, Skipped, Loaded };

    std::optional<std::string> config;
    std::optional<std::string> runtimeDir;
    std::optional<std::string> library;
    std::optional<std::string> libraryPathVariable;
    std::optional<std::vector<std::string>> argv;
    Load load = Load::NotReached;
    std::vector<std::string> errors;  // the launcher's own failure message, if it would fail
    std::vector<CheckWarning> warnings;
};

// 1 when the launcher would fail, 2 when it would start the runtime but
// there are warnings, 0 otherwise.
int checkStatus(const CheckReport& report);

#endif  // ZELT_CHECK_CHECKREPORT_H
