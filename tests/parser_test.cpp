// Command-file grammar: the calls its actions make, their timing relative to
// the lexer, syntax errors with their position display, and recovery.
//
// The parser's actions are replaced by recording ones. Those for ROMS and
// SECTIONS switch the keyword context on, as the real directive operations
// do, and the keyword switches forward to the lexer.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cmdfile/lexer.h"
#include "cmdfile/parser.h"
#include "cmdfile/roms.h"
#include "cmdfile/sections.h"
#include "diag/diag.h"
#include "driver/options.h"
#include "driver/run.h"
#include "support/harness.h"

using namespace coffhex;

namespace {

struct Call {
    std::string what;
    int line;    // lexer line counter when the action ran
    int column;  // lexer cursor when the action ran
};

std::vector<Call> g_calls;

void record(const std::string& what) {
    g_calls.push_back({what, lex_line_number(), lex_column()});
}

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

std::string describe(int code) {
    switch (code) {
    case TOK_END: return "END";
    case TOK_NAME: return std::string("NAME(") + token_text() + ")";
    case TOK_NUMBER: return "NUMBER(" + hex(token_number()) + ")";
    default: return "code " + std::to_string(code);
    }
}

// The option "take" fetches its value as a token and "word" as a raw word,
// the way the option parser does; other options take nothing.
void rec_option(const char* text) {
    std::string what = std::string("option ") + text;
    if (std::strcmp(text, "take") == 0) {
        what += " took " + describe(next_token());
    } else if (std::strcmp(text, "word") == 0) {
        what += next_word() ? std::string(" took word ") + token_text() : " took nothing";
    }
    record(what);
    // Ends the run the way a FATAL message does.
    if (std::strcmp(text, "abort") == 0) end_run(1);
}
void rec_input(const char* name) { record(std::string("input ") + name); }
void rec_begin_roms() {
    keywords_on();
    record("begin_roms");
}
void rec_page(int32_t page) { record("page " + std::to_string(page)); }
void rec_new_range(const char* name) { record(std::string("range ") + name); }
void rec_origin(uint32_t v) { record("origin " + hex(v)); }
void rec_length(uint32_t v) { record("length " + hex(v)); }
void rec_romwidth(uint32_t v) { record("romwidth " + std::to_string(v)); }
void rec_memwidth(uint32_t v) { record("memwidth " + std::to_string(v)); }
void rec_fill(uint32_t v) { record("fill " + hex(v)); }
void rec_file(const char* name) { record(std::string("file ") + name); }
void rec_finish_range() { record("finish_range"); }
void rec_begin_sections() {
    keywords_on();
    record("begin_sections");
}
void rec_section(const char* name) { record(std::string("section ") + name); }
void rec_boot() { record("boot"); }
void rec_paddr(uint32_t v) { record("paddr " + hex(v)); }
void rec_datawidth(uint32_t v) { record("datawidth " + std::to_string(v)); }
void rec_append() { record("append"); }
void rec_keywords_on() {
    keywords_on();
    record("kw_on");
}
void rec_keywords_off() {
    keywords_off();
    record("kw_off");
}

const CommandActions RECORDING = {
    rec_option,     rec_input,     rec_begin_roms, rec_page,         rec_new_range,
    rec_origin,     rec_length,    rec_romwidth,   rec_memwidth,     rec_fill,
    rec_file,       rec_finish_range, rec_begin_sections, rec_section, rec_boot,
    rec_paddr,      rec_datawidth, rec_append,     rec_keywords_on,  rec_keywords_off,
};

using Calls = std::vector<std::string>;

// The "syntax error" line as written for line `line` of cmds.txt.
std::string syntax_error(int line) {
    return "\"cmds.txt\", line " + std::to_string(line) + ":   ERROR: syntax error\n";
}

// The position display for a line shown up to `shown`.
std::string position(const std::string& shown) {
    return shown + "\n" + std::string(shown.size(), ' ') + "^\n";
}

class ParserTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset_option_values();
        reset_diagnostics();
        lex_init();
        g_calls.clear();
        set_command_actions(&RECORDING);
    }
    void TearDown() override {
        set_command_actions(nullptr);
        set_command_file_name(nullptr);
        lex_reset();
        if (file_ != nullptr) std::fclose(file_);
    }

    // Parses `text` as the command file cmds.txt, capturing standard output
    // and standard error.
    int parse(const std::string& text) {
        if (file_ != nullptr) std::fclose(file_);
        file_ = std::tmpfile();
        if (file_ == nullptr) return -1;
        std::fwrite(text.data(), 1, text.size(), file_);
        std::rewind(file_);
        g_calls.clear();
        set_command_file_name("cmds.txt");
        lex_reset();
        lex_set_input(file_);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        int result = -1;
        try {
            result = parse_command_file();
        } catch (...) {
            out_ = testing::internal::GetCapturedStdout();
            err_ = testing::internal::GetCapturedStderr();
            throw;
        }
        out_ = testing::internal::GetCapturedStdout();
        err_ = testing::internal::GetCapturedStderr();
        return result;
    }

    static Calls calls() {
        Calls whats;
        for (const Call& call : g_calls) whats.push_back(call.what);
        return whats;
    }

    static const Call& find(const std::string& what) {
        for (const Call& call : g_calls)
            if (call.what == what) return call;
        static const Call none{"", -1, -1};
        ADD_FAILURE() << "no call " << what;
        return none;
    }

    // A clean parse: accepted, nothing written.
    void expect_clean(int result) {
        EXPECT_EQ(result, 0);
        EXPECT_EQ(out_, "");
        EXPECT_EQ(err_, "");
        EXPECT_EQ(worst_severity(), 0);
    }

    FILE* file_ = nullptr;
    std::string out_;
    std::string err_;
};

