#include "check/CfgWarnings.h"

#include <cctype>
#include <optional>
#include <string_view>

#include "base/FileUtils.h"
#include "base/tstrings.h"

namespace {

typedef CfgFile::Id<CfgFile::SectionNameTag> SectionId;
typedef CfgFile::Id<CfgFile::PropertyNameTag> PropertyId;

// Where the launcher reads each property, and whether it takes every value
// or only the last.
struct ReadProperty {
    SectionId section;
    PropertyId property;
    bool everyValue;
};

const ReadProperty launcherReads[] = {
    {SectionName::Application, PropertyName::modulepath, true},
    {SectionName::Application, PropertyName::classpath, true},
    {SectionName::Application, PropertyName::splash, false},
    {SectionName::Application, PropertyName::mainmodule, false},
    {SectionName::Application, PropertyName::mainclass, false},
    {SectionName::Application, PropertyName::maintvar, false},
    {SectionName::Application, PropertyName::runtime, false},
    {SectionName::TovelOptions, PropertyName::tovelOptions, true},
    {SectionName::ArgOptions, PropertyName::arguments, true},
};

const char macroNames[] = "$APPDIR, $BINDIR and $ROOTDIR";

std::string quoted(PropertyId property) {
    return "\"" + std::string(property.name()) + "\"";
}

template <class Id, std::size_t N>
std::optional<Id> findName(const Id (&names)[N], std::string_view text) {
    for (const Id& id : names) {
        if (text == id.name()) {
            return id;
        }
    }
    return std::nullopt;
}

const ReadProperty* findRead(SectionId section, PropertyId property) {
    for (const ReadProperty& read : launcherReads) {
        if (read.section == section && read.property == property) {
            return &read;
        }
    }
    return nullptr;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view withoutCr(std::string_view text) {
    return !text.empty() && text.back() == '\r' ? text.substr(0, text.size() - 1) : text;
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The known name that `text` is, give or take blanks and letter case.
template <class Id, std::size_t N>
std::optional<Id> nearName(const Id (&names)[N], std::string_view text) {
    const std::string wanted = tstrings::toLower(std::string(trimBlanks(text)));
    for (const Id& id : names) {
        if (wanted == tstrings::toLower(id.name())) {
            return id;
        }
    }
    return std::nullopt;
}

bool isMacroChar(char c, bool first) {
    const auto byte = static_cast<unsigned char>(c);
    return c == '_' || std::isalpha(byte) || (!first && std::isdigit(byte));
}

// The words that look like a macro: "$", a letter or "_", then letters,
// digits and "_".
std::vector<std::string> macroLikeWords(const std::string& value) {
    std::vector<std::string> words;
    for (auto pos = value.find('$'); pos != std::string::npos; pos = value.find('$', pos + 1)) {
        auto end = pos + 1;
        if (end == value.size() || !isMacroChar(value[end], true)) {
            continue;
        }
        while (end < value.size() && isMacroChar(value[end], false)) {
            ++end;
        }
        words.push_back(value.substr(pos, end - pos));
    }
    return words;
}

}  // namespace

void CfgWarnings::observe(const CfgFile::Line& line) {
    if (!line.text.empty() && line.text.back() == '\r') {
        warn(line.number, "the line ends with a CR, which the launcher keeps as part of the line");
    }
    if (line.kind == CfgFile::Line::Header) {
        observeHeader(line);
    } else if (line.kind == CfgFile::Line::Property) {
        observeProperty(line);
    }
}

void CfgWarnings::observeHeader(const CfgFile::Line& line) {
    commitSection();
    const std::optional<SectionId> known = findName(SectionName::all, line.name);
    if (!known) {
        place = Place::UnknownSection;
        std::string message = "unknown section [" + std::string(line.name) +
                              "]: the launcher ignores it and its lines";
        if (const auto near = nearName(SectionName::all, line.name)) {
            message += "; did you mean [" + std::string(near->name()) + "]?";
        }
        warn(line.number, message);
        return;
    }
    place = Place::KnownSection;
    section = *known;
    const auto first = firstHeaderLine.emplace(section, line.number);
    if (!first.second) {
        warn(line.number, "section [" + std::string(section.name()) +
                              "] given again (first at line " +
                              std::to_string(first.first->second) +
                              "): the later one replaces the earlier whole");
    }
}

void CfgWarnings::observeProperty(const CfgFile::Line& line) {
    if (trimBlanks(withoutCr(line.text)).empty()) {
        return;
    }
    if (place == Place::BeforeFirstSection) {
        const bool byteOrderMark =
            line.number == 1 && tstrings::startsWith(std::string(line.text), "\xEF\xBB\xBF");
        warn(line.number, byteOrderMark
                              ? "the file begins with a byte-order mark: the launcher takes it as "
                                "part of the first line, which it then ignores"
                              : "line before the first section: the launcher ignores it");
        return;
    }
    if (place == Place::UnknownSection) {
        return;
    }
    if (const std::optional<PropertyId> property = findName(PropertyName::all, line.name)) {
        observeKnownProperty(line, *property);
        return;
    }
    std::string message = "unknown property \"" + std::string(line.name) + "\"";
    if (line.name.size() == line.text.size()) {
        message += " (the line holds no \"=\")";
    }
    if (const auto near = nearName(PropertyName::all, line.name)) {
        message += trimBlanks(line.name) == near->name()
                       ? std::string(": blanks around \"=\" belong to the name")
                       : "; did you mean \"" + std::string(near->name()) + "\"?";
    }
    warn(line.number, message + "; the launcher ignores the line");
}

void CfgWarnings::observeKnownProperty(const CfgFile::Line& line, PropertyId property) {
    std::vector<std::uint64_t>& lines = pending[property];
    lines.push_back(line.number);
    const ReadProperty* read = findRead(section, property);
    if (read == nullptr) {
        std::string message = "the launcher does not read " + quoted(property) + " in section [" +
                              section.name() + "]";
        for (const ReadProperty& elsewhere : launcherReads) {
            if (elsewhere.property == property) {
                message += "; it reads it in [" + std::string(elsewhere.section.name()) + "]";
            }
        }
        warn(line.number, message);
    } else if (!read->everyValue && lines.size() > 1) {
        warn(line.number, quoted(property) + " given again (first at line " +
                              std::to_string(lines.front()) + "): only the last value counts");
    }
    const std::string_view value = withoutCr(line.value);
    if (!value.empty() && (isBlank(value.front()) || isBlank(value.back()))) {
        warn(line.number, "the value of " + quoted(property) +
                              " has leading or trailing blanks, which the launcher keeps");
    }
}

void CfgWarnings::commitSection() {
    if (place == Place::KnownSection && !pending.empty()) {
        committed[section].swap(pending);
    }
    pending.clear();
}

void CfgWarnings::checkExpanded(const CfgFile& expandedCfgFile) {
    commitSection();
    for (const SectionId& known : SectionName::all) {
        for (const auto& [property, values] : expandedCfgFile.getProperties(known)) {
            for (std::size_t i = 0; i < values.size(); ++i) {
                for (const std::string& word : macroLikeWords(values[i])) {
                    warn(lineOf(known, property, i),
                         "\"" + word + "\" is left in the value of " + quoted(property) +
                             " after expansion; the macros are " + macroNames);
                }
            }
        }
    }
    const CfgFile::Properties& app = expandedCfgFile.getProperties(SectionName::Application);
    const auto splash = app.find(PropertyName::splash);
    if (splash != app.end() && !FileUtils::isFileExists(CfgFile::asString(*splash))) {
        warn(lineOf(SectionName::Application, PropertyName::splash, splash->second.size() - 1),
             "Splash property ignored. File \"" + CfgFile::asString(*splash) + "\" not found");
    }
    const auto runtime = app.find(PropertyName::runtime);
    if (runtime != app.end()) {
        const std::string dir = CfgFile::asString(*runtime);
        if (dir.empty() || !FileUtils::isDirSeparator(dir[0])) {
            warn(
                lineOf(SectionName::Application, PropertyName::runtime, runtime->second.size() - 1),
                "relative \"app.runtime\" \"" + dir +
                    "\": the runtime is looked for from the current directory, not the bundle");
        }
    }
}

std::uint64_t CfgWarnings::lineOf(SectionId section, PropertyId property, std::size_t index) const {
    const auto lines = committed.find(section);
    if (lines == committed.end()) {
        return 0;
    }
    const auto values = lines->second.find(property);
    return values != lines->second.end() && index < values->second.size() ? values->second[index]
                                                                          : 0;
}

void CfgWarnings::warn(std::uint64_t line, const std::string& message) {
    found.push_back(CheckWarning{message, path, line});
}
