#include "BundleFixture.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "ErrorCatalogue.h"

namespace fs = std::filesystem;

namespace {

void copyExecutable(const std::string& from, const std::string& to) {
    fs::create_directories(fs::path(to).parent_path());
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    fs::permissions(to, fs::perms::owner_all, fs::perm_options::add);
}

}  // namespace

BundleFixture::BundleFixture(const std::string& bundleName, const std::string& launcherName)
    : temp("zelt-bundle"), bundleRoot(temp.path(bundleName)), launcherName(launcherName) {
    copyExecutable(ZELT_LAUNCHER_PATH, launcherPath());
    fs::create_directories(appDir());
}

std::string BundleFixture::launcherPath() const {
    return bundleRoot + "/Contents/MacOS/" + launcherName;
}

std::string BundleFixture::appDir() const {
    return bundleRoot + "/Contents/app";
}

std::string BundleFixture::configPath() const {
    return appDir() + "/" + launcherName + ".cfg";
}

std::string BundleFixture::defaultRuntimeDir() const {
    return bundleRoot + "/Contents/runtime";
}

std::string BundleFixture::recordPath() const {
    return temp.path("record");
}

void BundleFixture::writeConfig(const std::string& text) const {
    writeFile(configPath(), text);
}

void BundleFixture::installRuntime(RuntimeLib where, const std::string& runtimeDir) const {
    const std::string dir = runtimeDir.empty() ? defaultRuntimeDir() : runtimeDir;
    const char* const lib = where == RuntimeLib::Lib ? "/Contents/Home/lib/libxelo.dylib"
                                                     : "/Contents/Home/lib/xelo/libxelo.dylib";
    copyExecutable(ZELT_STANDIN_PATH, dir + lib);
}

void BundleFixture::writeFile(const std::string& path, const std::string& content) const {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + path);
    }
}

BundleFixture::RelativeStart BundleFixture::relativeStartFromTooLongDirectory() const {
    RelativeStart start{tempDir(), ""};
    while (start.workingDir.size() <= 1100) {
        start.workingDir += "/" + std::string(100, 'd');
        start.launcher += "../";
    }
    fs::create_directories(start.workingDir);
    start.launcher += fs::path(launcherPath()).lexically_relative(tempDir()).string();
    return start;
}

std::vector<std::string> BundleFixture::environment(const std::vector<std::string>& env) const {
    std::vector<std::string> result = inheritedEnvironment();
    result.push_back("XELO_STANDIN_RECORD=" + recordPath());
    result.insert(result.end(), env.begin(), env.end());
    return result;
}

ProcessResult BundleFixture::run(const std::vector<std::string>& args,
                                 const std::vector<std::string>& env,
                                 const std::string& workingDir) const {
    std::vector<std::string> argv{launcherPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    ProcessResult result = runProcess(launcherPath(), argv, environment(env), workingDir);
    if (result.exitStatus == 1) {
        expectCataloguedFailure(result.err);
    }
    return result;
}
