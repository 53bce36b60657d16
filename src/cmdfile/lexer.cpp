// Command-file lexer.
//
// The current line is held in a 256-character buffer and scanned with a
// cursor. Lines are read on demand while blanks and comments are skipped, so
// the line counter always names the line of the token just returned, which
// is what the diagnostics prefix and the parser's line-skipping recovery
// rely on.
#include "cmdfile/lexer.h"

#include <cstring>
#include <string>
#include <memory>
#include <string_view>
#include <vector>

#include "diag/diag.h"

namespace coffhex {

namespace {

// ---------------------------------------------------------------- state

// The line buffer of command files; `g_line` points at it, or, while a
// command-line value is read, at a copy of that value of its full length
// (a long path given to -o or -map is a path, not something to cut).
char g_file_line[LEX_LINE_MAX + 1] = {};
std::string g_value_line;
char* g_line = g_file_line;
size_t g_cursor = 0;
int32_t g_line_count = 0;
bool g_keywords = false;
FILE* g_input = nullptr;
// The input has ended: no further line is read until the next reset. Also
// set while a command-line value copied by lex_text() is read, whose end is
// the end of input.
bool g_input_ended = false;

uint32_t g_token_number = 0;
const char* g_token_text = "";

bool g_name_char[128] = {};

// Text pool: names handed out as token values stay valid for the whole run.
constexpr size_t POOL_BLOCK = 1024;
std::vector<std::unique_ptr<char[]>> g_pool_blocks;
size_t g_pool_used = POOL_BLOCK;  // room used in the last block

// ---------------------------------------------------------------- keywords

enum Active { BLOCKS, ALWAYS };

struct Keyword {
    const char* text;
    int token;
    Active active;
};

// Sorted by the byte order of the text (upper-case keywords first): the
// table is searched by binary search.
constexpr Keyword KEYWORDS[] = {
    {"BOOT", TOK_BOOT, BLOCKS},
    {"DATAWIDTH", TOK_DATAWIDTH, BLOCKS},
    {"DWIDTH", TOK_DATAWIDTH, BLOCKS},
    {"FILES", TOK_FILES, BLOCKS},
    {"FILL", TOK_FILL, BLOCKS},
    {"LENGTH", TOK_LENGTH, BLOCKS},
    {"MEMWIDTH", TOK_MEMWIDTH, BLOCKS},
    {"MWIDTH", TOK_MEMWIDTH, BLOCKS},
    {"ORIGIN", TOK_ORIGIN, BLOCKS},
    {"PADDR", TOK_PADDR, BLOCKS},
    {"PAGE", TOK_PAGE, BLOCKS},
    {"ROMS", TOK_ROMS, ALWAYS},
    {"ROMWIDTH", TOK_WIDTH, BLOCKS},
    {"SECTIONS", TOK_SECTIONS, ALWAYS},
    {"WIDTH", TOK_WIDTH, BLOCKS},
    {"boot", TOK_BOOT, BLOCKS},
    {"datawidth", TOK_DATAWIDTH, BLOCKS},
    {"dw", TOK_DATAWIDTH, BLOCKS},
    {"dwidth", TOK_DATAWIDTH, BLOCKS},
    {"f", TOK_FILL, BLOCKS},
    {"files", TOK_FILES, BLOCKS},
    {"fill", TOK_FILL, BLOCKS},
    {"l", TOK_LENGTH, BLOCKS},
    {"len", TOK_LENGTH, BLOCKS},
    {"length", TOK_LENGTH, BLOCKS},
    {"memwidth", TOK_MEMWIDTH, BLOCKS},
    {"mw", TOK_MEMWIDTH, BLOCKS},
    {"mwidth", TOK_MEMWIDTH, BLOCKS},
    {"o", TOK_ORIGIN, BLOCKS},
    {"org", TOK_ORIGIN, BLOCKS},
    {"origin", TOK_ORIGIN, BLOCKS},
    {"paddr", TOK_PADDR, BLOCKS},
    {"page", TOK_PAGE, BLOCKS},
    {"romwidth", TOK_WIDTH, BLOCKS},
    {"w", TOK_WIDTH, BLOCKS},
    {"width", TOK_WIDTH, BLOCKS},
};
constexpr size_t KEYWORD_COUNT = sizeof KEYWORDS / sizeof KEYWORDS[0];
static_assert(KEYWORD_COUNT == 36);

constexpr bool keywords_sorted() {
    for (size_t i = 1; i < KEYWORD_COUNT; ++i) {
        if (!(std::string_view(KEYWORDS[i - 1].text) < std::string_view(KEYWORDS[i].text)))
            return false;
    }
    return true;
}
static_assert(keywords_sorted(), "keyword table must be in byte order");

// Token of the keyword `text` when it is active in the current context,
// else 0.
int find_keyword(std::string_view text) {
    size_t low = 0;
    size_t high = KEYWORD_COUNT;
    while (low < high) {
        const size_t mid = low + (high - low) / 2;
        // char_traits<char> compares bytes as unsigned, like memcmp.
        const int order = text.compare(KEYWORDS[mid].text);
        if (order == 0) {
            const Keyword& row = KEYWORDS[mid];
            return (row.active == ALWAYS || g_keywords) ? row.token : 0;
        }
        if (order < 0) high = mid;
        else low = mid + 1;
    }
    return 0;
}

// ---------------------------------------------------------------- pool

const char* pool_store(const char* text, size_t length) {
    char* copy;
    if (length + 1 > POOL_BLOCK) {
        // Only a command-line value can be longer than a block: it gets a
        // block of its own, and the next text starts a fresh one.
        g_pool_blocks.push_back(std::make_unique<char[]>(length + 1));
        copy = g_pool_blocks.back().get();
        g_pool_used = POOL_BLOCK;
    } else {
        if (length + 1 > POOL_BLOCK - g_pool_used) {
            g_pool_blocks.push_back(std::make_unique<char[]>(POOL_BLOCK));
            g_pool_used = 0;
        }
        copy = g_pool_blocks.back().get() + g_pool_used;
        g_pool_used += length + 1;
    }
    std::memcpy(copy, text, length);
    copy[length] = '\0';
    return copy;
}

// ---------------------------------------------------------------- characters

unsigned char at(size_t position) { return static_cast<unsigned char>(g_line[position]); }

bool is_name_char(unsigned char c) {
    if (c >= 128) return false;
    if (c == ':') return !g_keywords;
    return g_name_char[c];
}

bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }
bool is_octal(unsigned char c) { return c >= '0' && c <= '7'; }
bool is_hex(unsigned char c) {
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
uint32_t hex_value(unsigned char c) {
    if (is_digit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
}

bool ends_line(unsigned char c) { return c == '\0' || c == '\n' || c == '\r'; }

// ---------------------------------------------------------------- lines

// Reads the next line (or the next piece of at most LEX_LINE_MAX characters
// of a long line) into the line buffer. False at the end of input; the
// buffer then keeps the last line, so a position display at the end of the
// file shows where the file ended.
bool read_line() {
    if (g_input_ended || g_input == nullptr) {
        g_input_ended = true;
        return false;
    }
    char piece[LEX_LINE_MAX + 1];
    if (std::fgets(piece, sizeof piece, g_input) == nullptr) {
        g_input_ended = true;
        return false;
    }
    g_line = g_file_line;
    std::memcpy(g_line, piece, sizeof g_file_line);
    g_line[LEX_LINE_MAX] = '\0';
    g_cursor = 0;
    // Counted modulo 2^32 so that even an absurdly long file keeps changing
    // the line number from one line to the next.
    g_line_count = static_cast<int32_t>(static_cast<uint32_t>(g_line_count) + 1u);
    return true;
}

// Skips blanks and comments, reading further lines as needed. False at the
// end of input (also inside an open comment).
bool skip_blanks_and_comments() {
    bool in_comment = false;
    for (;;) {
        const unsigned char c = at(g_cursor);
        if (ends_line(c)) {
            if (!read_line()) return false;
            continue;
        }
        if (in_comment) {
            if (c == '*' && at(g_cursor + 1) == '/') {
                in_comment = false;
                g_cursor += 2;
            } else {
                ++g_cursor;
            }
            continue;
        }
        if (c == ' ') {
            ++g_cursor;
        } else if (c == '\t' || c == '\f') {
            // Blanked out so that show_position() lines up.
            g_line[g_cursor] = ' ';
            ++g_cursor;
        } else if (c == '/' && at(g_cursor + 1) == '*') {
            in_comment = true;
            g_cursor += 2;
        } else {
            return true;
        }
    }
}

// ---------------------------------------------------------------- tokens

int name_or_keyword(const char* text, size_t length) {
    const std::string_view view(text, length);
    if (const int keyword = find_keyword(view); keyword != 0) return keyword;
    g_token_text = pool_store(text, length);
    return TOK_NAME;
}

int read_number() {
    size_t p = g_cursor;
    unsigned base = 10;
    if (at(p) == '0' && at(p + 1) == 'x' && is_hex(at(p + 2))) {
        base = 16;
        p += 2;
    } else if (at(p) == '0' && is_octal(at(p + 1))) {
        base = 8;
        p += 1;
    }
    size_t run_end = p;
    while (is_hex(at(run_end))) ++run_end;

    uint32_t value = 0;
    if (base == 16) {
        for (size_t i = p; i < run_end; ++i) value = value * 16u + hex_value(at(i));
        g_cursor = run_end;
    } else {
        const unsigned char suffix = at(run_end);
        bool all_octal = true;
        for (size_t i = p; i < run_end; ++i) all_octal = all_octal && is_octal(at(i));
        if (suffix == 'H' || suffix == 'h') {
            for (size_t i = p; i < run_end; ++i) value = value * 16u + hex_value(at(i));
            g_cursor = run_end + 1;
        } else if ((suffix == 'Q' || suffix == 'q') && all_octal) {
            for (size_t i = p; i < run_end; ++i) value = value * 8u + (at(i) - '0');
            g_cursor = run_end + 1;
        } else {
            // Only the digits of the base count; the rest of the run begins
            // the next token.
            size_t i = p;
            while (base == 10 ? is_digit(at(i)) : is_octal(at(i))) {
                value = value * base + (at(i) - '0');
                ++i;
            }
            g_cursor = i;
        }
    }
    g_token_number = value;
    return TOK_NUMBER;
}

int read_name() {
    const size_t start = g_cursor;
    size_t p = start;
    for (;;) {
        const unsigned char c = at(p);
        if (!is_name_char(c)) break;
        // A ':' or '/' not followed by a name character is not part of it.
        if ((c == ':' || c == '/') && !is_name_char(at(p + 1))) break;
        ++p;
    }
    g_cursor = p;
    return name_or_keyword(g_line + start, p - start);
}

int read_quoted() {
    const size_t start = g_cursor + 1;
    size_t p = start;
    while (at(p) != '\0' && at(p) != '"' && at(p) != '\n' && at(p) != '\f') ++p;
    g_cursor = at(p) == '"' ? p + 1 : p;
    return name_or_keyword(g_line + start, p - start);
}

// Recognises one token at the cursor. -1 for an illegal character, which is
// reported and stepped over (but never the terminator of the buffer).
int recognise_token() {
    const unsigned char c = at(g_cursor);
    if (is_digit(c)) return read_number();
    if (is_name_char(c)) {
        const bool lone = (c == '.' || c == '/' || c == ':') && !is_name_char(at(g_cursor + 1));
        if (!lone) return read_name();
    } else if (c == '"') {
        return read_quoted();
    }
    switch (c) {
    case '(': case ')': case ',': case '-': case ':': case '=': case '{': case '}':
        ++g_cursor;
        return c;
    default:
        break;
    }
    report(ERROR, "illegal input character: 0x%02X", static_cast<unsigned>(c));
    if (c != '\0') ++g_cursor;
    return -1;
}

bool ends_word(unsigned char c) {
    return c == '\0' || c == ' ' || c == '\t' || c == '\f' || c == '\n' || c == '\r';
}

}  // namespace

void lex_init() {
    std::memset(g_name_char, 0, sizeof g_name_char);
    for (int c = 'A'; c <= 'Z'; ++c) g_name_char[c] = true;
    for (int c = 'a'; c <= 'z'; ++c) g_name_char[c] = true;
    for (int c = '0'; c <= '9'; ++c) g_name_char[c] = true;
    for (const char* p = "/._$[]~:\\"; *p != '\0'; ++p)
        g_name_char[static_cast<unsigned char>(*p)] = true;
    g_pool_blocks.clear();
    g_pool_used = POOL_BLOCK;
    g_token_number = 0;
    g_token_text = "";
    lex_reset();
}

void lex_reset() {
    g_keywords = false;
    g_line = g_file_line;
    g_line[0] = '\0';
    g_cursor = 0;
    g_line_count = 0;
    g_input = nullptr;
    g_input_ended = false;
}

void lex_set_input(FILE* stream) {
    g_input = stream;
    g_input_ended = false;
}

int next_token() {
    for (;;) {
        if (!skip_blanks_and_comments()) return TOK_END;
        const int code = recognise_token();
        if (code >= 0) return code;
    }
}

int next_word() {
    if (!skip_blanks_and_comments()) return 0;
    const size_t start = g_cursor;
    size_t p = start;
    while (!ends_word(at(p))) ++p;
    g_cursor = p;
    g_token_text = pool_store(g_line + start, p - start);
    return 1;
}

int lex_text(const char* text, bool as_token) {
    g_value_line.assign(text != nullptr ? text : "");
    g_line = g_value_line.data();
    g_cursor = 0;
    g_keywords = false;
    g_line_count = 0;
    // The copy is the whole input: its end is the end of input.
    g_input_ended = true;
    if (!as_token) return next_word();
    const int code = recognise_token();
    return code < 0 ? 0 : code;
}

uint32_t token_number() { return g_token_number; }
const char* token_text() { return g_token_text; }

void keywords_on() { g_keywords = true; }
void keywords_off() { g_keywords = false; }
bool keywords_active() { return g_keywords; }

void show_position() {
    for (size_t i = 0; i < g_cursor; ++i) std::putchar(g_line[i] == '\t' ? ' ' : g_line[i]);
    std::putchar('\n');
    for (size_t i = 0; i < g_cursor; ++i) std::putchar(' ');
    std::fputs("^\n", stdout);
}

int lex_line_number() { return g_line_count; }
int lex_column() { return static_cast<int>(g_cursor); }

}  // namespace coffhex
