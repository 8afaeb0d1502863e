#include "BundleFixture.h"

#include "ErrorCatalogue.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

[[noreturn]] void failWithErrno(const std::string& call) {
    throw std::runtime_error(call + " failed: " + std::strerror(errno));
}

std::vector<char*> nullTerminated(const std::vector<std::string>& items) {
    std::vector<char*> result;
    for (const std::string& item : items) {
        result.push_back(const_cast<char*>(item.c_str()));
    }
    result.push_back(nullptr);
    return result;
}

// Only async-signal-safe calls between fork() and exec.
[[noreturn]] void execChild(const std::string& path, char* const* argv, char* const* envp,
                            const std::string& workingDir, int outFd, int errFd) {
    if (::dup2(outFd, STDOUT_FILENO) == -1 || ::dup2(errFd, STDERR_FILENO) == -1) {
        ::_exit(126);
    }
    if (!workingDir.empty() && ::chdir(workingDir.c_str()) != 0) {
        ::_exit(126);
    }
    ::execve(path.c_str(), argv, envp);
    ::_exit(127);
}

// Drains both pipes together, so a child that fills one cannot block.
void readBoth(int outFd, int errFd, std::string& out, std::string& err) {
    pollfd fds[] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[] = {&out, &err};
    int open = 2;
    while (open > 0) {
        if (::poll(fds, 2, -1) == -1) {
            if (errno == EINTR) {
                continue;
            }
            failWithErrno("poll");
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof(buffer));
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

void makePipe(int fds[2]) {
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        failWithErrno("pipe2");
    }
}

void copyExecutable(const std::string& from, const std::string& to) {
    fs::create_directories(fs::path(to).parent_path());
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    fs::permissions(to, fs::perms::owner_all, fs::perm_options::add);
}

}  // namespace

ProcessResult runProcess(const std::string& path, const std::vector<std::string>& argv,
                         const std::vector<std::string>& env, const std::string& workingDir) {
    std::vector<char*> argvPointers = nullTerminated(argv);
    std::vector<char*> envPointers = nullTerminated(env);
    int outPipe[2];
    int errPipe[2];
    makePipe(outPipe);
    makePipe(errPipe);
    const pid_t pid = ::fork();
    if (pid == -1) {
        failWithErrno("fork");
    }
    if (pid == 0) {
        execChild(path, argvPointers.data(), envPointers.data(), workingDir, outPipe[1],
                  errPipe[1]);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    ProcessResult result;
    readBoth(outPipe[0], errPipe[0], result.out, result.err);
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) == -1) {
        if (errno != EINTR) {
            failWithErrno("waitpid");
        }
    }
    if (WIFEXITED(status)) {
        result.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.termSignal = WTERMSIG(status);
    }
    return result;
}

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

std::vector<std::string> BundleFixture::environment(const std::vector<std::string>& env) const {
    std::vector<std::string> result{"XELO_STANDIN_RECORD=" + recordPath()};
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "QEMU_LD_PREFIX"}) {
        if (const char* value = std::getenv(name)) {
            result.push_back(std::string(name) + "=" + value);
        }
    }
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
