#ifndef TEMPDIR_H
#define TEMPDIR_H

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

// A fresh directory under the system's temporary directory, removed with
// all it holds when the object ends. The path is canonical, so it compares
// equal to what the system reports for it (the current directory, links).
class TempDir {
public:
    explicit TempDir(const std::string& prefix) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp(" + pattern + ") failed: " + std::strerror(errno));
        }
        root = std::filesystem::canonical(pattern).string();
    }
    ~TempDir() {
        std::error_code error;
        std::filesystem::remove_all(root, error);
        if (error) {
            ADD_FAILURE() << "cannot remove " << root << ": " << error.message();
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return root; }
    std::string path(const std::string& relative) const { return root + "/" + relative; }

private:
    std::string root;
};

#endif  // TEMPDIR_H
