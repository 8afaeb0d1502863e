#include "check/LauncherLocation.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "base/FileUtils.h"

namespace fs = std::filesystem;

namespace {

bool isExecutableFile(const fs::directory_entry& entry) {
    std::error_code error;
    const fs::file_status status = entry.status(error);
    const fs::perms exec = fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
    return !error && fs::is_regular_file(status) &&
           (status.permissions() & exec) != fs::perms::none;
}

}  // namespace

std::string findLauncher(const std::string& bundle) {
    std::error_code error;
    if (!fs::exists(bundle, error)) {
        throw std::runtime_error(bundle + ": no such bundle or launcher");
    }
    if (!fs::is_directory(bundle, error)) {
        return bundle;
    }
    const std::string macOSDir = FileUtils::combinePath(bundle, "Contents/MacOS");
    std::vector<std::string> executables;
    for (fs::directory_iterator it(macOSDir, error), end; !error && it != end;
         it.increment(error)) {
        if (isExecutableFile(*it)) {
            executables.push_back(it->path().filename().string());
        }
    }
    if (error) {
        throw std::runtime_error(macOSDir + ": " + error.message());
    }
    if (executables.size() != 1) {
        std::sort(executables.begin(), executables.end());
        std::string message = macOSDir + " holds " + std::to_string(executables.size()) +
                              " executable files, not exactly one";
        for (std::size_t i = 0; i < executables.size(); ++i) {
            message += (i == 0 ? ": " : ", ") + executables[i];
        }
        throw std::runtime_error(message);
    }
    return FileUtils::combinePath(macOSDir, executables[0]);
}
