#ifndef ZELT_FUZZ_FUZZINPUT_H
#define ZELT_FUZZ_FUZZINPUT_H

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

// Decoding a fuzz input: header lines, then the rest.

// Cuts the next line off `rest` and returns at most `maxBytes` of it.
inline std::string headerLine(std::string& rest, std::size_t maxBytes = std::string::npos) {
    const std::size_t end = rest.find('\n');
    std::string line = rest.substr(0, std::min(end, maxBytes));
    rest = end == std::string::npos ? std::string() : rest.substr(end + 1);
    return line;
}

// The items of `text` between separators; an empty text is one empty item.
inline std::vector<std::string> splitAt(const std::string& text, char separator) {
    std::vector<std::string> items;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(separator, start)) != std::string::npos;
         start = end + 1) {
        items.push_back(text.substr(start, end - start));
    }
    items.push_back(text.substr(start));
    return items;
}

#endif  // ZELT_FUZZ_FUZZINPUT_H
