#include "config/CfgFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "base/ErrorReporting.h"
#include "testing/RaisedError.h"
#include "testing/TempDir.h"

using namespace std::string_literals;

namespace {

typedef CfgFile::Id<CfgFile::SectionNameTag> SectionId;
typedef CfgFile::Id<CfgFile::PropertyNameTag> PropertyId;

static_assert(!std::is_convertible_v<SectionId, PropertyId>,
              "section names are not property names");
static_assert(!std::is_convertible_v<PropertyId, SectionId>,
              "property names are not section names");
static_assert(!std::is_convertible_v<const char*, SectionId>, "names are never built implicitly");

const SectionId allSections[] = {
    SectionName::Application,         SectionName::TovelOptions,
    SectionName::AppVornTovelOptions, SectionName::AppVornGenerateCacheTovelOptions,
    SectionName::ArgOptions,
};

const PropertyId allProperties[] = {
    PropertyName::version,   PropertyName::maintvar,     PropertyName::mainmodule,
    PropertyName::mainclass, PropertyName::classpath,    PropertyName::modulepath,
    PropertyName::runtime,   PropertyName::splash,       PropertyName::memory,
    PropertyName::arguments, PropertyName::tovelOptions,
};

// Renders every section as "[Section]name<value><value>name<value>...", in
// a fixed order, so that a whole configuration compares as one string.
std::string dump(const CfgFile& cfg) {
    std::string out;
    for (const SectionId& section : allSections) {
        const CfgFile::Properties& properties = cfg.getProperties(section);
        if (properties.empty()) {
            continue;
        }
        out += "["s + section.name() + "]";
        for (const auto& [name, values] : properties) {
            out += name.name();
            for (const std::string& value : values) {
                out += "<" + value + ">";
            }
        }
    }
    return out;
}

class CfgFileTest : public ::testing::Test {
protected:
    std::string write(const std::string& content, const std::string& name = "app.cfg") const {
        const std::string path = dir.path(name);
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    CfgFile loadText(const std::string& content) const { return CfgFile::load(write(content)); }

    // The raw message of the error that loading `path` throws.
    static std::string loadError(const std::string& path) {
        SCOPED_TRACE("loading " + path);
        return raisedError([&] { CfgFile::load(path); }).raw;
    }

    const TempDir dir{"zelt-cfgfile"};
};

struct GrammarCase {
    const char* what;
    std::string content;
    std::string expected;
};

TEST_F(CfgFileTest, ReadsLinesByTheGrammar) {
    const GrammarCase cases[] = {
        {"empty file", "", ""},
        {"only empty lines and comments", "\n;comment\n\n;[Application]\n", ""},
        {"plain property", "[Application]\napp.mainclass=Main\n",
         "[Application]app.mainclass<Main>"},
        {"blanks around = make another name; a trailing blank is value",
         "[Application]\napp.mainclass = Main\napp.splash=S \n", "[Application]app.splash<S >"},
        {"CR LF keeps the CR in values; the CR-only line is a property line",
         "[Application]\r\napp.mainclass=Main\r\n\r\napp.splash=S\r\n",
         "[Application]app.mainclass<Main\r>app.splash<S\r>"},
        {"a byte-order mark makes the header a property line",
         "\xEF\xBB\xBF[Application]\napp.mainclass=Main\n", ""},
        {"a blank before [ leaves the section as it was",
         "[TovelOptions]\n [Application]\napp.mainclass=Main\n",
         "[TovelOptions]app.mainclass<Main>"},
        {"other case", "[application]\napp.mainclass=Main\n", ""},
        {"blank inside the brackets",
         "[ Application]\napp.mainclass=A\n[Application ]\napp.splash=S\n", ""},
        {"empty header", "[]\napp.mainclass=Main\n", ""},
        {"text after the last ] is ignored", "[Application] x\napp.mainclass=Main\n",
         "[Application]app.mainclass<Main>"},
        {"the last ] closes the header", "[Application]]\napp.mainclass=Main\n", ""},
        {"property before the first header", "app.mainclass=Early\n[Application]\napp.splash=S\n",
         "[Application]app.splash<S>"},
        {"values accumulate in file order",
         "[TovelOptions]\ntovel-options=-Xa\ntovel-options=-Xb\ntovel-options=-Xc\n",
         "[TovelOptions]tovel-options<-Xa><-Xb><-Xc>"},
        {"a line without = is a name with an empty value", "[ArgOptions]\narguments\n",
         "[ArgOptions]arguments<>"},
        {"empty value", "[Application]\napp.splash=\n", "[Application]app.splash<>"},
        {"the first = ends the name", "[Application]\napp.classpath=a=b\n",
         "[Application]app.classpath<a=b>"},
        {"a leading = gives an empty name", "[Application]\n=app.mainclass\napp.splash=S\n",
         "[Application]app.splash<S>"},
        {"an escaped = does not end the name",
         "[Application]\napp.mainclass\\=x=y\napp.runtime\\=rt\napp.splash=S\n",
         "[Application]app.splash<S>"},
        {"values are not unescaped", "[Application]\napp.splash=a\\=b\n",
         "[Application]app.splash<a\\=b>"},
        {"# is no comment", "[Application]\n#app.mainclass=A\napp.splash=S\n",
         "[Application]app.splash<S>"},
        {"; only comments in the first column", "[Application]\napp.mainclass=a;b\n ;x\n",
         "[Application]app.mainclass<a;b>"},
        {"a later occurrence replaces the section whole",
         "[Application]\napp.mainclass=A\napp.splash=S\n[TovelOptions]\ntovel-options=-X\n"
         "[Application]\napp.mainclass=B\n",
         "[Application]app.mainclass<B>[TovelOptions]tovel-options<-X>"},
        {"an occurrence that yields nothing changes nothing",
         "[Application]\napp.mainclass=A\n[Application]\nunknown=1\n[Application]\n",
         "[Application]app.mainclass<A>"},
        {"any known property in any known section", "[TovelOptions]\napp.mainclass=M\n",
         "[TovelOptions]app.mainclass<M>"},
        {"a known section with only unknown lines is absent", "[TovelOptions]\nfoo=bar\n", ""},
        {"an unknown section ends the known one",
         "[Application]\napp.mainclass=A\n[Other]\napp.mainclass=B\n",
         "[Application]app.mainclass<A>"},
        {"last line without LF", "[Application]\napp.mainclass=Main",
         "[Application]app.mainclass<Main>"},
        {"bytes from 0x80 up are never [ or =, and values keep them",
         "[Application]\n\xDBTovelOptions]\napp.splash\xBDS\napp.mainclass=\xC3\xA9\x80\xFF\n",
         "[Application]app.mainclass<\xC3\xA9\x80\xFF>"},
        {"NUL bytes are ordinary bytes", "[Application]\napp.main\0class=x\napp.splash=a\0b\n"s,
         "[Application]app.splash<a\0b>"s},
    };
    for (const GrammarCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(dump(loadText(c.content)), c.expected);
    }
}

// One observed line as "{number} {kind} <name> <value>".
std::string describe(const CfgFile::Line& line) {
    static const char* const kinds[] = {"Empty", "Comment", "Header", "Property"};
    return std::to_string(line.number) + " " + kinds[line.kind] + " <" + std::string(line.name) +
           "> <" + std::string(line.value) + ">";
}

// Reads `content` from memory, collecting what the observer saw.
CfgFile observe(const std::string& content, std::vector<std::string>& seen) {
    std::istringstream input(content);
    return CfgFile::load(input, "memory.cfg", [&](const CfgFile::Line& line) {
        EXPECT_EQ(line.text.find('\n'), std::string_view::npos);
        seen.push_back(describe(line) + " [" + std::string(line.text) + "]");
    });
}

TEST(CfgFileStreamTest, ObservesEveryLineAsClassifiedBeforeActingOnIt) {
    std::vector<std::string> seen;
    const CfgFile cfg = observe(
        "; note\n\n[Application] x\napp.mainclass=Main=1\napp.x\\=y=z\n=v\narguments\r\n"
        "[]\n[Other]]\n \t[x]\nlast=1",
        seen);
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "1 Comment <> <> [; note]",
                        "2 Empty <> <> []",
                        "3 Header <Application> <> [[Application] x]",
                        "4 Property <app.mainclass> <Main=1> [app.mainclass=Main=1]",
                        "5 Property <app.x\\=y> <z> [app.x\\=y=z]",
                        "6 Property <> <v> [=v]",
                        "7 Property <arguments\r> <> [arguments\r]",
                        "8 Header <> <> [[]]",
                        "9 Header <Other]> <> [[Other]]]",
                        "10 Property < \t[x]> <> [ \t[x]]",
                        "11 Property <last> <1> [last=1]",
                    }));
    EXPECT_EQ(dump(cfg), "[Application]app.mainclass<Main=1>");
}

