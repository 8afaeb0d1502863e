#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

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

// What the child does before it runs the program: its working directory
// and where its output streams go.
class FileActions {
public:
    FileActions() { posix_spawn_file_actions_init(&actions); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;

    void chdir(const std::string& dir) {
        check(posix_spawn_file_actions_addchdir_np(&actions, dir.c_str()));
    }
    void dup2(int from, int to) { check(posix_spawn_file_actions_adddup2(&actions, from, to)); }
    void openOutput(const std::string& path) {
        check(posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, path.c_str(),
                                               O_WRONLY | O_CREAT | O_TRUNC, 0644));
        dup2(STDOUT_FILENO, STDERR_FILENO);
    }
    const posix_spawn_file_actions_t* get() const { return &actions; }

private:
    static void check(int error) {
        if (error != 0) {
            fail("posix_spawn_file_actions", error);
        }
    }

    posix_spawn_file_actions_t actions;
};

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

pid_t spawn(const std::string& path, const std::vector<std::string>& argv,
            const std::vector<std::string>& env, const FileActions& actions) {
    std::vector<char*> argvPointers = nullTerminated(argv);
    std::vector<char*> envPointers = nullTerminated(env);
    pid_t pid = 0;
    const int error = ::posix_spawnp(&pid, path.c_str(), actions.get(), nullptr,
                                     argvPointers.data(), envPointers.data());
    if (error != 0) {
        fail("posix_spawn(" + path + ")", error);
    }
    return pid;
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

}  // namespace

ProcessResult runProcess(const std::string& path, const std::vector<std::string>& argv,
                         const std::vector<std::string>& env, const std::string& workingDir,
                         const std::string& outputFile) {
    FileActions actions;
    if (!workingDir.empty()) {
        actions.chdir(workingDir);
    }
    ProcessResult result;
    if (!outputFile.empty()) {
        actions.openOutput(outputFile);
        waitFor(spawn(path, argv, env, actions), result);
        return result;
    }
    Pipe out;
    Pipe err;
    actions.dup2(out.writeEnd(), STDOUT_FILENO);
    actions.dup2(err.writeEnd(), STDERR_FILENO);
    const pid_t pid = spawn(path, argv, env, actions);
    out.closeWriteEnd();
    err.closeWriteEnd();
    readBoth(out.readEnd(), err.readEnd(), result.out, result.err);
    waitFor(pid, result);
    return result;
}

std::vector<std::string> inheritedEnvironment(const std::vector<std::string>& names) {
    std::vector<std::string> wanted{"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "QEMU_LD_PREFIX"};
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
