#ifndef ZELT_BASE_TSTRINGS_H
#define ZELT_BASE_TSTRINGS_H

#include <functional>
#include <sstream>
#include <string>
#include <vector>

// Byte-string helpers shared by the whole launcher. No encoding is
// interpreted: lengths and positions are in bytes, case folding touches
// ASCII letters only.
namespace tstrings {

// Fixed underlying types, so that any value may be passed: only
// CaseInsensitive folds case, and only KeepEmpty keeps empty items.
enum CompareType : int { CaseSensitive = 0, CaseInsensitive = 1 };
enum SplitType : int { KeepEmpty = 0, SkipEmpty = 1 };

std::string toLower(const std::string& text);

bool equals(const std::string& a, const std::string& b, CompareType type = CaseSensitive);
bool startsWith(const std::string& text, const std::string& prefix,
                CompareType type = CaseSensitive);
bool endsWith(const std::string& text, const std::string& suffix, CompareType type = CaseSensitive);

// Appends the items of `text` cut at every `delimiter` to `list`.
void split(std::vector<std::string>& list, const std::string& text, const std::string& delimiter,
           SplitType type);

// Replaces every occurrence of `search`, left to right; inserted text is
// never searched again.
std::string replace(const std::string& text, const std::string& search,
                    const std::string& replacement);

// The occurrences of one search text, as replace() finds them: left to
// right, without overlap, none for an empty search. Prepared once, it finds
// them in time linear in each text, also in text dense with the search's
// first byte (such as a value full of "$"). `search` must outlive it.
class Occurrences {
public:
    explicit Occurrences(const std::string& search);

    std::size_t count(const std::string& text) const;
    std::string replace(const std::string& text, const std::string& replacement) const;

private:
    template <class Found>
    void forEach(const std::string& text, Found found) const;

    const std::string& search;
    std::boyer_moore_horspool_searcher<std::string::const_iterator> searcher;
};

// Strips the leading and trailing bytes that occur in `characters`.
std::string trim(const std::string& text, const std::string& characters);

template <class It>
std::string join(It first, It last, const std::string& delimiter) {
    std::string result;
    for (It it = first; it != last; ++it) {
        if (it != first) {
            result += delimiter;
        }
        result += *it;
    }
    return result;
}

// printf-style formatting into a string of any length.
// Throws std::invalid_argument for a null format, and the program's error
// when the platform cannot format it at all.
std::string unsafe_format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Message builder: pieces are streamed in, str() yields the text.
class any {
public:
    any() = default;
    explicit any(const std::string& text) { stream << text; }
    explicit any(const char* text) { stream << text; }
    any(const any&) = delete;
    any& operator=(const any&) = delete;

    template <class T>
    any& operator<<(const T& value) {
        stream << value;
        return *this;
    }

    std::string str() const { return stream.str(); }

private:
    std::ostringstream stream;
};

}  // namespace tstrings

#endif  // ZELT_BASE_TSTRINGS_H
