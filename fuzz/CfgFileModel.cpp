#include "CfgFileModel.h"

#include <algorithm>

namespace model {

const char* const sectionNames[5] = {"Application", "TovelOptions", "AppVornTovelOptions",
                                     "AppVornGenerateCacheTovelOptions", "ArgOptions"};
const char* const propertyNames[11] = {
    "app.version",    "app.maintvar", "app.mainmodule", "app.mainclass",
    "app.classpath",  "app.modulepath", "app.runtime",  "app.splash",
    "app.memory",     "arguments",    "tovel-options",
};

namespace {

template <std::size_t N>
bool isOneOf(const std::string& text, const char* const (&names)[N]) {
    for (const char* name : names) {
        if (text == name) {
            return true;
        }
    }
    return false;
}

Line classify(const std::string& text, std::uint64_t number) {
    Line line{Property, number, text, "", ""};
    if (text.empty()) {
        line.kind = Empty;
    } else if (text[0] == ';') {
        line.kind = Comment;
    } else if (text[0] == '[') {
        line.kind = Header;
        std::size_t close = text.size();
        for (std::size_t i = text.size(); i-- > 1;) {
            if (text[i] == ']') {
                close = i;
                break;
            }
        }
        line.name = text.substr(1, close - 1);
    } else {
        std::size_t i = 0;
        while (i < text.size() && !(text[i] == '=' && (i == 0 || text[i - 1] != '\\'))) {
            ++i;
        }
        line.name = text.substr(0, i);
        line.value = i < text.size() ? text.substr(i + 1) : "";
    }
    return line;
}

// The lines the reader gets whole: those whose LF comes before the failing
// byte, and without a failure also a last line without LF.
std::vector<std::string> wholeLines(const std::string& content, std::size_t failAt) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t lf; (lf = content.find('\n', start)) < std::min(failAt, content.size());
         start = lf + 1) {
        lines.push_back(content.substr(start, lf - start));
    }
    if (failAt > content.size() && start < content.size()) {
        lines.push_back(content.substr(start));
    }
    return lines;
}

}  // namespace

Loaded load(const std::string& content, std::size_t failAt) {
    Loaded result;
    std::string section;
    bool known = false;
    Properties pending;
    const auto commit = [&] {
        if (known && !pending.empty()) {
            result.sections[section] = pending;
        }
        known = false;
        pending.clear();
    };
    std::uint64_t number = 0;
    for (const std::string& text : wholeLines(content, failAt)) {
        const Line line = classify(text, ++number);
        result.lines.push_back(line);
        if (line.kind == Header) {
            if (text.find(']') == std::string::npos) {
                result.error = Loaded::MissingBracket;
                result.errorLine = number;
                return result;
            }
            commit();
            section = line.name;
            known = isOneOf(section, sectionNames);
        } else if (line.kind == Property && known && isOneOf(line.name, propertyNames)) {
            pending[line.name].push_back(line.value);
        }
    }
    if (failAt <= content.size()) {
        result.error = Loaded::Read;
        return result;
    }
    commit();
    return result;
}

namespace {

// Well inside the reader's fuzzing bounds: 64 KiB held, 16 KiB scanned.
const std::size_t maxText = std::size_t(8) << 10;
const std::size_t maxGrowth = std::size_t(16) << 10;
const std::size_t maxLaterPassBytes = std::size_t(4) << 10;
const std::size_t minStepBytes = 64;

std::string replaceAll(const std::string& text, const std::string& name,
                       const std::string& replacement) {
    if (name.empty()) {
        return text;
    }
    std::string out;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(name, start)) != std::string::npos;
         start = at + name.size()) {
        out += text.substr(start, at - start) + replacement;
    }
    return out + text.substr(start);
}

struct Use {
    std::size_t grown = 0;
    std::size_t laterPassBytes = 0;
};

std::optional<std::string> expandValue(const std::string& value,
                                       const std::map<std::string, std::string>& macros, Use& use) {
    std::string text = value;
    for (int pass = 1;; ++pass) {
        const std::string before = text;
        for (const auto& [name, replacement] : macros) {
            if (pass > 2) {
                use.laterPassBytes += std::max(text.size(), minStepBytes);
                if (use.laterPassBytes > maxLaterPassBytes) {
                    return std::nullopt;
                }
            }
            text = replaceAll(text, name, replacement);
            if (text.size() > maxText) {
                return std::nullopt;
            }
        }
        if (text == before) {
            use.grown += text.size() > value.size() ? text.size() - value.size() : 0;
            if (use.grown > maxGrowth) {
                return std::nullopt;
            }
            return text;
        }
    }
}

}  // namespace

std::optional<Sections> expand(const Sections& sections,
                               const std::map<std::string, std::string>& macros) {
    Use use;
    Sections result;
    for (const auto& [section, properties] : sections) {
        for (const auto& [property, values] : properties) {
            for (const std::string& value : values) {
                const std::optional<std::string> expanded = expandValue(value, macros, use);
                if (!expanded) {
                    return std::nullopt;
                }
                result[section][property].push_back(*expanded);
            }
        }
    }
    return result;
}

}  // namespace model
