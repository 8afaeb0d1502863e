#include "base/tstrings.h"

#include <cstdarg>
#include <cstdio>
#include <stdexcept>

namespace tstrings {

std::string toLower(const std::string& text) {
    std::string result(text);
    for (char& c : result) {
        // The POSIX locale folds ASCII letters only.
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return result;
}

bool equals(const std::string& a, const std::string& b, CompareType type) {
    if (type == CaseInsensitive) {
        return toLower(a) == toLower(b);
    }
    return a == b;
}

bool startsWith(const std::string& text, const std::string& prefix, CompareType type) {
    if (text.size() < prefix.size()) {
        return false;
    }
    return equals(text.substr(0, prefix.size()), prefix, type);
}

bool endsWith(const std::string& text, const std::string& suffix, CompareType type) {
    if (text.size() < suffix.size()) {
        return false;
    }
    return equals(text.substr(text.size() - suffix.size()), suffix, type);
}

void split(std::vector<std::string>& list, const std::string& text, const std::string& delimiter,
           SplitType type) {
    if (text.empty() || delimiter.empty()) {
        return;
    }
    if (delimiter.size() > text.size()) {
        list.push_back(text);
        return;
    }
    const auto add = [&](std::string item) {
        if (type == KeepEmpty || !item.empty()) {
            list.push_back(std::move(item));
        }
    };
    std::string::size_type start = 0;
    for (auto pos = text.find(delimiter); pos != std::string::npos;
         pos = text.find(delimiter, start)) {
        add(text.substr(start, pos - start));
        start = pos + delimiter.size();
    }
    add(text.substr(start));
}

std::string replace(const std::string& text, const std::string& search,
                    const std::string& replacement) {
    return Occurrences(search).replace(text, replacement);
}

// std::string::find looks for the first byte, then compares: quick, but ten
// times slower on text dense with that byte. A Boyer-Moore-Horspool search
// skips ahead there, and costs little more elsewhere once its table is built.
Occurrences::Occurrences(const std::string& search)
    : search(search), searcher(search.begin(), search.end()) {}

template <class Found>
void Occurrences::forEach(const std::string& text, Found found) const {
    if (search.empty()) {
        return;
    }
    for (auto from = text.begin();;) {
        const auto match = searcher(from, text.end());
        if (match.first == text.end()) {
            return;
        }
        found(static_cast<std::size_t>(match.first - text.begin()));
        from = match.second;
    }
}

std::size_t Occurrences::count(const std::string& text) const {
    std::size_t found = 0;
    forEach(text, [&](std::size_t) { ++found; });
    return found;
}

std::string Occurrences::replace(const std::string& text, const std::string& replacement) const {
    // Sized first and built in one pass: many occurrences cost linear time,
    // and nothing larger than the result is allocated.
    const std::size_t occurrences = count(text);
    if (occurrences == 0) {
        return text;
    }
    std::string result;
    result.reserve(text.size() - occurrences * search.size() + occurrences * replacement.size());
    std::size_t start = 0;
    forEach(text, [&](std::size_t pos) {
        result.append(text, start, pos - start).append(replacement);
        start = pos + search.size();
    });
    return result.append(text, start, std::string::npos);
}

std::string trim(const std::string& text, const std::string& characters) {
    const auto first = text.find_first_not_of(characters);
    if (first == std::string::npos) {
        return std::string();
    }
    const auto last = text.find_last_not_of(characters);
    return text.substr(first, last - first + 1);
}

std::string unsafe_format(const char* format, ...) {
    if (format == nullptr) {
        throw std::invalid_argument("unsafe_format() called with a null format");
    }
    std::string buffer(256, '\0');
    for (;;) {
        va_list args;
        va_start(args, format);
        const int length = std::vsnprintf(&buffer[0], buffer.size(), format, args);
        va_end(args);
        if (length < 0) {
            // A standard exception: the error model itself is built on
            // these strings, so they cannot depend on it.
            throw std::runtime_error(std::string("vsnprintf() failed to format \"") + format +
                                     "\"");
        }
        if (static_cast<std::string::size_type>(length) < buffer.size()) {
            buffer.resize(static_cast<std::string::size_type>(length));
            return buffer;
        }
        buffer.resize(buffer.size() + 256);
    }
}

}  // namespace tstrings
