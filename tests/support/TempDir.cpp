#include "testing/TempDir.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

TempDir::TempDir(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp(" + pattern + ") failed: " + std::strerror(errno));
    }
    root = std::filesystem::canonical(pattern).string();
}

// A tree that cannot be removed is a fault of whoever filled it; stopping
// the program makes it fail instead of leaving the tree behind unnoticed.
TempDir::~TempDir() {
    std::error_code error;
    std::filesystem::remove_all(root, error);
    if (error) {
        std::fprintf(stderr, "cannot remove %s: %s\n", root.c_str(), error.message().c_str());
        std::abort();
    }
}
