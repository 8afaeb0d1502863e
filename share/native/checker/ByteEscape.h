#ifndef ZELT_CHECK_BYTEESCAPE_H
#define ZELT_CHECK_BYTEESCAPE_H

#include <string>
#include <string_view>

// The checker shows texts that may hold any bytes: a byte is written as
// "\xHH" (two upper-case hex digits), and so is every backslash, so that
// the escaped text reads back unambiguously.

// Escapes every byte outside 0x20-0x7E: the result is printable ASCII.
std::string escapeUnprintable(std::string_view text);

// Escapes only the bytes that are not part of valid UTF-8: the result is
// valid UTF-8, as a JSON string must be.
std::string escapeInvalidUtf8(std::string_view text);

#endif  // ZELT_CHECK_BYTEESCAPE_H
