#include "kernel/driver_settings.h"
#include "kernel/driver_settings_parser.h"
#include "tests/support/scratch_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace fssh {
namespace {

// Renders parameters compactly: each parameter is its name, each value in
// angle brackets, and its sub-parameters in braces; parameters are separated
// by blanks. "k=a=b" renders as "k<a><=b>".
std::string describe(const settings_parameter* parameters, int32_t count)
{
    std::string text;
    for (int32_t i = 0; i < count; i++) {
        const settings_parameter& parameter = parameters[i];
        if (i > 0) {
            text += ' ';
        }
        text += parameter.name;
        for (int32_t v = 0; v < parameter.value_count; v++) {
            text += '<' + std::string(parameter.values[v]) + '>';
        }
        if (parameter.parameter_count > 0) {
            text += '{' + describe(parameter.parameters, parameter.parameter_count) + '}';
        }
    }
    return text;
}

std::string describe(const driver_settings& settings)
{
    return describe(settings.parameters, settings.parameter_count);
}

// Parses `text` and gives its status and rendering; nothing stays allocated.
struct ParseResult {
    status_code status;
    std::string parameters;
};

ParseResult parse(const std::string& text)
{
    driver_settings settings;
    char* words;
    status_code status = parse_settings_text(text.c_str(), &settings, &words);
    ParseResult result = {status, describe(settings)};
    free_settings_parameters(&settings);
    free(words);
    return result;
}

// Owns a handle from settings_parse_text.
class ParsedText {
public:
    explicit ParsedText(const char* text) : handle_(settings_parse_text(text)) {}
    ~ParsedText()
    {
        if (handle_ != nullptr) {
            EXPECT_EQ(settings_unload(handle_), FSSH_OK);
        }
    }
    ParsedText(const ParsedText&) = delete;
    ParsedText& operator=(const ParsedText&) = delete;

