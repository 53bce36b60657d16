// Command-file grammar: the calls its actions make, their timing relative to
// the lexer, the keyword context it switches, syntax errors with their
// position display, and recovery.
//
// Most tests hand the parser recording actions. Besides each call they note
// the lexer's keyword context: "kw_on" or "kw_off" is recorded when the
// context differs from the one the previous call saw (checked before every
// call and once more when the parse has ended).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cmdfile/checksums.h"
#include "cmdfile/lexer.h"
#include "cmdfile/parser.h"
#include "cmdfile/roms.h"
#include "cmdfile/sections.h"
#include "diag/diag.h"
#include "driver/options.h"
#include "support/capture.h"
#include "support/harness.h"

using namespace coffhex;

namespace {

struct Call {
    std::string what;
    int line;    // lexer line counter when the action ran
    int column;  // lexer cursor when the action ran
};

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

std::string describe(const Lexer& lexer, int code) {
    switch (code) {
    case TOK_END: return "END";
    case TOK_NAME: return std::string("NAME(") + lexer.token_text() + ")";
    case TOK_NUMBER: return "NUMBER(" + hex(lexer.token_number()) + ")";
    default: return "code " + std::to_string(code);
    }
}

// Actions that record what the grammar recognised. The option "take"
// fetches its value as a token and "word" as a raw word, the way the option
// parser does; "abort" ends the run the way a FATAL message does; other
// options take nothing.
class RecordingActions : public CommandActions {
public:
    RecordingActions(Lexer& lexer, Diagnostics& diag) : lexer_(lexer), diag_(diag) {}

    // Before a parse: no calls, keyword context off (as the lexer starts).
    void start() {
        calls.clear();
        keywords_ = false;
    }

    // Records a change of the lexer's keyword context since the last call.
    void note_keywords() {
        if (lexer_.keywords_active() == keywords_) return;
        keywords_ = lexer_.keywords_active();
        calls.push_back({keywords_ ? "kw_on" : "kw_off", lexer_.line_number(), lexer_.column()});
    }

    void option(const char* text) override {
        std::string what = std::string("option ") + text;
        if (std::strcmp(text, "take") == 0) {
            what += " took " + describe(lexer_, lexer_.next_token());
        } else if (std::strcmp(text, "word") == 0) {
            what += lexer_.next_word() ? std::string(" took word ") + lexer_.token_text() : " took nothing";
        }
        record(what);
        if (std::strcmp(text, "abort") == 0) diag_.end_run(1);
    }
    void input_name(const char* name) override { record(std::string("input ") + name); }
    void begin_roms() override { record("begin_roms"); }
    void set_page(int32_t page) override { record("page " + std::to_string(page)); }
    void new_range(const char* name) override { record(std::string("range ") + name); }
    void set_origin(uint32_t v) override { record("origin " + hex(v)); }
    void set_length(uint32_t v) override { record("length " + hex(v)); }
    void set_romwidth(uint32_t v) override { record("romwidth " + std::to_string(v)); }
    void set_memwidth(uint32_t v) override { record("memwidth " + std::to_string(v)); }
    void set_fill(uint32_t v) override { record("fill " + hex(v)); }
    void add_output_file(const char* name) override { record(std::string("file ") + name); }
    void finish_range() override { record("finish_range"); }
    void begin_sections() override { record("begin_sections"); }
    void new_section_spec(const char* name) override { record(std::string("section ") + name); }
    void set_boot() override { record("boot"); }
    void set_paddr(uint32_t v) override { record("paddr " + hex(v)); }
    void set_datawidth(uint32_t v) override { record("datawidth " + std::to_string(v)); }
    void append_section_spec() override { record("append"); }
    void begin_checksums() override { record("begin_checksums"); }
    void new_checksum(const char* name) override { record(std::string("field ") + name); }
    void set_checksum_algorithm(const char* name) override { record(std::string("algorithm ") + name); }
    void set_checksum_at(uint32_t v) override { record("at " + hex(v)); }
    void set_checksum_origin(uint32_t v) override { record("span origin " + hex(v)); }
    void set_checksum_length(uint32_t v) override { record("span length " + hex(v)); }
    void set_checksum_order(const char* name) override { record(std::string("order ") + name); }
    void set_checksum_page(uint32_t v) override { record("field page " + std::to_string(v)); }
    void unknown_checksum_attribute(const char* name) override { record(std::string("unknown ") + name); }
    void end_checksums() override { record("end_checksums"); }

