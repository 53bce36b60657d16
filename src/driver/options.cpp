// The option parser: one parser for the command line and command files.
#include "driver/options.h"

#include <cctype>
#include <cstring>

#include "cmdfile/lexer.h"
#include "diag/diag.h"
#include "driver/banner.h"
#include "driver/run.h"

namespace coffhex {

namespace {

ConverterOptions g_options;

// Messages print option values with "%ld" as the target toolchain's 32-bit
// long would show them.
long as_long(uint32_t value) { return static_cast<long>(static_cast<int32_t>(value)); }

// Fetches an option's value as one token: from the command file, or from the
// next command-line argument. Returns the token code (0 for no value).
int take_number(bool from_command_file) {
    if (from_command_file) return next_token();
    const char* argument = take_next_argument();
    if (argument == nullptr) return TOK_END;
    return lex_text(argument, true);
}

// Fetches an option's value as one raw word; true when a word was found.
bool take_name(bool from_command_file) {
    if (from_command_file) return next_word() != 0;
    const char* argument = take_next_argument();
    if (argument == nullptr) return false;
    return lex_text(argument, false) != 0;
}

bool take_number_or_warn(const char* option_text, bool from_command_file) {
    if (take_number(from_command_file) == TOK_NUMBER) return true;
    report(WARNING, "invalid value for -%s option (ignored)", option_text);
    return false;
}

// The map file is only named here; the driver opens it once every input
// is known, so that it can refuse a map file that would overwrite an input.
void set_map_file(const char* name) { g_options.map_file_name = name; }

// Options of one letter. Returns false when the letter is not one of them.
bool parse_letter_option(char letter, const char* text, bool from_command_file) {
    ConverterOptions& o = g_options;
    switch (letter) {
    case 'a': o.format = FMT_ASCII_HEX; return true;
    case 'b':
        o.format = FMT_BINARY;
        o.rom_width = 1;
        o.mem_width = 1;
        return true;
    case 'e': {
        int kind = take_number(from_command_file);
        if (kind == TOK_NUMBER) {
            o.entry_point = token_number();
            o.entry_symbol.reset();
        } else if (kind == TOK_NAME) {
            o.entry_symbol = std::string(token_text());
            o.entry_point = ALL_ONES;
        } else {
            report(WARNING, "invalid value for -%s option (ignored)", text);
        }
        return true;
    }
    case 'h': print_usage(true);
    case 'i': o.format = FMT_INTEL; return true;
    case 'm': o.format = FMT_MOTOROLA; return true;
    case 'o':
        if (take_name(from_command_file))
            o.output_names.emplace_back(token_text());
        else
            report(WARNING, "no name on -o (ignored)");
        return true;
    case 'q': o.quiet = 1; return true;
    case 't': o.format = FMT_TAGGED; return true;
    case 'x': o.format = FMT_TEKTRONIX; return true;
    default: return false;
    }
}

// Options matched by their whole lower-case text. Returns false when none
// matched.
bool parse_word_option(const std::string& lower, const char* text, bool from_command_file) {
    ConverterOptions& o = g_options;
    if (lower == "qq") {
        o.quiet = 2;
    } else if (lower == "-toolversion") {
        show_tool_version();
    } else if (lower == "m1" || lower == "m2" || lower == "m3") {
        o.format = FMT_MOTOROLA_S1 + (lower[1] - '1');
    } else if (lower == "image") {
        o.image = true;
    } else if (lower == "linkerfill") {
        o.linker_fill = true;
    } else if (lower == "zero" || lower == "z") {
        o.zero_based = true;
    } else if (lower == "byte") {
        o.byte_addressing = true;
    } else if (lower == "boot") {
        o.boot_all = true;
    } else if (lower == "exclude") {
        if (take_name(from_command_file))
            add_exclude(token_text());
        else
            report(WARNING, "exclude section not specified");
    } else if (lower == "bootsection") {
        if (take_name(from_command_file)) {
            o.boot_section_name = std::string(token_text());
            if (take_number_or_warn(text, from_command_file)) o.boot_section_address = token_number();
        }
    } else if (lower == "fill" || lower == "f") {
        if (take_number_or_warn(text, from_command_file)) o.fill_value = token_number();
    } else if (lower == "romwidth") {
        o.rom_width_given = true;
        o.rom_width = 1;
        if (take_number_or_warn(text, from_command_file)) {
            uint32_t n = token_number();
            if (n % 8 != 0)
                report(WARNING, "illegal romwidth of %ld, using romwidth=8", as_long(n));
            else
                o.rom_width = static_cast<int32_t>(n / 8);
        }
    } else if (lower == "memwidth") {
        o.mem_width = 4;
        if (take_number_or_warn(text, from_command_file)) {
            uint32_t n = token_number();
            if (n > static_cast<uint32_t>(TARGET_WIDTH_BITS))
                report(WARNING, "memwidth(%ld) is greater than target width(%d)", as_long(n),
                       TARGET_WIDTH_BITS);
            if (n % 8 != 0)
                report(WARNING, "illegal memwidth of %ld, using memwidth=%d", as_long(n),
                       TARGET_WIDTH_BITS);
            else
                o.mem_width = static_cast<int32_t>(n / 8);
        }
    } else if (lower == "datawidth") {
        o.data_width = 1;
        if (take_number_or_warn(text, from_command_file)) {
            uint32_t n = token_number();
            // A data width of 0 has no byte groups to order; it is refused
            // like any other width that is not whole bytes.
            if (n % 8 != 0 || n == 0)
                report(WARNING, "illegal datawidth of %ld, using datawidth=%d", as_long(n), 8);
            else
                o.data_width = static_cast<int32_t>(n / 8);
        }
    } else if (lower == "olength") {
        if (take_number_or_warn(text, from_command_file)) {
            o.olength = static_cast<int32_t>(token_number());
            if (o.olength < 1) {
                report(WARNING, "illegal value %ld for -olength, using 1", static_cast<long>(o.olength));
                o.olength = 1;
            }
        }
    } else if (lower == "order") {
        bool done = false;
        if (take_name(from_command_file)) {
            char first = token_text()[0];
            if (first == 'M' || first == 'm') {
                o.order = ORDER_MS;
                done = true;
            } else if (first == 'L' || first == 'l') {
                o.order = ORDER_LS;
                done = true;
            }
        }
        if (!done) report(ERROR, "invalid -order option: specify MS or LS");
    } else if (lower == "bootorg") {
        int kind = take_number(from_command_file);
        if (kind == TOK_NUMBER)
            o.boot_org = token_number();
        else if (kind == TOK_NAME)
            report(WARNING, "illegal -bootorg value (ignored)");
        else
            report(WARNING, "illegal value on -bootorg (ignored)");
    } else if (lower.size() >= 10 && lower.compare(0, 9, "bootstrap") == 0 && lower[9] == '=') {
        o.bootstrap_section = std::string(text + 10);
    } else if (lower == "map") {
        if (take_name(from_command_file))
            set_map_file(token_text());
        else
            report(WARNING, "no name on -map (ignored)");
    } else if (lower == "bootpage") {
        if (take_number_or_warn(text, from_command_file))
            o.boot_page = static_cast<int32_t>(token_number());
    } else {
        return false;
    }
    return true;
}

// Options typed with two dashes ("--b", "--help", ...).
bool parse_dash_option(const std::string& lower) {
    ConverterOptions& o = g_options;
    if (lower == "-help") print_usage(true);
    switch (lower.size() > 1 ? lower[1] : '\0') {
    case 'b':
        o.format = FMT_GENERIC;
        if (!o.rom_width_given) o.rom_width = 1;
        return true;
    case 'w':
        o.format = FMT_GENERIC;
        if (!o.rom_width_given) o.rom_width = 2;
        return true;
    case 'd': o.format = FMT_DEBUG; return true;
    case 's': ++o.symbol_trace; return true;
    case 'v': ++o.trace_level; return true;
    default: return false;
    }
}

}  // namespace

ConverterOptions& options() { return g_options; }

void reset_option_values() {
    if (g_options.map_file != nullptr) std::fclose(g_options.map_file);
    g_options = ConverterOptions{};
}

void parse_option(const char* text, bool from_command_file) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));

    if (lower.size() == 1 && parse_letter_option(lower[0], text, from_command_file)) return;
    if (parse_word_option(lower, text, from_command_file)) return;
    if (!lower.empty() && lower[0] == '-' && parse_dash_option(lower)) return;
    report(WARNING, "invalid option: -%s", text);
}