// ---------------------------------------------------------------- top level

TEST_F(ParserTest, EmptyFileAndCommentsOnly) {
    expect_clean(parse(""));
    EXPECT_EQ(calls(), Calls{});
    expect_clean(parse("/* nothing\n   at all */\n\n  /* here */\n"));
    EXPECT_EQ(calls(), Calls{});
}

TEST_F(ParserTest, OptionsAndInputNames) {
    expect_clean(parse("-i -ROMWIDTH\napp.out \"my file.out\"\n--toolversion -- v\n"));
    EXPECT_EQ(calls(), (Calls{"option i", "option ROMWIDTH", "input app.out",
                              "input my file.out", "option -toolversion", "option -v"}));
}

TEST_F(ParserTest, TwoDashOptionOfAnyLength) {
    const std::string name(250, 'n');
    expect_clean(parse("--" + name + "\n"));
    EXPECT_EQ(calls(), (Calls{"option -" + name}));
}

TEST_F(ParserTest, OptionTakesItsValueBeforeTheParserReadsOn) {
    // The tokens the option consumes never reach the parser: a NUMBER at the
    // top level would be a syntax error, and a.hex would be an input name.
    expect_clean(parse("-take 0x10 -word a.hex\n-take\nname --take in.out\n-word"));
    EXPECT_EQ(calls(), (Calls{"option take took NUMBER(0x10)", "option word took word a.hex",
                              "option take took NAME(name)", "option -take", "input in.out",
                              "option word took nothing"}));
}

TEST_F(ParserTest, TwoDashOptionTakesNoLookAheadEither) {
    expect_clean(parse("--take x"));
    // "-take" is not the option "take": nothing consumed, x is an input.
    EXPECT_EQ(calls(), (Calls{"option -take", "input x"}));
    // The "-" taken as the value never reaches the parser: x is a name.
    expect_clean(parse("-take -x"));
    EXPECT_EQ(calls(), (Calls{"option take took code 45", "input x"}));
}

TEST_F(ParserTest, InputNameRunsBeforeTheNextTokenIsRead) {
    expect_clean(parse("a.out   b.out"));
    EXPECT_EQ(find("input a.out").column, 5);
    EXPECT_EQ(find("input b.out").column, 13);
}

TEST_F(ParserTest, TopLevelKeywordsAreNames) {
    expect_clean(parse("origin fill files PAGE boot\n"));
    EXPECT_EQ(calls(), (Calls{"input origin", "input fill", "input files", "input PAGE",
                              "input boot"}));
}

// ---------------------------------------------------------------- ROMS