    std::vector<Call> calls;

private:
    void record(const std::string& what) {
        note_keywords();
        calls.push_back({what, lexer_.line_number(), lexer_.column()});
    }

    Lexer& lexer_;
    Diagnostics& diag_;
    bool keywords_ = false;
};

// Actions that carry the statements out on the objects of a conversion, as
// the conversion does.
class ConversionActions : public CommandActions {
public:
    ConversionActions(Settings& settings, OptionParser& options, MemoryConfig& memory,
                      SectionSelection& selection, Diagnostics& diag)
        : checksums(diag), settings_(settings), options_(options), memory_(memory), selection_(selection) {}

    void option(const char* text) override { options_.parse_option(text, nullptr); }
    void input_name(const char* name) override { inputs.emplace_back(name); }
    void begin_roms() override { memory_.begin_roms(); }
    void set_page(int32_t page) override { memory_.set_current_page(page); }
    void new_range(const char* name) override { memory_.new_range(name); }
    void set_origin(uint32_t value) override { memory_.set_origin(value); }
    void set_length(uint32_t value) override { memory_.set_length(value); }
    void set_romwidth(uint32_t bits) override { memory_.set_romwidth(bits); }
    void set_memwidth(uint32_t bits) override { memory_.set_memwidth(bits); }
    void set_fill(uint32_t value) override { memory_.set_fill(value); }
    void add_output_file(const char* name) override { memory_.add_output_file(name); }
    void finish_range() override { memory_.finish_range(settings_.image); }
    void begin_sections() override { selection_.begin_sections(); }
    void new_section_spec(const char* name) override { selection_.new_section_spec(name); }
    void set_boot() override { selection_.set_boot(); }
    void set_paddr(uint32_t value) override { selection_.set_paddr(value); }
    void set_datawidth(uint32_t bits) override { selection_.set_datawidth(bits); }
    void append_section_spec() override { selection_.append_section_spec(); }
    void begin_checksums() override { checksums.begin_checksums(); }
    void new_checksum(const char* name) override { checksums.new_field(name); }
    void set_checksum_algorithm(const char* name) override { checksums.set_algorithm(name); }
    void set_checksum_at(uint32_t value) override { checksums.set_at(value); }
    void set_checksum_origin(uint32_t value) override { checksums.set_origin(value); }
    void set_checksum_length(uint32_t value) override { checksums.set_length(value); }
    void set_checksum_order(const char* name) override { checksums.set_order(name); }
    void set_checksum_page(uint32_t value) override { checksums.set_page(value); }
    void unknown_checksum_attribute(const char* name) override { checksums.unknown_attribute(name); }
    void end_checksums() override { checksums.finish_field(); }

    ChecksumConfig checksums;
    std::vector<std::string> inputs;

private:
    Settings& settings_;
    OptionParser& options_;
    MemoryConfig& memory_;
    SectionSelection& selection_;
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
    void TearDown() override {
        if (file_ != nullptr) std::fclose(file_);
    }

    // Parses `text` as the command file cmds.txt with the recording actions;
    // out_ and err_ receive what the parse wrote to standard output and
    // standard error.
    int parse(const std::string& text) {
        recorder.start();
        const int result = parse_with(text, recorder);
        recorder.note_keywords();
        return result;
    }

    int parse_with(const std::string& text, CommandActions& actions) {
        if (file_ != nullptr) std::fclose(file_);
        file_ = std::tmpfile();
        if (file_ == nullptr) return -1;
        std::fwrite(text.data(), 1, text.size(), file_);
        std::rewind(file_);
        captured.diag.set_command_file("cmds.txt");
        lexer.start(file_);
        const size_t out_before = captured.out().size();
        const size_t err_before = captured.err().size();
        int result = -1;
        try {
            result = parse_command_file(lexer, actions, captured.diag);
        } catch (...) {
            out_ = captured.out().substr(out_before);
            err_ = captured.err().substr(err_before);
            throw;
        }
        out_ = captured.out().substr(out_before);
        err_ = captured.err().substr(err_before);
        return result;
    }

