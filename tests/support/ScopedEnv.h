#ifndef ZELT_TESTING_SCOPEDENV_H
#define ZELT_TESTING_SCOPEDENV_H

#include <optional>
#include <string>

// Sets (or, for a null value, unsets) one environment variable while the
// object lives, then restores what was there.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void set(const char* value) const;

    std::string name;
    std::optional<std::string> saved;
};

#endif  // ZELT_TESTING_SCOPEDENV_H
