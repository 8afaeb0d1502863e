#include "base/FileUtils.h"

#include <algorithm>

#include "base/tstrings.h"

namespace FileUtils {

namespace {

const char dirSeparators[] = "\\/";

}  // namespace

bool isDirSeparator(char c) {
    return c == '/' || c == '\\';
}

std::string dirname(const std::string& path) {
    // A final "/." names the directory itself, so its separator is skipped.
    auto searchEnd = std::string::npos;
    if (tstrings::endsWith(path, "/.") || tstrings::endsWith(path, "\\.")) {
        if (path.size() == 2) {
            return std::string();
        }
        searchEnd = path.size() - 3;
    }
    const auto sep = path.find_last_of(dirSeparators, searchEnd);
    if (sep == std::string::npos) {
        return std::string();
    }
    const auto last = path.find_last_not_of(dirSeparators, sep);
    if (last == std::string::npos) {
        return std::string();
    }
    return path.substr(0, last + 1);
}

std::string basename(const std::string& path) {
    const auto sep = path.find_last_of(dirSeparators);
    if (sep == std::string::npos) {
        return path;
    }
    return path.substr(sep + 1);
}

std::string suffix(const std::string& path) {
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || path.find_first_of(dirSeparators, dot) != std::string::npos) {
        return std::string();
    }
    if (dot == 0) {
        return path;
    }
    if (path[dot - 1] != '.') {
        return path.substr(dot);
    }
    // The dot closes a pair: ".." or a name that opens with two dots has none.
    if (dot == 1 || isDirSeparator(path[dot - 2])) {
        return std::string();
    }
    return path.substr(dot);
}

std::string combinePath(const std::string& parent, const std::string& child) {
    if (parent.empty()) {
        return child;
    }
    if (child.empty()) {
        return parent;
    }
    std::string result = removeTrailingSlash(parent);
    result += '/';
    result.append(child, isDirSeparator(child[0]) ? 1 : 0, std::string::npos);
    return result;
}

std::string removeTrailingSlash(const std::string& path) {
    const auto last = path.find_last_not_of(dirSeparators);
    if (last == std::string::npos) {
        return std::string();
    }
    return path.substr(0, last + 1);
}

std::string normalizePath(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::string replaceSuffix(const std::string& path, const std::string& newSuffix) {
    const auto oldSuffix = suffix(path);
    return path.substr(0, path.size() - oldSuffix.size()) + newSuffix;
}

}  // namespace FileUtils