    Calls calls() const {
        Calls whats;
        for (const Call& call : recorder.calls) whats.push_back(call.what);
        return whats;
    }

    const Call& find(const std::string& what) const {
        for (const Call& call : recorder.calls)
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
        EXPECT_EQ(captured.diag.worst_severity(), 0);
    }

    testsupport::CapturedDiagnostics captured;
    Lexer lexer{captured.diag};
    RecordingActions recorder{lexer, captured.diag};
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
              (Calls{"kw_on", "begin_roms", "page 0", "range rom1", "origin 0x100", "length 0x200",
                     "romwidth 8", "memwidth 32", "fill 0xFF", "kw_off", "file a.hex",
                     "file b.hex", "kw_on", "finish_range", "page 1", "range rom2", "origin 0x0",
                     "length 0x10", "memwidth 16", "romwidth 16", "fill 0x1", "kw_off",
                     "file c.hex", "file d.hex", "kw_on", "finish_range", "range rom3",
                     "origin 0x5", "memwidth 8", "romwidth 8", "fill 0x2", "kw_off", "file e",
                     "kw_on", "finish_range", "kw_off", "input after"}));
    EXPECT_FALSE(lexer.keywords_active());
}

TEST_F(ParserTest, BothSpellingsOfAnAttributeListAreTheSame) {
    expect_clean(parse("ROMS { rom1 origin 0x100 length 0x200 }"));
    const Calls bare = calls();
    expect_clean(parse("ROMS { rom1: origin = 0x100, length = 0x200 }"));
    EXPECT_EQ(calls(), bare);
    EXPECT_EQ(bare, (Calls{"kw_on", "begin_roms", "range rom1", "origin 0x100", "length 0x200",
                           "finish_range", "kw_off"}));
}

TEST_F(ParserTest, ParenthesisedValues) {
    expect_clean(parse("ROMS { r origin ((0x10)) length (5) }"));
    EXPECT_EQ(calls(), (Calls{"kw_on", "begin_roms", "range r", "origin 0x10", "length 0x5",
                              "finish_range", "kw_off"}));
}

TEST_F(ParserTest, RomsKeywordSwitchesContextBeforeTheBraceIsRead) {
    expect_clean(parse("ROMS  { r origin 1 }origin"));
    // Recorded right after "ROMS": the "{" was not read ahead.
    EXPECT_EQ(find("begin_roms").column, 4);
    // The closing brace switches the context off before anything follows:
    // the origin right behind it is read as a name.
    EXPECT_EQ(calls(), (Calls{"kw_on", "begin_roms", "range r", "origin 0x1", "finish_range",
                              "kw_off", "input origin"}));
}

TEST_F(ParserTest, FileListIsReadWithKeywordsOff) {
    // In FILES a file called fill, and one with a drive letter, are plain
    // names; after the list's "}" fill is the attribute again.
    expect_clean(parse("ROMS { r files = { fill, c:\\out\\a.hex \"1st.hex\" } fill 0xFF }"));
    EXPECT_EQ(calls(), (Calls{"kw_on", "begin_roms", "range r", "kw_off", "file fill",
                              "file c:\\out\\a.hex", "file 1st.hex", "kw_on", "fill 0xFF",
                              "finish_range", "kw_off"}));
}

TEST_F(ParserTest, PageHeaderNeedsItsColon) {
    EXPECT_EQ(parse("ROMS { PAGE 1 rom1 origin 0 }"), 0);
    EXPECT_EQ(calls(), (Calls{"kw_on", "begin_roms", "range rom1", "origin 0x0", "finish_range",
                              "kw_off"}));
    EXPECT_EQ(out_, position("ROMS { PAGE 1 rom1"));
    EXPECT_EQ(err_, syntax_error(1));
}

TEST_F(ParserTest, EmptyBlocksAreSyntaxErrors) {
    EXPECT_EQ(parse("ROMS { }"), 0);
    EXPECT_EQ(calls(), (Calls{"kw_on", "begin_roms", "kw_off"}));
    EXPECT_EQ(out_, position("ROMS { }"));
    EXPECT_EQ(err_, syntax_error(1));

    EXPECT_EQ(parse("SECTIONS {\n}\n"), 0);
    EXPECT_EQ(calls(), (Calls{"kw_on", "begin_sections", "kw_off"}));
    EXPECT_EQ(out_, position("}"));
    EXPECT_EQ(err_, syntax_error(2));
}

