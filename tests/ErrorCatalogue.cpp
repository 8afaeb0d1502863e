#include "ErrorCatalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

namespace {

// One row of the catalogue: a line in which each "{name}" stands for any text.
class CatalogueRow {
public:
    explicit CatalogueRow(const std::string& pattern) : text(pattern) {
        size_t from = 0;
        for (size_t open; (open = pattern.find('{', from)) != std::string::npos;) {
            const size_t close = pattern.find('}', open);
            if (close == std::string::npos) {
                break;
            }
            pieces.push_back(pattern.substr(from, open - from));
            from = close + 1;
        }
        pieces.push_back(pattern.substr(from));
        placeholdersOnly = pieces.size() > 1 && std::all_of(pieces.begin(), pieces.end(),
                                                            std::mem_fn(&std::string::empty));
    }

    const std::string& pattern() const { return text; }

    bool matches(const std::string& line) const {
        if (placeholdersOnly) {
            // Matched as any text it would accept every line and so prove
            // nothing: it stands for the system's text of an error number.
            return systemErrorTexts().count(line) != 0;
        }
        if (pieces.size() == 1) {
            return line == pieces[0];
        }
        const std::string& first = pieces.front();
        const std::string& last = pieces.back();
        if (line.size() < first.size() + last.size() || line.compare(0, first.size(), first) != 0 ||
            line.compare(line.size() - last.size(), last.size(), last) != 0) {
            return false;
        }
        // Between the two ends, the inner pieces in order; the leftmost
        // place of each leaves the most room for the rest.
        size_t from = first.size();
        const size_t end = line.size() - last.size();
        for (size_t i = 1; i + 1 < pieces.size(); ++i) {
            const size_t at = line.find(pieces[i], from);
            if (at == std::string::npos || at + pieces[i].size() > end) {
                return false;
            }
            from = at + pieces[i].size();
        }
        return true;
    }

private:
    static const std::set<std::string>& systemErrorTexts() {
        static const std::set<std::string> texts = [] {
            std::set<std::string> result;
            for (int error = 0; error < 256; ++error) {
                result.insert(std::strerror(error));
            }
            return result;
        }();
        return texts;
    }

    std::string text;
    std::vector<std::string> pieces;  // the literal text around the placeholders
    bool placeholdersOnly = false;
};

// The rows of the catalogue's table: the code span that opens each row.
const std::vector<CatalogueRow>& catalogue() {
    static const std::vector<CatalogueRow> rows = [] {
        std::ifstream in(ZELT_SOURCE_DIR "/docs/errors.md");
        EXPECT_TRUE(in.good()) << "cannot read docs/errors.md";
        std::vector<CatalogueRow> result;
        for (std::string line; std::getline(in, line);) {
            const std::string opening = "| `";
            const size_t close = line.find("` |");
            if (line.compare(0, opening.size(), opening) == 0 && close != std::string::npos) {
                result.emplace_back(line.substr(opening.size(), close - opening.size()));
            }
        }
        return result;
    }();
    return rows;
}

const char* const recordStarts[] = {"[TRACE] ", "[INFO] ", "[WARNING] ", "[ERROR] ", "[UNKNOWN] "};

}  // namespace

std::vector<std::string> cataloguePatterns() {
    std::vector<std::string> result;
    for (const CatalogueRow& row : catalogue()) {
        result.push_back(row.pattern());
    }
    return result;
}

std::vector<std::string> matchingRows(const std::string& line) {
    std::vector<std::string> result;
    for (const CatalogueRow& row : catalogue()) {
        if (row.matches(line)) {
            result.push_back(row.pattern());
        }
    }
    return result;
}

std::string failureLine(const std::string& standardError) {
    std::istringstream in(standardError);
    std::string result;
    for (std::string line; std::getline(in, line);) {
        const bool record = std::any_of(
            std::begin(recordStarts), std::end(recordStarts),
            [&](const char* start) { return line.compare(0, std::strlen(start), start) == 0; });
        if (!record) {
            result = line;
        }
    }
    return result;
}

void expectCataloguedFailure(const std::string& standardError) {
    const std::string line = failureLine(standardError);
    EXPECT_FALSE(matchingRows(line).empty())
        << "failure line in no row of docs/errors.md: " << line;
}
