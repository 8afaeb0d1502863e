#ifndef ZELT_TESTING_TEMPDIR_H
#define ZELT_TESTING_TEMPDIR_H

#include <string>

// A fresh directory under the system's temporary directory, removed with
// all it holds when the object ends. The path is canonical, so it compares
// equal to what the system reports for it (the current directory, links).
class TempDir {
public:
    explicit TempDir(const std::string& prefix);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return root; }
    std::string path(const std::string& relative) const { return root + "/" + relative; }

private:
    std::string root;
};

#endif  // ZELT_TESTING_TEMPDIR_H