TEST_F(ParserTest, RomsDirective) {
    expect_clean(parse("ROMS\n"
                       "{\n"
                       "  PAGE 0:\n"
                       "    rom1: origin = 0x100, length = 0x200, width = 8,\n"
                       "          memwidth = 32, fill = 0FFh, files = { a.hex, b.hex }\n"
                       "  PAGE 1:\n"
                       "    rom2 o 0 l 0x10 mw 16 w 16 f 1 files { c.hex d.hex }\n"
                       "    rom3 ORIGIN 5 MWIDTH 8 ROMWIDTH 8 FILL 2 FILES { e }\n"
                       "}\n"
                       "after\n"));
    EXPECT_EQ(calls(),
              (Calls{"begin_roms", "page 0", "range rom1", "origin 0x100", "length 0x200",
                     "romwidth 8", "memwidth 32", "fill 0xFF", "kw_off", "file a.hex",
                     "file b.hex", "kw_on", "finish_range", "page 1", "range rom2", "origin 0x0",
                     "length 0x10", "memwidth 16", "romwidth 16", "fill 0x1", "kw_off",
                     "file c.hex", "file d.hex", "kw_on", "finish_range", "range rom3",
                     "origin 0x5", "memwidth 8", "romwidth 8", "fill 0x2", "kw_off", "file e",
                     "kw_on", "finish_range", "kw_off", "input after"}));
    EXPECT_FALSE(keywords_active());
}

TEST_F(ParserTest, BothSpellingsOfAnAttributeListAreTheSame) {
    expect_clean(parse("ROMS { rom1 origin 0x100 length 0x200 }"));
    const Calls bare = calls();
    expect_clean(parse("ROMS { rom1: origin = 0x100, length = 0x200 }"));
    EXPECT_EQ(calls(), bare);
    EXPECT_EQ(bare, (Calls{"begin_roms", "range rom1", "origin 0x100", "length 0x200",
                           "finish_range", "kw_off"}));
}

TEST_F(ParserTest, ParenthesisedValues) {
    expect_clean(parse("ROMS { r origin ((0x10)) length (5) }"));
    EXPECT_EQ(calls(), (Calls{"begin_roms", "range r", "origin 0x10", "length 0x5",
                              "finish_range", "kw_off"}));
}

TEST_F(ParserTest, RomsKeywordSwitchesContextBeforeTheBraceIsRead) {
    expect_clean(parse("ROMS  { r origin 1 }"));
    // Recorded right after "ROMS": the "{" was not read ahead.
    EXPECT_EQ(find("begin_roms").column, 4);
    // The closing brace switches the context off before anything follows.
    EXPECT_EQ(find("kw_off").column, 20);
}

TEST_F(ParserTest, FileListIsReadWithKeywordsOff) {
    // In FILES a file called fill, and one with a drive letter, are plain
    // names; after the list's "}" fill is the attribute again.
    const std::string text = "ROMS { r files = { fill, c:\\out\\a.hex \"1st.hex\" } fill 0xFF }";
    expect_clean(parse(text));
    EXPECT_EQ(calls(), (Calls{"begin_roms", "range r", "kw_off", "file fill",
                              "file c:\\out\\a.hex", "file 1st.hex", "kw_on", "fill 0xFF",
                              "finish_range", "kw_off"}));
    // FILES switches off right after its keyword, the list's "}" switches on
    // right after the brace.
    EXPECT_EQ(g_calls[2].column, static_cast<int>(text.find("files") + 5));
    EXPECT_EQ(g_calls[6].column, static_cast<int>(text.find('}') + 1));
}

TEST_F(ParserTest, PageHeaderNeedsItsColon) {
    EXPECT_EQ(parse("ROMS { PAGE 1 rom1 origin 0 }"), 0);
    EXPECT_EQ(calls(), (Calls{"begin_roms", "range rom1", "origin 0x0", "finish_range",
                              "kw_off"}));
    EXPECT_EQ(out_, position("ROMS { PAGE 1 rom1"));
    EXPECT_EQ(err_, syntax_error(1));
}

