// Section data: every loadable section's raw data and the .cinit
// autoinitialization records, streamed through one buffer to a chunk sink.
#include <cstring>
#include <vector>

#include "coff/coff.h"
#include "diag/diag.h"

namespace coffhex {

// .cinit record state, carried from chunk to chunk and from one .cinit
// section to the next: data bytes of the current record still to come and
// the target address of the next of them.
struct CinitState {
    uint32_t remaining = 0;
    uint32_t address = 0;
    int32_t page = 0;  // page of the .bss section, 0 without one
};

namespace {

// Hands the records of one chunk of .cinit bytes to the sink. Bytes of a
// record header that the chunk cuts are left unconsumed: `length` becomes
// what was consumed and `carry` what is left (they go to the front of the
// next chunk).
void expand_cinit_records(const CoffFile& file, CinitState& state, int index,
                          const SectionEntry& section, uint8_t* buffer, uint32_t& length,
                          uint32_t& carry, ChunkSink& sink, Diagnostics& diag, bool trace) {
    const uint32_t n = length;
    uint32_t position = 0;

    for (;;) {
        if (state.remaining == 0) {
            const uint32_t start = (position + 7) & ~7u;
            if (start >= n) return;
            if (n - start < 4) {
                carry = n - start;
                length = start;
                return;
            }
            const uint32_t record_length = file.target_word(buffer + start);
            if (record_length == 0) return;
            if (n - start < 8) {
                carry = n - start;
                length = start;
                return;
            }
            state.remaining = record_length;
            state.address = file.target_word(buffer + start + 4);
            position = start + 8;
        }

        const uint32_t available = n - position;
        const uint32_t k = available < state.remaining ? available : state.remaining;
        if (k != 0) {
            if (trace)
                diag.trace("\n\tLoading <.cinit>,\taddr=0x%lx, size=0x%04lx",
                           static_cast<unsigned long>(state.address),
                           static_cast<unsigned long>(state.remaining));
            sink.load_chunk(index, section, buffer + position, k, state.address, state.page);
            state.address += k;
            state.remaining -= k;
        }
        position += k;
        if (position >= n) return;
    }
}

}  // namespace

void CoffFile::read_section_data(const std::vector<int>& order, ChunkSink& sink, bool trace) const {
    CinitState cinit;
    if (const SectionEntry* bss_section = bss()) cinit.page = bss_section->page;

    for (int index : order) {
        const SectionEntry& e = sections_[static_cast<size_t>(index)];
        if (!e.loads_raw_data()) continue;
        read_one_section(index, sink, trace, nullptr);
    }
    for (int index : order) {
        const SectionEntry& e = sections_[static_cast<size_t>(index)];
        if (!e.is_cinit()) continue;
        if (trace) diag_.trace("   Autoinitialization from <%s>", e.name.c_str());
        read_one_section(index, sink, trace, &cinit);
        if (trace) diag_.trace("\n");
    }
}

void CoffFile::read_one_section(int index, ChunkSink& sink, bool trace, CinitState* cinit) const {
    const SectionEntry& entry = sections_[static_cast<size_t>(index)];
    if (entry.size == 0) return;

    if (cinit == nullptr && entry.data_pos != 0) {
        // Raw data: read in large blocks, handed on in the same chunks.
        const bool whole = stream_ != nullptr && stream_section_chunks(
            stream_, entry.data_pos, entry.size, read_block_,
            [&](const uint8_t* bytes, uint32_t offset, uint32_t n) {
                sink.load_chunk(index, entry, bytes, n, entry.vaddr + offset, entry.page);
                if (trace) diag_.trace(".");
            });
        if (!whole) read_error();
        return;
    }

    // The one load buffer; no section is ever held in memory whole.
    std::vector<uint8_t> buffer(LOADBUFSIZE, 0);
    uint32_t address = entry.vaddr;
    uint32_t done = 0;
    uint32_t carry = 0;
    uint32_t n = 0;  // bytes of the previous chunk that were consumed

    for (;;) {
        // Bytes the previous chunk left unconsumed stand right after the
        // consumed part; they go to the front.
        if (carry != 0) std::memmove(buffer.data(), buffer.data() + n, carry);

        const uint32_t rest = entry.size - done;
        n = rest < LOADBUFSIZE ? rest : LOADBUFSIZE;

        if (entry.data_pos != 0) {
            // A read of no new bytes at all counts as a short read.
            const uint32_t wanted = n - carry;
            const uint64_t position = static_cast<uint64_t>(entry.data_pos) + done + carry;
            if (wanted == 0 || !read_at(position, buffer.data() + carry, wanted)) read_error();
        }
        carry = 0;
        if (n < LOADBUFSIZE) std::memset(buffer.data() + n, 0, LOADBUFSIZE - n);

        if (cinit != nullptr)
            expand_cinit_records(*this, *cinit, index, entry, buffer.data(), n, carry, sink, diag_,
                                 trace);
        else
            sink.load_chunk(index, entry, buffer.data(), n, address, entry.page);

        address += n;
        if (trace) diag_.trace(".");
        done += n;
        if (done >= entry.size) return;
    }
}

}  // namespace coffhex
