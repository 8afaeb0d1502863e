#ifndef ZELT_TESTING_CHILDPROCESS_H
#define ZELT_TESTING_CHILDPROCESS_H

#include <string>
#include <vector>

struct ProcessResult {
    int exitStatus = -1;  // -1 when the process did not exit normally
    int termSignal = 0;   // the signal that ended it, if one did
    std::string out;
    std::string err;
};

// Runs `path` with exactly `argv` (program name included) and exactly `env`
// ("NAME=value" items) in `workingDir` (empty: the current one). A `path`
// without a slash is looked up in this process's PATH, as a shell would.
// Both output streams are captured into the result; with an `outputFile`
// they both go to that file instead, truncated first, as "> file 2>&1"
// would send them ("/dev/null" drops them). Throws when the program cannot
// be started.
ProcessResult runProcess(const std::string& path, const std::vector<std::string>& argv,
                         const std::vector<std::string>& env, const std::string& workingDir = {},
                         const std::string& outputFile = {});

// The sanitizers' and the emulator's options of this process and the
// variables named in `names`, as "NAME=value" items, for those that are set:
// what a child started with an otherwise exact environment still needs from
// its parent.
std::vector<std::string> inheritedEnvironment(const std::vector<std::string>& names = {});

// The pointers of `items`, then a null one: the shape of an exec call's
// argument vector and environment. Valid while `items` is unchanged.
std::vector<char*> nullTerminated(const std::vector<std::string>& items);

#endif  // ZELT_TESTING_CHILDPROCESS_H
