#include "config/CfgFile.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <optional>
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
}  // namespace PropertyName

namespace {

typedef CfgFile::Id<CfgFile::SectionNameTag> SectionId;
typedef CfgFile::Id<CfgFile::PropertyNameTag> PropertyId;

// Outside any recognised section; never a key of a loaded CfgFile.
constexpr SectionId UnknownSection("");

// A known name with its text length taken at compile time, so that matching
// a line costs no strlen.
template <class Tag>
struct KnownName {
    constexpr explicit KnownName(const CfgFile::Id<Tag>& id) : id(id), text(id.name()) {}

    CfgFile::Id<Tag> id;
    std::string_view text;
};

constexpr KnownName<CfgFile::SectionNameTag> knownSections[] = {
    KnownName(SectionName::Application),
    KnownName(SectionName::TovelOptions),
    KnownName(SectionName::AppVornTovelOptions),
    KnownName(SectionName::AppVornGenerateCacheTovelOptions),
    KnownName(SectionName::ArgOptions),
};

constexpr KnownName<CfgFile::PropertyNameTag> knownProperties[] = {
    KnownName(PropertyName::version),      KnownName(PropertyName::maintvar),
    KnownName(PropertyName::mainmodule),   KnownName(PropertyName::mainclass),
    KnownName(PropertyName::classpath),    KnownName(PropertyName::modulepath),
    KnownName(PropertyName::runtime),      KnownName(PropertyName::splash),
    KnownName(PropertyName::memory),       KnownName(PropertyName::arguments),
    KnownName(PropertyName::tovelOptions),
};

template <class Tag, std::size_t N>
const KnownName<Tag>* findKnown(const KnownName<Tag> (&names)[N], std::string_view text) {
    for (const KnownName<Tag>& known : names) {
        if (known.text == text) {
            return &known;
        }
    }
    return nullptr;
}

SectionId sectionNamed(std::string_view text) {
    const auto* known = findKnown(knownSections, text);
    return known ? known->id : UnknownSection;
}

// Position of the first "=" without a backslash right before it, or npos.
std::string_view::size_type nameEnd(std::string_view line) {
    auto pos = line.find('=');
    while (pos != std::string_view::npos && pos > 0 && line[pos - 1] == '\\') {
        pos = line.find('=', pos + 1);
    }
    return pos;
}

// Cuts a stream into the lines between LFs. It reads large blocks, which
// bypass the stream's own buffer, and hands lines out in place: a
// std::getline per line would cost more than the parsing. A line stays
// valid until the next call.
class LineReader {
public:
    explicit LineReader(std::istream& input)
        : input(input), block(new char[blockSize]), pos(block.get()), end(pos) {}

    // False when the stream has no more lines, because it ended or failed.
    bool next(std::string_view& line) {
        if (carried) {
            carry.clear();
            carried = false;
        }
        for (;;) {
            if (const void* lf = std::memchr(pos, '\n', static_cast<std::size_t>(end - pos))) {
                line = take(static_cast<const char*>(lf));
                pos = static_cast<const char*>(lf) + 1;
                return true;
            }
            carry.append(pos, end);
            if (!fill()) {
                // Like std::getline: a last line without LF counts only when
                // the stream ended, not when reading it failed.
                line = carry;
                carried = true;
                return !carry.empty() && input.eof();
            }
        }
    }

private:
    static constexpr std::size_t blockSize = 64 * 1024;

    // The line up to `stop`, joined to the part carried over from earlier blocks.
    std::string_view take(const char* stop) {
        if (carry.empty()) {
            return std::string_view(pos, static_cast<std::size_t>(stop - pos));
        }
        carry.append(pos, stop);
        carried = true;
        return carry;
    }

    bool fill() {
        input.read(block.get(), static_cast<std::streamsize>(blockSize));
        pos = block.get();
        end = pos + input.gcount();
        return pos != end;
    }

    std::istream& input;
    // Left uninitialised: a launch reads a small file, and clearing the
    // whole block would cost more than reading it.
    std::unique_ptr<char[]> block;
    const char* pos;
    const char* end;
    std::string carry;     // a line that spans blocks
    bool carried = false;  // whether the last line handed out was `carry`
};

struct ParseState {
    explicit ParseState(std::map<SectionId, CfgFile::Properties>& result) : result(result) {}

