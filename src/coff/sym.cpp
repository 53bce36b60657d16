// Symbol table: the external symbols of the input file in 2030 hashed
// buckets, for turning a boot entry point name into an address.
#include "coff/sym.h"

#include <cstring>
#include <memory>
#include <vector>

#include "coff/byteorder.h"
#include "coff/coff.h"
#include "diag/diag.h"
#include "driver/options.h"
#include "mapfile/mapfile.h"

namespace coffhex {

namespace {

constexpr uint32_t SYMBOL_ENTRY_SIZE = 18;
constexpr int32_t NAME_BLOCK_SIZE = 1024;

struct SymbolEntry {
    std::string name;
    uint32_t value = 0;
    uint16_t type = 0;
    uint8_t storage_class = 0;
};

// Each bucket holds its entries oldest first; the front of the bucket, where
// walks start, is the back of the vector.
std::vector<SymbolEntry> g_buckets[SYMBOL_BUCKETS];

// Reads `count` bytes of the symbol table at entry `index`.
bool read_entries(uint64_t index, uint8_t* buffer, size_t count) {
    const CoffInput& in = coff_input();
    const uint64_t position = in.header.symbol_pos + SYMBOL_ENTRY_SIZE * index;
    if (in.stream == nullptr || position > in.file_size || count > in.file_size - position) return false;
    if (std::fseek(in.stream, static_cast<long>(position), SEEK_SET) != 0) return false;
    return std::fread(buffer, 1, count, in.stream) == count;
}

}  // namespace

bool build_symbol_table() {
    const CoffInput& in = coff_input();
    const ConverterOptions& opt = options();

    // A file without symbol entries builds no table, but the entry point is
    // still resolved (so a -e name draws its error and the default entry
    // comes from the optional header) and the map header still written.
    const uint32_t count = in.header.symbol_count;
    for (uint32_t index = 0; index < count;) {
        SymbolFileEntry entry;
        const int64_t next = read_symbol_entry(index, entry);
        if (next < 0) {
            record_load_error(SymbolReadError);
            return false;
        }
        if (entry.storage_class == C_EXT || entry.storage_class == C_EXTREF) {
            symbol_table_add(entry);
        } else if (opt.symbol_trace != 0) {
            trace_line("Skip   symbol %-15.15s, type %d\n", symbol_name_text(entry).c_str(),
                       entry.storage_class);
        }
        if (next >= static_cast<int64_t>(count)) break;
        index = static_cast<uint32_t>(next);
    }

    resolve_entry_symbol();
    if (opt.map_file != nullptr) write_map_header();
    return true;
}

int64_t read_symbol_entry(uint32_t index, SymbolFileEntry& entry) {
    uint8_t raw[2 * SYMBOL_ENTRY_SIZE];
    if (!read_entries(index, raw, SYMBOL_ENTRY_SIZE)) return -1;
    const uint8_t aux = raw[17];
    // The first auxiliary entry is read with the entry and not used.
    if (aux != 0 && !read_entries(static_cast<uint64_t>(index) + 1, raw + SYMBOL_ENTRY_SIZE, SYMBOL_ENTRY_SIZE))
        return -1;

    const bool sw = coff_input().swapped;
    entry = SymbolFileEntry{};
    if (raw[0] == 0 && raw[1] == 0 && raw[2] == 0 && raw[3] == 0) {
        entry.in_string_table = true;
        entry.name_offset = get32(raw + 4, sw);
        // The offset must name a text of the file's string table, never a
        // place past it.
        if (!string_table_holds(entry.name_offset)) return -1;
    } else {
        std::memcpy(entry.name, raw, 8);
        entry.name[8] = '\0';
    }
    entry.value = get32(raw + 8, sw);
    entry.section = static_cast<int16_t>(get16(raw + 12, sw));
    entry.type = get16(raw + 14, sw);
    entry.storage_class = raw[16];
    entry.aux_count = aux;
    return static_cast<int64_t>(index) + 1 + aux;
}

std::string symbol_name_text(const SymbolFileEntry& entry) {
    if (!entry.in_string_table) return entry.name;
    const char* text = string_at_offset(entry.name_offset);
    return text != nullptr ? text : "";
}

const char* pool_symbol_name(SymbolFileEntry& entry) {
    if (entry.in_string_table) {
        const char* text = string_at_offset(entry.name_offset);
        return text != nullptr ? text : "";
    }

    StringPool& pool = coff_input().pool;
    if (pool.empty() || pool.blocks.back().used + 9 > pool.blocks.back().capacity) {
        StringBlock block;
        block.capacity = NAME_BLOCK_SIZE;
        block.base = pool.empty() ? 4 : pool.blocks.back().base + pool.blocks.back().capacity;
        block.used = 0;
        block.text = std::make_unique<char[]>(NAME_BLOCK_SIZE);
        pool.blocks.push_back(std::move(block));
    }
    StringBlock& block = pool.blocks.back();
    char* copy = block.text.get() + block.used;
    const size_t length = std::strlen(entry.name);
    std::memcpy(copy, entry.name, length + 1);
    entry.in_string_table = true;
    entry.name_offset = static_cast<uint32_t>(block.base + block.used);
    std::memset(entry.name, 0, sizeof entry.name);
    block.used += static_cast<int32_t>(length + 1);
    return copy;
}

uint32_t symbol_hash(const char* name) {
    uint32_t h = 0;
    for (const char* p = name; *p != '\0'; ++p) {
        // Each byte counts as a signed 8-bit number: from 0x80 up, all upper
        // bits are set.
        const uint32_t byte = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(*p)));
        h = (h << 1) ^ byte;
    }
    return h;
}

void symbol_table_add(SymbolFileEntry& entry) {
    SymbolEntry symbol;
    symbol.name = pool_symbol_name(entry);
    symbol.value = entry.value;
    symbol.type = entry.type;
    symbol.storage_class = entry.storage_class;

    const uint32_t bucket = symbol_hash(symbol.name.c_str()) % SYMBOL_BUCKETS;
    std::vector<SymbolEntry>& cells = g_buckets[bucket];
    for (auto it = cells.rbegin(); it != cells.rend(); ++it)
        if (it->value == symbol.value && it->name == symbol.name) return;
    cells.push_back(symbol);

    if (options().symbol_trace != 0)
        trace_line("Adding symbol %-15.15s, type %s, address %#08lx, index %d\n", symbol.name.c_str(),
                   symbol.storage_class == C_EXT ? "C_EXT" : "C_EXTREF",
                   static_cast<unsigned long>(symbol.value), static_cast<int>(bucket));
}

bool symbol_table_find(const char* name, uint32_t& value) {
    const std::vector<SymbolEntry>& cells = g_buckets[symbol_hash(name) % SYMBOL_BUCKETS];
    for (auto it = cells.rbegin(); it != cells.rend(); ++it) {
        if (it->name == name) {
            value = it->value;
            return true;
        }
    }
    return false;
}

void symbol_table_clear() {
    for (auto& cells : g_buckets) cells.clear();
}

void resolve_entry_symbol() {
    ConverterOptions& opt = options();
    if (opt.entry_symbol) {
        uint32_t value = 0;
        if (symbol_table_find(opt.entry_symbol->c_str(), value))
            opt.entry_point = value;
        else
            report(ERROR, "Requested boot table entry point symbol '%s' not found\n",
                   opt.entry_symbol->c_str());
    }
    if (opt.entry_point == ALL_ONES) opt.entry_point = coff_input().entry_address;
}

}  // namespace coffhex
