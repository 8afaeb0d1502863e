#include "standin/StandinRecord.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

// Walks the "key value" lines of a record.
class Reader {
public:
    explicit Reader(const std::string& text) : text(text) {}

    bool atEnd() const { return pos == text.size(); }

    std::string key() {
        const size_t space = text.find(' ', pos);
        if (space == std::string::npos) {
            fail("a key");
        }
        std::string result = text.substr(pos, space - pos);
        pos = space + 1;
        return result;
    }

    void expectKey(const char* expected) {
        if (key() != expected) {
            fail(expected);
        }
    }

    long number() {
        const size_t end = text.find_first_of(" \n", pos);
        const std::string digits = text.substr(pos, end - pos);
        size_t used = 0;
        long value = 0;
        try {
            value = std::stol(digits, &used);
        } catch (const std::logic_error&) {
            fail("a number");
        }
        if (used != digits.size()) {
            fail("a number");
        }
        pos += used;
        return value;
    }

    std::string word() {
        const size_t end = text.find('\n', pos);
        std::string result = text.substr(pos, end - pos);
        pos += result.size();
        return result;
    }

    std::optional<std::string> lengthPrefixedText() {
        if (text.compare(pos, 2, "-\n") == 0) {
            ++pos;
            return std::nullopt;
        }
        const auto length = static_cast<size_t>(number());
        if (text.compare(pos, 1, " ") != 0 || text.size() - pos - 1 < length) {
            fail("a text");
        }
        std::string result = text.substr(pos + 1, length);
        pos += 1 + length;
        return result;
    }

    void endOfLine() {
        if (text.compare(pos, 1, "\n") != 0) {
            fail("the end of a line");
        }
        ++pos;
    }

    [[noreturn]] void fail(const std::string& expected) const {
        throw std::runtime_error("Stand-in record: expected " + expected + " at byte " +
                                 std::to_string(pos));
    }

private:
    const std::string& text;
    size_t pos = 0;
};

long numberField(Reader& reader, const char* key) {
    reader.expectKey(key);
    const long value = reader.number();
    reader.endOfLine();
    return value;
}

bool isNullField(Reader& reader, const char* key) {
    reader.expectKey(key);
    const std::string value = reader.word();
    if (value != "null" && value != "set") {
        reader.fail("null or set");
    }
    reader.endOfLine();
    return value == "null";
}

std::optional<std::string> textField(Reader& reader, const char* key) {
    reader.expectKey(key);
    std::optional<std::string> value = reader.lengthPrefixedText();
    reader.endOfLine();
    return value;
}

// Reads the rest of a record whose "call" key has been consumed.
StandinCall readCall(Reader& reader) {
    StandinCall call;
    call.depth = static_cast<int>(reader.number());
    reader.endOfLine();
    const long argc = numberField(reader, "argc");
    for (long i = 0; i < argc; ++i) {
        const std::optional<std::string> arg = textField(reader, "arg");
        if (!arg) {
            reader.fail("an argument text");
        }
        call.args.push_back(*arg);
    }
    call.argvTerminated = isNullField(reader, "argv_end");
    call.int3 = static_cast<int32_t>(numberField(reader, "i3"));
    call.pointer4IsNull = isNullField(reader, "p4");
    call.int5 = static_cast<int32_t>(numberField(reader, "i5"));
    call.pointer6IsNull = isNullField(reader, "p6");
    call.text7 = textField(reader, "s7");
    call.text8 = textField(reader, "s8");
    call.text9 = textField(reader, "s9");
    call.text10 = textField(reader, "s10");
    call.sameText7And8 = numberField(reader, "same78") != 0;
    call.sameText9And10 = numberField(reader, "same910") != 0;
    call.byte11 = static_cast<unsigned>(numberField(reader, "b11"));
    call.byte12 = static_cast<unsigned>(numberField(reader, "b12"));
    call.byte13 = static_cast<unsigned>(numberField(reader, "b13"));
    call.int14 = static_cast<int32_t>(numberField(reader, "i14"));
    call.libraryPathVariable = textField(reader, "dyld");
    call.launcherInterfaceExported = numberField(reader, "api") != 0;
    if (reader.word() != "end") {
        reader.fail("end");
    }
    reader.endOfLine();
    return call;
}

}  // namespace

StandinRecord parseStandinRecord(const std::string& text) {
    StandinRecord record;
    Reader reader(text);
    while (!reader.atEnd()) {
        const std::string key = reader.key();
        if (key == "call") {
            record.calls.push_back(readCall(reader));
        } else if (key == "main") {
            record.mainStatuses.push_back(static_cast<int>(reader.number()));
            reader.endOfLine();
        } else {
            reader.fail("call or main");
        }
    }
    return record;
}

StandinRecord readStandinRecord(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {};
    }
    std::ostringstream text;
    text << in.rdbuf();
    return parseStandinRecord(text.str());
}