TEST_F(ParserTest, EmptyBlocksAreSyntaxErrors) {
    EXPECT_EQ(parse("ROMS { }"), 0);
    EXPECT_EQ(calls(), (Calls{"begin_roms", "kw_off"}));
    EXPECT_EQ(out_, position("ROMS { }"));
    EXPECT_EQ(err_, syntax_error(1));

    EXPECT_EQ(parse("SECTIONS {\n}\n"), 0);
    EXPECT_EQ(calls(), (Calls{"begin_sections", "kw_off"}));
    EXPECT_EQ(out_, position("}"));
    EXPECT_EQ(err_, syntax_error(2));
}

TEST_F(ParserTest, RangeItemNeedsAnAttribute) {
    EXPECT_EQ(parse("ROMS { rom1 }"), 0);
    // The range is named but never finished.
    EXPECT_EQ(calls(), (Calls{"begin_roms", "range rom1", "kw_off"}));
    EXPECT_EQ(out_, position("ROMS { rom1 }"));
    EXPECT_EQ(err_, syntax_error(1));
}

TEST_F(ParserTest, FileListNeedsAName) {
    // The error at the list's "}" ends the range item; that "}" then closes
    // the ROMS block, and the last "}" is an error at the top level, not
    // reported because recovery is still in progress.
    EXPECT_EQ(parse("ROMS { r files {} }\nnext\n"), 0);
    EXPECT_EQ(calls(), (Calls{"begin_roms", "range r", "kw_off", "kw_off", "input next"}));
    EXPECT_EQ(out_, position("ROMS { r files {}"));
    EXPECT_EQ(err_, syntax_error(1));
}

TEST_F(ParserTest, TrailingCommaAfterLastAttributeFailsAtTheNextToken) {
    EXPECT_EQ(parse("ROMS { rom1 length 0x100, rom2 length 0x100 }"), 0);
    // rom1 is interrupted and never finished; rom2 is parsed normally.
    EXPECT_EQ(calls(), (Calls{"begin_roms", "range rom1", "length 0x100", "range rom2",
                              "length 0x100", "finish_range", "kw_off"}));
    EXPECT_EQ(out_, position("ROMS { rom1 length 0x100, rom2"));
    EXPECT_EQ(err_, syntax_error(1));

    EXPECT_EQ(parse("SECTIONS { sect1: paddr = 0x100, sect2 }"), 0);
    EXPECT_EQ(calls(), (Calls{"begin_sections", "section sect1", "paddr 0x100",
                              "section sect2", "append", "kw_off"}));
    EXPECT_EQ(out_, position("SECTIONS { sect1: paddr = 0x100, sect2"));
    EXPECT_EQ(err_, syntax_error(1));
}

TEST_F(ParserTest, TrailingCommaAfterLastFileNameFails) {
    EXPECT_EQ(parse("ROMS { r files { a.hex, } }"), 0);
    EXPECT_EQ(calls(), (Calls{"begin_roms", "range r", "kw_off", "file a.hex", "kw_off"}));
    EXPECT_EQ(out_, position("ROMS { r files { a.hex, }"));
    EXPECT_EQ(err_, syntax_error(1));
}

TEST_F(ParserTest, UnquotedFileNameStartingWithADigitFails) {
    EXPECT_EQ(parse("ROMS { r files { 1st.hex } }"), 0);
    // The interrupted FILES list left the keyword context off; recovery is
    // not undone, so "st.hex" after the NUMBER 1 starts a range item.
    EXPECT_EQ(calls(), (Calls{"begin_roms", "range r", "kw_off", "range st.hex", "kw_off"}));
    EXPECT_EQ(out_, position("ROMS { r files { 1"));
    EXPECT_EQ(err_, syntax_error(1));
}

TEST_F(ParserTest, RecoveryInsideRomsDiscardsUntilAnItemCanStart) {
    EXPECT_EQ(parse("ROMS {\n"
                    "  r1 origin 0x100 = 5 6 ( ) ,\n"
                    "  page 2: r2 length 4\n"
                    "}\n"),
              0);
    // r1 is interrupted: never finished. "=", 5, 6, "(", ")" and "," are
    // discarded without further messages; page starts the next item.
    EXPECT_EQ(calls(), (Calls{"begin_roms", "range r1", "origin 0x100", "page 2", "range r2",
                              "length 0x4", "finish_range", "kw_off"}));
    EXPECT_EQ(out_, position("  r1 origin 0x100 ="));
    EXPECT_EQ(err_, syntax_error(2));
}

