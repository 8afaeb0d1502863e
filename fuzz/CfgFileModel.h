// A deliberately simple second reading of the launcher configuration, for
// the fuzz target to compare the reader with. It shares no code with the
// reader: names are plain strings, lines are cut by hand, sections are
// replaced whole, and expansion replaces pass after pass with plain searches.
#ifndef ZELT_FUZZ_CFGFILEMODEL_H
#define ZELT_FUZZ_CFGFILEMODEL_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace model {

enum Kind { Empty, Comment, Header, Property };

struct Line {
    Kind kind;
    std::uint64_t number;
    std::string text;
    std::string name;
    std::string value;
};

typedef std::map<std::string, std::vector<std::string>> Properties;
typedef std::map<std::string, Properties> Sections;

extern const char* const sectionNames[5];
extern const char* const propertyNames[11];

struct Loaded {
    enum Error { None, MissingBracket, Read };

    std::vector<Line> lines;  // every line the reader looks at, in order
    Sections sections;        // by name text; meaningful when error is None
    Error error = None;
    std::uint64_t errorLine = 0;  // the line of a MissingBracket error
};

// Reads `content` as a stream that fails when asked for the byte at
// `failAt` (never when failAt is past the end).
Loaded load(const std::string& content, std::size_t failAt);

// Expands all values of `sections` with the macros. Empty when the model
// gives up: when a text would pass 8 KiB, the values would grow by more
// than 16 KiB together, or the passes after a value's second would scan
// more than 4 KiB together (each macro step counted as at least 64 bytes).
// Each limit is well inside the reader's bounds in a fuzzing build (64 KiB
// held, 16 KiB scanned by later passes), so where the model settles the
// reader must settle too, on the same texts.
std::optional<Sections> expand(const Sections& sections,
                               const std::map<std::string, std::string>& macros);

}  // namespace model

#endif  // ZELT_FUZZ_CFGFILEMODEL_H
