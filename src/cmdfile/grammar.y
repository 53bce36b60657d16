/* Grammar of hex command files.
 *
 * Every action runs when its production is reduced; nothing is built. Two
 * properties of the generated tables matter:
 *
 * - Default reductions are taken only in consistent states (states whose
 *   only possible action is one reduction). Such a state reduces without
 *   fetching a look-ahead token, so the option, input-name and keyword
 *   actions (which read from the lexer themselves, or switch its keyword
 *   context) run before the next token is read.
 * - The states that shift `error` (the top-level entry list, the range list
 *   and the section list) have shifts, so they never take a default
 *   reduction: an unexpected token is detected there and recovery starts
 *   there instead of reducing towards the start symbol.
 */

%code top {
#include <cstdint>
#include <string>

#include "cmdfile/lexer.h"
#include "cmdfile/parser.h"
#include "cmdfile/roms.h"
#include "cmdfile/sections.h"
#include "diag/diag.h"
#include "driver/options.h"
#include "driver/run.h"

/* The parse stack starts with room for 200 states and doubles up to 10000;
   a parse that needs more is abandoned (result 2). */
#define YYINITDEPTH 200
#define YYMAXDEPTH 10000

#include <cstdlib>

/* A grown parse stack lives on the heap. Only one block is in use at a
   time; it is remembered so that it can be released when an action ends
   the run with an exception in the middle of a parse. */
static void* g_parse_stack = nullptr;

static void* parse_stack_alloc(size_t size) {
    g_parse_stack = std::malloc(size);
    return g_parse_stack;
}

static void parse_stack_free(void* block) {
    if (block == g_parse_stack) g_parse_stack = nullptr;
    std::free(block);
}

#define YYMALLOC parse_stack_alloc
#define YYFREE parse_stack_free
}

%define api.pure full
%define api.prefix {cmdfile_}
%define api.token.prefix {T_}
%define lr.default-reduction consistent
%define parse.error simple

%union {
    uint32_t number;
    const char* text;
}

%code {
namespace {

void default_option(const char* text) { coffhex::parse_option(text, true); }
void default_set_page(int32_t page) { coffhex::set_current_page(page); }

const coffhex::CommandActions DEFAULT_ACTIONS = {
    default_option,
    coffhex::classify_input,
    coffhex::begin_roms,
    default_set_page,
    coffhex::new_range,
    coffhex::set_origin,
    coffhex::set_length,
    coffhex::set_romwidth,
    coffhex::set_memwidth,
    coffhex::set_fill,
    coffhex::add_output_file,
    coffhex::finish_range,
    coffhex::begin_sections,
    coffhex::new_section_spec,
    coffhex::set_boot,
    coffhex::set_paddr,
    coffhex::set_datawidth,
    coffhex::append_section_spec,
    coffhex::keywords_on,
    coffhex::keywords_off,
};

const coffhex::CommandActions* g_actions = &DEFAULT_ACTIONS;

}  // namespace

/* Token source: the lexer's codes turned into the parser's token kinds. */
static int yylex(CMDFILE_STYPE* value) {
    const int code = coffhex::next_token();
    switch (code) {
    case coffhex::TOK_END: return 0;
    case coffhex::TOK_NAME: value->text = coffhex::token_text(); return T_NAME;
    case coffhex::TOK_NUMBER: value->number = coffhex::token_number(); return T_NUMBER;
    case coffhex::TOK_PAGE: return T_PAGE;
    case coffhex::TOK_LENGTH: return T_LENGTH;
    case coffhex::TOK_ORIGIN: return T_ORIGIN;
    case coffhex::TOK_SECTIONS: return T_SECTIONS;
    case coffhex::TOK_FILL: return T_FILL;
    case coffhex::TOK_ROMS: return T_ROMS;
    case coffhex::TOK_FILES: return T_FILES;
    case coffhex::TOK_WIDTH: return T_WIDTH;
    case coffhex::TOK_BOOT: return T_BOOT;
    case coffhex::TOK_DATAWIDTH: return T_DATAWIDTH;
    case coffhex::TOK_PADDR: return T_PADDR;
    case coffhex::TOK_MEMWIDTH: return T_MEMWIDTH;
    default: return code;  /* one of the eight single characters */
    }
}

/* Both a syntax error and a parse stack overflow are shown the same way;
   the generated message text is not used. */
static void yyerror(const char*) {
    coffhex::show_position();
    coffhex::report(coffhex::ERROR, "syntax error");
}
}

%token <text> NAME
%token <number> NUMBER
%token PAGE LENGTH ORIGIN SECTIONS FILL ROMS FILES WIDTH BOOT DATAWIDTH PADDR MEMWIDTH

%type <number> value

%start command_file

%%

