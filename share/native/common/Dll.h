#ifndef ZELT_PLATFORM_DLL_H
#define ZELT_PLATFORM_DLL_H

#include <memory>
#include <string>

#include "base/ErrorReporting.h"
#include "base/tstrings.h"

// A shared library loaded by path for the lifetime of the object.
class Dll {
public:
    // Throws when the library cannot be loaded.
    explicit Dll(const tstrings::any& libPath);

    // Loads the library again by path: each object owns and releases its
    // own reference, so the library stays loaded while either lives.
    Dll(const Dll& other);
    Dll& operator=(const Dll&) = delete;

    // The address of `name`; null when it is missing and `throwIfNotFound`
    // is false.
    void* getFunction(const std::string& name, bool throwIfNotFound) const;

    template <class T>
    void getFunction(const tstrings::any& name, T& addr) const {
        addr = reinterpret_cast<T>(getFunction(name.str(), true));
    }

    const std::string& path() const { return thePath; }

    static void freeLibrary(void* handle);

private:
    struct LibraryReleaser {
        void operator()(void* handle) const { freeLibrary(handle); }
    };
    typedef std::unique_ptr<void, LibraryReleaser> Handle;

    static Handle loadLibrary(const std::string& path);

    std::string thePath;
    Handle handle;
};

// One function of a library, usable as a pointer of type T. It holds its
// own load of the library, so the pointer stays valid while it lives.
template <class T>
class DllFunction {
public:
    DllFunction(const Dll& lib, const tstrings::any& name) : library(lib), theName(name.str()) {
        library.getFunction(name, funcPtr);
    }

    operator T() const {
        if (funcPtr == nullptr) {
            throw makeException(
                tstrings::any() << theName << "() function is not available in " << library.path(),
                SourceCodePos(__FILE__, "operator void *", __LINE__));
        }
        return funcPtr;
    }

private:
    Dll library;
    T funcPtr = nullptr;
    std::string theName;
};

#endif  // ZELT_PLATFORM_DLL_H
