#ifndef ZELT_PLATFORM_SYSINFO_H
#define ZELT_PLATFORM_SYSINFO_H

#include <new>
#include <string>
#include <vector>

// What the launcher learns about its own process and environment.
namespace SysInfo {

// The process arguments as main() received them; set once by main().
extern int argc;
extern char** argv;

enum CommandArgProgramNameMode : int { WithProgramName = 0, WithoutProgramName = 1 };

// The process arguments less every one that begins with "-psn_".
std::vector<std::string> getCommandArgs(CommandArgProgramNameMode mode);

// The absolute path of the running executable.
std::string getProcessModulePath();

// The path in `buffer` (NUL-terminated) with the chain of symbolic links on
// its last component followed to its end; a relative link text counts from
// the link's directory. Earlier components, "." and ".." stay as they are.
std::string getRealPath(const std::vector<char>& buffer);

std::string getEnvVariable(const std::string& name);
std::string getEnvVariable(const std::nothrow_t&, const std::string& name,
                           const std::string& defaultValue);
bool isEnvVariableSet(const std::string& name);
void setEnvVariable(const std::string& name, const std::string& value);

}  // namespace SysInfo

#endif  // ZELT_PLATFORM_SYSINFO_H
