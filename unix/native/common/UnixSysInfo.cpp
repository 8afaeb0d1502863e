#include <cstdlib>

#include "base/ErrorReporting.h"
#include "platform/SysInfo.h"

namespace SysInfo {

std::string getEnvVariable(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) {
        throw makeException(tstrings::any() << "getenv(" << name << ") failed. Variable not set",
                            ZELT_SOURCE_POS);
    }
    return value;
}

std::string getEnvVariable(const std::nothrow_t&, const std::string& name,
                           const std::string& defaultValue) {
    const char* value = std::getenv(name.c_str());
    return value != nullptr ? std::string(value) : defaultValue;
}

bool isEnvVariableSet(const std::string& name) {
    return std::getenv(name.c_str()) != nullptr;
}

void setEnvVariable(const std::string& name, const std::string& value) {
    ::setenv(name.c_str(), value.c_str(), 1);
}

}  // namespace SysInfo
