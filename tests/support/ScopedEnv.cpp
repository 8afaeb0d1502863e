#include "testing/ScopedEnv.h"

#include <cstdlib>

ScopedEnv::ScopedEnv(const char* name, const char* value) : name(name) {
    if (const char* old = std::getenv(name)) {
        saved = old;
    }
    set(value);
}

ScopedEnv::~ScopedEnv() {
    set(saved ? saved->c_str() : nullptr);
}

void ScopedEnv::set(const char* value) const {
    if (value != nullptr) {
        ::setenv(name.c_str(), value, 1);
    } else {
        ::unsetenv(name.c_str());
    }
}
