#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace {

[[noreturn]] void fail(const std::string& call, int error) {
    throw std::runtime_error(call + " failed: " + std::strerror(error));
}

// Closes both ends of a pipe that is still open when it ends.
class Pipe {
public:
    Pipe() {
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            fail("pipe2", errno);
        }
    }
    ~Pipe() {
        closeReadEnd();
        closeWriteEnd();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    int readEnd() const { return ends[0]; }
    int writeEnd() const { return ends[1]; }
    void closeReadEnd() { closeEnd(0); }
    void closeWriteEnd() { closeEnd(1); }

private:
    void closeEnd(int i) {
        if (ends[i] >= 0) {
            ::close(ends[i]);
            ends[i] = -1;
        }
    }

    int ends[2] = {-1, -1};
};

// Where the child's output goes: both streams to one file, or each to a
// descriptor of its own.
struct ChildOutput {
    std::string file;
    int out = -1;
    int err = -1;
};

// The program that `path` names: itself when it holds a slash, otherwise the
// first executable of that name in PATH, as a shell finds it.
std::string resolveProgram(const std::string& path) {
    const char* searchPath = std::getenv("PATH");
    if (path.find('/') != std::string::npos || searchPath == nullptr) {
        return path;
    }
    const std::string dirs = searchPath;
    for (size_t from = 0; from <= dirs.size();) {
        const size_t end = std::min(dirs.find(':', from), dirs.size());
        const std::string dir = dirs.substr(from, end - from);
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + path;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        from = end + 1;
    }
    return path;
}

// The child's side of a start, with async-signal-safe calls only: any step
// that fails writes its errno to `report` and ends the child.
[[noreturn]] void runChild(const char* program, char* const* argv, char* const* envp,
                           const std::string& workingDir, const ChildOutput& output, int report) {
    const auto check = [report](bool done) {
        if (!done) {
            const int error = errno;
            [[maybe_unused]] const ssize_t written = ::write(report, &error, sizeof(error));
            ::_exit(127);
        }
    };
    if (!workingDir.empty()) {
        check(::chdir(workingDir.c_str()) == 0);
    }
    int out = output.out;
    int err = output.err;
    if (!output.file.empty()) {
        out = err = ::open(output.file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        check(out != -1);
    }
    check(::dup2(out, STDOUT_FILENO) != -1 && ::dup2(err, STDERR_FILENO) != -1);
    ::execve(program, argv, envp);
    check(false);
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
            fail("poll", errno);
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

void waitFor(pid_t pid, ProcessResult& result) {
    int status = 0;
    while (::waitpid(pid, &status, 0) == -1) {
        if (errno != EINTR) {
            fail("waitpid", errno);
        }
    }
    if (WIFEXITED(status)) {
        result.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.termSignal = WTERMSIG(status);
    }
}

// Starts the program. A report pipe that closes at a successful exec tells
// the parent whether the child got that far, and if not, why. Unlike
// posix_spawn this holds under qemu-user too, which runs a vfork as a fork.
pid_t spawn(const std::string& path, const std::vector<std::string>& argv,
            const std::vector<std::string>& env, const std::string& workingDir,
            const ChildOutput& output) {
    const std::string program = resolveProgram(path);
    std::vector<char*> argvPointers = nullTerminated(argv);
    std::vector<char*> envPointers = nullTerminated(env);
    Pipe report;
    const pid_t pid = ::fork();
    if (pid == -1) {
        fail("fork", errno);
    }
    if (pid == 0) {
        runChild(program.c_str(), argvPointers.data(), envPointers.data(), workingDir, output,
                 report.writeEnd());
    }
    report.closeWriteEnd();
    int error = 0;
    ssize_t n;
    while ((n = ::read(report.readEnd(), &error, sizeof(error))) == -1 && errno == EINTR) {
    }
    if (n == static_cast<ssize_t>(sizeof(error))) {
        ProcessResult ended;
        waitFor(pid, ended);
        fail("starting " + path, error);
    }
    return pid;
}

}  // namespace

ProcessResult runProcess(const std::string& path, const std::vector<std::string>& argv,
                         const std::vector<std::string>& env, const std::string& workingDir,
                         const std::string& outputFile) {
    ProcessResult result;
    if (!outputFile.empty()) {
        waitFor(spawn(path, argv, env, workingDir, ChildOutput{outputFile}), result);
        return result;
    }
    Pipe out;
    Pipe err;
    const pid_t pid =
        spawn(path, argv, env, workingDir, ChildOutput{{}, out.writeEnd(), err.writeEnd()});
    out.closeWriteEnd();
    err.closeWriteEnd();
    readBoth(out.readEnd(), err.readEnd(), result.out, result.err);
    waitFor(pid, result);
    return result;
}

std::vector<std::string> inheritedEnvironment(const std::vector<std::string>& names) {
    std::vector<std::string> wanted{"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS",
                                    "QEMU_LD_PREFIX"};
    wanted.insert(wanted.end(), names.begin(), names.end());
    std::vector<std::string> result;
    for (const std::string& name : wanted) {
        if (const char* value = std::getenv(name.c_str())) {
            result.push_back(name + "=" + value);
        }
    }
    return result;
}

std::vector<char*> nullTerminated(const std::vector<std::string>& items) {
    std::vector<char*> result;
    for (const std::string& item : items) {
        result.push_back(const_cast<char*>(item.c_str()));
    }
    result.push_back(nullptr);
    return result;
}
