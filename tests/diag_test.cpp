// Message layout: prefixes, severity words, the 80-column wrapping, -qq,
// and the texts that end a run outside the layout.
#include <gtest/gtest.h>

#include <string>

#include "diag/diag.h"
#include "support/capture.h"

using namespace coffhex;

namespace {

class DiagnosticsTest : public ::testing::Test {
protected:
    // What one message adds to the error stream.
    std::string reported(Severity severity, const char* text) {
        const size_t before = captured.err().size();
        captured.diag.report(severity, "%s", text);
        return captured.err().substr(before);
    }
    Diagnostics& diag() { return captured.diag; }
    testsupport::CapturedDiagnostics captured;
};

std::string wrapped(const char* prefix, const std::string& text) {
    testsupport::MemoryStream stream;
    wrap_message(stream.stream(), prefix, text.c_str());
    return stream.text();
}

// Words "w000 w001 ..." of 4 characters each, separated by blanks.
std::string words(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        char word[16];
        std::snprintf(word, sizeof word, "w%03d", i);
        if (i > 0) text += ' ';
        text += word;
    }
    return text;
}

}  // namespace

TEST_F(DiagnosticsTest, SeverityWordsAlignTheirColons) {
    EXPECT_EQ(reported(INFO, "note"), ">>    INFO: note\n");
    EXPECT_EQ(reported(WARNING, "careful"), ">> WARNING: careful\n");
    EXPECT_EQ(reported(ERROR, "wrong"), ">>   ERROR: wrong\n");
    EXPECT_EQ(diag().worst_severity(), ERROR);
}

TEST_F(DiagnosticsTest, FatalAppendsAbortingAndEndsTheRunWithStatus1) {
    try {
        diag().report(FATAL, "no input files");
        FAIL() << "FATAL returned";
    } catch (const RunAbort& abort) {
        EXPECT_EQ(abort.status, 1);
    }
    EXPECT_EQ(captured.err(), ">> FATAL ERROR: no input files (aborting)\n");
}

TEST_F(DiagnosticsTest, InternalEndsTheRunWithoutAborting) {
    EXPECT_THROW(diag().report(INTERNAL, "nbytes not a multiple of mem width/rom width"), RunAbort);
    EXPECT_EQ(captured.err(), ">> INTERNAL ERROR: nbytes not a multiple of mem width/rom width\n");
}

// Texts of their own end the run with the status they name; everything on
// the output stream goes out before them.
TEST_F(DiagnosticsTest, TextsOutsideTheLayoutEndTheRunWithTheirStatus) {
    std::fputs("Translating app.out to Intel format...\n", diag().out());
    try {
        diag().abort_with_text("Error reading COFF file - corrupted section header", 255);
        FAIL() << "the abort returned";
    } catch (const RunAbort& abort) {
        EXPECT_EQ(abort.status, 255);
    }
    EXPECT_EQ(captured.out(), "Translating app.out to Intel format...\n");
    EXPECT_EQ(captured.err(), "Error reading COFF file - corrupted section header");
    EXPECT_THROW(diag().abort_wrapped(">>", "ERROR: field truncated - ABORT", 1), RunAbort);
    EXPECT_EQ(captured.err(), "Error reading COFF file - corrupted section header"
                              ">> ERROR: field truncated - ABORT\n");
    EXPECT_EQ(diag().worst_severity(), 0);
}

TEST_F(DiagnosticsTest, CommandFilePrefixCarriesNameAndLine) {
    diag().set_command_file("cmd.txt");
    // The line counter is 0 until the lexer has read a line.
    EXPECT_EQ(reported(ERROR, "syntax error"), "\"cmd.txt\", line 0:   ERROR: syntax error\n");
    diag().set_line(7);
    EXPECT_EQ(reported(WARNING, "odd"), "\"cmd.txt\", line 7: WARNING: odd\n");
    diag().set_command_file(nullptr);
    EXPECT_EQ(reported(WARNING, "odd"), ">> WARNING: odd\n");
}