    SectionId section = UnknownSection;
    CfgFile::Properties pending;
    std::map<SectionId, CfgFile::Properties>& result;
    // The pending values that the last accepted line went to: properties
    // mostly come in runs, which then skip both the name table and the map.
    const KnownName<CfgFile::PropertyNameTag>* lastProperty = nullptr;
    std::vector<std::string>* lastValues = nullptr;
};

// Commits the pending properties: a later occurrence of a section replaces
// the earlier one whole, but only when it yielded something.
class PurgeSection {
public:
    explicit PurgeSection(ParseState& state) : state(state) {}

    void operator()() const {
        if (state.section == UnknownSection || state.pending.empty()) {
            return;
        }
        state.result[state.section].swap(state.pending);
        state.section = UnknownSection;
        state.pending.clear();
        state.lastProperty = nullptr;
        state.lastValues = nullptr;
    }

private:
    ParseState& state;
};

// Offers one name/value pair; only known names inside known sections count.
class AddProperty {
public:
    explicit AddProperty(ParseState& state) : state(state) {}

    void operator()(std::string_view name, std::string_view value) const {
        if (state.section == UnknownSection) {
            return;
        }
        if (state.lastProperty == nullptr || state.lastProperty->text != name) {
            const auto* property = findKnown(knownProperties, name);
            if (property == nullptr) {
                return;
            }
            state.lastProperty = property;
            state.lastValues = &state.pending[property->id];
        }
        state.lastValues->emplace_back(value);
    }

private:
    ParseState& state;
};

std::size_t saturatingProduct(std::size_t a, std::size_t b) {
    std::size_t product;
    return __builtin_mul_overflow(a, b, &product) ? std::numeric_limits<std::size_t>::max()
                                                  : product;
}

// Expands values pass by pass until a pass changes nothing. Since a
// replacement may hold a name, including its own, this need not end, so
// the passes, their work and the growth are bounded, far beyond what a
// real configuration reaches:
// - nesting through distinct macros settles within one changing pass per
//   macro, and a name that forms across the edge of a replacement is
//   consumed one pass at a time, so the passes may number the macros plus
//   the value's length plus some spare; the bytes scanned by all passes
//   together are bounded too, so that a long value cannot take long;
// - a value may grow to every one of its bytes becoming all the
//   replacement texts twice over, and in any case to 1 MiB. The size of
//   each step is checked before it is built.
class MacroExpander {
public:
    explicit MacroExpander(const CfgFile::Macros& macros) : macros(macros) {
        for (const auto& [name, replacement] : macros) {
            replacementBytes += replacement.size();
            if (!name.empty() && firstBytes.find(name[0]) == std::string::npos) {
                firstBytes += name[0];
            }
        }
    }

    std::string operator()(const std::string& value) {
        const std::size_t limit =
            std::max(minGrowthLimit, saturatingProduct(value.size() + 1, 2 * replacementBytes + 1));
        const std::size_t maxChangingPasses = macros.size() + value.size() + sparePasses;
        std::size_t scanned = 0;
        std::optional<std::string> current;  // empty while the value is unchanged
        for (std::size_t changingPasses = 0;; ++changingPasses) {
            const std::string& text = current ? *current : value;
            Pass next = pass(text, value, limit);
            if (!next.text || *next.text == text) {
                break;
            }
            scanned += text.size();
            if (changingPasses == maxChangingPasses || scanned > maxScannedBytes) {
                throw notTerminating(value);
            }
            current = std::move(next.text);
            if (!next.nameMayOccur) {
                break;
            }
        }
        return current ? std::move(*current) : value;
    }

private:
    static constexpr std::size_t sparePasses = 64;
    static constexpr std::size_t minGrowthLimit = std::size_t(1) << 20;
    static constexpr std::size_t maxScannedBytes = std::size_t(256) << 20;

    struct Pass {
        std::optional<std::string> text;  // empty when no name occurred
        bool nameMayOccur;                // false when another pass cannot change the text
    };

    // Each macro in ascending name order, each on the previous one's result.
    Pass pass(const std::string& text, const std::string& value, std::size_t limit) {
        std::optional<std::string> result;
        std::size_t from = firstCandidate(text);
        for (auto macro = macros.begin(); macro != macros.end() && from != std::string::npos;
             ++macro) {
            const std::string& current = result ? *result : text;
            if (std::optional<std::string> replaced =
                    replaceAll(current, *macro, from, value, limit)) {
                result = std::move(replaced);
                from = firstCandidate(*result);
            }
        }
        return Pass{std::move(result), from != std::string::npos};
    }

