#include "config/CfgFile.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <istream>
#include <string_view>

#include "base/ErrorReporting.h"
#include "base/FileUtils.h"

namespace SectionName {
constexpr CfgFile::Id<CfgFile::SectionNameTag> Application("Application");
constexpr CfgFile::Id<CfgFile::SectionNameTag> TovelOptions("TovelOptions");
constexpr CfgFile::Id<CfgFile::SectionNameTag> AppVornTovelOptions("AppVornTovelOptions");
constexpr CfgFile::Id<CfgFile::SectionNameTag> AppVornGenerateCacheTovelOptions(
    "AppVornGenerateCacheTovelOptions");
constexpr CfgFile::Id<CfgFile::SectionNameTag> ArgOptions("ArgOptions");
constexpr CfgFile::Id<CfgFile::SectionNameTag> all[] = {
    Application, TovelOptions, AppVornTovelOptions, AppVornGenerateCacheTovelOptions, ArgOptions,
};
}  // namespace SectionName

namespace PropertyName {
constexpr CfgFile::Id<CfgFile::PropertyNameTag> version("app.version");
constexpr CfgFile::Id<CfgFile::PropertyNameTag> maintvar("app.maintvar");
constexpr CfgFile::Id<CfgFile::PropertyNameTag> mainmodule("app.mainmodule");
constexpr CfgFile::Id<CfgFile::PropertyNameTag> mainclass("app.mainclass");
constexpr CfgFile::Id<CfgFile::PropertyNameTag> classpath("app.classpath");
constexpr CfgFile::Id<CfgFile::PropertyNameTag> modulepath("app.modulepath");
constexpr CfgFile::Id<CfgFile::PropertyNameTag> runtime("app.runtime");
constexpr CfgFile::Id<CfgFile::PropertyNameTag> splash("app.splash");
constexpr CfgFile::Id<CfgFile::PropertyNameTag> memory("app.memory");
constexpr CfgFile::Id<CfgFile::PropertyNameTag> arguments("arguments");
constexpr CfgFile::Id<CfgFile::PropertyNameTag> tovelOptions("tovel-options");
constexpr CfgFile::Id<CfgFile::PropertyNameTag> all[] = {
    version, maintvar, mainmodule, mainclass, classpath,    modulepath,
    runtime, splash,   memory,     arguments, tovelOptions,
};
}  // namespace PropertyName

