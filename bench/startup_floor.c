/*
 * The least any launcher has to do: load the runtime's launcher library by
 * path, find XELO_Launch and call it with a ready argument vector. The
 * start-up benchmark measures the launcher against this.
 *
 * Usage: startup_floor LIBRARY [ARG...]  (the ARGs are the vector, the
 * program path first). Exits 0 when the entry point returned 0, else 1.
 */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "runtime/XeloLaunch.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        fputs("usage: startup_floor LIBRARY [ARG...]\n", stderr);
        return 1;
    }
    void* library = dlopen(argv[1], RTLD_LAZY);
    void* symbol = library != NULL ? dlsym(library, "XELO_Launch") : NULL;
    if (symbol == NULL) {
        fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    XeloLaunchFunction* xeloLaunch;
    memcpy(&xeloLaunch, &symbol, sizeof(xeloLaunch));
    static const char empty[] = "";
    static const char tovel[] = "tovel";
    const int32_t result =
        xeloLaunch(argc - 2, argv + 2, 0, NULL, 0, NULL, empty, empty, tovel, tovel, 0, 0, 0, 0);
    dlclose(library);
    return result == 0 ? 0 : 1;
}
