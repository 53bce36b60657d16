// The COFF input file: file header, optional header, string table and
// section headers, and the conversion run over them.
#include "coff/coff.h"

#include <cstring>

#include "coff/byteorder.h"
#include "coff/section_data.h"
#include "coff/sym.h"
#include "diag/diag.h"
#include "driver/options.h"
#include "driver/run.h"

namespace coffhex {

namespace {

CoffInput g_input;
TranslationStep g_translation_step = begin_translation;

constexpr uint32_t SYMBOL_ENTRY_SIZE = 18;
constexpr size_t OPT_HEADER_SIZE = 28;
constexpr size_t FILE_HEADER_READ = 22;

bool is_magic(uint16_t value) {
    return value == 0x0099 || value == 0x00C0 || value == 0x00C1 || value == 0x00C2;
}

size_t file_header_length() { return g_input.version == 0 ? 20 : 22; }

// Reads `count` bytes at `position`; false when they are not all there.
bool read_at(uint64_t position, uint8_t* buffer, size_t count) {
    FILE* f = g_input.stream;
    if (f == nullptr) return false;
    if (position > g_input.file_size || count > g_input.file_size - position) return false;
    if (std::fseek(f, static_cast<long>(position), SEEK_SET) != 0) return false;
    return std::fread(buffer, 1, count, f) == count;
}

bool fail(CoffLoadError code) {
    record_load_error(code);
    return false;
}

// The two header faults that end the run at once with status -1 (255), their
// text written to standard error as it stands.
[[noreturn]] void header_abort(const char* text) {
    std::fflush(stdout);
    std::fputs("Error reading COFF file - ", stderr);
    std::fputs(text, stderr);
    std::fflush(stderr);
    end_run(255);
}

// Replaces a string-table reference in a section name by the pooled text.
void resolve_long_name(SectionEntry& entry, uint32_t offset) {
    if (g_input.pool.empty()) header_abort("corrupted section header");
    if (offset < static_cast<uint32_t>(g_input.pool.blocks.back().base) || !string_table_holds(offset))
        header_abort("illegal string table offset in section header\n");
    entry.long_name = string_at_offset(offset);
}

// Decodes one section header (48 bytes in version 2, 40 otherwise).
void decode_section_header(const uint8_t* p, SectionEntry& e) {
    const bool sw = g_input.swapped;
    bool long_name = p[0] == 0 && p[1] == 0 && p[2] == 0 && p[3] == 0;
    uint32_t name_offset = 0;
    if (g_input.version == 2) {
        if (long_name) name_offset = get32(p + 4, sw);
        else std::memcpy(e.name, p, 8);
        e.paddr = get32(p + 8, sw);
        e.vaddr = get32(p + 12, sw);
        e.size = get32(p + 16, sw);
        e.data_pos = get32(p + 20, sw);
        e.reloc_pos = get32(p + 24, sw);
        e.lineno_pos = get32(p + 28, sw);
        e.reloc_count = get32(p + 32, sw);
        e.lineno_count = get32(p + 36, sw);
        e.flags = get32(p + 40, sw);
        e.reserved = get_le16(p + 44);  // kept as it stands, never swapped
        e.page = get16(p + 46, sw);
    } else {
        // Names are inline only; a name whose first byte is NUL reads as
        // all zeros, which is a string-table reference with offset 0.
        std::strncpy(e.name, reinterpret_cast<const char*>(p), 8);
        long_name = e.name[0] == '\0';
        e.paddr = get32(p + 8, sw);
        e.vaddr = get32(p + 12, sw);
        e.size = get32(p + 16, sw);
        e.data_pos = get32(p + 20, sw);
        e.reloc_pos = get32(p + 24, sw);
        e.lineno_pos = get32(p + 28, sw);
        e.reloc_count = get16(p + 32, sw);
        e.lineno_count = get16(p + 34, sw);
        e.flags = get16(p + 36, sw);
        e.page = p[39];
    }
    e.name[8] = '\0';
    if (long_name) {
        std::memset(e.name, 0, sizeof e.name);
        resolve_long_name(e, name_offset);
    }
}

}  // namespace

bool SectionEntry::has_inline_name(const char* text) const {
    return long_name == nullptr && std::strcmp(name, text) == 0;
}

CoffInput& coff_input() { return g_input; }

bool load_coff_file() {
    record_load_error(LOAD_OK);
    if (!read_coff_headers()) return false;
    if (!build_symbol_table()) return false;
    if (!read_all_section_data()) return false;
    return true;
}

bool read_coff_headers() {
    CoffInput& in = g_input;
    in.swapped = false;

    // The file's size bounds every count, offset and size read from it.
    in.file_size = 0;
    if (in.stream == nullptr || std::fseek(in.stream, 0, SEEK_END) != 0) return fail(ReadError);
    long end = std::ftell(in.stream);
    if (end < 0) return fail(ReadError);
    in.file_size = static_cast<uint64_t>(end);

    uint8_t fh[FILE_HEADER_READ];
    if (!read_at(0, fh, sizeof fh)) return fail(ReadError);

    uint16_t magic = get_le16(fh);
    if (!is_magic(magic)) {
        magic = swap16(magic);
        if (!is_magic(magic)) return fail(BadMagic);
        in.swapped = true;
    }
    const bool sw = in.swapped;
    FileHeader& h = in.header;
    h.magic = magic;
    h.section_count = get16(fh + 2, sw);
    h.time_stamp = get32(fh + 4, sw);
    h.symbol_pos = get32(fh + 8, sw);
    h.symbol_count = get32(fh + 12, sw);
    h.opt_header_size = get16(fh + 16, sw);
    h.flags = get16(fh + 18, sw);
    h.target_id = get16(fh + 20, sw);
    in.big_endian_data = (h.flags & 0x0200) != 0;

    if (magic == 0x00C1 || magic == 0x00C2) {
        if (h.target_id != 0x0099) return fail(BadMagic);
        in.version = magic == 0x00C1 ? 1 : 2;
    } else {
        in.version = 0;
    }

    in.has_opt_header = false;
    if (h.opt_header_size == OPT_HEADER_SIZE) {
        uint8_t oh[OPT_HEADER_SIZE];
        if (!read_at(file_header_length(), oh, sizeof oh)) return fail(ReadError);
        OptionalHeader& o = in.opt_header;
        o.magic = get16(oh, sw);
        o.version_stamp = get16(oh + 2, sw);
        o.code_size = get32(oh + 4, sw);
        o.data_size = get32(oh + 8, sw);
        o.bss_size = get32(oh + 12, sw);
        o.entry = get32(oh + 16, sw);
        o.code_start = get32(oh + 20, sw);
        o.data_start = get32(oh + 24, sw);
        in.has_opt_header = true;
        in.entry_address = o.entry;
    }

    if (!read_string_table()) return false;

    // Section headers: refused before anything is allocated for them when
    // the file cannot hold as many as it claims.
    in.sections.clear();
    const size_t header_length = in.version == 2 ? 48 : 40;
    const uint64_t first = file_header_length() + h.opt_header_size;
    const uint64_t total = static_cast<uint64_t>(h.section_count) * header_length;
    if (first > in.file_size || total > in.file_size - first) return fail(ReadError);
    std::vector<uint8_t> raw(total);
    if (total != 0 && !read_at(first, raw.data(), raw.size())) return fail(ReadError);
    in.sections.resize(h.section_count);
    for (size_t i = 0; i < h.section_count; ++i)
        decode_section_header(raw.data() + i * header_length, in.sections[i]);

    g_translation_step();

    if (options().trace_level != 0)
        trace_line("   %d sections, %s format, %s data\n   %s\n", static_cast<int>(h.section_count),
                   sw ? "swapped" : "unswapped", in.big_endian_data ? "big-E" : "little-E",
                   "No relocation");
    return true;
}

bool read_string_table() {
    CoffInput& in = g_input;
    in.pool.clear();
    in.string_table_end = 0;
    if (in.header.symbol_count == 0) return true;

    // No readable size word: the file simply has no string table.
    const uint64_t position =
        in.header.symbol_pos + static_cast<uint64_t>(SYMBOL_ENTRY_SIZE) * in.header.symbol_count;
    uint8_t word[4];
    if (!read_at(position, word, sizeof word)) return true;

    const uint32_t size = get32(word, in.swapped);
    const long length = static_cast<long>(size) - 4;
    if (options().trace_level != 0)
        trace_line("   %ld symbols.  String table size=%ld\n", static_cast<long>(in.header.symbol_count),
                   length);
    if (length == 0) return true;
    if (length < 0) return fail(ReadError);
    // A size beyond the end of the file is refused before any allocation.
    if (static_cast<uint64_t>(length) > in.file_size - (position + 4)) return fail(ReadError);

    StringBlock block;
    block.text = std::make_unique<char[]>(static_cast<size_t>(length));
    if (!read_at(position + 4, reinterpret_cast<uint8_t*>(block.text.get()), static_cast<size_t>(length)))
        return fail(ReadError);

    // Keep the text up to and including its last NUL.
    long kept = length;
    while (kept > 0 && block.text[kept - 1] != '\0') --kept;
    block.capacity = static_cast<int32_t>(kept);
    block.used = block.capacity;
    block.base = 4;
    in.pool.blocks.push_back(std::move(block));
    in.string_table_end = 4 + static_cast<uint32_t>(kept);
    return true;
}

const char* string_at_offset(uint32_t offset) {
    const auto& blocks = g_input.pool.blocks;
    for (auto it = blocks.rbegin(); it != blocks.rend(); ++it) {
        if (static_cast<uint32_t>(it->base) > offset) continue;
        uint32_t at = offset - static_cast<uint32_t>(it->base);
        if (at >= static_cast<uint32_t>(it->used)) return nullptr;
        return it->text.get() + at;
    }
    return nullptr;
}

bool string_table_holds(uint32_t offset) {
    return offset >= 4 && offset < g_input.string_table_end;
}

const char* section_name_text(const SectionEntry& entry) {
    return entry.long_name != nullptr ? entry.long_name : entry.name;
}

void set_translation_step(TranslationStep step) {
    g_translation_step = step != nullptr ? step : begin_translation;
}

void reset_coff_input() {
    FILE* stream = g_input.stream;
    g_input = CoffInput{};
    g_input.stream = stream;
    g_translation_step = begin_translation;
}

}  // namespace coffhex