TEST(CfgFileStreamTest, ObservesAHeaderWithoutBracketThenFails) {
    std::vector<std::string> seen;
    EXPECT_EQ(raisedError([&] { observe("[Application]\n[TovelOptions x\napp.splash=S\n", seen); })
                  .raw,
              "Error parsing [memory.cfg] file at 2: Missing ']' character");
    EXPECT_EQ(seen, (std::vector<std::string>{"1 Header <Application> <> [[Application]]",
                                              "2 Header <TovelOptions x> <> [[TovelOptions x]"}));
}

TEST(CfgFileStreamTest, ReadsTheSameFromMemoryAsFromAFile) {
    const TempDir dir("zelt-cfgstream");
    const std::string content =
        "\xEF\xBB\xBF;bom\r\n[Application]\r\napp.classpath=a\0b\r\n[ArgOptions]\narguments=x"s;
    const std::string path = dir.path("app.cfg");
    std::ofstream(path, std::ios::binary) << content;
    std::istringstream input(content);
    const std::string fromMemory = dump(CfgFile::load(input, path));
    EXPECT_EQ(fromMemory, dump(CfgFile::load(path)));
    EXPECT_EQ(fromMemory, "[Application]app.classpath<a\0b\r>[ArgOptions]arguments<x>"s);
}

