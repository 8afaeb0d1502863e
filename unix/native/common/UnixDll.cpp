#include <dlfcn.h>

#include "platform/Dll.h"

namespace {

// dlerror() may have nothing to say, e.g. for a symbol whose value is null.
std::string loaderError() {
    const char* text = ::dlerror();
    return text != nullptr ? text : "";
}

}  // namespace

Dll::Dll(const tstrings::any& libPath) : thePath(libPath.str()), handle(loadLibrary(thePath)) {}

Dll::Dll(const Dll& other) : thePath(other.thePath), handle(loadLibrary(thePath)) {}

void* Dll::getFunction(const std::string& name, bool throwIfNotFound) const {
    void* address = ::dlsym(handle.get(), name.c_str());
    if (address == nullptr && throwIfNotFound) {
        throw makeException(tstrings::any() << "dlsym(" << thePath << ", " << name
                                            << ") failed. Error: " << loaderError(),
                            ZELT_SOURCE_POS);
    }
    return address;
}

void Dll::freeLibrary(void* handle) {
    if (handle != nullptr) {
        ::dlclose(handle);
    }
}

Dll::Handle Dll::loadLibrary(const std::string& path) {
    Handle loaded(::dlopen(path.c_str(), RTLD_LAZY));
    if (!loaded) {
        throw makeException(tstrings::any()
                                << "dlopen(" << path << ") failed. Error: " << loaderError(),
                            ZELT_SOURCE_POS);
    }
    return loaded;
}