TEST_F(ParserTest, RecoveryEndsAfterThreeShiftedTokens) {
    // After the error at "=", the three tokens of "r2 origin 1" end the
    // recovery, so the error at the next "=" is reported again.
    EXPECT_EQ(parse("ROMS {\nr1 origin 1 =\nr2 origin 1 =\nr3 origin 1 }\n"), 0);
    EXPECT_EQ(calls(), (Calls{"begin_roms", "range r1", "origin 0x1", "range r2", "origin 0x1",
                              "range r3", "origin 0x1", "finish_range", "kw_off"}));
    EXPECT_EQ(out_, position("r1 origin 1 =") + position("r2 origin 1 ="));
    EXPECT_EQ(err_, syntax_error(2) + syntax_error(3));

    // With only two tokens shifted in between, the second error is silent.
    EXPECT_EQ(parse("ROMS {\nr1 origin 1 =\nr2 o }\n"), 0);
    EXPECT_EQ(err_, syntax_error(2));
}

// ---------------------------------------------------------------- SECTIONS

TEST_F(ParserTest, SectionsDirective) {
    expect_clean(parse("SECTIONS {\n"
                       "  .text: paddr = 0x100, datawidth = 16\n"
                       "  .data paddr 0x200 dw 8 DATAWIDTH 32\n"
                       "  .cinit, .const\n"
                       "  .sw: PADDR = BOOT\n"
                       "}\n"));
    EXPECT_EQ(calls(), (Calls{"begin_sections", "section .text", "paddr 0x100", "datawidth 16",
                              "append", "section .data", "paddr 0x200", "datawidth 8",
                              "datawidth 32", "append", "section .cinit", "append",
                              "section .const", "append", "section .sw", "boot", "append",
                              "kw_off"}));
    EXPECT_FALSE(keywords_active());
}

TEST_F(ParserTest, EveryBootMarkForm) {
    expect_clean(parse("SECTIONS { a boot b = boot c: boot d (boot) e: paddr = boot\n"
                       "ff BOOT g: PADDR BOOT h:, }"));
    EXPECT_EQ(calls(), (Calls{"begin_sections", "section a", "boot", "append", "section b",
                              "boot", "append", "section c", "boot", "append", "section d",
                              "boot", "append", "section e", "boot", "append", "section ff",
                              "boot", "append", "section g", "boot", "append", "section h",
                              "append", "kw_off"}));
}

TEST_F(ParserTest, PlainSectionMayBeFollowedByAComma) {
    expect_clean(parse("SECTIONS { sect1, sect2 boot }"));
    EXPECT_EQ(calls(), (Calls{"begin_sections", "section sect1", "append", "section sect2",
                              "boot", "append", "kw_off"}));
}

TEST_F(ParserTest, SectionsKeywordSwitchesContextBeforeTheBraceIsRead) {
    expect_clean(parse("SECTIONS{s paddr ( ( 7 ) )}x"));
    EXPECT_EQ(find("begin_sections").column, 8);
    EXPECT_EQ(find("kw_off").column, 27);
    EXPECT_EQ(calls().back(), "input x");
}

TEST_F(ParserTest, RecoveryInsideSectionsDiscardsUntilAnItemCanStart) {
    EXPECT_EQ(parse("SECTIONS { a paddr = = 3 boot b }"), 0);
    // a is interrupted (never appended); "=", 3 and boot are discarded.
    EXPECT_EQ(calls(), (Calls{"begin_sections", "section a", "section b", "append", "kw_off"}));
    EXPECT_EQ(out_, position("SECTIONS { a paddr = ="));
    EXPECT_EQ(err_, syntax_error(1));
}

// ---------------------------------------------------------------- top-level recovery

TEST_F(ParserTest, TopLevelErrorSkipsOnlyTheRestOfItsLine) {
    EXPECT_EQ(parse("a.out 5 b.out -x\nc.out ( d.out\n-y\n"), 0);
    EXPECT_EQ(calls(), (Calls{"input a.out", "input c.out", "option y"}));
    EXPECT_EQ(out_, position("a.out 5") + position("c.out ("));
    EXPECT_EQ(err_, syntax_error(1) + syntax_error(2));
    EXPECT_EQ(worst_severity(), ERROR);
}

