#ifndef ZELT_CHECK_CFGWARNINGS_H
#define ZELT_CHECK_CFGWARNINGS_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "check/CheckReport.h"
#include "config/CfgFile.h"

// Finds what the launcher accepts silently in its configuration file but a
// packager almost never means. It follows the reader line by line, keeping
// track of which line each stored value came from, then looks at the values
// as macro expansion leaves them.
class CfgWarnings {
public:
    explicit CfgWarnings(const std::string& path) : path(path) {}

    // The reader's line observer.
    void observe(const CfgFile::Line& line);

    // Once the file is read: the expanded values of the same configuration.
    void checkExpanded(const CfgFile& expandedCfgFile);

    const std::vector<CheckWarning>& warnings() const { return found; }

private:
    typedef CfgFile::Id<CfgFile::SectionNameTag> SectionId;
    typedef CfgFile::Id<CfgFile::PropertyNameTag> PropertyId;
    typedef std::map<PropertyId, std::vector<std::uint64_t>> ValueLines;
    enum class Place { BeforeFirstSection, UnknownSection, KnownSection };

    void observeHeader(const CfgFile::Line& line);
    void observeProperty(const CfgFile::Line& line);
    void observeKnownProperty(const CfgFile::Line& line, PropertyId property);
    // Mirrors the reader: a later occurrence of a section that holds a known
    // property replaces the earlier one whole.
    void commitSection();
    // The line of the value at `index`, or 0 if unknown.
    std::uint64_t lineOf(SectionId section, PropertyId property, std::size_t index) const;
    void warn(std::uint64_t line, const std::string& message);

    std::string path;
    Place place = Place::BeforeFirstSection;
    SectionId section{""};
    ValueLines pending;
    std::map<SectionId, ValueLines> committed;
    std::map<SectionId, std::uint64_t> firstHeaderLine;
    std::vector<CheckWarning> found;
};

#endif  // ZELT_CHECK_CFGWARNINGS_H