TEST_F(ParserTest, RangeItemNeedsAnAttribute) {
    EXPECT_EQ(parse("ROMS { rom1 }"), 0);
    // The range is named but never finished.
    EXPECT_EQ(calls(), (Calls{"kw_on", "begin_roms", "range rom1", "kw_off"}));
    EXPECT_EQ(out_, position("ROMS { rom1 }"));
    EXPECT_EQ(err_, syntax_error(1));
}

TEST_F(ParserTest, FileListNeedsAName) {
    // The error at the list's "}" ends the range item; that "}" then closes
    // the ROMS block, and the last "}" is an error at the top level, not
    // reported because recovery is still in progress.
    EXPECT_EQ(parse("ROMS { r files {} }\nnext\n"), 0);
    EXPECT_EQ(calls(), (Calls{"kw_on", "begin_roms", "range r", "kw_off", "input next"}));
    EXPECT_EQ(out_, position("ROMS { r files {}"));
    EXPECT_EQ(err_, syntax_error(1));
}

TEST_F(ParserTest, TrailingCommaAfterLastAttributeFailsAtTheNextToken) {
    EXPECT_EQ(parse("ROMS { rom1 length 0x100, rom2 length 0x100 }"), 0);
    // rom1 is interrupted and never finished; rom2 is parsed normally.
    EXPECT_EQ(calls(), (Calls{"kw_on", "begin_roms", "range rom1", "length 0x100", "range rom2",
                              "length 0x100", "finish_range", "kw_off"}));
    EXPECT_EQ(out_, position("ROMS { rom1 length 0x100, rom2"));
    EXPECT_EQ(err_, syntax_error(1));

    EXPECT_EQ(parse("SECTIONS { sect1: paddr = 0x100, sect2 }"), 0);
    EXPECT_EQ(calls(), (Calls{"kw_on", "begin_sections", "section sect1", "paddr 0x100",
                              "section sect2", "append", "kw_off"}));
    EXPECT_EQ(out_, position("SECTIONS { sect1: paddr = 0x100, sect2"));
    EXPECT_EQ(err_, syntax_error(1));
}

TEST_F(ParserTest, TrailingCommaAfterLastFileNameFails) {
    EXPECT_EQ(parse("ROMS { r files { a.hex, } }"), 0);
    // The interrupted list leaves the context off, and the closing "}" of
    // the block keeps it off.
    EXPECT_EQ(calls(), (Calls{"kw_on", "begin_roms", "range r", "kw_off", "file a.hex"}));
    EXPECT_FALSE(lexer.keywords_active());
    EXPECT_EQ(out_, position("ROMS { r files { a.hex, }"));
    EXPECT_EQ(err_, syntax_error(1));
}

TEST_F(ParserTest, UnquotedFileNameStartingWithADigitFails) {
    EXPECT_EQ(parse("ROMS { r files { 1st.hex } }"), 0);
    // The interrupted FILES list left the keyword context off; recovery is
    // not undone, so "st.hex" after the NUMBER 1 starts a range item.
    EXPECT_EQ(calls(), (Calls{"kw_on", "begin_roms", "range r", "kw_off", "range st.hex"}));
    EXPECT_FALSE(lexer.keywords_active());
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
    EXPECT_EQ(calls(), (Calls{"kw_on", "begin_roms", "range r1", "origin 0x100", "page 2",
                              "range r2", "length 0x4", "finish_range", "kw_off"}));
    EXPECT_EQ(out_, position("  r1 origin 0x100 ="));
    EXPECT_EQ(err_, syntax_error(2));
}