TEST_F(ParserTest, TopLevelErrorAtTheEndOfALineKeepsTheNextLine) {
    EXPECT_EQ(parse("a.out 5\nb.out\n\n\n7 x\ny\n"), 0);
    EXPECT_EQ(calls(), (Calls{"input a.out", "input b.out", "input y"}));
    EXPECT_EQ(out_, position("a.out 5") + position("7"));
    EXPECT_EQ(err_, syntax_error(1) + syntax_error(5));
}

TEST_F(ParserTest, ErrorAfterRomsKeywordRecoversAtTheTopLevel) {
    // The block never opens, so the keyword context stays on: origin on the
    // next line is the attribute keyword and a syntax error of its own.
    EXPECT_EQ(parse("ROMS 5 x\ny.out\norigin\n"), 0);
    EXPECT_EQ(calls(), (Calls{"begin_roms", "input y.out"}));
    EXPECT_EQ(out_, position("ROMS 5") + position("origin"));
    EXPECT_EQ(err_, syntax_error(1) + syntax_error(3));
    EXPECT_TRUE(keywords_active());
}

TEST_F(ParserTest, DashWithoutNameAtTheEndOfInput) {
    // The error at the end of input is reported; the top-level recovery
    // then meets the end of input and the file is accepted.
    EXPECT_EQ(parse("a.out -\n"), 0);
    EXPECT_EQ(calls(), (Calls{"input a.out"}));
    EXPECT_EQ(out_, position("a.out -"));
    EXPECT_EQ(err_, syntax_error(1));
}

TEST_F(ParserTest, SecondSyntaxErrorAfterARecoveredBlockIsReported) {
    EXPECT_EQ(parse("ROMS { r }\nSECTIONS { s paddr }\n"), 0);
    EXPECT_EQ(calls(), (Calls{"begin_roms", "range r", "kw_off", "begin_sections", "section s",
                              "kw_off"}));
    EXPECT_EQ(out_, position("ROMS { r }") + position("SECTIONS { s paddr }"));
    EXPECT_EQ(err_, syntax_error(1) + syntax_error(2));
}

// ---------------------------------------------------------------- abandoned parses

TEST_F(ParserTest, BlockLeftOpenAbandonsTheParse) {
    EXPECT_EQ(parse("ROMS {\n  r origin 0\n"), 1);
    EXPECT_EQ(calls(), (Calls{"begin_roms", "range r", "origin 0x0"}));
    // The end of input is shown after the last line read.
    EXPECT_EQ(out_, position("  r origin 0"));
    EXPECT_EQ(err_, syntax_error(2));

    EXPECT_EQ(parse("SECTIONS {"), 1);
    EXPECT_EQ(calls(), (Calls{"begin_sections"}));
    EXPECT_EQ(err_, syntax_error(1));
}

TEST_F(ParserTest, ErrorAtTheEndOfInputWhileRecoveringAbandons) {
    // 6 is discarded silently, then the end of input arrives while the
    // recovery count is still three.
    EXPECT_EQ(parse("SECTIONS { 5 6"), 1);
    EXPECT_EQ(calls(), (Calls{"begin_sections"}));
    EXPECT_EQ(out_, position("SECTIONS { 5"));
    EXPECT_EQ(err_, syntax_error(1));
}

// ---------------------------------------------------------------- parse stack

TEST_F(ParserTest, DeepParenthesesWithinTheStackLimit) {
    // 9000 nested parentheses need about 9010 states: within 10,000, and
    // well past the first room of 200.
    const std::string text = "SECTIONS { s paddr " + std::string(9000, '(') + "42" +
                             std::string(9000, ')') + " }\n-after\n";
    expect_clean(parse(text));
    EXPECT_EQ(calls(), (Calls{"begin_sections", "section s", "paddr 0x2A", "append", "kw_off",
                              "option after"}));
}

