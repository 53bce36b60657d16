// Command-file lexer.
//
// The current line is held whole, whatever its length, and scanned with a
// cursor. Lines are read on demand while blanks and comments are skipped, so
// the line counter always names the line of the token just returned, which
// is what the diagnostics prefix and the parser's line-skipping recovery
// rely on.
#include "cmdfile/lexer.h"

#include <cctype>
#include <cstring>
#include <string>
#include <memory>
#include <string_view>
#include <vector>

#include "diag/diag.h"

namespace coffhex {

namespace {

// Characters that make up names: letters, digits and "/._$[]~:\\".
struct NameChars {
    bool table[128] = {};
};
constexpr NameChars make_name_chars() {
    NameChars chars{};
    for (int c = 'A'; c <= 'Z'; ++c) chars.table[c] = true;
    for (int c = 'a'; c <= 'z'; ++c) chars.table[c] = true;
    for (int c = '0'; c <= '9'; ++c) chars.table[c] = true;
    for (const char* p = "/._$[]~:\\"; *p != '\0'; ++p) chars.table[static_cast<unsigned char>(*p)] = true;
    return chars;
}
constexpr NameChars NAME_CHARS = make_name_chars();

// Room of one block of the text pool.
constexpr size_t POOL_BLOCK = 1024;

// ---------------------------------------------------------------- keywords

// BLOCKS: inside directive blocks; CHECKSUMS: inside a CHECKSUMS block only.
enum Active { BLOCKS, ALWAYS, CHECKSUMS };

struct Keyword {
    const char* text;
    int token;
    Active active;
};

// Sorted by the byte order of the text (upper-case keywords first): the
// table is searched by binary search.
constexpr Keyword KEYWORDS[] = {
    {"BOOT", TOK_BOOT, BLOCKS},
    {"CHECKSUMS", TOK_CHECKSUMS, ALWAYS},
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
    {"algorithm", TOK_ALGORITHM, CHECKSUMS},
    {"at", TOK_AT, CHECKSUMS},
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
    {"order", TOK_ORDER, CHECKSUMS},
    {"org", TOK_ORIGIN, BLOCKS},
    {"origin", TOK_ORIGIN, BLOCKS},
    {"paddr", TOK_PADDR, BLOCKS},
    {"page", TOK_PAGE, BLOCKS},
    {"romwidth", TOK_WIDTH, BLOCKS},
    {"w", TOK_WIDTH, BLOCKS},
    {"width", TOK_WIDTH, BLOCKS},
};
constexpr size_t KEYWORD_COUNT = sizeof KEYWORDS / sizeof KEYWORDS[0];
static_assert(KEYWORD_COUNT == 40);

constexpr bool keywords_sorted() {
    for (size_t i = 1; i < KEYWORD_COUNT; ++i) {
        if (!(std::string_view(KEYWORDS[i - 1].text) < std::string_view(KEYWORDS[i].text)))
            return false;
    }
    return true;
}
static_assert(keywords_sorted(), "keyword table must be in byte order");

}  // namespace

// Token of the keyword `text` when it is active in the current context,
// else 0.
int Lexer::find_keyword(std::string_view text) const {
    size_t low = 0;
    size_t high = KEYWORD_COUNT;
    while (low < high) {
        const size_t mid = low + (high - low) / 2;
        // char_traits<char> compares bytes as unsigned, like memcmp.
        const int order = text.compare(KEYWORDS[mid].text);
        if (order == 0) {
            const Keyword& row = KEYWORDS[mid];
            // A CHECKSUMS block knows, of the other blocks' keywords, only
            // those of its own attributes; the rest are names there.
            const bool field_attribute =
                row.token == TOK_ORIGIN || row.token == TOK_LENGTH || row.token == TOK_PAGE;
            const bool active =
                row.active == ALWAYS ||
                (row.active == BLOCKS && context_ == Context::Blocks) ||
                (row.active == BLOCKS && context_ == Context::Checksums && field_attribute) ||
                (row.active == CHECKSUMS && context_ == Context::Checksums);
            return active ? row.token : 0;
        }
        if (order < 0) high = mid;
        else low = mid + 1;
    }
    return 0;
}

// ---------------------------------------------------------------- pool

const char* Lexer::pool_store(const char* text, size_t length) {
    char* copy;
    if (length + 1 > POOL_BLOCK) {
        // Only a command-line value can be longer than a block: it gets a
        // block of its own, and the next text starts a fresh one.
        pool_blocks_.push_back(std::make_unique<char[]>(length + 1));
        copy = pool_blocks_.back().get();
        pool_used_ = POOL_BLOCK;
    } else {
        if (length + 1 > POOL_BLOCK - pool_used_) {
            pool_blocks_.push_back(std::make_unique<char[]>(POOL_BLOCK));
            pool_used_ = 0;
        }
        copy = pool_blocks_.back().get() + pool_used_;
        pool_used_ += length + 1;
    }
    std::memcpy(copy, text, length);
    copy[length] = '\0';
    return copy;
}

// ---------------------------------------------------------------- characters

bool Lexer::is_name_char(unsigned char c) const {
    if (c >= 128) return false;
    if (c == ':') return context_ == Context::Off;
    return NAME_CHARS.table[c];
}

namespace {

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

bool ends_word(unsigned char c) {
    return c == '\0' || c == ' ' || c == '\t' || c == '\f' || c == '\n' || c == '\r';
}

}  // namespace

// ---------------------------------------------------------------- lines

// Reads the next line, whatever its length, into the line buffer. False at
// the end of input; the buffer then keeps the last line, so a position
// display at the end of the file shows where the file ended.
bool Lexer::read_line() {
    if (input_ended_ || input_ == nullptr) {
        input_ended_ = true;
        return false;
    }
    int c = std::getc(input_);
    if (c == EOF) {
        input_ended_ = true;
        return false;
    }
    std::string& line = file_line_;
    line.clear();
    for (; c != EOF; c = std::getc(input_)) {
        line.push_back(static_cast<char>(c));
        if (c == '\n') break;
    }
    // A carriage return right before the line feed belongs to the line end
    // (a file written with CR LF line ends): it is dropped, so such a file
    // reads exactly as one with LF line ends, on every system.
    const size_t length = line.size();
    if (length >= 2 && line[length - 2] == '\r' && line[length - 1] == '\n') line.erase(length - 2, 1);
    // Room after the terminator: the scanner looks one or two characters
    // ahead of a character that is not the terminator, never past it.
    line.append(2, '\0');
    line_ = line.data();
    cursor_ = 0;
    // Counted modulo 2^32 so that even an absurdly long file keeps changing
    // the line number from one line to the next.
    line_count_ = static_cast<int32_t>(static_cast<uint32_t>(line_count_) + 1u);
    diag_.set_line(line_count_);
    return true;
}

// Skips blanks and comments, reading further lines as needed. False at the
// end of input (also inside an open comment).
bool Lexer::skip_blanks_and_comments() {
    bool in_comment = false;
    for (;;) {
        const unsigned char c = at(cursor_);
        if (ends_line(c)) {
            if (!read_line()) return false;
            continue;
        }
        if (in_comment) {
            if (c == '*' && at(cursor_ + 1) == '/') {
                in_comment = false;
                cursor_ += 2;
            } else {
                ++cursor_;
            }
            continue;
        }
        if (c == ' ') {
            ++cursor_;
        } else if (c == '\t' || c == '\f') {
            // Blanked out so that show_position() lines up.
            line_[cursor_] = ' ';
            ++cursor_;
        } else if (c == '/' && at(cursor_ + 1) == '*') {
            in_comment = true;
            cursor_ += 2;
        } else {
            return true;
        }
    }
}

// ---------------------------------------------------------------- tokens

int Lexer::name_or_keyword(const char* text, size_t length) {
    const std::string_view view(text, length);
    if (const int keyword = find_keyword(view); keyword != 0) return keyword;
    char lower[32];  // longer than any keyword
    if (context_ == Context::Checksums && length <= sizeof lower) {
        // Keywords are matched in any case inside a CHECKSUMS block.
        for (size_t i = 0; i < length; ++i)
            lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
        if (const int keyword = find_keyword(std::string_view(lower, length)); keyword != 0)
            return keyword;
    }
    token_text_ = pool_store(text, length);
    return TOK_NAME;
}

namespace {

// value * base + digit, noting in `fits` when the result leaves 32 bits
// (the value itself wraps, as unsigned 32-bit arithmetic does).
uint32_t add_digit(uint32_t value, unsigned base, uint32_t digit, bool& fits) {
    if (value > (UINT32_MAX - digit) / base) fits = false;
    return value * base + digit;
}

}  // namespace

int Lexer::read_number() {
    const size_t start = cursor_;
    size_t p = cursor_;
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
    bool fits = true;
    if (base == 16) {
        for (size_t i = p; i < run_end; ++i) value = add_digit(value, 16u, hex_value(at(i)), fits);
        cursor_ = run_end;
    } else {
        const unsigned char suffix = at(run_end);
        bool all_octal = true;
        for (size_t i = p; i < run_end; ++i) all_octal = all_octal && is_octal(at(i));
        if (suffix == 'H' || suffix == 'h') {
            for (size_t i = p; i < run_end; ++i) value = add_digit(value, 16u, hex_value(at(i)), fits);
            cursor_ = run_end + 1;
        } else if ((suffix == 'Q' || suffix == 'q') && all_octal) {
            for (size_t i = p; i < run_end; ++i) value = add_digit(value, 8u, at(i) - '0', fits);
            cursor_ = run_end + 1;
        } else {
            // Only the digits of the base count; the rest of the run begins
            // the next token.
            size_t i = p;
            while (base == 10 ? is_digit(at(i)) : is_octal(at(i))) {
                value = add_digit(value, base, at(i) - '0', fits);
                ++i;
            }
            cursor_ = i;
        }
    }
    // A number that does not fit in 32 bits would stand for another
    // address or value than the one written: it is refused, quoted as
    // written, and the conversion does not take place.
    if (!fits)
        diag_.report(ERROR, "number '%.*s' does not fit in 32 bits", static_cast<int>(cursor_ - start),
                     line_ + start);
    token_number_ = value;
    token_number_fits_ = fits;
    return TOK_NUMBER;
}

int Lexer::read_name() {
    const size_t start = cursor_;
    size_t p = start;
    for (;;) {
        const unsigned char c = at(p);
        if (!is_name_char(c)) break;
        // A ':' or '/' not followed by a name character is not part of it.
        if ((c == ':' || c == '/') && !is_name_char(at(p + 1))) break;
        ++p;
    }
    cursor_ = p;
    return name_or_keyword(line_ + start, p - start);
}

int Lexer::read_quoted() {
    const size_t start = cursor_ + 1;
    size_t p = start;
    while (at(p) != '\0' && at(p) != '"' && at(p) != '\n' && at(p) != '\f') ++p;
    cursor_ = at(p) == '"' ? p + 1 : p;
    return name_or_keyword(line_ + start, p - start);
}

// Recognises one token at the cursor. -1 for an illegal character, which is
// reported and stepped over (but never the terminator of the buffer).
int Lexer::recognise_token() {
    const unsigned char c = at(cursor_);
    if (is_digit(c)) return read_number();
    if (is_name_char(c)) {
        const bool lone = (c == '.' || c == '/' || c == ':') && !is_name_char(at(cursor_ + 1));
        if (!lone) return read_name();
    } else if (c == '"') {
        return read_quoted();
    }
    switch (c) {
    case '(': case ')': case ',': case '-': case ':': case '=': case '{': case '}':
        ++cursor_;
        return c;
    default:
        break;
    }
    diag_.report(ERROR, "illegal input character: 0x%02X", static_cast<unsigned>(c));
    if (c != '\0') ++cursor_;
    return -1;
}

Lexer::Lexer(Diagnostics& diag) : diag_(diag), pool_used_(POOL_BLOCK) {}

void Lexer::start(FILE* input) {
    context_ = Context::Off;
    file_line_.assign(1, '\0');
    line_ = file_line_.data();
    cursor_ = 0;
    line_count_ = 0;
    diag_.set_line(0);
    input_ = input;
    input_ended_ = false;
}

int Lexer::next_token() {
    for (;;) {
        if (!skip_blanks_and_comments()) return TOK_END;
        const int code = recognise_token();
        if (code >= 0) return code;
    }
}

int Lexer::next_word() {
    if (!skip_blanks_and_comments()) return 0;
    const size_t start = cursor_;
    size_t p = start;
    while (!ends_word(at(p))) ++p;
    cursor_ = p;
    token_text_ = pool_store(line_ + start, p - start);
    return 1;
}

int Lexer::read_value(const char* text, bool as_token) {
    value_line_.assign(text != nullptr ? text : "");
    line_ = value_line_.data();
    cursor_ = 0;
    context_ = Context::Off;
    line_count_ = 0;
    // The copy is the whole input: its end is the end of input.
    input_ended_ = true;
    if (!as_token) return next_word();
    const int code = recognise_token();
    return code < 0 ? 0 : code;
}

void Lexer::show_position() {
    FILE* out = diag_.out();
    for (size_t i = 0; i < cursor_; ++i) std::fputc(line_[i] == '\t' ? ' ' : line_[i], out);
    std::fputc('\n', out);
    for (size_t i = 0; i < cursor_; ++i) std::fputc(' ', out);
    std::fputs("^\n", out);
}

}  // namespace coffhex