    parsed_settings* get() const { return handle_; }

private:
    parsed_settings* handle_;
};

// Prints a handle into a buffer of exactly the needed size.
std::string to_text(const parsed_settings* handle, bool flat)
{
    char probe[1];
    size_t size = sizeof(probe);
    status_code status = settings_to_text(handle, probe, &size, flat);
    if (status == FSSH_OK) {
        return probe;
    }
    EXPECT_EQ(status, FSSH_EOVERFLOW);
    std::string text(size, '\0');
    EXPECT_EQ(settings_to_text(handle, text.data(), &size, flat), FSSH_OK);
    text.resize(size - 1);
    return text;
}

struct ParseCase {
    const char* label;
    const char* text;
    status_code status;
    const char* parameters;  // rendering on success
};

class SettingsParse : public testing::TestWithParam<ParseCase> {};

TEST_P(SettingsParse, GivesExpectedParametersOrError)
{
    ParseResult result = parse(GetParam().text);
    EXPECT_EQ(result.status, GetParam().status);
    if (GetParam().status == FSSH_OK) {
        EXPECT_EQ(result.parameters, GetParam().parameters);
    } else {
        EXPECT_EQ(result.parameters, "") << "a failed parse leaves no parameters";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SettingsParse,
    testing::Values(
        ParseCase{"Empty", "", FSSH_OK, ""},
        ParseCase{"OnlyBlanksAndSeparators", " \n\t;;\n ", FSSH_OK, ""},
        ParseCase{"NameWithoutValue", "noindex", FSSH_OK, "noindex"},
        ParseCase{"NameAndValue", "block_size 1024", FSSH_OK, "block_size<1024>"},
        ParseCase{"SeveralValues", "k v1  v2\tv3", FSSH_OK, "k<v1><v2><v3>"},
        ParseCase{"EqualsWithoutBlanks", "k=v", FSSH_OK, "k<v>"},
        ParseCase{"EqualsWithBlanks", "k = v", FSSH_OK, "k<v>"},
        ParseCase{"EqualsBlankAfter", "k= v", FSSH_OK, "k<v>"},
        ParseCase{"EqualsBlankBefore", "k =v", FSSH_OK, "k<v>"},
        ParseCase{"RepeatedEqualsSkipped", "k = == v", FSSH_OK, "k<v>"},
        ParseCase{"SecondEqualsStartsSecondValue", "k=a=b", FSSH_OK, "k<a><=b>"},
        ParseCase{"EqualsAfterFirstValueIsAValue", "k a = b", FSSH_OK, "k<a><=><b>"},
        ParseCase{"EqualsInsideLaterValue", "k a b=c", FSSH_OK, "k<a><b=c>"},
        ParseCase{"EqualsAtEndGivesNoValue", "k =\nx", FSSH_OK, "k x"},
        ParseCase{"EmptyName", "=x", FSSH_OK, "<x>"},
        ParseCase{"NewlinesSeparate", "a 1\nb 2\n", FSSH_OK, "a<1> b<2>"},
        ParseCase{"SemicolonsSeparate", "a 1; b 2;c", FSSH_OK, "a<1> b<2> c"},
        ParseCase{"EmptyStatements", "a;;;b\n\n\nc", FSSH_OK, "a b c"},
        ParseCase{"CarriageReturnsAreBlanks", "k\r\nv 1\r\n", FSSH_OK, "k v<1>"},
        ParseCase{"DoubleQuotesHoldBlanks", "k \"one two\" x", FSSH_OK, "k<one two><x>"},
        ParseCase{"ApostrophesHoldBlanks", "k 'say \"hi\"'", FSSH_OK, "k<say \"hi\">"},
        ParseCase{"QuotesHoldSeparators", "k \"a;b\nc#d{e}\"", FSSH_OK, "k<a;b\nc#d{e}>"},
        ParseCase{"QuotedName", "\"my name\" v", FSSH_OK, "my name<v>"},
        ParseCase{"EmptyQuotedValue", "k \"\" ''", FSSH_OK, "k<><>"},
        ParseCase{"QuoteFollowedByWord", "k \"a\"b", FSSH_OK, "k<a><b>"},
        ParseCase{"EscapedBlank", "k one\\ two", FSSH_OK, "k<one two>"},
        ParseCase{"EscapedQuoteInQuotes", "k \"a\\\"b\"", FSSH_OK, "k<a\"b>"},
        ParseCase{"EscapedSemicolon", "k a\\;b c", FSSH_OK, "k<a;b><c>"},
        ParseCase{"EscapedEquals", "k\\=x=y", FSSH_OK, "k=x<y>"},
        ParseCase{"EscapedBackslash", "k a\\\\b", FSSH_OK, "k<a\\b>"},
        ParseCase{"EscapedLeadingQuote", "k \\\"a", FSSH_OK, "k<\"a>"},
        ParseCase{"HashInsideWord", "k a#b", FSSH_OK, "k<a#b>"},
        ParseCase{"Comments", "# head\nk v # tail\n  # indented\nw", FSSH_OK, "k<v> w"},
        ParseCase{"CommentAtEnd", "k v #", FSSH_OK, "k<v>"},
        ParseCase{"Block", "a {\n b 1\n c\n}\nd", FSSH_OK, "a{b<1> c} d"},
        ParseCase{"BlockWithValues", "a x y {b; }", FSSH_OK, "a<x><y>{b}"},
        ParseCase{"BlockAfterEquals", "a = {b; }", FSSH_OK, "a{b}"},
        ParseCase{"BlockOnNextLine", "a\n{\n b\n}", FSSH_OK, "a{b}"},
        ParseCase{"BlockOnNextLineAfterEquals", "a =\n{\n b\n}", FSSH_OK, "a{b}"},
        ParseCase{"NestedBlocks", "a { b { c 1 } d } e", FSSH_OK, "a{b{c<1>} d} e"},
        ParseCase{"EmptyBlock", "a { } b", FSSH_OK, "a b"},
        ParseCase{"UnterminatedDoubleQuote", "k \"abc", FSSH_CORRUPT_DATA, ""},
        ParseCase{"UnterminatedApostrophe", "k 'abc\ndef", FSSH_CORRUPT_DATA, ""},
        ParseCase{"EscapedClosingQuote", "k 'abc\\'", FSSH_CORRUPT_DATA, ""},
        ParseCase{"UnterminatedQuotedName", "\"abc", FSSH_CORRUPT_DATA, ""},
        ParseCase{"DanglingBackslash", "k abc\\", FSSH_CORRUPT_DATA, ""},
        ParseCase{"DanglingBackslashInBlock", "a { b \\", FSSH_CORRUPT_DATA, ""},
        ParseCase{"ClosingBraceAtTopLevel", "}", FSSH_ERROR, ""},
        ParseCase{"ExtraClosingBrace", "a { b } }", FSSH_ERROR, ""},
        ParseCase{"ClosingBraceAfterValue", "k v }", FSSH_ERROR, ""},
        ParseCase{"UnclosedBlock", "a { b", FSSH_ERROR, ""},
        ParseCase{"UnclosedNestedBlock", "a { b { c } ", FSSH_ERROR, ""}),
    [](const testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.label); });

// "p0 { p1 { ... pN } ... }": the innermost parameter sits at level `depth`.
std::string nested_text(int depth)
{
    std::string text = "p0";
    for (int level = 1; level <= depth; level++) {
        text += " { p" + std::to_string(level);
    }
    for (int level = 1; level <= depth; level++) {
        text += " }";
    }
    return text;
}

TEST(SettingsNesting, BlocksNestEightLevelsDeep)
{
    ParseResult result = parse(nested_text(SETTINGS_MAX_NESTING));
    ASSERT_EQ(result.status, FSSH_OK);
    EXPECT_EQ(result.parameters, "p0{p1{p2{p3{p4{p5{p6{p7{p8}}}}}}}}");
}

TEST(SettingsNesting, NinthLevelFailsTheWholeParse)
{
    EXPECT_EQ(parse(nested_text(SETTINGS_MAX_NESTING + 1)).status, FSSH_SYMLINK_LOOP);
    // An empty block at the ninth level is already too deep.
    std::string text = nested_text(SETTINGS_MAX_NESTING);
    text.insert(text.find("p8") + 2, " { }");
    EXPECT_EQ(parse(text).status, FSSH_SYMLINK_LOOP);
    EXPECT_EQ(settings_parse_text(text.c_str()), nullptr);
}

TEST(SettingsParseText, NullTextGivesHandleWithoutParameters)
{
    ParsedText settings(nullptr);
    ASSERT_NE(settings.get(), nullptr);
    const driver_settings* parameters = settings_get_parameters(settings.get());
    ASSERT_NE(parameters, nullptr);
    EXPECT_EQ(parameters->parameter_count, 0);
}

TEST(SettingsParseText, ParseErrorGivesNull)
{
    EXPECT_EQ(settings_parse_text("k \"open"), nullptr);
    EXPECT_EQ(settings_parse_text("}"), nullptr);
}

TEST(SettingsParseText, HandleKeepsItsOwnCopyOfTheText)
{
    std::string text = "name value";
    ParsedText settings(text.c_str());
    text.assign(text.size(), 'x');
    EXPECT_STREQ(settings_get_value(settings.get(), "name", nullptr, nullptr), "value");
}

TEST(SettingsUnload, RefusesNullAndInvalidHandles)
{
    EXPECT_EQ(settings_unload(nullptr), FSSH_INVALID_ARGUMENT);
    parsed_settings invalid = {};
    EXPECT_EQ(settings_unload(&invalid), FSSH_INVALID_ARGUMENT);
}

struct ValueCase {
    const char* text;
    const char* name;
    const char* expected;  // "unknown" and "none" stand for the caller's values
};

class SettingsGetValue : public testing::TestWithParam<ValueCase> {};

TEST_P(SettingsGetValue, FindsLastTopLevelOccurrence)
{
    ParsedText settings(GetParam().text);
    ASSERT_NE(settings.get(), nullptr);
    EXPECT_STREQ(settings_get_value(settings.get(), GetParam().name, "unknown", "none"),
                 GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lookups, SettingsGetValue,
    testing::Values(ValueCase{"block_size 1024\nblock_size 4096", "block_size", "4096"},
                    ValueCase{"block_size 1024\nblock_size", "block_size", "none"},
                    ValueCase{"noindex", "noindex", "none"},
                    ValueCase{"k first second", "k", "first"},
                    ValueCase{"k=a=b", "k", "a"},
                    ValueCase{"a 1", "b", "unknown"},
                    ValueCase{"Verbose on", "verbose", "unknown"},
                    ValueCase{"block_size_x 1", "block_size", "unknown"},
                    ValueCase{"outer { inner 1 }", "inner", "unknown"},
                    ValueCase{"outer 2 { outer 1 }", "outer", "2"},
                    ValueCase{"", "k", "unknown"}));

struct BoolCase {
    const char* value;
    std::optional<bool> expected;  // none: the caller's unknown value
};

class SettingsGetBool : public testing::TestWithParam<BoolCase> {};

TEST_P(SettingsGetBool, ReadsTruthWords)
{
    std::string text = std::string("verbose ") + GetParam().value;
    ParsedText settings(text.c_str());
    ASSERT_NE(settings.get(), nullptr);
    for (bool unknown : {false, true}) {
        bool result = settings_get_bool(settings.get(), "verbose", unknown, !unknown);
        EXPECT_EQ(result, GetParam().expected.value_or(unknown)) << "unknown value " << unknown;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Words, SettingsGetBool,
    testing::Values(BoolCase{"1", true}, BoolCase{"true", true}, BoolCase{"YES", true},
                    BoolCase{"On", true}, BoolCase{"enable", true}, BoolCase{"Enabled", true},
                    BoolCase{"0", false}, BoolCase{"FALSE", false}, BoolCase{"no", false},
                    BoolCase{"off", false}, BoolCase{"disable", false},
                    BoolCase{"disableD", false}, BoolCase{"maybe", std::nullopt},
                    BoolCase{"10", std::nullopt}, BoolCase{"01", std::nullopt},
                    BoolCase{"\"\"", std::nullopt}, BoolCase{"yes\\ ", std::nullopt}));

TEST(SettingsGetBool, NameWithoutValueGivesNoValueValue)
{
    ParsedText settings("noindex\nverbose");
    EXPECT_TRUE(settings_get_bool(settings.get(), "noindex", false, true));
    EXPECT_FALSE(settings_get_bool(settings.get(), "verbose", true, false));
    EXPECT_TRUE(settings_get_bool(settings.get(), "missing", true, false));
    EXPECT_FALSE(settings_get_bool(settings.get(), "missing", false, true));
}

TEST(SettingsGetters, InvalidHandleGivesUnknownValue)
{
    parsed_settings invalid = {};
    for (const parsed_settings* handle : {static_cast<const parsed_settings*>(nullptr),
                                          static_cast<const parsed_settings*>(&invalid)}) {
        EXPECT_STREQ(settings_get_value(handle, "k", "unknown", "none"), "unknown");
        EXPECT_TRUE(settings_get_bool(handle, "k", true, false));
        EXPECT_FALSE(settings_get_bool(handle, "k", false, true));
        EXPECT_EQ(settings_get_parameters(handle), nullptr);
    }
}

TEST(SettingsToText, PrintsBlocksIndentedOnePerLine)
{
    ParsedText settings("a 1 {b; c \"x y\" {d; }}\ne");
    EXPECT_EQ(to_text(settings.get(), false),
              "a 1 {\n\tb\n\tc \"x y\" {\n\t\td\n\t}\n}\ne\n");
}

TEST(SettingsToText, PrintsFlatOnOneLine)
{
    ParsedText settings("a 1 {b; c \"x y\" {d; }}\ne");
    EXPECT_EQ(to_text(settings.get(), true), "a = 1 {b; c = \"x y\" {d; }}e; ");
}

struct QuoteCase {
    const char* text;
    const char* printed;  // multi-line form
};

class SettingsQuoting : public testing::TestWithParam<QuoteCase> {};

TEST_P(SettingsQuoting, QuotesWordsThatWouldReadDifferently)
{
    ParsedText settings(GetParam().text);
    ASSERT_NE(settings.get(), nullptr);
    std::string printed = to_text(settings.get(), false);
    EXPECT_EQ(printed, GetParam().printed);
    EXPECT_EQ(parse(printed).parameters, parse(GetParam().text).parameters);
}

INSTANTIATE_TEST_SUITE_P(
    Words, SettingsQuoting,
    testing::Values(QuoteCase{"k plain", "k plain\n"},
                    QuoteCase{"k it's", "k it's\n"},
                    QuoteCase{"k \"two words\"", "k \"two words\"\n"},
                    QuoteCase{"k 'say \"hi\"'", "k \"say \\\"hi\\\"\"\n"},
                    QuoteCase{"k a\\;b", "k \"a;b\"\n"},
                    QuoteCase{"k 'tab\there'", "k \"tab\there\"\n"},
                    QuoteCase{"k 'line\nbreak'", "k \"line\nbreak\"\n"},
                    QuoteCase{"\"my name\" v", "\"my name\" v\n"},
                    // Beyond blanks, separators and quotes: words the reader
                    // would otherwise cut, unescape or take for syntax.
                    QuoteCase{"k ''", "k \"\"\n"},
                    QuoteCase{"k a\\\\b", "k \"a\\\\b\"\n"},
                    QuoteCase{"k=a=b", "k a \"=b\"\n"},
                    QuoteCase{"k \\#x", "k \"#x\"\n"},
                    QuoteCase{"k \\{x", "k \"{x\"\n"},
                    QuoteCase{"k \\}x", "k \"}x\"\n"},
                    QuoteCase{"k \\'x", "k \"'x\"\n"},
                    QuoteCase{"k x}", "k x}\n"}));

TEST(SettingsToText, RefusesInvalidArguments)
{
    ParsedText settings("k v");
    parsed_settings invalid = {};
    char buffer[16];
    size_t size = sizeof(buffer);
    EXPECT_EQ(settings_to_text(nullptr, buffer, &size, false), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(settings_to_text(&invalid, buffer, &size, false), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(settings_to_text(settings.get(), nullptr, &size, false), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(settings_to_text(settings.get(), buffer, nullptr, false), FSSH_INVALID_ARGUMENT);
    size = 0;
    EXPECT_EQ(settings_to_text(settings.get(), buffer, &size, false), FSSH_INVALID_ARGUMENT);
}

TEST(SettingsToText, EmptySettingsNeedOnlyTheTerminator)
{
    ParsedText settings("");
    char buffer[1] = {'x'};
    size_t size = sizeof(buffer);
    EXPECT_EQ(settings_to_text(settings.get(), buffer, &size, true), FSSH_OK);
    EXPECT_EQ(size, 1u);
    EXPECT_EQ(buffer[0], '\0');
}

// Every buffer smaller than the text gets FSSH_EOVERFLOW, the size the text
// needs, and as much of the text as fits, terminated; the exact size fits.
TEST(SettingsToText, OverflowReportsNeededSizeAndKeepsTerminatedPrefix)
{
    ParsedText settings("a 1 {b \"x y\"; c; }\nd=e");
    ASSERT_NE(settings.get(), nullptr);
    for (bool flat : {false, true}) {
        const std::string full = to_text(settings.get(), flat);
        const size_t needed = full.size() + 1;
        for (size_t available = 1; available <= needed + 1; available++) {
            std::vector<char> buffer(available + 1, '#');
            size_t size = available;
            status_code status = settings_to_text(settings.get(), buffer.data(), &size, flat);
            EXPECT_EQ(status, available < needed ? FSSH_EOVERFLOW : FSSH_OK) << available;
            EXPECT_EQ(size, needed) << available;
            size_t kept = std::min(available - 1, full.size());
            EXPECT_EQ(std::string(buffer.data()), full.substr(0, kept)) << available;
            EXPECT_EQ(buffer[available], '#') << "wrote past the buffer at " << available;
        }
    }
}

// Random parameter trees, printed in both forms, read back to the same tree.
class RandomTree {
public:
    explicit RandomTree(uint32_t seed) : random_(seed) {}

    std::string Word()
    {
        static const char alphabet[] = "ab1 \t\n;=#{}\"'\\xyz";
        size_t length = Below(5);
        std::string word;
        for (size_t i = 0; i < length; i++) {
            word += alphabet[Below(sizeof(alphabet) - 1)];
        }
        return word;
    }

    // Builds a text in the format whose parameters are known: each word is
    // written quoted with every character escaped. Returns the count.
    size_t Parameters(int level, std::string* text, std::string* expected)
    {
        size_t count = Below(4);
        for (size_t i = 0; i < count; i++) {
            if (i > 0) {
                *expected += ' ';
            }
            std::string name = Word();
            *text += Escaped(name);
            *expected += name;
            size_t values = Below(3);
            for (size_t v = 0; v < values; v++) {
                std::string value = Word();
                *text += ' ' + Escaped(value);
                *expected += '<' + value + '>';
            }
            if (level < SETTINGS_MAX_NESTING && Below(3) == 0) {
                std::string inner;
                *text += " {\n";
                size_t inner_count = Parameters(level + 1, text, &inner);
                *text += "}";
                if (inner_count > 0) {
                    *expected += '{' + inner + '}';
                }
            }
            *text += '\n';
        }
        return count;
    }

private:
    size_t Below(size_t limit)
    {
        return std::uniform_int_distribution<size_t>(0, limit - 1)(random_);
    }

    static std::string Escaped(const std::string& word)
    {
        std::string escaped = "'";
        for (char c : word) {
            escaped += '\\';
            escaped += c;
        }
        return escaped + "'";
    }

    std::mt19937 random_;
};

TEST(SettingsRoundTrip, PrintedTextReadsBackToTheSameParameters)
{
    RandomTree tree(20240611);
    for (int round = 0; round < 500; round++) {
        std::string text;
        std::string expected;
        tree.Parameters(0, &text, &expected);
        ParsedText settings(text.c_str());
        ASSERT_NE(settings.get(), nullptr) << text;
        ASSERT_EQ(describe(*settings_get_parameters(settings.get())), expected) << text;
        for (bool flat : {false, true}) {
            std::string printed = to_text(settings.get(), flat);
            ParseResult reread = parse(printed);
            ASSERT_EQ(reread.status, FSSH_OK) << printed;
            ASSERT_EQ(reread.parameters, expected) << printed;
        }
    }
}

// Arbitrary texts of syntax characters: every parse either fails cleanly or
// gives parameters that print and read back unchanged.
TEST(SettingsRoundTrip, ArbitraryTextsParseSafely)
{
    static const char alphabet[] = "ab= \t\n\r;#{}\"'\\";
    std::mt19937 random(7);
    std::uniform_int_distribution<size_t> length(0, 40);
    std::uniform_int_distribution<size_t> pick(0, sizeof(alphabet) - 2);
    for (int round = 0; round < 5000; round++) {
        std::string text;
        for (size_t i = length(random); i > 0; i--) {
            text += alphabet[pick(random)];
        }
        ParsedText settings(text.c_str());
        if (settings.get() == nullptr) {
            EXPECT_NE(parse(text).status, FSSH_OK) << text;
            continue;
        }
        std::string parameters = describe(*settings_get_parameters(settings.get()));
        for (bool flat : {false, true}) {
            ASSERT_EQ(parse(to_text(settings.get(), flat)).parameters, parameters) << text;
        }
    }
}

// Settings files in a scratch folder with a short absolute path, so that
// file names fit the 31 characters under which loaded files are shared.
class SettingsLoad : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static bool initialized = false;
        if (!initialized) {
            ASSERT_EQ(settings_init(), FSSH_OK);
            initialized = true;
        }
    }

    void SetUp() override { ASSERT_TRUE(scratch_.created()); }

    std::string WriteFile(const std::string& name, const std::string& content)
    {
        std::string path = scratch_ / name;
        int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        EXPECT_GE(descriptor, 0) << path;
        EXPECT_EQ(write(descriptor, content.data(), content.size()),
                  static_cast<ssize_t>(content.size()));
        close(descriptor);
        return path;
    }

    test_support::ScratchFolder scratch_;
    const std::string& folder_ = scratch_.path();
};

TEST_F(SettingsLoad, ReadsParametersFromAbsolutePath)
{
    std::string path = WriteFile("s", "# settings\nblock_size 4096\nverbose on\nopts { x 1 }\n");
    parsed_settings* handle = settings_load(path.c_str());
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(describe(*settings_get_parameters(handle)),
              "block_size<4096> verbose<on> opts{x<1>}");
    EXPECT_STREQ(settings_get_value(handle, "block_size", nullptr, nullptr), "4096");
    EXPECT_TRUE(settings_get_bool(handle, "verbose", false, false));
    EXPECT_EQ(settings_unload(handle), FSSH_OK);
}

TEST_F(SettingsLoad, SharesHandleByNameUntilLastUnload)
{
    std::string path = WriteFile("s", "k 1");
    parsed_settings* first = settings_load(path.c_str());
    ASSERT_NE(first, nullptr);
    parsed_settings* second = settings_load(path.c_str());
    EXPECT_EQ(second, first);

    // A changed file is not read again while the handle is shared.
    WriteFile("s", "k 2");
    parsed_settings* third = settings_load(path.c_str());
    EXPECT_EQ(third, first);
    EXPECT_STREQ(settings_get_value(third, "k", nullptr, nullptr), "1");

    // Each unload but the last leaves the handle valid.
    EXPECT_EQ(settings_unload(first), FSSH_OK);
    EXPECT_EQ(settings_unload(second), FSSH_OK);
    EXPECT_STREQ(settings_get_value(third, "k", nullptr, nullptr), "1");
    EXPECT_EQ(settings_unload(third), FSSH_OK);

    // After the last unload the file is read afresh.
    parsed_settings* reloaded = settings_load(path.c_str());
    ASSERT_NE(reloaded, nullptr);
    EXPECT_STREQ(settings_get_value(reloaded, "k", nullptr, nullptr), "2");
    EXPECT_EQ(settings_unload(reloaded), FSSH_OK);
}

TEST_F(SettingsLoad, DifferentFilesGetDifferentHandles)
{
    parsed_settings* a = settings_load(WriteFile("a", "k a").c_str());
    parsed_settings* b = settings_load(WriteFile("b", "k b").c_str());
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_STREQ(settings_get_value(a, "k", nullptr, nullptr), "a");
    EXPECT_STREQ(settings_get_value(b, "k", nullptr, nullptr), "b");
    EXPECT_EQ(settings_unload(a), FSSH_OK);
    EXPECT_EQ(settings_unload(b), FSSH_OK);
}

// Two names that agree in their first 31 characters are different files.
TEST_F(SettingsLoad, NamesLongerThanTheNameFieldAreNotShared)
{
    std::string stem(SETTINGS_NAME_SIZE, 'n');
    std::string path_a = WriteFile(stem + "a", "k a");
    std::string path_b = WriteFile(stem + "b", "k b");
    ASSERT_GE(path_a.size(), SETTINGS_NAME_SIZE);
    parsed_settings* a = settings_load(path_a.c_str());
    parsed_settings* b = settings_load(path_b.c_str());
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_STREQ(settings_get_value(b, "k", nullptr, nullptr), "b");
    EXPECT_EQ(settings_unload(a), FSSH_OK);
    EXPECT_EQ(settings_unload(b), FSSH_OK);
}

struct SizeCase {
    size_t size;
    bool loads;
};

class SettingsLoadSize : public SettingsLoad, public testing::WithParamInterface<SizeCase> {};

TEST_P(SettingsLoadSize, AcceptsOneTo32767Bytes)
{
    // A parameter followed by a comment that fills the file to its size.
    std::string content = "k";
    if (GetParam().size > 2) {
        content += "\n#" + std::string(GetParam().size - 3, 'x');
    }
    content.resize(GetParam().size);
    parsed_settings* handle = settings_load(WriteFile("s", content).c_str());
    EXPECT_EQ(handle != nullptr, GetParam().loads);
    if (handle != nullptr) {
        EXPECT_STREQ(settings_get_value(handle, "k", "unknown", "none"), "none");
        EXPECT_EQ(settings_unload(handle), FSSH_OK);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, SettingsLoadSize,
                         testing::Values(SizeCase{0, false}, SizeCase{1, true},
                                         SizeCase{32767, true}, SizeCase{32768, false}));

TEST_F(SettingsLoad, UnreadableOrMissingFilesGiveNull)
{
    EXPECT_EQ(settings_load(nullptr), nullptr);
    EXPECT_EQ(settings_load((folder_ + "/missing").c_str()), nullptr);
    EXPECT_EQ(settings_load(folder_.c_str()), nullptr) << "a folder is not a settings file";
    EXPECT_EQ(settings_load("wfs-settings-that-do-not-exist"), nullptr);
    EXPECT_EQ(settings_load(std::string(400, 'n').c_str()), nullptr);
}

TEST_F(SettingsLoad, FileThatDoesNotParseIsNotKept)
{
    std::string path = WriteFile("s", "k \"open");
    EXPECT_EQ(settings_load(path.c_str()), nullptr);
    WriteFile("s", "k closed");
    parsed_settings* handle = settings_load(path.c_str());
    ASSERT_NE(handle, nullptr);
    EXPECT_STREQ(settings_get_value(handle, "k", nullptr, nullptr), "closed");
    EXPECT_EQ(settings_unload(handle), FSSH_OK);
}

}  // namespace
}  // namespace fssh