// A stream that fails after its first line: reading stops before the end.
TEST(CfgFileStreamTest, AFailingStreamIsAReadError) {
    std::istringstream input("[Application]\napp.mainclass=Main\n");
    std::string first;
    std::getline(input, first);
    input.setstate(std::ios::badbit);
    const std::string raw = raisedError([&] { CfgFile::load(input, "broken.cfg"); }).raw;
    EXPECT_EQ(raw.rfind("Failed to read \"broken.cfg\" file up to the end: ", 0), 0u) << raw;
}

TEST_F(CfgFileTest, KnowsEveryNameOfTheVocabulary) {
    const std::string headers[] = {"Application", "TovelOptions", "AppVornTovelOptions",
                                   "AppVornGenerateCacheTovelOptions", "ArgOptions"};
    const std::string names[] = {"app.version",   "app.maintvar",  "app.mainmodule",
                                 "app.mainclass", "app.classpath", "app.modulepath",
                                 "app.runtime",   "app.splash",    "app.memory",
                                 "arguments",     "tovel-options"};
    std::string content;
    for (const std::string& header : headers) {
        content += "[" + header + "]\n";
        for (const std::string& name : names) {
            content += name + "=" + header + "/" + name + "\n";
        }
    }
    const CfgFile cfg = loadText(content);
    for (std::size_t s = 0; s < std::size(headers); ++s) {
        const CfgFile::Properties& properties = cfg.getProperties(allSections[s]);
        EXPECT_EQ(properties.size(), std::size(names)) << headers[s];
        for (std::size_t p = 0; p < std::size(names); ++p) {
            const auto found = properties.find(allProperties[p]);
            ASSERT_NE(found, properties.end()) << headers[s] << " " << names[p];
            EXPECT_EQ(found->second, std::vector<std::string>{headers[s] + "/" + names[p]});
        }
    }
}

