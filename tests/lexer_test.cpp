// Command-file lexer: numbers, names, keywords in both contexts, quoted
// texts, comments, the line counter, long lines, raw words, command-line
// values and the position display.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cmdfile/lexer.h"
#include "diag/diag.h"
#include "support/capture.h"

using namespace coffhex;

namespace {

using Tokens = std::vector<std::string>;

// A readable form of the token `code` just returned by `lexer`:
// NAME(text), NUMBER(value), the keyword's token name, 'c' for a single
// character, END.
std::string describe(const Lexer& lexer, int code) {
    switch (code) {
    case TOK_END: return "END";
    case TOK_NAME: return std::string("NAME(") + lexer.token_text() + ")";
    case TOK_NUMBER: return "NUMBER(" + std::to_string(lexer.token_number()) + ")";
    case TOK_PAGE: return "PAGE";
    case TOK_LENGTH: return "LENGTH";
    case TOK_ORIGIN: return "ORIGIN";
    case TOK_SECTIONS: return "SECTIONS";
    case TOK_FILL: return "FILL";
    case TOK_ROMS: return "ROMS";
    case TOK_FILES: return "FILES";
    case TOK_WIDTH: return "WIDTH";
    case TOK_BOOT: return "BOOT";
    case TOK_DATAWIDTH: return "DATAWIDTH";
    case TOK_PADDR: return "PADDR";
    case TOK_MEMWIDTH: return "MEMWIDTH";
    default: return std::string("'") + static_cast<char>(code) + "'";
    }
}

// A stream holding `text`, read from its start.
FILE* text_stream(const std::string& text) {
    FILE* stream = std::tmpfile();
    if (stream == nullptr) return nullptr;
    std::fwrite(text.data(), 1, text.size(), stream);
    std::rewind(stream);
    return stream;
}

class LexerTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (file_ != nullptr) std::fclose(file_);
    }

    // Makes `text` the command file being read.
    void feed(const std::string& text) {
        if (file_ != nullptr) std::fclose(file_);
        file_ = text_stream(text);
        ASSERT_NE(file_, nullptr);
        lexer.start(file_);
    }

    std::string next() { return describe(lexer, lexer.next_token()); }

    // Every token up to the end of input (END not included).
    Tokens all_tokens() {
        Tokens tokens;
        for (int i = 0; i < 10000; ++i) {
            const int code = lexer.next_token();
            if (code == TOK_END) break;
            tokens.push_back(describe(lexer, code));
        }
        return tokens;
    }

    Tokens lex(const std::string& text, bool keywords = false) {
        feed(text);
        if (keywords) lexer.keywords_on();
        return all_tokens();
    }

    // What was written to standard error since the previous call.
    std::string new_errors() {
        const std::string all = captured.err();
        const std::string fresh = all.substr(seen_errors_);
        seen_errors_ = all.size();
        return fresh;
    }

    testsupport::CapturedDiagnostics captured;
    Lexer lexer{captured.diag};
    FILE* file_ = nullptr;
    size_t seen_errors_ = 0;
};

// ---------------------------------------------------------------- numbers

TEST_F(LexerTest, NumbersInEveryBaseAndSuffixForm) {
    EXPECT_EQ(lex("100 0x1F 1Fh 1fH 01fh 0FFh 017 17q 17Q"),
              (Tokens{"NUMBER(100)", "NUMBER(31)", "NUMBER(31)", "NUMBER(31)", "NUMBER(31)",
                      "NUMBER(255)", "NUMBER(15)", "NUMBER(15)", "NUMBER(15)"}));
    // 0 alone, and 0 with a hexadecimal suffix.
    EXPECT_EQ(lex("0 0h 0q"), (Tokens{"NUMBER(0)", "NUMBER(0)", "NUMBER(0)"}));
    // 017q: octal prefix and octal suffix, the suffix is consumed.
    EXPECT_EQ(lex("017q"), (Tokens{"NUMBER(15)"}));
    // 019h: the "0" counts as octal prefix (1 is octal), the run 19 is
    // then read in hexadecimal: 0x19 = 25.
    EXPECT_EQ(lex("019h"), (Tokens{"NUMBER(25)"}));
}

