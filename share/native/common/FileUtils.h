#ifndef FILEUTILS_H
#define FILEUTILS_H

#include <string>

// Path strings. Both "/" and "\" count as directory separators; only
// combinePath() inserts one, and it inserts "/".
namespace FileUtils {

// Computed from the characters alone.
bool isDirSeparator(char c);
std::string dirname(const std::string& path);
std::string basename(const std::string& path);
std::string suffix(const std::string& path);
std::string combinePath(const std::string& parent, const std::string& child);
std::string removeTrailingSlash(const std::string& path);
std::string normalizePath(std::string path);
std::string replaceSuffix(const std::string& path, const std::string& newSuffix);

// Asking the operating system.
extern const char pathSeparator;

bool isFileExists(const std::string& path);
std::string toAbsolutePath(const std::string& path);
std::string stripExeSuffix(const std::string& path);

}  // namespace FileUtils

#endif  // FILEUTILS_H
