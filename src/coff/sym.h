// Symbol table: external symbols of the input file, hashed by name.
#pragma once

#include <cstdint>

namespace coffhex {

inline constexpr uint32_t SYMBOL_BUCKETS = 2030;
inline constexpr uint8_t C_EXT = 2;
inline constexpr uint8_t C_EXTREF = 5;

bool build_symbol_table();
uint32_t symbol_hash(const char* name);
bool symbol_table_find(const char* name, uint32_t& value);
void symbol_table_clear();
void resolve_entry_symbol();

}  // namespace coffhex
