#ifndef ZELT_TESTS_BUNDLEFIXTURE_H
#define ZELT_TESTS_BUNDLEFIXTURE_H

#include <string>
#include <vector>

#include "standin/StandinRecord.h"
#include "testing/ChildProcess.h"
#include "testing/TempDir.h"

// A temporary application bundle around a copy of the launcher:
//   {tempDir}/{bundleName}/Contents/MacOS/{launcherName}
//   {tempDir}/{bundleName}/Contents/app/{launcherName}.cfg
//   {tempDir}/{bundleName}/Contents/runtime/Contents/Home/lib[/xelo]/libxelo.dylib
// The stand-in runtime records into {tempDir}/record. The whole tree is
// removed when the fixture ends.
class BundleFixture {
public:
    enum class RuntimeLib { Lib, LibXelo };  // Contents/Home/lib or Contents/Home/lib/xelo

    explicit BundleFixture(const std::string& bundleName = "Root.app",
                           const std::string& launcherName = "app");
    BundleFixture(const BundleFixture&) = delete;
    BundleFixture& operator=(const BundleFixture&) = delete;

    const std::string& tempDir() const { return temp.path(); }
    const std::string& root() const { return bundleRoot; }
    std::string launcherPath() const;
    std::string appDir() const;
    std::string configPath() const;
    std::string defaultRuntimeDir() const;
    std::string recordPath() const;

    void writeConfig(const std::string& text) const;
    // Puts a copy of the stand-in into `runtimeDir` (the bundle's default
    // runtime directory when empty) at one of the two places searched.
    void installRuntime(RuntimeLib where = RuntimeLib::Lib,
                        const std::string& runtimeDir = {}) const;
    // Writes `content` to `path`, creating the missing directories.
    void writeFile(const std::string& path, const std::string& content) const;

    // A new directory whose absolute path is too long for the launcher's
    // 1024-byte current-directory buffer, and the launcher's path relative to
    // it: started so, the launcher cannot make its own path absolute.
    struct RelativeStart {
        std::string workingDir;
        std::string launcher;
    };
    RelativeStart relativeStartFromTooLongDirectory() const;

    // The sanitizers' and the emulator's options if set, XELO_STANDIN_RECORD,
    // then `env`:
    // nothing else is inherited from the test process.
    std::vector<std::string> environment(const std::vector<std::string>& env) const;

    // Runs the launcher with `args` after its program name in environment(env).
    // A failed run must print a line of the catalogue.
    ProcessResult run(const std::vector<std::string>& args = {},
                      const std::vector<std::string>& env = {},
                      const std::string& workingDir = {}) const;

    StandinRecord record() const { return readStandinRecord(recordPath()); }

private:
    TempDir temp;
    std::string bundleRoot;
    std::string launcherName;
};

#endif  // ZELT_TESTS_BUNDLEFIXTURE_H
