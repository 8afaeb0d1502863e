#include "check/ByteEscape.h"

namespace {

void appendEscaped(std::string& out, unsigned char byte) {
    static const char hex[] = "0123456789ABCDEF";
    out += "\\x";
    out += hex[byte >> 4];
    out += hex[byte & 0xF];
}

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 sequence at the start of `text`, or 0.
// Overlong forms, surrogates and code points above U+10FFFF are not well formed.
std::size_t utf8SequenceLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length;
    unsigned char min = 0x80;
    unsigned char max = 0xBF;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        min = lead == 0xE0 ? 0xA0 : 0x80;
        max = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        min = lead == 0xF0 ? 0x90 : 0x80;
        max = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < min || byte(1) > max) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (!isContinuation(byte(i))) {
            return 0;
        }
    }
    return length;
}

}  // namespace

std::string escapeUnprintable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7E || c == '\\') {
            appendEscaped(out, byte);
        } else {
            out += c;
        }
    }
    return out;
}

std::string escapeInvalidUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = utf8SequenceLength(text);
        if (length == 0 || text[0] == '\\') {
            appendEscaped(out, static_cast<unsigned char>(text[0]));
            text.remove_prefix(1);
        } else {
            out.append(text.substr(0, length));
            text.remove_prefix(length);
        }
    }
    return out;
}
