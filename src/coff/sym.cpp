// Placeholder until the symbol table is built.
#include "coff/sym.h"

namespace coffhex {
bool build_symbol_table() { return true; }
uint32_t symbol_hash(const char*) { return 0; }
bool symbol_table_find(const char*, uint32_t&) { return false; }
void symbol_table_clear() {}
void resolve_entry_symbol() {}
}  // namespace coffhex