TEST_F(CfgFileTest, MissingBracketFailsWithTheLineNumber) {
    const struct {
        const char* what;
        std::string content;
        int line;
    } cases[] = {
        {"after empty lines", "\n\n[Application\n", 3},
        {"after comments", ";a\n;b\n[Application\napp.mainclass=x\n", 3},
        {"after a section", "[Application]\napp.mainclass=x\n[TovelOptions\n", 3},
        {"with CR LF", "[Application]\r\n\r\n[TovelOptions\r\n", 3},
        {"on the first line", "[", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = write(c.content);
        EXPECT_EQ(loadError(path), "Error parsing [" + path + "] file at " +
                                       std::to_string(c.line) + ": Missing ']' character");
    }
}

TEST_F(CfgFileTest, ErrorsNameTheLoaderAsTheirSource) {
    const std::string full = raisedError([&] { CfgFile::load(write("[Application\n")); }).full;
    EXPECT_EQ(full.rfind("CfgFile.cpp(", 0), 0u) << full;
    EXPECT_NE(full.find(") at load(): Error parsing ["), std::string::npos) << full;
}

TEST_F(CfgFileTest, UnopenablePathsFailWithTheSystemsText) {
    const std::string file = write("[Application]\napp.mainclass=Main\n");
    const struct {
        std::string path;
        int error;
    } cases[] = {
        {dir.path("missing.cfg"), ENOENT},
        {file + "/child.cfg", ENOTDIR},
        {"relative/../missing.cfg", ENOENT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(loadError(c.path),
                  "Error opening \"" + c.path + "\" file: " + std::strerror(c.error));
    }
}

TEST_F(CfgFileTest, UnreadableFileFailsToOpen) {
    const std::string path = write("[Application]\napp.mainclass=Main\n");
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    if (::access(path.c_str(), R_OK) == 0) {
        GTEST_SKIP() << "permissions do not apply to this user";
    }
    EXPECT_EQ(loadError(path), "Error opening \"" + path + "\" file: " + std::strerror(EACCES));
}

TEST_F(CfgFileTest, DirectoryFailsToBeReadToTheEnd) {
    EXPECT_EQ(loadError(dir.path()),
              "Failed to read \"" + dir.path() + "\" file up to the end: " + std::strerror(EISDIR));
}

TEST_F(CfgFileTest, ReadsAVeryLongLine) {
    const std::string value(16u << 20, 'v');
    const CfgFile cfg = loadText("[Application]\napp.classpath=" + value + "\napp.splash=S\n");
    const CfgFile::Properties& properties = cfg.getProperties(SectionName::Application);
    ASSERT_EQ(properties.count(PropertyName::classpath), 1u);
    EXPECT_EQ(properties.at(PropertyName::classpath), std::vector<std::string>{value});
    EXPECT_EQ(properties.at(PropertyName::splash), std::vector<std::string>{"S"});
}

TEST_F(CfgFileTest, CountsAMillionLines) {
    const int lines = 1000000;
    std::string content = "[TovelOptions]\n";
    for (int i = 1; i < lines; ++i) {
        content += "tovel-options=-X" + std::to_string(i) + "\n";
    }
    const CfgFile cfg = loadText(content);
    const auto& values =
        cfg.getProperties(SectionName::TovelOptions).at(PropertyName::tovelOptions);
    ASSERT_EQ(values.size(), static_cast<std::size_t>(lines - 1));
    int wrong = 0;
    for (int i = 1; i < lines; ++i) {
        wrong += values[i - 1] != "-X" + std::to_string(i);
    }
    EXPECT_EQ(wrong, 0);

    const std::string path = write(content + "[Application\n", "broken.cfg");
    EXPECT_EQ(loadError(path), "Error parsing [" + path + "] file at " + std::to_string(lines + 1) +
                                   ": Missing ']' character");
}

// Random bytes either load into a well-formed configuration or fail with the
// one error that file text can cause.
TEST_F(CfgFileTest, SurvivesBinaryGarbage) {
    std::mt19937 random(20240611);
    const char alphabet[] = "[]=;\\\n\r\0 app.mainclassApplication";
    for (int round = 0; round < 50; ++round) {
        std::string content;
        for (int i = 0; i < 4096; ++i) {
            const auto byte = random();
            content +=
                (byte & 1) ? alphabet[byte % (sizeof alphabet)] : static_cast<char>(byte >> 8);
        }
        const std::string path = write(content);
        try {
            const CfgFile cfg = CfgFile::load(path);
            for (const SectionId& section : allSections) {
                for (const auto& property : cfg.getProperties(section)) {
                    EXPECT_FALSE(property.second.empty()) << property.first.name();
                }
            }
        } catch (const ZeltError<std::runtime_error>& e) {
            const std::string raw = e.rawMessage();
            EXPECT_EQ(raw.rfind("Error parsing [" + path + "] file at ", 0), 0u) << raw;
        }
    }
}

TEST(CfgFileIdTest, ComparesByText) {
    static const char application[] = "Application";
    const SectionId copy(application);
    EXPECT_NE(copy.name(), SectionName::Application.name());
    EXPECT_TRUE(copy == SectionName::Application);
    EXPECT_FALSE(copy < SectionName::Application || SectionName::Application < copy);

    const struct {
        const char* lower;
        const char* higher;
    } ordered[] = {
        {"", "a"}, {"a", "ab"}, {"ab", "b"}, {"B", "a"}, {"z", "\x80"}, {"app.x", "app.x\xff"},
    };
    for (const auto& o : ordered) {
        SCOPED_TRACE(o.higher);
        const PropertyId lower(o.lower);
        const PropertyId higher(o.higher);
        EXPECT_TRUE(lower < higher);
        EXPECT_FALSE(higher < lower);
        EXPECT_FALSE(lower == higher);
    }
}

TEST_F(CfgFileTest, LooksSectionsUpByText) {
    static const char application[] = "Application";
    const CfgFile cfg = loadText("[Application]\napp.mainclass=Main\n");
    EXPECT_EQ(&cfg.getProperties(SectionId(application)),
              &cfg.getProperties(SectionName::Application));
}

TEST_F(CfgFileTest, AbsentSectionsShareOneEmptyMap) {
    const CfgFile cfg = loadText("[Application]\napp.mainclass=Main\n");
    const CfgFile::Properties& absent = cfg.getProperties(SectionName::AppVornTovelOptions);
    EXPECT_TRUE(absent.empty());
    EXPECT_EQ(&cfg.getProperties(SectionName::AppVornTovelOptions), &absent);
    EXPECT_EQ(&cfg.getProperties(SectionName::ArgOptions), &absent);
    EXPECT_EQ(dump(cfg), "[Application]app.mainclass<Main>");
}

TEST_F(CfgFileTest, SetPropertyValueReplacesOrCreates) {
    CfgFile cfg = loadText(
        "[Application]\napp.mainclass=Main\n[ArgOptions]\narguments=a\narguments=b\narguments=c\n"
        "app.splash=S\n");
    CfgFile& same =
        cfg.setPropertyValue(SectionName::ArgOptions, PropertyName::arguments, {"x", "y"});
    EXPECT_EQ(&same, &cfg);
    EXPECT_EQ(dump(cfg),
              "[Application]app.mainclass<Main>[ArgOptions]app.splash<S>arguments<x><y>");

    cfg.setPropertyValue(SectionName::TovelOptions, PropertyName::tovelOptions, {"-Xz"})
        .setPropertyValue(SectionName::Application, PropertyName::runtime, {"rt"});
    EXPECT_EQ(dump(cfg),
              "[Application]app.mainclass<Main>app.runtime<rt>[TovelOptions]tovel-options<-Xz>"
              "[ArgOptions]app.splash<S>arguments<x><y>");
}

TEST(CfgFileQueryTest, ReadsEntriesAsStringAndPathList) {
    const struct {
        std::vector<std::string> values;
        std::string string;
        std::string pathList;
    } cases[] = {
        {{"a", "b", "c"}, "c", "a:b:c"}, {{"a"}, "a", "a"}, {{"a", "", "b"}, "b", "a::b"},
        {{"x:y", "z"}, "z", "x:y:z"},    {{}, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pathList);
        const CfgFile::Properties::value_type entry(PropertyName::classpath, c.values);
        EXPECT_EQ(CfgFile::asString(entry), c.string);
        EXPECT_EQ(CfgFile::asPathList(entry), c.pathList);
    }
}

TEST(CfgFileQueryTest, JoinsWithOneCharacter) {
    EXPECT_EQ(join({}, ':'), "");
    EXPECT_EQ(join({}, ','), "");
    EXPECT_EQ(join({"a", "b", ""}, ','), "a,b,");
    EXPECT_EQ(join({"a"}, ';'), "a");
}

// The expanded value of `value` in a one-property configuration.
std::string expanded(const CfgFile::Macros& macros, const std::string& value) {
    CfgFile cfg;
    cfg.setPropertyValue(SectionName::Application, PropertyName::classpath, {value});
    return CfgFile::asString(
        *cfg.expandMacros(macros).getProperties(SectionName::Application).begin());
}

TEST(CfgFileExpandTest, ReplacesMacrosUntilAPassChangesNothing) {
    const CfgFile::Macros app = {{"$APPDIR", "/D"}};
    const CfgFile::Macros bundle = {{"$APPDIR", "/B.app/Contents/app"},
                                    {"$BINDIR", "/B.app/Contents/MacOS"},
                                    {"$ROOTDIR", "/B.app"}};
    const struct {
        const char* what;
        CfgFile::Macros macros;
        std::string value;
        std::string expected;
    } cases[] = {
        {"a relative path", app, "$APPDIR/lib/a.jar", "/D/lib/a.jar"},
        {"twice", app, "$APPDIR/a:$APPDIR/b", "/D/a:/D/b"},
        {"other case", app, "$appdir/a", "$appdir/a"},
        {"followed by letters", app, "$APPDIRx", "/Dx"},
        {"a lone $", app, "cost $5 $", "cost $5 $"},
        {"no macros", {}, "$APPDIR", "$APPDIR"},
        {"all three", bundle, "$ROOTDIR:$APPDIR:$BINDIR",
         "/B.app:/B.app/Contents/app:/B.app/Contents/MacOS"},
        {"nested in a later pass",
         {{"$APPDIR", "/D"}, {"$ROOTDIR", "/R$APPDIR"}},
         "$ROOTDIR/x",
         "/R/D/x"},
        {"nested in the same pass",
         {{"$APPDIR", "$ROOTDIR/app"}, {"$ROOTDIR", "/R"}},
         "$APPDIR",
         "/R/app"},
        {"the shorter prefix name goes first", {{"$A", "1"}, {"$AB", "2"}}, "$AB $A", "1B 1"},
        {"names order by unsigned bytes", {{"x\xC3", "1"}, {"\xC3y", "2"}}, "x\xC3y", "1y"},
        {"an empty name replaces nothing", {{"", "X"}, {"$A", "1"}}, "a$A", "a1"},
        {"a name that forms across a replacement", {{"$AB", "ok"}, {"$X", ""}}, "$A$XB", "ok"},
        {"a macro that is its own replacement", {{"$A", "$A"}}, "x$A", "x$A"},
        {"a pass that comes back to its text", {{"$A", "$B"}, {"$B", "$A"}}, "$A", "$A"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(expanded(c.macros, c.value), c.expected);
    }
}

TEST(CfgFileExpandTest, ResolvesLongChainsOfNestedMacros) {
    // Each name sorts before the one that refers to it, so every level needs
    // a pass of its own.
    CfgFile::Macros macros;
    const int depth = 200;
    macros["$M000"] = "end";
    for (int i = 1; i < depth; ++i) {
        char name[8];
        char inner[8];
        std::snprintf(name, sizeof name, "$M%03d", i);
        std::snprintf(inner, sizeof inner, "$M%03d", i - 1);
        macros[name] = "<"s + inner + ">";
    }
    EXPECT_EQ(expanded(macros, "$M199"),
              std::string(depth - 1, '<') + "end" + std::string(depth - 1, '>'));
}

TEST(CfgFileExpandTest, ResolvesSlowButTerminatingExpansions) {
    // A name that forms across the edge of a replacement is consumed one
    // pass at a time, as under a bundle directory whose name ends in "$".
    std::string chain = "$ROOTDIR";
    std::string result;
    for (int i = 0; i < 150; ++i) {
        chain += "ROOTDIR";
        result += "/b/R";
    }
    EXPECT_EQ(expanded({{"$ROOTDIR", "/b/R$"}}, chain), result + "/b/R$");
    // Fan-out through distinct macros may grow a short value a lot.
    EXPECT_EQ(
        expanded({{"$A", "$B$B$B$B"}, {"$B", "$C$C$C$C"}, {"$C", std::string(100, 'x')}}, "$A"),
        std::string(1600, 'x'));
}

TEST(CfgFileExpandTest, NonTerminatingExpansionFailsNamingTheValue) {
    const std::string root = "/tmp/$BINDIR-x/B.app";
    const CfgFile::Macros bundle = {{"$APPDIR", root + "/Contents/app"},
                                    {"$BINDIR", root + "/Contents/MacOS"},
                                    {"$ROOTDIR", root}};
    const std::string long80(80, 'x');
    // Doubles the names in each pass, with a long text between them so that
    // the bound comes after a few large steps rather than millions of names.
    const CfgFile::Macros doubling = {{"$A", "$A" + std::string(1 << 16, '-') + "$A"}};
    const struct {
        const char* what;
        CfgFile::Macros macros;
        std::string value;
        std::string shown;  // as the message quotes it
    } cases[] = {
        {"bundle under a directory named after a macro", bundle, "$BINDIR/lib", "$BINDIR/lib"},
        {"doubling", doubling, "$A", "$A"},
        {"doubling from a long value", doubling, long80 + "$A", long80 + "..."},
        {"a value of exactly the quoted length", doubling, long80.substr(2) + "$A",
         long80.substr(2) + "$A"},
        {"a cycle that never grows", {{"$A", "$C"}, {"$B", "$A"}, {"$C", "$B"}}, "$A", "$A"},
        {"slow growth beside a long replacement",
         {{"$A", "$Ax"}, {"$Z", std::string(100000, 'z')}},
         "$A",
         "$A"},
        {"a name formed across the edge too often", {{"$A", "/$"}}, "$A" + std::string(1 << 16, 'A'),
         "$" + std::string(79, 'A') + "..."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CfgFile cfg;
        cfg.setPropertyValue(SectionName::Application, PropertyName::classpath, {"plain", c.value});
        const RaisedError error = raisedError([&] { cfg.expandMacros(c.macros); });
        EXPECT_EQ(error.raw, "Macro expansion of \"" + c.shown + "\" does not terminate");
        EXPECT_NE(error.full.find(" at expandMacros(): "), std::string::npos);
    }
}

// All values of a configuration share one allowance for growth: the
// expansion never holds more than 64 MiB beyond what it was given.
TEST(CfgFileExpandTest, ValuesShareTheGrowthAllowance) {
    const std::string big(40u << 20, 'b');
    CfgFile cfg;
    cfg.setPropertyValue(SectionName::Application, PropertyName::classpath, {"$A"});
    const CfgFile one = cfg.expandMacros({{"$A", big}});
    EXPECT_TRUE(one.getProperties(SectionName::Application).at(PropertyName::classpath) ==
                std::vector<std::string>{big});

    cfg.setPropertyValue(SectionName::Application, PropertyName::splash, {"x$A"});
    EXPECT_EQ(raisedError([&] { cfg.expandMacros({{"$A", big}}); }).raw,
              "Macro expansion of \"x$A\" does not terminate");
}

TEST_F(CfgFileTest, ExpansionLeavesTheSourceAndTheNames) {
    const CfgFile source = loadText(
        "[Application]\napp.classpath=$APPDIR/a.jar\napp.classpath=$APPDIR/b.jar\n"
        "app.mainclass=Main\n[ArgOptions]\narguments=$APPDIR\n");
    const std::string before = dump(source);
    const CfgFile result = source.expandMacros({{"$APPDIR", "/D"}, {"app.", "X"}});
    EXPECT_EQ(dump(source), before);
    EXPECT_EQ(dump(result),
              "[Application]app.classpath</D/a.jar></D/b.jar>app.mainclass<Main>"
              "[ArgOptions]arguments</D>");
}

TEST_F(CfgFileTest, CopiesAreIndependent) {
    const CfgFile source = loadText("[Application]\napp.mainclass=Main\n");
    CfgFile copy(source);
    copy.setPropertyValue(SectionName::Application, PropertyName::mainclass, {"Other"});
    EXPECT_EQ(dump(source), "[Application]app.mainclass<Main>");
    EXPECT_EQ(dump(copy), "[Application]app.mainclass<Other>");
    EXPECT_TRUE(copy.getProperties(SectionName::ArgOptions).empty());
}

}  // namespace
