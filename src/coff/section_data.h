// Section data: every loadable section's raw data and the .cinit
// autoinitialization records, handed to the data sink in chunks.
#pragma once

#include <cstdint>

namespace coffhex {

struct SectionEntry;

// Data sink signature: (bytes, length, address, page) -> success.
using ChunkSink = bool (*)(const uint8_t* data, uint32_t length, uint32_t address, int32_t page);

// The sink the reader hands chunks to; load_chunk unless a test replaces it.
void set_chunk_sink(ChunkSink sink);

bool read_all_section_data();
bool read_one_section(const SectionEntry& entry);
bool expand_cinit_records(uint8_t* buffer, uint32_t& length, uint32_t& carry);
uint32_t read_target_word(const uint8_t* bytes);

// Clears the .cinit record state and restores the default sink.
void reset_section_data();

}  // namespace coffhex