TEST_F(ParserTest, RecoveryEndsAfterThreeShiftedTokens) {
    // After the error at "=", the three tokens of "r2 origin 1" end the
    // recovery, so the error at the next "=" is reported again.
    EXPECT_EQ(parse("ROMS {\nr1 origin 1 =\nr2 origin 1 =\nr3 origin 1 }\n"), 0);
    EXPECT_EQ(calls(), (Calls{"kw_on", "begin_roms", "range r1", "origin 0x1", "range r2",
                              "origin 0x1", "range r3", "origin 0x1", "finish_range", "kw_off"}));
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
    EXPECT_EQ(calls(), (Calls{"kw_on", "begin_sections", "section .text", "paddr 0x100",
                              "datawidth 16", "append", "section .data", "paddr 0x200",
                              "datawidth 8", "datawidth 32", "append", "section .cinit", "append",
                              "section .const", "append", "section .sw", "boot", "append",
                              "kw_off"}));
    EXPECT_FALSE(lexer.keywords_active());
}

TEST_F(ParserTest, EveryBootMarkForm) {
    expect_clean(parse("SECTIONS { a boot b = boot c: boot d (boot) e: paddr = boot\n"
                       "ff BOOT g: PADDR BOOT h:, }"));
    EXPECT_EQ(calls(), (Calls{"kw_on", "begin_sections", "section a", "boot", "append",
                              "section b", "boot", "append", "section c", "boot", "append",
                              "section d", "boot", "append", "section e", "boot", "append",
                              "section ff", "boot", "append", "section g", "boot", "append",
                              "section h", "append", "kw_off"}));
}

TEST_F(ParserTest, PlainSectionMayBeFollowedByAComma) {
    expect_clean(parse("SECTIONS { sect1, sect2 boot }"));
    EXPECT_EQ(calls(), (Calls{"kw_on", "begin_sections", "section sect1", "append",
                              "section sect2", "boot", "append", "kw_off"}));
}

TEST_F(ParserTest, SectionsKeywordSwitchesContextBeforeTheBraceIsRead) {
    expect_clean(parse("SECTIONS{s paddr ( ( 7 ) )}boot"));
    EXPECT_EQ(find("begin_sections").column, 8);
    // The boot right behind the closing brace is read as a name.
    EXPECT_EQ(calls(), (Calls{"kw_on", "begin_sections", "section s", "paddr 0x7", "append",
                              "kw_off", "input boot"}));
}

TEST_F(ParserTest, RecoveryInsideSectionsDiscardsUntilAnItemCanStart) {
    EXPECT_EQ(parse("SECTIONS { a paddr = = 3 boot b }"), 0);
    // a is interrupted (never appended); "=", 3 and boot are discarded.
    EXPECT_EQ(calls(), (Calls{"kw_on", "begin_sections", "section a", "section b", "append",
                              "kw_off"}));
    EXPECT_EQ(out_, position("SECTIONS { a paddr = ="));
    EXPECT_EQ(err_, syntax_error(1));
}

// Inside CHECKSUMS the attribute names match in any case, "_" is a name
// character, the other blocks' keywords (fill, f, boot) are names, and a
// name followed by "=" is an attribute the directive does not know.
TEST_F(ParserTest, ChecksumsDirective) {
    expect_clean(parse("CHECKSUMS\n{\n"
                       "  image_crc: ALGORITHM = crc32, AT = 0x1FFC\n"
                       "  f algorithm sum16 at (0x10) o 0x100 Length = 0x20, Order = little, PAGE 1\n"
                       "  boot: Algorithm = Sum32, at = 0xF0 fill = 0xFF\n"
                       "}\nfill\n"));
    EXPECT_EQ(calls(), (Calls{"kw_on", "begin_checksums", "field image_crc", "algorithm crc32",
                              "at 0x1FFC", "field f", "algorithm sum16", "at 0x10",
                              "span origin 0x100", "span length 0x20", "order little", "field page 1",
                              "field boot", "algorithm Sum32", "at 0xF0", "unknown fill",
                              "end_checksums", "kw_off", "input fill"}));
}

TEST_F(ParserTest, RecoveryInsideChecksumsDiscardsUntilAnElementCanStart) {
    EXPECT_EQ(parse("CHECKSUMS { a at = = 3 b algorithm crc32 }"), 0);
    EXPECT_EQ(calls(), (Calls{"kw_on", "begin_checksums", "field a", "field b", "algorithm crc32",
                              "end_checksums", "kw_off"}));
    EXPECT_EQ(out_, position("CHECKSUMS { a at = ="));
    EXPECT_EQ(err_, syntax_error(1));
}

// ---------------------------------------------------------------- top-level recovery