namespace {

typedef CfgFile::Id<CfgFile::SectionNameTag> SectionId;
typedef CfgFile::Id<CfgFile::PropertyNameTag> PropertyId;

// Outside any recognised section; never a key of a loaded CfgFile.
constexpr SectionId UnknownSection("");

// The constant whose text is `text`, or null.
template <class Id, std::size_t N>
const Id* findName(const Id (&names)[N], std::string_view text) {
    for (const Id& id : names) {
        if (text == id.name()) {
            return &id;
        }
    }
    return nullptr;
}

// Position of the first "=" without a backslash right before it, or npos.
std::string_view::size_type nameEnd(std::string_view line) {
    auto pos = line.find('=');
    while (pos != std::string_view::npos && pos > 0 && line[pos - 1] == '\\') {
        pos = line.find('=', pos + 1);
    }
    return pos;
}

// The first character alone decides what a line is.
CfgFile::Line classify(std::string_view text, std::uint64_t number) {
    CfgFile::Line line{CfgFile::Line::Property, number, text, {}, {}};
    if (text.empty()) {
        line.kind = CfgFile::Line::Empty;
    } else if (text[0] == ';') {
        line.kind = CfgFile::Line::Comment;
    } else if (text[0] == '[') {
        line.kind = CfgFile::Line::Header;
        const auto close = text.rfind(']');
        line.name = text.substr(1, close == std::string_view::npos ? close : close - 1);
    } else {
        const auto end = nameEnd(text);
        line.name = text.substr(0, end);
        line.value = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    return line;
}

// Bounds of one expansion. Passes repeat until one changes nothing, which
// need not happen: a replacement may hold a name, even its own, as under a
// bundle directory named after a macro. So, over all the values of one
// configuration together:
// - the text held beyond the configuration itself, that is the growth of
//   the values done plus the texts of the value in progress (the text
//   before its pass, the pass's current text and the one about to be
//   built), stays within maxHeldBytes; each size is computed, and checked,
//   before anything of that size is allocated;
// - the first two passes of a value scan at most its text and that cap,
//   once per macro; passes after them happen only when a replacement
//   brought in a name that the pass could not reach any more, and they
//   scan at most maxLaterPassBytes together, each macro step counted as at
//   least minStepBytes so that a cycle of tiny texts ends soon too.
// A value that would go beyond either fails as not terminating. Real
// values settle in two passes; a chain of 200 nested macros uses about half
// of the later passes' allowance.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
// A fuzzer meets runaway expansions by the thousand: bounds 1024 times
// smaller keep each of its runs quick (and its allocations small, which
// the sanitizer's allocator serves fastest) and take the same paths.
constexpr std::size_t boundDivisor = 1024;
#else
constexpr std::size_t boundDivisor = 1;
#endif
constexpr std::size_t maxHeldBytes = (std::size_t(64) << 20) / boundDivisor;
constexpr std::size_t maxLaterPassBytes = (std::size_t(16) << 20) / boundDivisor;
constexpr std::size_t minStepBytes = 64;
// Enough of a value to recognise it in the one-line error.
constexpr std::size_t messageValueBytes = 80;

ZeltError<std::runtime_error> notTerminating(const std::string& value) {
    tstrings::any message;
    message << "Macro expansion of \"" << value.substr(0, messageValueBytes)
            << (value.size() > messageValueBytes ? "..." : "") << "\" does not terminate";
    return makeException(message, SourceCodePos(__FILE__, "expandMacros", __LINE__));
}

// What the values expanded so far have used of the bounds.
struct ExpansionUse {
    std::size_t grown = 0;
    std::size_t laterPassBytes = 0;
};

// A macro ready to be found in many values.
struct Macro {
    const std::string& name;
    const std::string& replacement;
    tstrings::Occurrences occurrences;
};

std::string expandValue(const std::string& value, const std::vector<Macro>& macros,
                        ExpansionUse& use) {
    std::string text;                    // the result of the last changing pass
    const std::string* before = &value;  // the text the pass starts from
    for (int pass = 1;; ++pass) {
        std::string next;  // the pass's text once a macro occurred
        bool replaced = false;
        for (const Macro& macro : macros) {
            const std::string& current = replaced ? next : *before;
            if (pass > 2) {
                use.laterPassBytes += std::max(current.size(), minStepBytes);
                if (use.laterPassBytes > maxLaterPassBytes) {
                    throw notTerminating(value);
                }
            }
            const std::size_t count = macro.occurrences.count(current);
            if (count == 0) {
                continue;
            }
            const std::size_t held = use.grown + before->size() + (replaced ? next.size() : 0);
            const std::size_t kept = current.size() - count * macro.name.size();
            if (held + kept > maxHeldBytes ||
                count > (maxHeldBytes - held - kept) /
                            std::max<std::size_t>(macro.replacement.size(), 1)) {
                throw notTerminating(value);
            }
            next = macro.occurrences.replace(current, macro.replacement);
            replaced = true;
        }
        if (!replaced || next == *before) {
            use.grown += before->size() > value.size() ? before->size() - value.size() : 0;
            return before == &value ? value : std::move(text);
        }
        text = std::move(next);
        before = &text;
    }
}

}  // namespace

CfgFile CfgFile::load(const std::string& path) {
    std::ifstream input(path);
    if (!input.good()) {
        const std::string error = lastCRTError();
        throw makeException(tstrings::any() << "Error opening \"" << path << "\" file: " << error,
                            ZELT_SOURCE_POS);
    }
    return load(input, path);
}

CfgFile CfgFile::load(std::istream& input, const std::string& path, const LineObserver& observer) {
    CfgFile result;
    SectionId section = UnknownSection;
    Properties pending;

    // Commits the pending properties: a later occurrence of a section
    // replaces the earlier one whole, but only when it yielded something.
    const auto purgeSection = [&] {
        if (section == UnknownSection || pending.empty()) {
            return;
        }
        result.sections[section].swap(pending);
        section = UnknownSection;
        pending.clear();
    };
    // Only known names inside known sections count.
    const auto addProperty = [&](std::string_view name, std::string_view value) {
        if (section == UnknownSection) {
            return;
        }
        if (const PropertyId* property = findName(PropertyName::all, name)) {
            pending[*property].emplace_back(value);
        }
    };

    std::uint64_t number = 0;
    for (std::string text; std::getline(input, text);) {
        const Line line = classify(text, ++number);
        if (observer) {
            observer(line);
        }
        if (line.kind == Line::Header) {
            if (text.find(']') == std::string::npos) {
                throw makeException(tstrings::any() << "Error parsing [" << path << "] file at "
                                                    << number << ": Missing ']' character",
                                    ZELT_SOURCE_POS);
            }
            purgeSection();
            const SectionId* known = findName(SectionName::all, line.name);
            section = known ? *known : UnknownSection;
        } else if (line.kind == Line::Property) {
            addProperty(line.name, line.value);
        }
    }
    if (!input.eof()) {
        const std::string error = lastCRTError();
        throw makeException(
            tstrings::any() << "Failed to read \"" << path << "\" file up to the end: " << error,
            ZELT_SOURCE_POS);
    }
    purgeSection();
    return result;
}

const CfgFile::Properties& CfgFile::getProperties(Id<SectionNameTag> section) const {
    const auto found = sections.find(section);
    return found == sections.end() ? empty : found->second;
}

CfgFile& CfgFile::setPropertyValue(Id<SectionNameTag> section, Id<PropertyNameTag> property,
                                   const std::vector<std::string>& values) {
    sections[section][property] = values;
    return *this;
}

CfgFile CfgFile::expandMacros(const Macros& macros) const {
    std::vector<Macro> ready;
    for (const auto& [name, replacement] : macros) {
        ready.push_back(Macro{name, replacement, tstrings::Occurrences(name)});
    }
    ExpansionUse use;
    CfgFile result;
    for (const auto& [section, properties] : sections) {
        for (const auto& [property, values] : properties) {
            std::vector<std::string>& expanded = result.sections[section][property];
            expanded.reserve(values.size());
            for (const std::string& value : values) {
                expanded.push_back(expandValue(value, ready, use));
            }
        }
    }
    return result;
}

std::string CfgFile::asString(const Properties::value_type& entry) {
    return entry.second.empty() ? std::string() : entry.second.back();
}

std::string CfgFile::asPathList(const Properties::value_type& entry) {
    return join(entry.second, FileUtils::pathSeparator);
}

std::string join(const std::vector<std::string>& values, char separator) {
    return tstrings::join(values.begin(), values.end(), std::string(1, separator));
}
