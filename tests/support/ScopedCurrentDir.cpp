#include "ScopedCurrentDir.h"

#include <filesystem>

ScopedCurrentDir::ScopedCurrentDir(const std::string& dir)
    : saved(std::filesystem::current_path().string()) {
    std::filesystem::current_path(dir);
}

ScopedCurrentDir::~ScopedCurrentDir() {
    std::filesystem::current_path(saved);
}
