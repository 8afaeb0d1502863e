// Reads arbitrary bytes as a launcher configuration from memory, expands it,
// sets a property and queries it, and compares every result with the
// reference model: a wrong result traps like a crash. The input is four
// header lines, then the configuration:
//   1. a bundle root: "$APPDIR", "$BINDIR" and "$ROOTDIR" are made from it,
//      so that roots holding macro names (runaway expansions) are explored;
//   2. more macros, "name=replacement" items separated by TAB, added to the
//      bundle's or replacing them (prefix names, other first bytes, "");
//   3. a setPropertyValue call: a section byte, a property byte, then the
//      values separated by TAB; an empty line sets nothing;
//   4. the offset, in decimal, at which reading fails; empty: it does not.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "CfgFileModel.h"
#include "FuzzInput.h"
#include "base/ErrorReporting.h"
#include "config/CfgFile.h"

namespace {

typedef CfgFile::Id<CfgFile::SectionNameTag> SectionId;
typedef CfgFile::Id<CfgFile::PropertyNameTag> PropertyId;

const SectionId sections[] = {
    SectionName::Application,         SectionName::TovelOptions,
    SectionName::AppVornTovelOptions, SectionName::AppVornGenerateCacheTovelOptions,
    SectionName::ArgOptions,
};
const PropertyId properties[] = {
    PropertyName::version,   PropertyName::maintvar,     PropertyName::mainmodule,
    PropertyName::mainclass, PropertyName::classpath,    PropertyName::modulepath,
    PropertyName::runtime,   PropertyName::splash,       PropertyName::memory,
    PropertyName::arguments, PropertyName::tovelOptions,
};

const char path[] = "fuzz.cfg";
const std::size_t maxHeaderLine = 1024;
const std::size_t noFailure = std::string::npos;

void check(bool holds) {
    if (!holds) {
        __builtin_trap();
    }
}

// Serves the bytes in place; asked for the byte at `failAt`, it fails the
// way a device error does, which the stream turns into its bad state.
class MemoryInput : public std::streambuf {
public:
    MemoryInput(const std::string& bytes, std::size_t failAt) : failing(failAt <= bytes.size()) {
        char* begin = const_cast<char*>(bytes.data());
        setg(begin, begin, begin + (failing ? failAt : bytes.size()));
    }

protected:
    int_type underflow() override {
        if (failing) {
            throw std::runtime_error("device error");
        }
        return traits_type::eof();
    }

private:
    bool failing;
};

struct Input {
    CfgFile::Macros macros;
    bool setsProperty = false;
    std::size_t section = 0;
    std::size_t property = 0;
    std::vector<std::string> values;
    std::size_t failAt = noFailure;
    std::string content;
};

Input parseInput(std::string rest) {
    Input input;
    const std::string root = headerLine(rest, maxHeaderLine);
    input.macros = {{"$APPDIR", root + "/Contents/app"},
                    {"$BINDIR", root + "/Contents/MacOS"},
                    {"$ROOTDIR", root}};
    const std::string extra = headerLine(rest, maxHeaderLine);
    if (!extra.empty()) {
        for (const std::string& item : splitAt(extra, '\t')) {
            const std::size_t equals = item.find('=');
            input.macros[item.substr(0, equals)] =
                equals == std::string::npos ? std::string() : item.substr(equals + 1);
        }
    }
    const std::string query = headerLine(rest, maxHeaderLine);
    if (query.size() >= 2) {
        input.setsProperty = true;
        input.section = static_cast<unsigned char>(query[0]) % std::size(sections);
        input.property = static_cast<unsigned char>(query[1]) % std::size(properties);
        input.values = splitAt(query.substr(2), '\t');
    }
    const std::string failure = headerLine(rest, maxHeaderLine);
    if (!failure.empty() && failure.size() < 9 &&
        failure.find_first_not_of("0123456789") == std::string::npos) {
        input.failAt = std::stoul(failure);
    }
    input.content = std::move(rest);
    return input;
}

void checkLine(const CfgFile::Line& line, const model::Line& expected) {
    check(static_cast<int>(line.kind) == static_cast<int>(expected.kind));
    check(line.number == expected.number);
    check(line.text == expected.text);
    check(line.name == expected.name);
    check(line.value == expected.value);
}

// The reader's configuration holds exactly the model's sections.
void checkSame(const CfgFile& cfg, const model::Sections& expected) {
    for (std::size_t s = 0; s < std::size(sections); ++s) {
        const CfgFile::Properties& actual = cfg.getProperties(sections[s]);
        const auto found = expected.find(model::sectionNames[s]);
        const model::Properties none;
        const model::Properties& wanted = found == expected.end() ? none : found->second;
        check(actual.size() == wanted.size());
        for (const auto& [name, values] : actual) {
            const auto entry = wanted.find(name.name());
            check(entry != wanted.end() && entry->second == values);
            check(CfgFile::asString({name, values}) == (values.empty() ? "" : values.back()));
            std::string pathList;
            for (std::size_t i = 0; i < values.size(); ++i) {
                pathList += (i == 0 ? "" : ":") + values[i];
            }
            check(CfgFile::asPathList({name, values}) == pathList);
        }
    }
}

std::string quoted(const std::string& value) {
    return value.size() > 80 ? value.substr(0, 80) + "..." : value;
}

// A runaway expansion names one of the configuration's values. Error
// messages are C strings, so the message ends at a NUL byte of the value.
void checkNotTerminating(const std::string& message, const model::Sections& loaded) {
    for (const auto& section : loaded) {
        for (const auto& property : section.second) {
            for (const std::string& value : property.second) {
                const std::string expected =
                    "Macro expansion of \"" + quoted(value) + "\" does not terminate";
                if (message == expected.c_str()) {
                    return;
                }
            }
        }
    }
    check(false);
}

void checkExpansion(const CfgFile& cfg, const Input& input, const model::Sections& loaded) {
    const std::optional<model::Sections> expected = model::expand(loaded, input.macros);
    try {
        CfgFile expanded = cfg.expandMacros(input.macros);
        if (!expected) {
            return;  // beyond the model's limits, not necessarily beyond the reader's
        }
        checkSame(expanded, *expected);
        if (input.setsProperty) {
            model::Sections set = *expected;
            set[model::sectionNames[input.section]][model::propertyNames[input.property]] =
                input.values;
            CfgFile& same = expanded.setPropertyValue(sections[input.section],
                                                      properties[input.property], input.values);
            check(&same == &expanded);
            checkSame(expanded, set);
        }
    } catch (const ZeltError<std::runtime_error>& e) {
        check(!expected);
        checkNotTerminating(e.rawMessage(), loaded);
    }
    checkSame(cfg, loaded);  // the source is left as it was
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Input input = parseInput(std::string(reinterpret_cast<const char*>(data), size));
    const model::Loaded expected = model::load(input.content, input.failAt);

    MemoryInput buffer(input.content, input.failAt);
    std::istream stream(&buffer);
    std::size_t seen = 0;
    try {
        const CfgFile cfg = CfgFile::load(stream, path, [&](const CfgFile::Line& line) {
            check(seen < expected.lines.size());
            checkLine(line, expected.lines[seen++]);
        });
        check(expected.error == model::Loaded::None && seen == expected.lines.size());
        checkSame(cfg, expected.sections);
        checkExpansion(cfg, input, expected.sections);
    } catch (const ZeltError<std::runtime_error>& e) {
        check(seen == expected.lines.size());
        const std::string message = e.rawMessage();
        if (expected.error == model::Loaded::MissingBracket) {
            check(message == std::string("Error parsing [") + path + "] file at " +
                                 std::to_string(expected.errorLine) + ": Missing ']' character");
        } else {
            check(expected.error == model::Loaded::Read);
            check(message.rfind(std::string("Failed to read \"") + path + "\" file up to the end: ",
                                0) == 0);
        }
    }
    return 0;
}