    // The first position at which a name may begin, or npos when none can.
    std::size_t firstCandidate(const std::string& text) const {
        switch (firstBytes.size()) {
            case 0:
                return std::string::npos;
            case 1:
                return text.find(firstBytes[0]);
            default:
                return text.find_first_of(firstBytes);
        }
    }

    // Replaces like tstrings::replace (left to right, no overlap, inserted
    // text not searched again), with the result's size known, and checked
    // against the limit, before it is built. Empty when the name does not
    // occur at or after `from`.
    std::optional<std::string> replaceAll(const std::string& text,
                                          const CfgFile::Macros::value_type& macro,
                                          std::size_t from, const std::string& value,
                                          std::size_t limit) {
        const auto& [name, replacement] = macro;
        positions.clear();
        for (auto pos = name.empty() ? std::string::npos : text.find(name, from);
             pos != std::string::npos; pos = text.find(name, pos + name.size())) {
            positions.push_back(pos);
        }
        if (positions.empty()) {
            return std::nullopt;
        }
        const std::size_t kept = text.size() - positions.size() * name.size();
        if (saturatingProduct(positions.size(), replacement.size()) > limit - kept) {
            throw notTerminating(value);
        }
        std::string result(kept + positions.size() * replacement.size(), '\0');
        char* out = &result[0];
        std::size_t start = 0;
        for (const std::size_t pos : positions) {
            out = std::copy(text.begin() + start, text.begin() + pos, out);
            out = std::copy(replacement.begin(), replacement.end(), out);
            start = pos + name.size();
        }
        std::copy(text.begin() + start, text.end(), out);
        return result;
    }

    static ZeltError<std::runtime_error> notTerminating(const std::string& value) {
        return makeException(tstrings::any()
                                 << "Macro expansion of \"" << value << "\" does not terminate",
                             SourceCodePos(__FILE__, "expandMacros", __LINE__));
    }

    const CfgFile::Macros& macros;
    std::size_t replacementBytes = 0;
    std::string firstBytes;              // the distinct first bytes of the names
    std::vector<std::size_t> positions;  // reused by every step
};

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
    ParseState state(result.sections);
    const PurgeSection purgeSection(state);
    const AddProperty addProperty(state);
    // Wider than the files it counts, so that it cannot overflow.
    std::int64_t lineNumber = 0;
    LineReader lines(input);
    std::string_view line;
    while (lines.next(line)) {
        ++lineNumber;
        const auto number = static_cast<std::uint64_t>(lineNumber);
        if (line.empty() || line[0] == ';') {
            if (observer) {
                observer(Line{line.empty() ? Line::Empty : Line::Comment, number, line, {}, {}});
            }
            continue;
        }
        if (line[0] == '[') {
            const auto close = line.rfind(']');
            if (close == std::string_view::npos) {
                throw makeException(tstrings::any() << "Error parsing [" << path << "] file at "
                                                    << lineNumber << ": Missing ']' character",
                                    ZELT_SOURCE_POS);
            }
            const std::string_view section = line.substr(1, close - 1);
            if (observer) {
                observer(Line{Line::Header, number, line, section, {}});
            }
            purgeSection();
            state.section = sectionNamed(section);
        } else {
            const auto end = nameEnd(line);
            const std::string_view name = line.substr(0, end);
            const std::string_view value =
                end == std::string_view::npos ? std::string_view() : line.substr(end + 1);
            if (observer) {
                observer(Line{Line::Property, number, line, name, value});
            }
            addProperty(name, value);
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
    // Built value by value rather than copied and then rewritten: each value
    // is copied or expanded exactly once.
    MacroExpander expand(macros);
    CfgFile result;
    for (const auto& [section, properties] : sections) {
        Properties& target =
            result.sections.emplace_hint(result.sections.end(), section, Properties())->second;
        for (const auto& [property, values] : properties) {
            std::vector<std::string>& expanded =
                target.emplace_hint(target.end(), property, std::vector<std::string>())->second;
            expanded.reserve(values.size());
            for (const std::string& value : values) {
                expanded.push_back(expand(value));
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
