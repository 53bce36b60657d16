// Section data: every loadable section's raw data and the .cinit
// autoinitialization records, streamed through one buffer to the data sink.
#include "coff/section_data.h"

#include <cstring>

#include "coff/byteorder.h"
#include "coff/coff.h"
#include "diag/diag.h"
#include "driver/options.h"
#include "image/placement.h"

namespace coffhex {

namespace {

// The one load buffer; no section is ever held in memory whole.
uint8_t g_buffer[LOADBUFSIZE];

ChunkSink g_sink = load_chunk;

// .cinit record state, carried from chunk to chunk and from one .cinit
// section to the next: data bytes of the current record still to come and
// the target address of the next of them.
uint32_t g_record_remaining = 0;
uint32_t g_record_address = 0;

bool tracing() { return options().trace_level != 0; }

bool is_cinit_section(const SectionEntry& entry) {
    return (entry.flags & STYP_COPY) != 0 && entry.has_inline_name(".cinit");
}

// Memory page of the first section whose inline name is ".bss"; 0 without one.
int32_t bss_page() {
    for (const SectionEntry& e : coff_input().sections)
        if (e.has_inline_name(".bss")) return e.page;
    return 0;
}

bool fail(CoffLoadError code) {
    record_load_error(code);
    return false;
}

}  // namespace

void set_chunk_sink(ChunkSink sink) { g_sink = sink != nullptr ? sink : load_chunk; }

bool read_all_section_data() {
    CoffInput& in = coff_input();
    const int count = static_cast<int>(in.sections.size());

    for (int i = 0; i < count; ++i) {
        in.current_section = i;
        const SectionEntry& e = in.sections[i];
        if (e.data_pos == 0 || e.size == 0) continue;
        if ((e.flags & (STYP_DSECT | STYP_NOLOAD | STYP_COPY)) != 0) continue;
        if (!read_one_section(e)) return false;
    }

    for (int i = 0; i < count; ++i) {
        in.current_section = i;
        const SectionEntry& e = in.sections[i];
        if (!is_cinit_section(e)) continue;
        if (tracing()) trace_line("   Autoinitialization from <%s>", e.name);
        if (!read_one_section(e)) return false;
        if (tracing()) trace_line("\n");
    }
    return true;
}

bool read_one_section(const SectionEntry& entry) {
    CoffInput& in = coff_input();
    const bool cinit = is_cinit_section(entry);

    std::memset(g_buffer, 0, sizeof g_buffer);
    uint32_t address = entry.vaddr;
    uint32_t done = 0;
    uint32_t carry = 0;
    uint32_t n = 0;  // bytes of the previous chunk that were consumed
    if (entry.size == 0) return true;

    for (;;) {
        // Bytes the previous chunk left unconsumed stand right after the
        // consumed part; they go to the front.
        if (carry != 0) std::memmove(g_buffer, g_buffer + n, carry);

        const uint32_t rest = entry.size - done;
        n = rest < LOADBUFSIZE ? rest : LOADBUFSIZE;

        if (entry.data_pos != 0) {
            // A read of no new bytes at all counts as a short read.
            const uint32_t wanted = n - carry;
            const uint64_t position = static_cast<uint64_t>(entry.data_pos) + done + carry;
            if (wanted == 0 || position > in.file_size || wanted > in.file_size - position)
                return fail(ReadError);
            if (std::fseek(in.stream, static_cast<long>(position), SEEK_SET) != 0)
                return fail(ReadError);
            if (std::fread(g_buffer + carry, 1, wanted, in.stream) != wanted) return fail(ReadError);
        }
        carry = 0;
        if (n < LOADBUFSIZE) std::memset(g_buffer + n, 0, LOADBUFSIZE - n);

        bool ok;
        if (cinit) ok = expand_cinit_records(g_buffer, n, carry);
        else ok = g_sink(g_buffer, n, address, entry.page);
        if (!ok) return fail(TargetWriteError);

        address += n;
        if (tracing()) trace_line(".");
        done += n;
        if (done >= entry.size) return true;
    }
}

bool expand_cinit_records(uint8_t* buffer, uint32_t& length, uint32_t& carry) {
    const int32_t page = bss_page();
    const uint32_t n = length;
    uint32_t position = 0;

    for (;;) {
        if (g_record_remaining == 0) {
            const uint32_t start = (position + 7) & ~7u;
            if (start >= n) return true;
            if (n - start < 4) {
                carry = n - start;
                length = start;
                return true;
            }
            const uint32_t record_length = read_target_word(buffer + start);
            if (record_length == 0) return true;
            if (n - start < 8) {
                carry = n - start;
                length = start;
                return true;
            }
            g_record_remaining = record_length;
            g_record_address = read_target_word(buffer + start + 4);
            position = start + 8;
        }

        const uint32_t available = n - position;
        const uint32_t k = available < g_record_remaining ? available : g_record_remaining;
        if (k != 0) {
            if (tracing())
                trace_line("\n\tLoading <.cinit>,\taddr=0x%lx, size=0x%04lx",
                           static_cast<unsigned long>(g_record_address),
                           static_cast<unsigned long>(g_record_remaining));
            if (!g_sink(buffer + position, k, g_record_address, page)) return false;
            g_record_address += k;
            g_record_remaining -= k;
        }
        position += k;
        if (position >= n) return true;
    }
}

uint32_t read_target_word(const uint8_t* bytes) {
    return coff_input().big_endian_data ? get_be32(bytes) : get_le32(bytes);
}

void reset_section_data() {
    g_record_remaining = 0;
    g_record_address = 0;
    g_sink = load_chunk;
}

}  // namespace coffhex
