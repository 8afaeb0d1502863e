/*
 * What the runtime's launcher library sees of the launcher: the launch block
 * that carries the argument vector, the table and the functions that the
 * launcher exports to build it, and the library's entry point XELO_Launch.
 * Plain C, so that the runtime side can include it too.
 */
#ifndef ZELT_RUNTIME_XELOLAUNCH_H
#define ZELT_RUNTIME_XELOLAUNCH_H

#include <assert.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/*
 * The flat launch block: this header, then the library path text, the
 * argument pointer array (unaligned unless the path's length plus one is a
 * multiple of 8) and the argument texts. Every pointer points into the same
 * allocation, so a filled block must stay where it was filled.
 */
typedef struct ZarnlLauncherData {
    char* libraryPath;
    int32_t argc;
    char** argv;
} ZarnlLauncherData;

static_assert(offsetof(ZarnlLauncherData, libraryPath) == 0, "block layout");
static_assert(offsetof(ZarnlLauncherData, argc) == 8, "block layout");
static_assert(offsetof(ZarnlLauncherData, argv) == 16, "block layout");
static_assert(sizeof(ZarnlLauncherData) == 24, "block layout");

/*
 * Sizes, fills and destroys what a launcher handle stands for. A handle is
 * an opaque pointer made by the launcher.
 */
typedef struct ZarnlLauncherAPI {
    void (*closeHandle)(void* handle);
    int32_t (*getZarnlLauncherDataSize)(void* handle);
    ZarnlLauncherData* (*initZarnlLauncherData)(void* handle, void* buffer, int32_t bufferSize);
} ZarnlLauncherAPI;

/* Exported from the launcher executable under these names. */
const ZarnlLauncherAPI* zarnLauncherGetAPI(void);

/*
 * Consumes `handle` (closes it through `api` whenever it is not null) and
 * returns a block from malloc() that the caller frees, or null.
 */
ZarnlLauncherData* zarnLauncherCreateZarnlLauncherData(const ZarnlLauncherAPI* api, void* handle);

/* Writes one line to stderr, only while ZELT_DEBUG is "true". */
void zarnLauncherLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

/* Calls the runtime's XELO_Launch at `entryPoint` with the block's arguments. */
int32_t zarnLauncherStartZarn(const ZarnlLauncherData* data, void* entryPoint);

/*
 * The runtime library's entry point. The launcher passes the block's argc
 * and argv, then 0, NULL, 0, NULL, "", "" (one literal), "tovel", "tovel"
 * (one literal), 0, 0, 0 and 0; a result of 0 means the run succeeded.
 */
typedef int32_t XeloLaunchFunction(int32_t argc, char** argv, int32_t count3, const void* pointer4,
                                   int32_t count5, const void* pointer6, const char* text7,
                                   const char* text8, const char* text9, const char* text10,
                                   uint8_t flag11, uint8_t flag12, uint8_t flag13, int32_t value14);

#ifdef __cplusplus
}
#endif

#endif /* ZELT_RUNTIME_XELOLAUNCH_H */
