// The option parser: one parser for the command line and command files.
#include "driver/options.h"

#include <cctype>
#include <cstring>

#include "cmdfile/lexer.h"
#include "diag/common.h"
#include "diag/diag.h"
#include "driver/banner.h"

namespace coffhex {

namespace {

// Messages print option values with "%ld" as the target toolchain's 32-bit
// long would show them.
long as_long(uint32_t value) { return static_cast<long>(static_cast<int32_t>(value)); }

}  // namespace

// Fetches an option's value as one token: from the command file, or from the
// next command-line argument. Returns the token code (0 for no value).
int OptionParser::take_number(ArgumentCursor* cursor) {
    if (cursor == nullptr) return lexer_.next_token();
    const char* argument = cursor->take_next();
    if (argument == nullptr) return TOK_END;
    return lexer_.read_value(argument, true);
}

// Fetches an option's value as one raw word; true when a word was found.
bool OptionParser::take_name(ArgumentCursor* cursor) {
    if (cursor == nullptr) return lexer_.next_word() != 0;
    const char* argument = cursor->take_next();
    if (argument == nullptr) return false;
    return lexer_.read_value(argument, false) != 0;
}

bool OptionParser::take_number_or_warn(const char* option_text, ArgumentCursor* cursor) {
    // A number that does not fit in 32 bits has had its ERROR: the option
    // is left as it stands.
    if (take_number(cursor) == TOK_NUMBER) return lexer_.token_number_fits();
    diag_.report(WARNING, "invalid value for -%s option (ignored)", option_text);
    return false;
}

// Options of one letter. Returns false when the letter is not one of them.
bool OptionParser::parse_letter_option(char letter, const char* text, ArgumentCursor* cursor) {
    Settings& o = settings_;
    switch (letter) {
    case 'a': o.format = Format::AsciiHex; return true;
    case 'b':
        o.format = Format::Binary;
        o.rom_width = 1;
        o.mem_width = 1;
        return true;
    case 'e': {
        int kind = take_number(cursor);
        if (kind == TOK_NUMBER) {
            if (!lexer_.token_number_fits()) return true;
            o.entry_point = lexer_.token_number();
            o.entry_symbol.reset();
        } else if (kind == TOK_NAME) {
            o.entry_symbol = std::string(lexer_.token_text());
            o.entry_point = ALL_ONES;
        } else {
            diag_.report(WARNING, "invalid value for -%s option (ignored)", text);
        }
        return true;
    }
    case 'h': print_usage(true, program_name_, diag_);
    case 'i': o.format = Format::Intel; return true;
    case 'm': o.format = Format::Motorola; return true;
    case 'o':
        if (take_name(cursor))
            o.output_names.emplace_back(lexer_.token_text());
        else
            diag_.report(WARNING, "no name on -o (ignored)");
        return true;
    case 'q':
        o.quiet = 1;
        diag_.set_quiet(o.quiet);
        return true;
    case 't': o.format = Format::Tagged; return true;
    case 'x': o.format = Format::Tektronix; return true;
    default: return false;
    }
}

// Options matched by their whole lower-case text. Returns false when none
// matched.
bool OptionParser::parse_word_option(const std::string& lower, const char* text,
                                     ArgumentCursor* cursor) {
    return parse_switch_option(lower) || parse_width_option(lower, text, cursor) ||
           parse_boot_option(lower, text, cursor) || parse_valued_option(lower, text, cursor);
}

// Options that take no value: they set a switch, choose a format or print
// a text. Returns false when none matched.
bool OptionParser::parse_switch_option(const std::string& lower) {
    Settings& o = settings_;
    if (lower == "qq") {
        o.quiet = 2;
        diag_.set_quiet(o.quiet);
    } else if (lower == "-toolversion") {
        show_tool_version(diag_);
    } else if (lower == "-version") {
        // Before the two-dash letters, which would read it as --v.
        show_version(diag_);
    } else if (lower == "m1" || lower == "m2" || lower == "m3") {
        o.format = static_cast<Format>(static_cast<int>(Format::MotorolaS1) + (lower[1] - '1'));
    } else if (lower == "image") {
        o.image = true;
    } else if (lower == "linkerfill") {
        o.linker_fill = true;
    } else if (lower == "zero" || lower == "z") {
        o.zero_based = true;
    } else if (lower == "byte") {
        o.byte_addressing = true;
    } else if (lower == "checksum") {
        o.checksum = true;
    } else if (lower == "boot") {
        o.boot_all = true;
    } else {
        return false;
    }
    return true;
}

// -romwidth, -memwidth and -datawidth: a width in bits. Returns false when
// none matched.
bool OptionParser::parse_width_option(const std::string& lower, const char* text,
                                      ArgumentCursor* cursor) {
    if (lower == "romwidth")
        parse_rom_width(text, cursor);
    else if (lower == "memwidth")
        parse_mem_width(text, cursor);
    else if (lower == "datawidth")
        parse_data_width(text, cursor);
    else
        return false;
    return true;
}

void OptionParser::parse_rom_width(const char* text, ArgumentCursor* cursor) {
    Settings& o = settings_;
    o.rom_width_given = true;
    o.rom_width = 1;
    if (!take_number_or_warn(text, cursor)) return;
    uint32_t n = lexer_.token_number();
    if (n % 8 != 0)
        diag_.report(WARNING, "illegal romwidth of %ld, using romwidth=8", as_long(n));
    else
        o.rom_width = static_cast<int32_t>(n / 8);
}

void OptionParser::parse_mem_width(const char* text, ArgumentCursor* cursor) {
    Settings& o = settings_;
    o.mem_width = 4;
    if (!take_number_or_warn(text, cursor)) return;
    uint32_t n = lexer_.token_number();
    if (n > static_cast<uint32_t>(TARGET_WIDTH_BITS))
        diag_.report(WARNING, "memwidth(%ld) is greater than target width(%d)", as_long(n),
               TARGET_WIDTH_BITS);
    if (n % 8 != 0)
        diag_.report(WARNING, "illegal memwidth of %ld, using memwidth=%d", as_long(n),
               TARGET_WIDTH_BITS);
    else
        o.mem_width = static_cast<int32_t>(n / 8);
}

void OptionParser::parse_data_width(const char* text, ArgumentCursor* cursor) {
    Settings& o = settings_;
    o.data_width = 1;
    if (!take_number_or_warn(text, cursor)) return;
    uint32_t n = lexer_.token_number();
    // A data width of 0 has no byte groups to order; it is refused like any
    // other width that is not whole bytes.
    if (n % 8 != 0 || n == 0)
        diag_.report(WARNING, "illegal datawidth of %ld, using datawidth=%d", as_long(n), 8);
    else
        o.data_width = static_cast<int32_t>(n / 8);
}

// The options of the boot table: -bootsection, -bootorg, -bootstrap= and
// -bootpage (-boot takes no value). Returns false when none matched.
bool OptionParser::parse_boot_option(const std::string& lower, const char* text,
                                     ArgumentCursor* cursor) {
    Settings& o = settings_;
    if (lower == "bootsection") {
        if (take_name(cursor)) {
            o.boot_section_name = std::string(lexer_.token_text());
            if (take_number_or_warn(text, cursor)) o.boot_section_address = lexer_.token_number();
        }
    } else if (lower == "bootorg") {
        parse_boot_org(cursor);
    } else if (lower.size() >= 10 && lower.compare(0, 9, "bootstrap") == 0 && lower[9] == '=') {
        o.bootstrap_section = std::string(text + 10);
    } else if (lower == "bootpage") {
        if (take_number_or_warn(text, cursor))
            o.boot_page = static_cast<int32_t>(lexer_.token_number());
    } else {
        return false;
    }
    return true;
}

void OptionParser::parse_boot_org(ArgumentCursor* cursor) {
    int kind = take_number(cursor);
    if (kind == TOK_NUMBER) {
        if (lexer_.token_number_fits()) settings_.boot_org = lexer_.token_number();
    } else if (kind == TOK_NAME) {
        diag_.report(WARNING, "illegal -bootorg value (ignored)");
    } else {
        diag_.report(WARNING, "illegal value on -bootorg (ignored)");
    }
}

// The other options that take a value: -exclude, -fill, -olength, -order
// and -map. Returns false when none matched.
bool OptionParser::parse_valued_option(const std::string& lower, const char* text,
                                       ArgumentCursor* cursor) {
    Settings& o = settings_;
    if (lower == "exclude") {
        if (take_name(cursor))
            add_exclude(lexer_.token_text());
        else
            diag_.report(WARNING, "exclude section not specified");
    } else if (lower == "fill" || lower == "f") {
        if (take_number_or_warn(text, cursor)) o.fill_value = lexer_.token_number();
    } else if (lower == "olength") {
        parse_olength(text, cursor);
    } else if (lower == "order") {
        parse_order(cursor);
    } else if (lower == "map") {
        if (take_name(cursor))
            o.map_file_name = lexer_.token_text();
        else
            diag_.report(WARNING, "no name on -map (ignored)");
    } else {
        return false;
    }
    return true;
}

void OptionParser::parse_olength(const char* text, ArgumentCursor* cursor) {
    Settings& o = settings_;
    if (!take_number_or_warn(text, cursor)) return;
    o.olength = static_cast<int32_t>(lexer_.token_number());
    if (o.olength < 1) {
        diag_.report(WARNING, "illegal value %ld for -olength, using 1", static_cast<long>(o.olength));
        o.olength = 1;
    }
}

void OptionParser::parse_order(ArgumentCursor* cursor) {
    if (take_name(cursor)) {
        char first = lexer_.token_text()[0];
        if (first == 'M' || first == 'm') {
            settings_.order = ORDER_MS;
            return;
        }
        if (first == 'L' || first == 'l') {
            settings_.order = ORDER_LS;
            return;
        }
    }
    diag_.report(ERROR, "invalid -order option: specify MS or LS");
}

// Options typed with two dashes ("--b", "--help", ...).
bool OptionParser::parse_dash_option(const std::string& lower) {
    Settings& o = settings_;
    if (lower == "-help") print_usage(true, program_name_, diag_);
    switch (lower.size() > 1 ? lower[1] : '\0') {
    case 'b':
        o.format = Format::Generic;
        if (!o.rom_width_given) o.rom_width = 1;
        return true;
    case 'w':
        o.format = Format::Generic;
        if (!o.rom_width_given) o.rom_width = 2;
        return true;
    case 'd': o.format = Format::Debug; return true;
    case 's': ++o.symbol_trace; return true;
    case 'v': ++o.trace_level; return true;
    default: return false;
    }
}

void OptionParser::parse_option(const char* text, ArgumentCursor* cursor) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));

    if (lower.size() == 1 && parse_letter_option(lower[0], text, cursor)) return;
    if (parse_word_option(lower, text, cursor)) return;
    if (!lower.empty() && lower[0] == '-' && parse_dash_option(lower)) return;
    diag_.report(WARNING, "invalid option: -%s", text);
}

void OptionParser::add_exclude(const char* pattern) {
    size_t length = std::strlen(pattern);
    if (length == 0) {
        diag_.report(WARNING, "-exclude section name not provided");
        return;
    }
    const char* first = std::strchr(pattern, '*');
    const char* last = std::strrchr(pattern, '*');
    ExcludePattern entry;
    if (first == nullptr) {
        entry.text = pattern;
        entry.kind = ExcludePattern::Exact;
    } else if (first != last || length == 1) {
        diag_.report(WARNING, "-exclude section wildcard invalid (%s)", pattern);
        return;
    } else if (first == pattern) {
        entry.text = pattern + 1;
        entry.kind = ExcludePattern::Suffix;
    } else if (first == pattern + length - 1) {
        entry.text.assign(pattern, length - 1);
        entry.kind = ExcludePattern::Prefix;
    } else {
        diag_.report(WARNING, "-exclude section wildcard invalid (%s)", pattern);
        return;
    }
    settings_.exclude_patterns.push_back(std::move(entry));
}

}  // namespace coffhex