TEST_F(ParserTest, StackOverflowAbandonsTheParse) {
    const std::string text = "SECTIONS { s paddr " + std::string(10000, '(') + "1" +
                             std::string(10000, ')') + " }\n-after\n";
    EXPECT_EQ(parse(text), 2);
    // The rest of the file is not read.
    EXPECT_EQ(calls(), (Calls{"begin_sections", "section s"}));
    EXPECT_EQ(err_, syntax_error(lex_line_number()));
    // The position display shows the current 255-character piece of the
    // line up to the "(" that did not fit.
    const size_t newline = out_.find('\n');
    ASSERT_NE(newline, std::string::npos);
    const std::string shown = out_.substr(0, newline);
    EXPECT_EQ(out_, position(shown));
    EXPECT_FALSE(shown.empty());
    EXPECT_EQ(shown.find_first_not_of('('), std::string::npos);
    EXPECT_GT(lex_line_number(), 30);
}

TEST_F(ParserTest, RunEndedByAnActionLeavesTheParserUsable) {
    // The deep value grows the parse stack onto the heap; the action that
    // ends the run must not leave it behind (the sanitizer build's leak
    // check sees a lost block once the second deep parse has replaced it),
    // and the next parse starts over.
    const std::string deep = "SECTIONS { s paddr " + std::string(1000, '(') + "1" +
                             std::string(1000, ')') + " }\n-abort\n-after\n";
    EXPECT_THROW(parse(deep), RunAbort);
    EXPECT_EQ(calls(), (Calls{"begin_sections", "section s", "paddr 0x1", "append", "kw_off",
                              "option abort"}));
    expect_clean(parse("-again " + deep.substr(0, deep.find('\n') + 1)));
    EXPECT_EQ(calls(), (Calls{"option again", "begin_sections", "section s", "paddr 0x1",
                              "append", "kw_off"}));
}

// ---------------------------------------------------------------- lexer errors

TEST_F(ParserTest, IllegalCharactersDoNotDisturbTheParse) {
    EXPECT_EQ(parse("a.out ? b.out\nROMS { r origin 1 * }\n"), 0);
    EXPECT_EQ(calls(), (Calls{"input a.out", "input b.out", "begin_roms", "range r",
                              "origin 0x1", "finish_range", "kw_off"}));
    EXPECT_EQ(out_, "");
    EXPECT_EQ(err_, "\"cmds.txt\", line 1:   ERROR: illegal input character: 0x3F\n"
                    "\"cmds.txt\", line 2:   ERROR: illegal input character: 0x2A\n");
}

TEST_F(ParserTest, HostileInputEndsCleanly) {
    // Pseudo-random soups of tokens, broken comments and quotes, control and
    // high bytes, and long lines: every parse ends, accepted or abandoned,
    // and the only messages are syntax errors and illegal characters.
    const std::string long_name(300, 'z');
    const char* const pieces[] = {
        "ROMS", "SECTIONS", "{", "}", "(", ")", ",", ":", "=", "-", "--", "page", "PAGE",
        "origin", "files", "fill", "boot", "paddr", "dw", "name", "a.hex", "0x1F", "017q",
        "12ab", "\"q", "\"", "/*", "*/", "/", ".", "\n", "\n", " ", "\t", "\f", "\r\n",
        "\x0B", "\xE9", "\xFF", "c:\\d", "x/", long_name.c_str(),
    };
    const size_t count = sizeof pieces / sizeof pieces[0];
    uint32_t seed = 12345;
    auto next_random = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7FFF;
    };
    for (int round = 0; round < 300; ++round) {
        std::string text;
        const int length = static_cast<int>(next_random() % 120);
        for (int i = 0; i < length; ++i) {
            text += pieces[next_random() % count];
            if (next_random() % 2 == 0) text += ' ';
        }
        const int result = parse(text);
        SCOPED_TRACE(text);
        EXPECT_TRUE(result == 0 || result == 1);
        size_t start = 0;
        while (start < err_.size()) {
            const size_t end = err_.find('\n', start);
            ASSERT_NE(end, std::string::npos);
            const std::string line = err_.substr(start, end - start);
            const bool known = line.find("ERROR: syntax error") != std::string::npos ||
                               line.find("ERROR: illegal input character: 0x") != std::string::npos;
            EXPECT_TRUE(known) << line;
            start = end + 1;
        }
    }
}

