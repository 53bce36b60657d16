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
 * - The states that shift `error` (the top-level entry list, the range list,
 *   the section list and the checksum list) have shifts, so they never take a default
 *   reduction: an unexpected token is detected there and recovery starts
 *   there instead of reducing towards the start symbol.
 */

%code top {
#include <cstdint>
#include <string>

#include "cmdfile/lexer.h"
#include "cmdfile/parser.h"
#include "diag/diag.h"
}

/* The parse stack holds up to 10000 states, on the stack of the caller; a
   parse that needs more is abandoned (result 2). Nothing is allocated, so
   an action that ends the run with an exception leaves nothing behind. */
%code {
#define YYINITDEPTH 10000
#define YYMAXDEPTH 10000
}

%define api.pure full
%define api.prefix {cmdfile_}
%define api.token.prefix {T_}
%define lr.default-reduction consistent
%define parse.error simple

%param {coffhex::Lexer& lexer}
%parse-param {coffhex::CommandActions& actions} {coffhex::Diagnostics& diag}

/* A number and whether it fits in 32 bits; one that does not has been
   reported by the lexer, and the statement that would take it does not. */
%union {
    coffhex::LexNumber number;
    const char* text;
}

%code {
/* Token source: the lexer's codes turned into the parser's token kinds. */
static int yylex(CMDFILE_STYPE* value, coffhex::Lexer& lexer) {
    const int code = lexer.next_token();
    switch (code) {
    case coffhex::TOK_END: return 0;
    case coffhex::TOK_NAME: value->text = lexer.token_text(); return T_NAME;
    case coffhex::TOK_NUMBER:
        value->number = {lexer.token_number(), lexer.token_number_fits()};
        return T_NUMBER;
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
    case coffhex::TOK_CHECKSUMS: return T_CHECKSUMS;
    case coffhex::TOK_ALGORITHM: return T_ALGORITHM;
    case coffhex::TOK_AT: return T_AT;
    case coffhex::TOK_ORDER: return T_ORDER;
    default: return code;  /* one of the eight single characters */
    }
}

/* Both a syntax error and a parse stack overflow are shown the same way;
   the generated message text is not used. */
static void yyerror(coffhex::Lexer& lexer, coffhex::CommandActions&, coffhex::Diagnostics& diag,
                    const char*) {
    lexer.show_position();
    diag.report(coffhex::ERROR, "syntax error");
}
}

%token <text> NAME
%token <number> NUMBER
%token PAGE LENGTH ORIGIN SECTIONS FILL ROMS FILES WIDTH BOOT DATAWIDTH PADDR MEMWIDTH
%token CHECKSUMS ALGORITHM AT ORDER

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
    | checksums_directive
    | error
        {
            /* Skip the rest of the offending token's line. No token has been
               read since the offending one (it is still the look-ahead, or
               it was discarded), so the line counter names its line. */
            const int line = lexer.line_number();
            if (yychar == T_CMDFILE_EMPTY) yychar = yylex(&yylval, lexer);
            while (yychar > 0 && lexer.line_number() == line) yychar = yylex(&yylval, lexer);
            /* The first token of the next line is now the look-ahead. */
            yyerrok;
        }
    ;

option
    : '-' NAME              { actions.option($2); }
    | '-' '-' NAME
        {
            const std::string text = std::string("-") + $3;
            actions.option(text.c_str());
        }
    ;

input_name
    : NAME                  { actions.input_name($1); }
    ;

/* ---------------------------------------------------------------- ROMS */

roms_directive
    : roms_keyword '{' range_list '}'   { lexer.keywords_off(); }
    ;

roms_keyword
    : ROMS                  { lexer.keywords_on(); actions.begin_roms(); }
    ;

range_list
    : range_item
    | range_list range_item
    ;

range_item
    : range_name colon_opt range_attributes   { actions.finish_range(); }
    | PAGE NUMBER ':'       { if ($2.fits) actions.set_page(static_cast<int32_t>($2.value)); }
    | error
    ;

range_name
    : NAME                  { actions.new_range($1); }
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
    : ORIGIN equals_opt value     { if ($3.fits) actions.set_origin($3.value); }
    ;

length_attribute
    : LENGTH equals_opt value     { if ($3.fits) actions.set_length($3.value); }
    ;

width_attribute
    : WIDTH equals_opt value      { if ($3.fits) actions.set_romwidth($3.value); }
    ;

memwidth_attribute
    : MEMWIDTH equals_opt value   { if ($3.fits) actions.set_memwidth($3.value); }
    ;

fill_attribute
    : FILL equals_opt value       { if ($3.fits) actions.set_fill($3.value); }
    ;

files_attribute
    : files_keyword equals_opt '{' file_list '}'   { lexer.keywords_on(); }
    ;

files_keyword
    : FILES                 { lexer.keywords_off(); }
    ;

file_list
    : NAME                  { actions.add_output_file($1); }
    | file_list comma_opt NAME    { actions.add_output_file($3); }
    ;

/* ---------------------------------------------------------------- SECTIONS */

sections_directive
    : sections_keyword '{' section_list '}'   { lexer.keywords_off(); }
    ;

sections_keyword
    : SECTIONS              { lexer.keywords_on(); actions.begin_sections(); }
    ;

section_list
    : section_item
    | section_list section_item
    ;

section_item
    : plain_section comma_opt     { actions.append_section_spec(); }
    | section_with_attributes     { actions.append_section_spec(); }
    | error
    ;

plain_section
    : section_name boot_mark      { actions.set_boot(); }
    | section_name colon_opt
    ;

section_name
    : NAME                  { actions.new_section_spec($1); }
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
    : PADDR equals_opt value      { if ($3.fits) actions.set_paddr($3.value); }
    | PADDR equals_opt BOOT       { actions.set_boot(); }
    ;

datawidth_attribute
    : DATAWIDTH equals_opt value  { if ($3.fits) actions.set_datawidth($3.value); }
    ;

/* ---------------------------------------------------------------- CHECKSUMS */

/* A field is a name followed by its attributes; the next name (or the
   closing brace) completes it. A name followed by "=" is an attribute this
   directive does not know. */
checksums_directive
    : checksums_keyword '{' checksum_list '}'
        {
            actions.end_checksums();
            lexer.keywords_off();
        }
    ;

checksums_keyword
    : CHECKSUMS             { lexer.checksum_keywords_on(); actions.begin_checksums(); }
    ;

checksum_list
    : checksum_element
    | checksum_list checksum_element
    ;

checksum_element
    : checksum_name colon_opt
    | NAME '=' checksum_value     { actions.unknown_checksum_attribute($1); }
    | checksum_attribute comma_opt
    | error
    ;

checksum_name
    : NAME                  { actions.new_checksum($1); }
    ;

checksum_value
    : value
    | NAME
    ;

checksum_attribute
    : ALGORITHM equals_opt NAME   { actions.set_checksum_algorithm($3); }
    | AT equals_opt value         { if ($3.fits) actions.set_checksum_at($3.value); }
    | ORIGIN equals_opt value     { if ($3.fits) actions.set_checksum_origin($3.value); }
    | LENGTH equals_opt value     { if ($3.fits) actions.set_checksum_length($3.value); }
    | ORDER equals_opt NAME       { actions.set_checksum_order($3); }
    | PAGE equals_opt value       { if ($3.fits) actions.set_checksum_page($3.value); }
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

int parse_command_file(Lexer& lexer, CommandActions& actions, Diagnostics& diag) {
    return yyparse(lexer, actions, diag);
}

}  // namespace coffhex
