#include "check/ByteEscape.h"

#include <gtest/gtest.h>

namespace {

TEST(ByteEscape, EachSchemeEscapesItsBytesAndEveryBackslash) {
    const struct {
        const char* what;
        std::string text;
        std::string unprintable;
        std::string invalidUtf8;
    } cases[] = {
        {"printable ASCII", "a b~", "a b~", "a b~"},
        {"backslash", "\\x41", "\\x5Cx41", "\\x5Cx41"},
        {"control bytes and DEL", std::string("\n\t\x7F\0", 4), "\\x0A\\x09\\x7F\\x00",
         std::string("\n\t\x7F\0", 4)},
        {"two-byte sequence", "\xC3\xA9", "\\xC3\\xA9", "\xC3\xA9"},
        {"four-byte sequence", "\xF0\x9F\x98\x80", "\\xF0\\x9F\\x98\\x80", "\xF0\x9F\x98\x80"},
        {"lone continuation and invalid bytes", "\x80x\xFF", "\\x80x\\xFF", "\\x80x\\xFF"},
        {"sequence cut short", "\xE2\x82", "\\xE2\\x82", "\\xE2\\x82"},
        {"sequence cut by ASCII", "\xE2\x82z", "\\xE2\\x82z", "\\xE2\\x82z"},
        {"overlong form", "\xC0\xAF", "\\xC0\\xAF", "\\xC0\\xAF"},
        {"overlong three-byte form", "\xE0\x80\xAF", "\\xE0\\x80\\xAF", "\\xE0\\x80\\xAF"},
        {"surrogate", "\xED\xA0\x80", "\\xED\\xA0\\x80", "\\xED\\xA0\\x80"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80", "\\xF4\\x90\\x80\\x80"},
        {"highest code point", "\xF4\x8F\xBF\xBF", "\\xF4\\x8F\\xBF\\xBF", "\xF4\x8F\xBF\xBF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(escapeUnprintable(c.text), c.unprintable);
        EXPECT_EQ(escapeInvalidUtf8(c.text), c.invalidUtf8);
    }
}

}  // namespace