TEST_F(DiagnosticsTest, WorstSeverityOnlyGrows) {
    reported(ERROR, "first");
    reported(WARNING, "second");
    EXPECT_EQ(diag().worst_severity(), ERROR);
}

TEST_F(DiagnosticsTest, DoubleQuietDropsWarningsButNotErrors) {
    diag().set_quiet(2);
    EXPECT_EQ(reported(WARNING, "hidden"), "");
    EXPECT_EQ(reported(INFO, "hidden"), "");
    EXPECT_EQ(diag().worst_severity(), 0);
    EXPECT_EQ(reported(ERROR, "shown"), ">>   ERROR: shown\n");
    diag().set_quiet(1);
    EXPECT_EQ(reported(WARNING, "shown"), ">> WARNING: shown\n");
}

TEST_F(DiagnosticsTest, TwoHundredCharacterWarningWrapsAtSixtyEight) {
    // Prefix ">> WARNING:" is 11 characters, so w = 12 and avail = 68. The
    // words are 4 characters with blanks between: the blank at position 69
    // (after 14 words) is beyond 68, so the first line holds 13 words
    // (64 characters) and breaks at the blank at position 64.
    std::string text = words(40);  // 40 * 5 - 1 = 199 characters
    std::string out = wrapped(">> WARNING:", text);
    std::string indent(12, ' ');
    // Continuation lines start at j + 1 and search from j + 68: at most 67
    // characters, i.e. 13 words again (64), since 14 words take 69.
    std::string expected = ">> WARNING: " + words(40).substr(0, 64) + "\n";
    size_t pos = 65;
    while (pos < text.size()) {
        std::string line = text.substr(pos, 64);
        expected += indent + line + "\n";
        pos += 65;
    }
    EXPECT_EQ(out, expected);
    // Every line fits into 80 columns.
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find('\n', start);
        EXPECT_LE(end - start, 80u);
        start = end + 1;
    }
}

TEST_F(DiagnosticsTest, ContinuationLinesHoldAtMostAvailMinusOne) {
    // A word of 67 characters after a break fits a continuation line
    // (avail - 1), a word of 68 does not fit with its blank.
    std::string text = std::string(60, 'a') + " " + std::string(67, 'b') + " c";
    std::string out = wrapped(">> WARNING:", text);
    EXPECT_EQ(out, ">> WARNING: " + std::string(60, 'a') + "\n" + std::string(12, ' ') +
                       std::string(67, 'b') + "\n" + std::string(12, ' ') + "c\n");
}

TEST_F(DiagnosticsTest, UnbreakableWordRunsOnToTheNextBlank) {
    std::string longword(100, 'x');
    EXPECT_EQ(wrapped(">> ERROR:", longword), ">> ERROR: " + longword + "\n");
    EXPECT_EQ(wrapped(">> ERROR:", longword + " tail"),
              ">> ERROR: " + longword + "\n          tail\n");
}

TEST_F(DiagnosticsTest, OverLongPrefixGoesOnItsOwnLine) {
    std::string prefix = "\"" + std::string(60, 'p') + ".cmd\", line 3:   ERROR:";
    ASSERT_GT(prefix.size() + 1, 65u);
    // avail = 80 - 11 = 69: the text starts after nine blanks, continuation
    // lines after eleven.
    std::string text = words(20);  // 99 characters
    std::string out = wrapped(prefix.c_str(), text);
    EXPECT_EQ(out, prefix + "\n" + std::string(9, ' ') + text.substr(0, 69) + "\n" +
                       std::string(11, ' ') + text.substr(70) + "\n");
}

TEST_F(DiagnosticsTest, EmptyTextWritesPrefixAndBlank) {
    EXPECT_EQ(wrapped(">> WARNING:", ""), ">> WARNING: \n");
}

TEST_F(DiagnosticsTest, EmbeddedNewlineIsWrittenAsItStands) {
    EXPECT_EQ(wrapped(">>   ERROR:", "symbol 'x' not found\n"),
              ">>   ERROR: symbol 'x' not found\n\n");
}