TEST_F(ParserTest, TopLevelErrorSkipsOnlyTheRestOfItsLine) {
    EXPECT_EQ(parse("a.out 5 b.out -x\nc.out ( d.out\n-y\n"), 0);
    EXPECT_EQ(calls(), (Calls{"input a.out", "input c.out", "option y"}));
    EXPECT_EQ(out_, position("a.out 5") + position("c.out ("));
    EXPECT_EQ(err_, syntax_error(1) + syntax_error(2));
    EXPECT_EQ(captured.diag.worst_severity(), ERROR);
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
    EXPECT_EQ(calls(), (Calls{"kw_on", "begin_roms", "input y.out"}));
    EXPECT_EQ(out_, position("ROMS 5") + position("origin"));
    EXPECT_EQ(err_, syntax_error(1) + syntax_error(3));
    EXPECT_TRUE(lexer.keywords_active());
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
    // The ROMS block's "}" switches the context off and SECTIONS on again
    // before the next action: no call sees it off in between.
    EXPECT_EQ(calls(), (Calls{"kw_on", "begin_roms", "range r", "begin_sections", "section s",
                              "kw_off"}));
    EXPECT_EQ(out_, position("ROMS { r }") + position("SECTIONS { s paddr }"));
    EXPECT_EQ(err_, syntax_error(1) + syntax_error(2));
}

// ---------------------------------------------------------------- abandoned parses

TEST_F(ParserTest, BlockLeftOpenAbandonsTheParse) {
    EXPECT_EQ(parse("ROMS {\n  r origin 0\n"), 1);
    EXPECT_EQ(calls(), (Calls{"kw_on", "begin_roms", "range r", "origin 0x0"}));
    // The end of input is shown after the last line read.
    EXPECT_EQ(out_, position("  r origin 0"));
    EXPECT_EQ(err_, syntax_error(2));

    EXPECT_EQ(parse("SECTIONS {"), 1);
    EXPECT_EQ(calls(), (Calls{"kw_on", "begin_sections"}));
    EXPECT_EQ(err_, syntax_error(1));
}

TEST_F(ParserTest, ErrorAtTheEndOfInputWhileRecoveringAbandons) {
    // 6 is discarded silently, then the end of input arrives while the
    // recovery count is still three.
    EXPECT_EQ(parse("SECTIONS { 5 6"), 1);
    EXPECT_EQ(calls(), (Calls{"kw_on", "begin_sections"}));
    EXPECT_EQ(out_, position("SECTIONS { 5"));
    EXPECT_EQ(err_, syntax_error(1));
}

// ---------------------------------------------------------------- parse stack

TEST_F(ParserTest, DeepParenthesesWithinTheStackLimit) {
    // 9000 nested parentheses need about 9010 states: within 10,000.
    const std::string text = "SECTIONS { s paddr " + std::string(9000, '(') + "42" +
                             std::string(9000, ')') + " }\n-after\n";
    expect_clean(parse(text));
    EXPECT_EQ(calls(), (Calls{"kw_on", "begin_sections", "section s", "paddr 0x2A", "append",
                              "kw_off", "option after"}));
}

TEST_F(ParserTest, StackOverflowAbandonsTheParse) {
    const std::string text = "SECTIONS { s paddr " + std::string(10000, '(') + "1" +
                             std::string(10000, ')') + " }\n-after\n";
    EXPECT_EQ(parse(text), 2);
    // The rest of the file is not read.
    EXPECT_EQ(calls(), (Calls{"kw_on", "begin_sections", "section s"}));
    EXPECT_EQ(err_, syntax_error(lexer.line_number()));
    // The position display shows the whole line up to the "(" that did not
    // fit, on line 1.
    const size_t newline = out_.find('\n');
    ASSERT_NE(newline, std::string::npos);
    const std::string shown = out_.substr(0, newline);
    EXPECT_EQ(out_, position(shown));
    EXPECT_EQ(shown.rfind("SECTIONS { s paddr ", 0), 0u) << shown.substr(0, 40);
    EXPECT_EQ(shown.find_first_not_of('(', 19), std::string::npos);
    EXPECT_EQ(lexer.line_number(), 1);
}