TEST_F(ParserTest, DefaultActionsCarryOutOptionsAndDirectives) {
    set_command_actions(nullptr);
    reset_roms();
    reset_sections();
    expect_clean(parse("-romwidth 16 -o out.hex\n"
                       "ROMS {\n"
                       "  PAGE 1:\n"
                       "  rom1: origin = 0x100, length = 0x200, width = 8, memwidth = 32,\n"
                       "        fill = 0xFF, files = { a.hex fill }\n"
                       "}\n"
                       "SECTIONS { .text: paddr = 0x100 .data boot }\n"));
    EXPECT_EQ(options().rom_width, 2);
    EXPECT_EQ(options().output_names, std::deque<std::string>{"out.hex"});
    EXPECT_FALSE(keywords_active());

    const RomRange* range = first_range();
    ASSERT_NE(range, nullptr);
    EXPECT_STREQ(range->name, "rom1");
    EXPECT_EQ(range->origin, 0x100u);
    EXPECT_EQ(range->end, 0x2FFu);  // origin + length - 1
    EXPECT_EQ(range->page, 1);
    EXPECT_EQ(range->romwidth, 1);  // 8 bits
    EXPECT_EQ(range->memwidth, 4);  // 32 bits
    EXPECT_EQ(range->fill, 0xFFu);
    ASSERT_EQ(range->files.size(), 2u);
    EXPECT_EQ(range->files[0].name, "a.hex");
    EXPECT_EQ(range->files[1].name, "fill");
    EXPECT_EQ(range->next, nullptr);

    const SectionSpec* spec = first_section_spec();
    ASSERT_NE(spec, nullptr);
    EXPECT_EQ(spec->name, ".text");
    EXPECT_EQ(spec->address, 0x100u);
    EXPECT_FALSE(spec->boot_loaded());
    ASSERT_NE(spec->next, nullptr);
    EXPECT_EQ(spec->next->name, ".data");
    EXPECT_TRUE(spec->next->boot_loaded());
    EXPECT_EQ(spec->next->next, nullptr);
    reset_roms();
    reset_sections();
}

TEST(CommandFileProgramTest, SyntaxErrorsThroughTheProgram) {
    // The tab before ROMS is shown as a blank; the error at r2 (after the
    // trailing comma) and the illegal "." are reported with their lines;
    // the command file names no COFF file.
    testsupport::TempDir dir;
    testsupport::write_text(dir.file("cmds.txt"),
                            "-i\n"
                            "\tROMS { r1 origin 0 length 0x100, r2 length 5 }\n"
                            "SECTIONS { .text boot, .data: paddr 5 . }\n");
    const testsupport::RunResult result = testsupport::run_coffhex({"cmds.txt"}, dir.path());
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, position(" ROMS { r1 origin 0 length 0x100, r2"));
    EXPECT_EQ(result.err, syntax_error(2) +
                              "\"cmds.txt\", line 3:   ERROR: illegal input character: 0x2E\n"
                              ">> FATAL ERROR: no input files (aborting)\n");
}

TEST_F(ParserTest, DefaultActionsAreRestored) {
    set_command_actions(nullptr);
    const CommandActions& defaults = default_command_actions();
    EXPECT_EQ(defaults.keywords_on, &keywords_on);
    EXPECT_EQ(defaults.keywords_off, &keywords_off);
    EXPECT_EQ(defaults.input_name, &classify_input);
    EXPECT_EQ(defaults.begin_roms, &begin_roms);
    EXPECT_EQ(defaults.new_range, &new_range);
    EXPECT_EQ(defaults.set_origin, &set_origin);
    EXPECT_EQ(defaults.set_length, &set_length);
    EXPECT_EQ(defaults.set_romwidth, &set_romwidth);
    EXPECT_EQ(defaults.set_memwidth, &set_memwidth);
    EXPECT_EQ(defaults.set_fill, &set_fill);
    EXPECT_EQ(defaults.add_output_file, &add_output_file);
    EXPECT_EQ(defaults.finish_range, &finish_range);
    EXPECT_EQ(defaults.begin_sections, &begin_sections);
    EXPECT_EQ(defaults.new_section_spec, &new_section_spec);
    EXPECT_EQ(defaults.set_boot, &set_boot);
    EXPECT_EQ(defaults.set_paddr, &set_paddr);
    EXPECT_EQ(defaults.set_datawidth, &set_datawidth);
    EXPECT_EQ(defaults.append_section_spec, &append_section_spec);
}

}  // namespace
