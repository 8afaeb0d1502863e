#ifndef ZELT_CONFIG_CFGFILE_H
#define ZELT_CONFIG_CFGFILE_H

#include <cstdint>
#include <cstring>
#include <functional>
#include <iosfwd>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// The launcher configuration: named sections of named properties, each
// property holding its values in file order. Names come from a closed
// vocabulary (SectionName, PropertyName below); everything else in the file
// is skipped.
class CfgFile {
public:
    struct SectionNameTag {};
    struct PropertyNameTag {};

    // A typed name pointing to a static text. The tag keeps section and
    // property names apart; comparison is by text, never by pointer.
    template <class Tag>
    class Id {
    public:
        explicit constexpr Id(const char* name) : text(name) {}

        constexpr const char* name() const { return text; }

        // strcmp orders by unsigned bytes, and a prefix before its extensions.
        bool operator==(const Id& other) const { return std::strcmp(text, other.text) == 0; }
        bool operator<(const Id& other) const { return std::strcmp(text, other.text) < 0; }

    private:
        const char* text;
    };

    typedef std::map<Id<PropertyNameTag>, std::vector<std::string>> Properties;
    typedef std::map<std::string, std::string> Macros;

    // One line of a configuration as the reader classified it.
    struct Line {
        enum Kind { Empty, Comment, Header, Property };
        Kind kind;
        std::uint64_t number;    // 1-based, every line counted
        std::string_view text;   // the whole line, without its LF
        std::string_view name;   // Header: the section text; Property: the name
        std::string_view value;  // Property: the value
    };
    // Called for every line, in order, before the reader acts on it.
    using LineObserver = std::function<void(const Line&)>;

    CfgFile() = default;

    // Opens the file, then reads it as the stream form does. Throws the
    // program's error when the file cannot be opened.
    static CfgFile load(const std::string& path);
    // Reads a configuration from `input`; `path` is used only in messages.
    // Throws the program's error when a section header lacks its "]", or
    // reading stops before the end of the input. A header without "]" is
    // observed as a Header whose name is the text after "[".
    static CfgFile load(std::istream& input, const std::string& path,
                        const LineObserver& observer = nullptr);

    // The section's properties, or one shared empty map when it is absent.
    const Properties& getProperties(Id<SectionNameTag> section) const;

    // Replaces all values of the property, creating the section if needed.
    CfgFile& setPropertyValue(Id<SectionNameTag> section, Id<PropertyNameTag> property,
                              const std::vector<std::string>& values);

    // A copy in which every value has the macro names replaced, pass after
    // pass, until a pass changes nothing. Throws the program's error for a
    // value whose expansion does not settle within the bounds in CfgFile.cpp.
    CfgFile expandMacros(const Macros& macros) const;

    // The last value; empty when the entry has none.
    static std::string asString(const Properties::value_type& entry);

    // The values joined with FileUtils::pathSeparator.
    static std::string asPathList(const Properties::value_type& entry);

private:
    std::map<Id<SectionNameTag>, Properties> sections;
    Properties empty;
};

std::string join(const std::vector<std::string>& values, char separator);

namespace SectionName {
extern const CfgFile::Id<CfgFile::SectionNameTag> Application;
extern const CfgFile::Id<CfgFile::SectionNameTag> TovelOptions;
extern const CfgFile::Id<CfgFile::SectionNameTag> AppVornTovelOptions;
extern const CfgFile::Id<CfgFile::SectionNameTag> AppVornGenerateCacheTovelOptions;
extern const CfgFile::Id<CfgFile::SectionNameTag> ArgOptions;
// Every section name the reader knows.
extern const CfgFile::Id<CfgFile::SectionNameTag> all[5];
}  // namespace SectionName

namespace PropertyName {
extern const CfgFile::Id<CfgFile::PropertyNameTag> version;
extern const CfgFile::Id<CfgFile::PropertyNameTag> maintvar;
extern const CfgFile::Id<CfgFile::PropertyNameTag> mainmodule;
extern const CfgFile::Id<CfgFile::PropertyNameTag> mainclass;
extern const CfgFile::Id<CfgFile::PropertyNameTag> classpath;
extern const CfgFile::Id<CfgFile::PropertyNameTag> modulepath;
extern const CfgFile::Id<CfgFile::PropertyNameTag> runtime;
extern const CfgFile::Id<CfgFile::PropertyNameTag> splash;
extern const CfgFile::Id<CfgFile::PropertyNameTag> memory;
extern const CfgFile::Id<CfgFile::PropertyNameTag> arguments;
extern const CfgFile::Id<CfgFile::PropertyNameTag> tovelOptions;
// Every property name the reader knows.
extern const CfgFile::Id<CfgFile::PropertyNameTag> all[11];
}  // namespace PropertyName

#endif  // ZELT_CONFIG_CFGFILE_H
