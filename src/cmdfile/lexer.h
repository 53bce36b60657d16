// Command-file lexer: line buffer, keyword table, numbers, names, quoted
// texts and comments. Also reads option values given on the command line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace coffhex {

class Diagnostics;

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
    TOK_CHECKSUMS = 15,
    TOK_ALGORITHM = 16,
    TOK_AT = 17,
    TOK_ORDER = 18,
};

// A number as the command-file grammar carries it.
struct LexNumber {
    uint32_t value;
    bool fits;  // false: it did not fit in 32 bits and has been reported
};

// The command-file lexer of one conversion: the line buffer and cursor, the
// keyword context, the last token's value, and the text pool that keeps
// every name handed out valid for the whole run. It also reads the values
// of options given on the command line. Messages (an illegal character) go
// to the conversion's diagnostics, which learn the line number from it.
class Lexer {
public:
    explicit Lexer(Diagnostics& diag);
    Lexer(const Lexer&) = delete;
    Lexer& operator=(const Lexer&) = delete;

    // Starts a command file: keyword context off, empty line buffer, line
    // counter 0, lines read from `input` (opened and closed by the caller;
    // nullptr for none).
    void start(FILE* input);

    // Next token code; sets the token value for NAME and NUMBER.
    int next_token();
    // Next raw word (up to a blank, tab, newline, form feed, carriage
    // return); 1 with the token text set, 0 at end of input.
    int next_word();
    // Reads one token (as_token) or word from a copy of `text`; returns the
    // token code, or 1/0 for a word. Command-line values only; the value is
    // read whole, whatever its length.
    int read_value(const char* text, bool as_token);

    uint32_t token_number() const { return token_number_; }
    // False when the last NUMBER did not fit in 32 bits: it has been
    // reported as an ERROR, and its value (taken modulo 2^32) is not to be
    // used.
    bool token_number_fits() const { return token_number_fits_; }
    const char* token_text() const { return token_text_; }

    void keywords_on() { context_ = Context::Blocks; }
    void keywords_off() { context_ = Context::Off; }
    // Inside a CHECKSUMS block: the keywords of checksum field attributes,
    // matched in any case; the other blocks' keywords are names there.
    void checksum_keywords_on() { context_ = Context::Checksums; }
    bool keywords_active() const { return context_ != Context::Off; }

    // Writes the line up to the cursor, a newline, blanks and a caret line
    // to the conversion's standard output.
    void show_position();

    // Lines read from the current command file (first line is 1).
    int line_number() const { return line_count_; }
    // Position of the cursor in the current line buffer (0 = first character).
    int column() const { return static_cast<int>(cursor_); }

private:
    const char* pool_store(const char* text, size_t length);
    unsigned char at(size_t position) const { return static_cast<unsigned char>(line_[position]); }
    bool is_name_char(unsigned char c) const;
    bool read_line();
    bool skip_blanks_and_comments();
    int name_or_keyword(const char* text, size_t length);
    int find_keyword(std::string_view text) const;
    int read_number();
    int read_name();
    int read_quoted();
    int recognise_token();
    void count_line(int32_t count);

    Diagnostics& diag_;
    // The line buffer of command files, one whole line however long;
    // `line_` points at it, or, while a command-line value is read, at a
    // copy of that value of its full length (a long path given to -o or
    // -map is a path, not something to cut).
    std::string file_line_ = std::string(1, '\0');
    std::string value_line_;
    char* line_ = file_line_.data();
    size_t cursor_ = 0;
    int32_t line_count_ = 0;
    enum class Context { Off, Blocks, Checksums };
    Context context_ = Context::Off;
    FILE* input_ = nullptr;
    // The input has ended: no further line is read until the next start.
    // Also set while a command-line value copied by read_value() is read,
    // whose end is the end of input.
    bool input_ended_ = false;
    uint32_t token_number_ = 0;
    bool token_number_fits_ = true;
    const char* token_text_ = "";
    // Text pool: names handed out as token values stay valid for the whole
    // run.
    std::vector<std::unique_ptr<char[]>> pool_blocks_;
    size_t pool_used_;
};

}  // namespace coffhex
