/*
 * A stand-in for the runtime's launcher library. It runs no application: it
 * records what its entry point received, returns a chosen result and can
 * enter the launcher's main() again. Environment variables steer it:
 *   XELO_STANDIN_RECORD  file to which one record per call is appended;
 *                        "-" writes the records to standard output
 *   XELO_STANDIN_RESULT  the result to return (default 0)
 *   XELO_STANDIN_REENTER how many times the outermost call enters main() again
 *
 * A record is a sequence of lines "key value". Texts are written as
 * "{length} {bytes}", so any bytes, newlines included, survive; a null text
 * is written as "-". The record begins with "call {depth}" and ends with
 * "end". Its line "api" says whether the process exports the launcher's
 * four zarnLauncher functions, as a runtime would look them up. Each
 * re-entry of main() adds a line "main {status}" after it, with
 * the status -1 when the process exports no main().
 */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "runtime/XeloLaunch.h"

/* Declared from the interface, so that the definition below must match it. */
__attribute__((visibility("default"))) XeloLaunchFunction XELO_Launch;

/* Nesting depth of XELO_Launch calls, 1 inside the outermost one. */
static int depth;

static void writeText(FILE* out, const char* key, const char* text) {
    if (text == NULL) {
        fprintf(out, "%s -\n", key);
        return;
    }
    fprintf(out, "%s %zu ", key, strlen(text));
    fwrite(text, 1, strlen(text), out);
    fputc('\n', out);
}

/* The launcher's pointer array need not be aligned: read it bytewise. */
static char* argumentAt(char** argv, int32_t index) {
    char* argument;
    memcpy(&argument, (const char*)argv + (size_t)index * sizeof(char*), sizeof(argument));
    return argument;
}

static int exportsLauncherInterface(void) {
    static const char* const names[] = {"zarnLauncherGetAPI", "zarnLauncherCreateZarnlLauncherData",
                                        "zarnLauncherLog", "zarnLauncherStartZarn"};
    for (size_t i = 0; i < sizeof(names) / sizeof(names[0]); ++i) {
        if (dlsym(RTLD_DEFAULT, names[i]) == NULL) {
            return 0;
        }
    }
    return 1;
}

static long longFromEnv(const char* name, long fallback) {
    const char* text = getenv(name);
    return text != NULL && *text != '\0' ? strtol(text, NULL, 10) : fallback;
}

/* Standard output is written through the inherited descriptor, not by
 * opening /dev/stdout again: that opening of a regular file would have an
 * offset of its own, and the record and the caller's output would overwrite
 * each other. */
static FILE* openRecord(void) {
    const char* path = getenv("XELO_STANDIN_RECORD");
    if (path == NULL || *path == '\0') {
        return NULL;
    }
    return strcmp(path, "-") == 0 ? stdout : fopen(path, "ab");
}

static void closeRecord(FILE* out) {
    if (out == stdout) {
        fflush(out);
    } else {
        fclose(out);
    }
}

static void writeCall(int32_t argc, char** argv, int32_t count3, const void* pointer4,
                      int32_t count5, const void* pointer6, const char* text7, const char* text8,
                      const char* text9, const char* text10, uint8_t flag11, uint8_t flag12,
                      uint8_t flag13, int32_t value14) {
    FILE* out = openRecord();
    if (out == NULL) {
        return;
    }
    fprintf(out, "call %d\nargc %d\n", depth, (int)argc);
    for (int32_t i = 0; i < argc; ++i) {
        writeText(out, "arg", argumentAt(argv, i));
    }
    fprintf(out, "argv_end %s\n", argumentAt(argv, argc) == NULL ? "null" : "set");
    fprintf(out, "i3 %d\np4 %s\ni5 %d\np6 %s\n", (int)count3, pointer4 == NULL ? "null" : "set",
            (int)count5, pointer6 == NULL ? "null" : "set");
    writeText(out, "s7", text7);
    writeText(out, "s8", text8);
    writeText(out, "s9", text9);
    writeText(out, "s10", text10);
    fprintf(out, "same78 %d\nsame910 %d\n", text7 == text8, text9 == text10);
    fprintf(out, "b11 %u\nb12 %u\nb13 %u\ni14 %d\n", flag11, flag12, flag13, (int)value14);
    writeText(out, "dyld", getenv("DYLD_LIBRARY_PATH"));
    fprintf(out, "api %d\nend\n", exportsLauncherInterface());
    closeRecord(out);
}

/* Enters the launcher's main() through the dynamic symbol table, as a
 * runtime does that starts the application's launcher again. */
static void reenterMain(char* program) {
    int (*launcherMain)(int, char**);
    void* symbol = dlsym(RTLD_DEFAULT, "main");
    int status = -1;
    if (symbol != NULL) {
        char* args[] = {program, NULL};
        memcpy(&launcherMain, &symbol, sizeof(launcherMain));
        status = launcherMain(1, args);
    }
    FILE* out = openRecord();
    if (out != NULL) {
        fprintf(out, "main %d\n", status);
        closeRecord(out);
    }
}

int32_t XELO_Launch(int32_t argc, char** argv, int32_t count3, const void* pointer4, int32_t count5,
                    const void* pointer6, const char* text7, const char* text8, const char* text9,
                    const char* text10, uint8_t flag11, uint8_t flag12, uint8_t flag13,
                    int32_t value14) {
    ++depth;
    writeCall(argc, argv, count3, pointer4, count5, pointer6, text7, text8, text9, text10, flag11,
              flag12, flag13, value14);
    if (depth == 1 && argc > 0) {
        for (long n = longFromEnv("XELO_STANDIN_REENTER", 0); n > 0; --n) {
            reenterMain(argumentAt(argv, 0));
        }
    }
    --depth;
    return (int32_t)longFromEnv("XELO_STANDIN_RESULT", 0);
}
