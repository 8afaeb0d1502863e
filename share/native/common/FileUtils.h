#ifndef ZELT_BASE_FILEUTILS_H
#define ZELT_BASE_FILEUTILS_H

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

// This platform's conventions: the separator of the entries of a path list
// such as DYLD_LIBRARY_PATH, and executable names, which carry no suffix.
extern const char pathSeparator;
std::string stripExeSuffix(const std::string& path);

// Asking the file system: whether anything is there (links followed), and a
// relative path made absolute against the current directory.
bool isFileExists(const std::string& path);
std::string toAbsolutePath(const std::string& path);

}  // namespace FileUtils

#endif  // ZELT_BASE_FILEUTILS_H