command_file
    : entry_list
    ;

entry_list
    : entry_list entry
    | %empty
    ;

entry
    : option
    | input_name
    | roms_directive
    | sections_directive
    | error
        {
            /* Skip the rest of the offending token's line. No token has been
               read since the offending one (it is still the look-ahead, or
               it was discarded), so the line counter names its line. */
            const int line = coffhex::lex_line_number();
            if (yychar == T_CMDFILE_EMPTY) yychar = yylex(&yylval);
            while (yychar > 0 && coffhex::lex_line_number() == line) yychar = yylex(&yylval);
            /* The first token of the next line is now the look-ahead. */
            yyerrok;
        }
    ;

option
    : '-' NAME              { g_actions->option($2); }
    | '-' '-' NAME
        {
            const std::string text = std::string("-") + $3;
            g_actions->option(text.c_str());
        }
    ;

input_name
    : NAME                  { g_actions->input_name($1); }
    ;

/* ---------------------------------------------------------------- ROMS */

roms_directive
    : roms_keyword '{' range_list '}'   { g_actions->keywords_off(); }
    ;

roms_keyword
    : ROMS                  { g_actions->begin_roms(); }
    ;

range_list
    : range_item
    | range_list range_item
    ;

range_item
    : range_name colon_opt range_attributes   { g_actions->finish_range(); }
    | PAGE NUMBER ':'       { g_actions->set_page(static_cast<int32_t>($2)); }
    | error
    ;

range_name
    : NAME                  { g_actions->new_range($1); }
    ;

range_attributes
    : range_attribute
    | range_attributes comma_opt range_attribute
    ;

range_attribute
    : origin_attribute
    | length_attribute
    | width_attribute
    | fill_attribute
    | files_attribute
    | memwidth_attribute
    ;

origin_attribute
    : ORIGIN equals_opt value     { g_actions->set_origin($3); }
    ;

length_attribute
    : LENGTH equals_opt value     { g_actions->set_length($3); }
    ;

width_attribute
    : WIDTH equals_opt value      { g_actions->set_romwidth($3); }
    ;

memwidth_attribute
    : MEMWIDTH equals_opt value   { g_actions->set_memwidth($3); }
    ;

fill_attribute
    : FILL equals_opt value       { g_actions->set_fill($3); }
    ;

files_attribute
    : files_keyword equals_opt '{' file_list '}'   { g_actions->keywords_on(); }
    ;

files_keyword
    : FILES                 { g_actions->keywords_off(); }
    ;

file_list
    : NAME                  { g_actions->add_output_file($1); }
    | file_list comma_opt NAME    { g_actions->add_output_file($3); }
    ;

/* ---------------------------------------------------------------- SECTIONS */

sections_directive
    : sections_keyword '{' section_list '}'   { g_actions->keywords_off(); }
    ;

sections_keyword
    : SECTIONS              { g_actions->begin_sections(); }
    ;

section_list
    : section_item
    | section_list section_item
    ;

section_item
    : plain_section comma_opt     { g_actions->append_section_spec(); }
    | section_with_attributes     { g_actions->append_section_spec(); }
    | error
    ;

plain_section
    : section_name boot_mark      { g_actions->set_boot(); }
    | section_name colon_opt
    ;

section_name
    : NAME                  { g_actions->new_section_spec($1); }
    ;

boot_mark
    : BOOT
    | '=' BOOT
    | ':' BOOT
    | '(' BOOT ')'
    ;

section_with_attributes
    : section_name colon_opt section_attributes
    ;

section_attributes
    : section_attribute
    | section_attributes comma_opt section_attribute
    ;

section_attribute
    : paddr_attribute
    | datawidth_attribute
    ;

paddr_attribute
    : PADDR equals_opt value      { g_actions->set_paddr($3); }
    | PADDR equals_opt BOOT       { g_actions->set_boot(); }
    ;

datawidth_attribute
    : DATAWIDTH equals_opt value  { g_actions->set_datawidth($3); }
    ;

/* ---------------------------------------------------------------- shared */

value
    : NUMBER                { $$ = $1; }
    | '(' value ')'         { $$ = $2; }
    ;

equals_opt
    : '='
    | %empty
    ;

comma_opt
    : ','
    | %empty
    ;

colon_opt
    : ':'
    | %empty
    ;

%%

namespace coffhex {

int parse_command_file() {
    try {
        return yyparse();
    } catch (...) {
        parse_stack_free(g_parse_stack);
        throw;
    }
}

const CommandActions& default_command_actions() { return DEFAULT_ACTIONS; }

void set_command_actions(const CommandActions* actions) {
    g_actions = actions != nullptr ? actions : &DEFAULT_ACTIONS;
}

}  // namespace coffhex