TEST_F(ParserTest, RunEndedByAnActionLeavesTheParserUsable) {
    // An action that ends the run in the middle of a deep parse ends the
    // parse with it; the next parse with the same lexer starts over.
    const std::string deep = "SECTIONS { s paddr " + std::string(1000, '(') + "1" +
                             std::string(1000, ')') + " }\n-abort\n-after\n";
    EXPECT_THROW(parse(deep), RunAbort);
    EXPECT_EQ(calls(), (Calls{"kw_on", "begin_sections", "section s", "paddr 0x1", "append",
                              "kw_off", "option abort"}));
    expect_clean(parse("-again " + deep.substr(0, deep.find('\n') + 1)));
    EXPECT_EQ(calls(), (Calls{"option again", "kw_on", "begin_sections", "section s", "paddr 0x1",
                              "append", "kw_off"}));
}

// ---------------------------------------------------------------- lexer errors

TEST_F(ParserTest, IllegalCharactersDoNotDisturbTheParse) {
    EXPECT_EQ(parse("a.out ? b.out\nROMS { r origin 1 * }\n"), 0);
    EXPECT_EQ(calls(), (Calls{"input a.out", "input b.out", "kw_on", "begin_roms", "range r",
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

TEST_F(ParserTest, ActionsOfAConversionCarryOutOptionsAndDirectives) {
    Settings settings;
    OptionParser options(settings, lexer, captured.diag, "coffhex");
    MemoryConfig memory(captured.diag);
    SectionSelection selection(captured.diag);
    ConversionActions actions(settings, options, memory, selection, captured.diag);
    expect_clean(parse_with("-romwidth 16 -o out.hex\n"
                            "ROMS {\n"
                            "  PAGE 1:\n"
                            "  rom1: origin = 0x100, length = 0x200, width = 8, memwidth = 32,\n"
                            "        fill = 0xFF, files = { a.hex fill }\n"
                            "}\n"
                            "SECTIONS { .text: paddr = 0x100 .data boot }\n"
                            "CHECKSUMS { rom_crc: Algorithm = CRC32_MPEG2, at = 0x2FC,\n"
                            "            origin = 0x100 length = 0x80 ORDER = Big page = 1 }\n",
                            actions));
    ASSERT_EQ(actions.checksums.fields().size(), 1u);
    const ChecksumField& field = actions.checksums.fields()[0];
    EXPECT_EQ(field.name, "rom_crc");
    EXPECT_EQ(field.algorithm, ChecksumAlgorithm::Crc32Mpeg2);
    EXPECT_EQ(field.at, 0x2FCu);
    EXPECT_EQ(field.origin, 0x100u);
    EXPECT_EQ(field.length, 0x80u);
    EXPECT_EQ(field.order, ChecksumOrder::Big);
    EXPECT_EQ(field.page, 1);
    EXPECT_EQ(settings.rom_width, 2);
    EXPECT_EQ(settings.output_names, std::vector<std::string>{"out.hex"});
    EXPECT_TRUE(actions.inputs.empty());
    EXPECT_FALSE(lexer.keywords_active());

    const RomRange* range = memory.first_range();
    ASSERT_NE(range, nullptr);
    EXPECT_STREQ(range->name, "rom1");
    EXPECT_EQ(range->origin, 0x100u);
    EXPECT_EQ(range->end, 0x2FFu);  // origin + length - 1
    EXPECT_EQ(range->page, 1);
    EXPECT_EQ(range->romwidth_given, 1);  // 8 bits
    EXPECT_EQ(range->memwidth_given, 4);  // 32 bits
    EXPECT_EQ(range->fill_given, 0xFFu);
    ASSERT_EQ(range->files.size(), 2u);
    EXPECT_EQ(range->files[0].name, "a.hex");
    EXPECT_EQ(range->files[1].name, "fill");
    EXPECT_EQ(range->next, nullptr);

    const SectionSpec* spec = selection.first();
    ASSERT_NE(spec, nullptr);
    EXPECT_EQ(spec->name, ".text");
    EXPECT_EQ(spec->paddr, 0x100u);
    EXPECT_FALSE(spec->boot_loaded());
    ASSERT_NE(spec->next, nullptr);
    EXPECT_EQ(spec->next->name, ".data");
    EXPECT_TRUE(spec->next->boot_loaded());
    EXPECT_EQ(spec->next->next, nullptr);
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

}  // namespace
