#ifndef SCOPEDENV_H
#define SCOPEDENV_H

#include <cstdlib>
#include <optional>
#include <string>

// Sets (or, for a null value, unsets) one environment variable while the
// object lives, then restores what was there.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name(name) {
        if (const char* old = std::getenv(name)) {
            saved = old;
        }
        set(value);
    }
    ~ScopedEnv() { set(saved ? saved->c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void set(const char* value) const {
        if (value != nullptr) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }

    const char* name;
    std::optional<std::string> saved;
};

#endif  // SCOPEDENV_H
