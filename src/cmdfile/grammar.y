/* Placeholder until the command-file grammar is built. */
%code top {
#include "cmdfile/parser.h"
#include "cmdfile/lexer.h"
}
%code {
static int yylex() { return coffhex::next_token(); }
static void yyerror(const char*) {}
}
%%
command_file: %empty ;
%%
namespace coffhex {
int parse_command_file() { return yyparse(); }
}
