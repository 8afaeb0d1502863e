#ifndef ZELT_STANDIN_STANDINRECORD_H
#define ZELT_STANDIN_STANDINRECORD_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One call of the stand-in's XELO_Launch as it recorded it. The fixed
// parameters are named by their position in the entry point's signature.
struct StandinCall {
    int depth = 0;  // 1 for a call made while no other call was running
    std::vector<std::string> args;
    bool argvTerminated = false;  // the slot behind the last argument held null
    int32_t int3 = 0;
    bool pointer4IsNull = false;
    int32_t int5 = 0;
    bool pointer6IsNull = false;
    std::optional<std::string> text7;
    std::optional<std::string> text8;
    std::optional<std::string> text9;
    std::optional<std::string> text10;
    bool sameText7And8 = false;  // one pointer, not two equal texts
    bool sameText9And10 = false;
    unsigned byte11 = 0;
    unsigned byte12 = 0;
    unsigned byte13 = 0;
    int32_t int14 = 0;
    std::optional<std::string> libraryPathVariable;  // DYLD_LIBRARY_PATH, if it was set
    bool launcherInterfaceExported = false;          // the four zarnLauncher functions
};

struct StandinRecord {
    std::vector<StandinCall> calls;
    std::vector<int> mainStatuses;  // what each re-entry of main() returned; -1: no main()
};

// Throws std::runtime_error for text the stand-in cannot have written.
StandinRecord parseStandinRecord(const std::string& text);

// A file that does not exist yet means the entry point was never called.
StandinRecord readStandinRecord(const std::string& path);

#endif  // ZELT_STANDIN_STANDINRECORD_H