TEST_F(LexerTest, NumbersEndWhereTheirBaseEnds) {
    // 0x and no hexadecimal digit: the number 0, then a name starting with x.
    EXPECT_EQ(lex("0xg"), (Tokens{"NUMBER(0)", "NAME(xg)"}));
    EXPECT_EQ(lex("0x"), (Tokens{"NUMBER(0)", "NAME(x)"}));
    // Only a lower-case x introduces the hexadecimal prefix.
    EXPECT_EQ(lex("0X10"), (Tokens{"NUMBER(0)", "NAME(X10)"}));
    // q only applies to an all-octal run.
    EXPECT_EQ(lex("8q"), (Tokens{"NUMBER(8)", "NAME(q)"}));
    EXPECT_EQ(lex("12ab"), (Tokens{"NUMBER(12)", "NAME(ab)"}));
    // After a 0x prefix no suffix is recognised.
    EXPECT_EQ(lex("0x1Fh"), (Tokens{"NUMBER(31)", "NAME(h)"}));
    // Octal reads octal digits only: 012 = 10, then 8.
    EXPECT_EQ(lex("0128"), (Tokens{"NUMBER(10)", "NUMBER(8)"}));
    // "0" before a non-octal digit is no prefix: decimal 9.
    EXPECT_EQ(lex("09"), (Tokens{"NUMBER(9)"}));
    // A number is followed directly by punctuation.
    EXPECT_EQ(lex("(0x10)"), (Tokens{"'('", "NUMBER(16)", "')'"}));
}

TEST_F(LexerTest, NumbersWiderThan32BitsAreAnError) {
    // The largest number in every form, leading zeros included, is read
    // without a message; one more is an ERROR that quotes the text.
    const struct {
        const char* largest;
        const char* one_past;
    } forms[] = {
        {"4294967295", "4294967296"},          {"0xFFFFFFFF", "0x100000000"},
        {"037777777777", "040000000000"},      {"0FFFFFFFFh", "100000000h"},
        {"37777777777q", "40000000000Q"},      {"0x00000000ffffffff", "0x0000000100000000"},
        {"000000037777777777", "000000040000000000"},
    };
    for (const auto& form : forms) {
        EXPECT_EQ(lex(form.largest), (Tokens{"NUMBER(4294967295)"})) << form.largest;
        EXPECT_TRUE(lexer.token_number_fits()) << form.largest;
        EXPECT_EQ(new_errors(), "") << form.largest;
        feed(std::string(form.one_past) + " x");
        EXPECT_EQ(lexer.next_token(), TOK_NUMBER) << form.one_past;
        EXPECT_FALSE(lexer.token_number_fits()) << form.one_past;
        EXPECT_EQ(new_errors(),
                  std::string(">>   ERROR: number '") + form.one_past + "' does not fit in 32 bits\n");
        // The token after it is read as ever.
        EXPECT_EQ(next(), "NAME(x)");
    }
}

// ---------------------------------------------------------------- keywords

