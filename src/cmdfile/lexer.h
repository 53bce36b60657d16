// Command-file lexer: line buffer, keyword table, numbers, names, quoted
// texts and comments. Also reads option values given on the command line.
#pragma once

#include <cstdint>
#include <cstdio>

namespace coffhex {

// Token codes; single-character tokens use the character's own code.
enum TokenCode : int {
    TOK_END = 0,
    TOK_NAME = 1,
    TOK_NUMBER = 2,
    TOK_PAGE = 3,
    TOK_LENGTH = 4,
    TOK_ORIGIN = 5,
    TOK_SECTIONS = 6,
    TOK_FILL = 7,
    TOK_ROMS = 8,
    TOK_FILES = 9,
    TOK_WIDTH = 10,
    TOK_BOOT = 11,
    TOK_DATAWIDTH = 12,
    TOK_PADDR = 13,
    TOK_MEMWIDTH = 14,
};

// Size of the line buffer: at most this many characters of a line are held
// at once; a longer line is read in pieces of this size.
inline constexpr int LEX_LINE_MAX = 255;

// Fills the character classes, empties the text pool, then lex_reset().
// Called once per run: name texts handed out stay valid until the next call.
void lex_init();
// Keyword context off, empty line buffer, line counter 0, no input stream.
void lex_reset();
// The command file being read (opened and closed by the driver).
void lex_set_input(FILE* stream);

// Next token code; sets the token value for NAME and NUMBER.
int next_token();
// Next raw word (up to a blank, tab, newline, form feed, carriage return);
// 1 with the token text set, 0 at end of input.
int next_word();
// Reads one token (as_token) or word from a copy of `text`; returns the
// token code, or 1/0 for a word. Command-line values only; the value is
// read whole, whatever its length.
int lex_text(const char* text, bool as_token);

uint32_t token_number();
const char* token_text();

void keywords_on();
void keywords_off();
bool keywords_active();

// Writes the line up to the cursor, a newline, blanks and a caret line to
// standard output.
void show_position();

// Lines read from the current command file (first line is 1).
int lex_line_number();
// Position of the cursor in the current line buffer (0 = first character).
int lex_column();

}  // namespace coffhex
