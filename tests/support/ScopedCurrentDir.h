#ifndef ZELT_TESTING_SCOPEDCURRENTDIR_H
#define ZELT_TESTING_SCOPEDCURRENTDIR_H

#include <string>

// Makes `dir` the current directory while the object lives, then returns
// to the one before, wherever the code in between went meanwhile.
class ScopedCurrentDir {
public:
    explicit ScopedCurrentDir(const std::string& dir);
    ~ScopedCurrentDir();
    ScopedCurrentDir(const ScopedCurrentDir&) = delete;
    ScopedCurrentDir& operator=(const ScopedCurrentDir&) = delete;

private:
    std::string saved;
};

#endif  // ZELT_TESTING_SCOPEDCURRENTDIR_H