TEST_F(LexerTest, EveryKeywordInBothContexts) {
    struct Row {
        const char* text;
        const char* token;
    };
    const Row rows[] = {
        {"BOOT", "BOOT"},         {"DATAWIDTH", "DATAWIDTH"}, {"DWIDTH", "DATAWIDTH"},
        {"FILES", "FILES"},       {"FILL", "FILL"},           {"LENGTH", "LENGTH"},
        {"MEMWIDTH", "MEMWIDTH"}, {"MWIDTH", "MEMWIDTH"},     {"ORIGIN", "ORIGIN"},
        {"PADDR", "PADDR"},       {"PAGE", "PAGE"},           {"ROMWIDTH", "WIDTH"},
        {"WIDTH", "WIDTH"},       {"boot", "BOOT"},           {"datawidth", "DATAWIDTH"},
        {"dw", "DATAWIDTH"},      {"dwidth", "DATAWIDTH"},    {"f", "FILL"},
        {"files", "FILES"},       {"fill", "FILL"},           {"l", "LENGTH"},
        {"len", "LENGTH"},        {"length", "LENGTH"},       {"memwidth", "MEMWIDTH"},
        {"mw", "MEMWIDTH"},       {"mwidth", "MEMWIDTH"},     {"o", "ORIGIN"},
        {"org", "ORIGIN"},        {"origin", "ORIGIN"},       {"paddr", "PADDR"},
        {"page", "PAGE"},         {"romwidth", "WIDTH"},      {"w", "WIDTH"},
        {"width", "WIDTH"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(lex(row.text, true), (Tokens{row.token}));
        EXPECT_EQ(lex(row.text, false), (Tokens{std::string("NAME(") + row.text + ")"}));
    }
    // The two always-active keywords.
    EXPECT_EQ(lex("ROMS SECTIONS", false), (Tokens{"ROMS", "SECTIONS"}));
    EXPECT_EQ(lex("ROMS SECTIONS", true), (Tokens{"ROMS", "SECTIONS"}));
}

TEST_F(LexerTest, KeywordsMatchExactlyAndCaseSensitively) {
    EXPECT_EQ(lex("Roms Origin ROM ROMSX fil FILLS O L Boot sections", true),
              (Tokens{"NAME(Roms)", "NAME(Origin)", "NAME(ROM)", "NAME(ROMSX)", "NAME(fil)",
                      "NAME(FILLS)", "NAME(O)", "NAME(L)", "NAME(Boot)", "NAME(sections)"}));
}

TEST_F(LexerTest, KeywordContextSwitchesBetweenTokens) {
    feed("origin origin origin");
    EXPECT_EQ(next(), "NAME(origin)");
    lexer.keywords_on();
    EXPECT_TRUE(lexer.keywords_active());
    EXPECT_EQ(next(), "ORIGIN");
    lexer.keywords_off();
    EXPECT_FALSE(lexer.keywords_active());
    EXPECT_EQ(next(), "NAME(origin)");
}

// ---------------------------------------------------------------- names

TEST_F(LexerTest, DrivePathIsOneNameOnlyOutsideBlocks) {
    EXPECT_EQ(lex("c:\\dir\\a.hex", false), (Tokens{"NAME(c:\\dir\\a.hex)"}));
    EXPECT_EQ(lex("c:\\dir\\a.hex", true), (Tokens{"NAME(c)", "':'", "NAME(\\dir\\a.hex)"}));
}

TEST_F(LexerTest, ColonRules) {
    // A colon before a blank ends the name in both contexts.
    EXPECT_EQ(lex("rom1: x", false), (Tokens{"NAME(rom1)", "':'", "NAME(x)"}));
    EXPECT_EQ(lex("rom1: x", true), (Tokens{"NAME(rom1)", "':'", "NAME(x)"}));
    EXPECT_EQ(lex("rom1:origin", false), (Tokens{"NAME(rom1:origin)"}));
    EXPECT_EQ(lex("rom1:origin", true), (Tokens{"NAME(rom1)", "':'", "ORIGIN"}));
    // A name may begin with a colon while the context is off.
    EXPECT_EQ(lex(":x :", false), (Tokens{"NAME(:x)", "':'"}));
    EXPECT_EQ(lex(":x :", true), (Tokens{"':'", "NAME(x)", "':'"}));
    // A colon at the very end of the line.
    EXPECT_EQ(lex("a:", false), (Tokens{"NAME(a)", "':'"}));
}

TEST_F(LexerTest, SlashAndDotRules) {
    EXPECT_EQ(lex("a/b /x .x a. $[x]~_"),
              (Tokens{"NAME(a/b)", "NAME(/x)", "NAME(.x)", "NAME(a.)", "NAME($[x]~_)"}));
    EXPECT_EQ(captured.diag.worst_severity(), 0);
    EXPECT_EQ(new_errors(), "");

    // "a/" before a blank: the name a, then an illegal lone "/".
    EXPECT_EQ(lex("a/ b"), (Tokens{"NAME(a)", "NAME(b)"}));
    EXPECT_EQ(new_errors(), ">>   ERROR: illegal input character: 0x2F\n");
}

TEST_F(LexerTest, PunctuationTokens) {
    EXPECT_EQ(lex("( ) , - : = { }", true),
              (Tokens{"'('", "')'", "','", "'-'", "':'", "'='", "'{'", "'}'"}));
    EXPECT_EQ(lex("-name --x", false), (Tokens{"'-'", "NAME(name)", "'-'", "'-'", "NAME(x)"}));
}

TEST_F(LexerTest, IllegalCharactersAreReportedAndSkipped) {
    captured.diag.set_command_file("cmds.txt");
    // A lone ".", a lone "/", a vertical tab, and a byte above 127 (which
    // must be shown as E9, not as a negative value); "*" and "?" are no
    // token characters either.
    EXPECT_EQ(lex("a . b\n/ c\x0B" "d\n\xE9" "e *?f"),
              (Tokens{"NAME(a)", "NAME(b)", "NAME(c)", "NAME(d)", "NAME(e)", "NAME(f)"}));
    EXPECT_EQ(captured.err(),
              "\"cmds.txt\", line 1:   ERROR: illegal input character: 0x2E\n"
              "\"cmds.txt\", line 2:   ERROR: illegal input character: 0x2F\n"
              "\"cmds.txt\", line 2:   ERROR: illegal input character: 0x0B\n"
              "\"cmds.txt\", line 3:   ERROR: illegal input character: 0xE9\n"
              "\"cmds.txt\", line 3:   ERROR: illegal input character: 0x2A\n"
              "\"cmds.txt\", line 3:   ERROR: illegal input character: 0x3F\n");
    EXPECT_EQ(captured.diag.worst_severity(), ERROR);
}

TEST_F(LexerTest, HighBytesNeverJoinAName) {
    EXPECT_EQ(lex("ab\xC3\xA9" "cd"), (Tokens{"NAME(ab)", "NAME(cd)"}));
    EXPECT_EQ(captured.err(),
              ">>   ERROR: illegal input character: 0xC3\n"
              ">>   ERROR: illegal input character: 0xA9\n");
}

// ---------------------------------------------------------------- quoted texts

TEST_F(LexerTest, QuotedTexts) {
    // Quoting does not hide a keyword: "ROMS" is ROMS in any context, and
    // "origin" is ORIGIN inside a block.
    EXPECT_EQ(lex("\"ROMS\" \"SECTIONS\" \"origin\"", false),
              (Tokens{"ROMS", "SECTIONS", "NAME(origin)"}));
    EXPECT_EQ(lex("\"ROMS\" \"origin\"", true), (Tokens{"ROMS", "ORIGIN"}));
    // Digits first, blanks, other characters, the empty text.
    EXPECT_EQ(lex("\"1st file.hex\" \"a*b?\" \"\"x"),
              (Tokens{"NAME(1st file.hex)", "NAME(a*b?)", "NAME()", "NAME(x)"}));
}

TEST_F(LexerTest, OpenQuoteEndsWithItsLineOrAFormFeed) {
    EXPECT_EQ(lex("\"abc def\nx"), (Tokens{"NAME(abc def)", "NAME(x)"}));
    EXPECT_EQ(lex("\"ab\fcd"), (Tokens{"NAME(ab)", "NAME(cd)"}));
    EXPECT_EQ(lex("\"open at the end"), (Tokens{"NAME(open at the end)"}));
}

// A file with CR LF line ends reads as one with LF line ends: the same
// tokens, the same line numbers, and an open quote ends without the CR.
TEST_F(LexerTest, CarriageReturnBeforeTheLineFeedIsPartOfTheLineEnd) {
    const std::string lf = "ROMS {\n  r: origin = 0x10, files = { \"a b\n  }\n}\n";
    std::string crlf;
    for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const Tokens expected = lex(lf, true);
    EXPECT_EQ(expected, (Tokens{"ROMS", "'{'", "NAME(r)", "':'", "ORIGIN", "'='", "NUMBER(16)", "','",
                                "FILES", "'='", "'{'", "NAME(a b)", "'}'", "'}'"}));
    EXPECT_EQ(lex(crlf, true), expected);
    EXPECT_EQ(lexer.line_number(), 4);
    // A carriage return elsewhere still ends the scan of its line.
    EXPECT_EQ(lex("a\rb\nc"), (Tokens{"NAME(a)", "NAME(c)"}));
}

// ---------------------------------------------------------------- comments, lines

TEST_F(LexerTest, CommentsAreSkipped) {
    EXPECT_EQ(lex("a /* c */ b/* d */c /**/ d"),
              (Tokens{"NAME(a)", "NAME(b)", "NAME(c)", "NAME(d)"}));
    // A name ends before "/*" (the "/" is not followed by a name character).
    EXPECT_EQ(lex("x/*y*/z"), (Tokens{"NAME(x)", "NAME(z)"}));
    EXPECT_EQ(new_errors(), "");
    // Comments do not nest: the first "*/" closes.
    EXPECT_EQ(lex("/* a /* b */ c */"), (Tokens{"NAME(c)"}));
    EXPECT_EQ(new_errors(),
              ">>   ERROR: illegal input character: 0x2A\n"
              ">>   ERROR: illegal input character: 0x2F\n");
    // An input that ends inside a comment simply ends.
    EXPECT_EQ(lex("a /* open\nstill open"), (Tokens{"NAME(a)"}));
    EXPECT_EQ(new_errors(), "");
}

TEST_F(LexerTest, LineCounterFollowsTheTokens) {
    feed("a\n\n  b\r\nc /* one\ntwo\nthree\nfour */ d\n");
    EXPECT_EQ(lexer.line_number(), 0);
    EXPECT_EQ(next(), "NAME(a)");
    EXPECT_EQ(lexer.line_number(), 1);
    EXPECT_EQ(next(), "NAME(b)");
    EXPECT_EQ(lexer.line_number(), 3);
    EXPECT_EQ(next(), "NAME(c)");
    EXPECT_EQ(lexer.line_number(), 4);
    // The comment opens on line 4 and closes three lines later.
    EXPECT_EQ(next(), "NAME(d)");
    EXPECT_EQ(lexer.line_number(), 7);
    EXPECT_EQ(lexer.next_token(), TOK_END);
    EXPECT_EQ(lexer.line_number(), 7);
    // End of input stays end of input.
    EXPECT_EQ(lexer.next_token(), TOK_END);
    EXPECT_EQ(lexer.next_word(), 0);
}

TEST_F(LexerTest, StartWithoutInputBeginsAFreshFile) {
    feed("x\ny\n");
    lexer.keywords_on();
    lexer.next_token();
    lexer.next_token();
    EXPECT_EQ(lexer.line_number(), 2);
    lexer.start(nullptr);
    EXPECT_EQ(lexer.line_number(), 0);
    EXPECT_FALSE(lexer.keywords_active());
    // No input stream.
    EXPECT_EQ(lexer.next_token(), TOK_END);
}

TEST_F(LexerTest, LongLinesAreReadWhole) {
    // A name of 300 characters on one line is one name, on line 1.
    const std::string name = std::string(200, 'a') + std::string(100, 'b');
    feed(name + " z\n");
    EXPECT_EQ(lexer.next_token(), TOK_NAME);
    EXPECT_EQ(std::string(lexer.token_text()), name);
    EXPECT_EQ(lexer.line_number(), 1);
    EXPECT_EQ(next(), "NAME(z)");
    EXPECT_EQ(lexer.line_number(), 1);

    // A line of exactly 255 characters and its line end make one line: the
    // next line is line 2.
    feed(std::string(255, 'c') + "\nd\n");
    EXPECT_EQ(lexer.next_token(), TOK_NAME);
    EXPECT_EQ(std::string(lexer.token_text()).size(), 255u);
    EXPECT_EQ(next(), "NAME(d)");
    EXPECT_EQ(lexer.line_number(), 2);
}

TEST_F(LexerTest, NulByteEndsTheLine) {
    EXPECT_EQ(lex(std::string("ab\0cd\nef", 8)), (Tokens{"NAME(ab)", "NAME(ef)"}));
}

// ---------------------------------------------------------------- token values

TEST_F(LexerTest, TokenValueIsKeptByOtherTokens) {
    feed("name ( 42 ) = origin");
    EXPECT_EQ(lexer.next_token(), TOK_NAME);
    EXPECT_EQ(lexer.next_token(), '(');
    EXPECT_STREQ(lexer.token_text(), "name");
    EXPECT_EQ(lexer.next_token(), TOK_NUMBER);
    EXPECT_EQ(lexer.next_token(), ')');
    EXPECT_EQ(lexer.next_token(), '=');
    EXPECT_EQ(lexer.token_number(), 42u);
    EXPECT_STREQ(lexer.token_text(), "name");
}

TEST_F(LexerTest, NameTextsStayValidForTheWholeRun) {
    // 40 lines of 250-character names fill ten pool blocks; every text
    // handed out must still read back intact at the end, also across a new
    // start and command-line values.
    std::string text;
    for (int i = 0; i < 40; ++i) text += std::string(249, static_cast<char>('a' + i % 26)) + "\n";
    feed(text);
    std::vector<const char*> names;
    for (int i = 0; i < 40; ++i) {
        ASSERT_EQ(lexer.next_token(), TOK_NAME);
        names.push_back(lexer.token_text());
    }
    lexer.start(nullptr);
    ASSERT_EQ(lexer.read_value("word", false), 1);
    const char* word = lexer.token_text();
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(std::string(names[i]), std::string(249, static_cast<char>('a' + i % 26)));
    EXPECT_STREQ(word, "word");
}

// Each conversion has its own lexer: two of them read alternately keep their
// own line, cursor, keyword context and token value.
TEST_F(LexerTest, TwoLexersKeepSeparateState) {
    feed("first origin\nsecond\n");
    testsupport::CapturedDiagnostics other_captured;
    Lexer other(other_captured.diag);
    FILE* other_file = text_stream("\n\nx origin 7\n");
    ASSERT_NE(other_file, nullptr);
    other.start(other_file);
    other.keywords_on();

    EXPECT_EQ(next(), "NAME(first)");
    EXPECT_EQ(describe(other, other.next_token()), "NAME(x)");
    const char* first = lexer.token_text();
    EXPECT_EQ(next(), "NAME(origin)");
    EXPECT_EQ(describe(other, other.next_token()), "ORIGIN");
    EXPECT_EQ(lexer.line_number(), 1);
    EXPECT_EQ(other.line_number(), 3);
    EXPECT_EQ(lexer.column(), 12);
    EXPECT_EQ(other.column(), 8);
    EXPECT_FALSE(lexer.keywords_active());
    EXPECT_EQ(describe(other, other.next_token()), "NUMBER(7)");
    EXPECT_EQ(next(), "NAME(second)");
    EXPECT_EQ(lexer.line_number(), 2);
    EXPECT_STREQ(first, "first");
    EXPECT_STREQ(other.token_text(), "x");
    EXPECT_EQ(lexer.next_token(), TOK_END);
    EXPECT_EQ(other.next_token(), TOK_END);
    std::fclose(other_file);
}

// ---------------------------------------------------------------- raw words

TEST_F(LexerTest, NextWordTakesRawText) {
    feed("  /* note */ out,put.hex next\n\t\"a b\" ORIGIN 0x10\nx\x0By\r\n");
    lexer.keywords_on();
    ASSERT_EQ(lexer.next_word(), 1);
    EXPECT_STREQ(lexer.token_text(), "out,put.hex");
    EXPECT_EQ(next(), "NAME(next)");
    // Quotes and keywords mean nothing to a word.
    ASSERT_EQ(lexer.next_word(), 1);
    EXPECT_STREQ(lexer.token_text(), "\"a");
    EXPECT_EQ(lexer.line_number(), 2);
    ASSERT_EQ(lexer.next_word(), 1);
    EXPECT_STREQ(lexer.token_text(), "b\"");
    ASSERT_EQ(lexer.next_word(), 1);
    EXPECT_STREQ(lexer.token_text(), "ORIGIN");
    ASSERT_EQ(lexer.next_word(), 1);
    EXPECT_STREQ(lexer.token_text(), "0x10");
    // A vertical tab does not end a word; a carriage return does.
    ASSERT_EQ(lexer.next_word(), 1);
    EXPECT_STREQ(lexer.token_text(), "x\x0By");
    EXPECT_EQ(lexer.next_word(), 0);
}

// ---------------------------------------------------------------- command-line values

TEST_F(LexerTest, ReadValueAsToken) {
    EXPECT_EQ(lexer.read_value("0x10", true), TOK_NUMBER);
    EXPECT_EQ(lexer.token_number(), 16u);
    EXPECT_EQ(lexer.read_value("main rest", true), TOK_NAME);
    EXPECT_STREQ(lexer.token_text(), "main");
    EXPECT_EQ(lexer.read_value("-5", true), '-');
    EXPECT_EQ(lexer.read_value("\"ROMS\"", true), TOK_ROMS);
    // The keyword context is off for a command-line value.
    lexer.keywords_on();
    EXPECT_EQ(lexer.read_value("origin", true), TOK_NAME);
    EXPECT_FALSE(lexer.keywords_active());
    EXPECT_EQ(lexer.line_number(), 0);
    EXPECT_EQ(captured.diag.worst_severity(), 0);
}

TEST_F(LexerTest, ReadValueAsTokenRefusesAnIllegalFirstCharacter) {
    EXPECT_EQ(lexer.read_value("", true), 0);
    EXPECT_EQ(lexer.read_value(" 5", true), 0);
    EXPECT_EQ(lexer.read_value("\xE9", true), 0);
    EXPECT_EQ(lexer.read_value("/* 5 */", true), 0);
    EXPECT_EQ(captured.err(),
              ">>   ERROR: illegal input character: 0x00\n"
              ">>   ERROR: illegal input character: 0x20\n"
              ">>   ERROR: illegal input character: 0xE9\n"
              ">>   ERROR: illegal input character: 0x2F\n");
}

TEST_F(LexerTest, ReadValueAsWord) {
    EXPECT_EQ(lexer.read_value("out file.hex", false), 1);
    EXPECT_STREQ(lexer.token_text(), "out");
    EXPECT_EQ(lexer.read_value("  /* c */ a.hex", false), 1);
    EXPECT_STREQ(lexer.token_text(), "a.hex");
    EXPECT_EQ(lexer.read_value("", false), 0);
    EXPECT_EQ(lexer.read_value("   ", false), 0);
    EXPECT_EQ(captured.diag.worst_severity(), 0);
}

TEST_F(LexerTest, ReadValueNeverReadsTheInputStream) {
    feed("fromfile\n");
    EXPECT_EQ(lexer.read_value("x", true), TOK_NAME);
    EXPECT_EQ(lexer.next_token(), TOK_END);
    EXPECT_EQ(lexer.read_value("", false), 0);
}

TEST_F(LexerTest, ReadValueKeepsALongValueWhole) {
    // A command-line value is read from a copy of its full length: a long
    // output path must not be cut into another file's name.
    const std::string value(4000, 'v');
    EXPECT_EQ(lexer.read_value(value.c_str(), false), 1);
    EXPECT_EQ(std::string(lexer.token_text()), value);
    EXPECT_EQ(lexer.read_value(value.c_str(), true), TOK_NAME);
    EXPECT_EQ(std::string(lexer.token_text()), value);
    const std::string path = std::string(300, 'd') + "/out.hex trailing";
    EXPECT_EQ(lexer.read_value(path.c_str(), false), 1);
    EXPECT_EQ(std::string(lexer.token_text()), std::string(300, 'd') + "/out.hex");
    const std::string number = std::string(300, '0') + "7";
    EXPECT_EQ(lexer.read_value(number.c_str(), true), TOK_NUMBER);
    EXPECT_EQ(lexer.token_number(), 7u);
    // Texts stored after a long one are still pooled correctly.
    EXPECT_EQ(lexer.read_value("short", false), 1);
    EXPECT_EQ(std::string(lexer.token_text()), "short");
}

// ---------------------------------------------------------------- position display

TEST_F(LexerTest, ShowPositionBlanksTabs) {
    feed("\tab\tcd  ef\n");
    EXPECT_EQ(next(), "NAME(ab)");
    EXPECT_EQ(next(), "NAME(cd)");
    lexer.show_position();
    // The caret stands under the character after cd (column 6).
    EXPECT_EQ(captured.out(), " ab cd\n      ^\n");
}

TEST_F(LexerTest, ShowPositionBlanksATabInsideQuotes) {
    feed("\"a\tb\" x\n");
    EXPECT_EQ(next(), "NAME(a\tb)");
    lexer.show_position();
    EXPECT_EQ(captured.out(), "\"a b\"\n     ^\n");
}

TEST_F(LexerTest, ShowPositionAtTheEndOfInputShowsTheLastLine) {
    feed("abc\n");
    EXPECT_EQ(next(), "NAME(abc)");
    EXPECT_EQ(lexer.next_token(), TOK_END);
    lexer.show_position();
    EXPECT_EQ(captured.out(), "abc\n   ^\n");
}

}  // namespace