void add_exclude(const char* pattern) {
    size_t length = std::strlen(pattern);
    if (length == 0) {
        report(WARNING, "-exclude section name not provided");
        return;
    }
    const char* first = std::strchr(pattern, '*');
    const char* last = std::strrchr(pattern, '*');
    ExcludePattern entry;
    if (first == nullptr) {
        entry.text = pattern;
        entry.kind = ExcludePattern::Exact;
    } else if (first != last || length == 1) {
        report(WARNING, "-exclude section wildcard invalid (%s)", pattern);
        return;
    } else if (first == pattern) {
        entry.text = pattern + 1;
        entry.kind = ExcludePattern::Suffix;
    } else if (first == pattern + length - 1) {
        entry.text.assign(pattern, length - 1);
        entry.kind = ExcludePattern::Prefix;
    } else {
        report(WARNING, "-exclude section wildcard invalid (%s)", pattern);
        return;
    }
    g_options.exclude_patterns.push_back(std::move(entry));
}

bool is_excluded(const char* section_name) {
    std::string_view name(section_name);
    for (const ExcludePattern& p : g_options.exclude_patterns) {
        switch (p.kind) {
        case ExcludePattern::Exact:
            if (name == p.text) return true;
            break;
        case ExcludePattern::Prefix:
            if (name.size() >= p.text.size() && name.compare(0, p.text.size(), p.text) == 0) return true;
            break;
        case ExcludePattern::Suffix:
            if (name.size() >= p.text.size() &&
                name.compare(name.size() - p.text.size(), p.text.size(), p.text) == 0)
                return true;
            break;
        }
    }
    return false;
}

}  // namespace coffhex
