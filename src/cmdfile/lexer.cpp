// Placeholder until the lexer is built.
#include "cmdfile/lexer.h"

namespace coffhex {
void lex_init() {}
void lex_reset() {}
void lex_set_input(FILE*) {}
int next_token() { return TOK_END; }
int next_word() { return 0; }
int lex_text(const char*, bool) { return 0; }
uint32_t token_number() { return 0; }
const char* token_text() { return ""; }
void keywords_on() {}
void keywords_off() {}
bool keywords_active() { return false; }
void show_position() {}
int lex_line_number() { return 0; }
}  // namespace coffhex
