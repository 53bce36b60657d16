// The boot table: boot-loaded sections packed behind an entry point with a
// size and destination address each, closed by a zero terminator; and the
// data sink that sends every chunk of section data either there or to
// placement.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "object/object_file.h"

namespace coffhex {

class Diagnostics;
class FieldPlacer;
class Placement;
struct ConversionOrder;
struct SectionSpec;

inline constexpr uint32_t BOOT_ALIGNMENT = 4;

enum class BootState { Closed, Framing, Open };

struct BootSettings {
    uint32_t boot_org = 0xFFFFFFFFu;  // -bootorg; all ones = the first range's origin
    int32_t boot_page = 0;            // -bootpage; -1 = the first range's page
    bool bootstrap = false;           // -bootstrap= names a bootstrap section
    int trace_level = 0;              // --v
};

class BootTable {
public:
    BootTable(const BootSettings& settings, const ObjectFile& coff, Placement& placement,
              Diagnostics& diag);
    BootTable(const BootTable&) = delete;
    BootTable& operator=(const BootTable&) = delete;

    // Completes the table's origin and page from the first range (when not
    // given) and starts the table there.
    void set_boot_origin(const struct RomRange* first_range);
    uint32_t boot_org() const { return boot_org_; }
    int32_t boot_page() const { return boot_page_; }
    // The entry point the table starts with (resolved from the symbols).
    void set_entry_point(uint32_t entry_point) { entry_point_ = entry_point; }

    // Framing.
    void write_boot_field(uint32_t value, int size);
    void begin_boot_section(uint32_t address, uint32_t size);
    void close_boot_table();

    // The boot half of the data sink, for a chunk of a boot-loaded entry.
    void load_boot_chunk(const SectionSpec& entry, const uint8_t* data, uint32_t length, uint32_t address);
    void append_boot_data(const SectionEntry& section, const uint8_t* data, uint32_t address,
                          uint32_t length);

    BootState state() const { return state_; }
    bool closed() const { return state_ == BootState::Closed; }
    // Next free address of the table.
    uint32_t table_address() const { return table_address_; }
    // Number of boot sections begun so far.
    int32_t sections_begun() const { return sections_begun_; }
    // Current size of the boot buffer (0 before its first use).
    uint32_t buffer_capacity() const { return capacity_; }

private:
    void set_state(BootState state);
    uint32_t place_at_table(uint8_t* bytes, uint32_t length);
    const struct RomRange* range_for_table(int32_t page) const;
    void append_to_buffer(const uint8_t* data, uint32_t count);

    BootSettings settings_;
    const ObjectFile& coff_;
    Placement& placement_;
    Diagnostics& diag_;

    uint32_t boot_org_ = 0;
    int32_t boot_page_ = 0;
    uint32_t entry_point_ = 0;
    BootState state_ = BootState::Closed;
    uint32_t table_address_ = 0;
    int32_t sections_begun_ = 0;
    // Bytes of the chunk being written: at least capacity_ bytes plus room
    // for the pad bytes placement may add behind the data.
    std::vector<uint8_t> buffer_;
    uint32_t length_ = 0;
    uint32_t capacity_ = 0;
    // One framing field plus room for the pad bytes placement may add.
    std::vector<uint8_t> field_;
    // The boot-loaded entry that most recently received table bytes (its
    // range is set); the terminator is written on its behalf.
    const SectionSpec* last_fed_ = nullptr;
};

// What the data sink prints and decides per section.
struct SinkSettings {
    bool quiet = false;      // -q: no progress lines
    int trace_level = 0;     // --v: the trace prints its own line ends
    bool image = false;      // outside image mode every section starts new records
    std::string coff_file_name;
};

// The data sink for every chunk of section data: maps it to its output
// address and hands it to the boot table or to placement.
//
// The records of a RAM-model .cinit that is not boot-loaded stand in the
// file in no particular address order, while placement only moves forward.
// They are read before the sections' data and handed to placement in
// address order among the sections: before a section begins, every record
// that belongs below it; the rest when the .cinit section's turn comes.
class DataSink : public ChunkSink {
public:
    DataSink(const SinkSettings& settings, const ObjectFile& coff, const ConversionOrder& order,
             Placement& placement, BootTable& boot, Diagnostics& diag);
    void load_chunk(int index, const SectionEntry& section, const uint8_t* data, uint32_t length,
                    uint32_t address, int32_t page) override;

    // Checksum fields to place among the data (nullptr: none).
    void set_field_placer(FieldPlacer* fields) { fields_ = fields; }

    // Reads the records of the .cinit entry placed as records (if any) and
    // orders them by output address. Called once before the sections' data.
    void read_records_ahead();

private:
    // A piece of a record's data as the record reader hands it on: the
    // target address of its first byte, its output address, its bytes.
    struct RecordPiece {
        uint32_t address = 0;
        uint32_t output = 0;
        std::vector<uint8_t> bytes;
    };
    void deliver(const SectionEntry& section, const SectionSpec* entry, const uint8_t* data,
                 uint32_t length, uint32_t address);
    // Places the pending records whose output address lies below `address`
    // on `page` (all of them when `all`).
    void place_records_below(int32_t page, uint32_t address, bool all);

    SinkSettings settings_;
    const ObjectFile& coff_;
    const ConversionOrder& order_;
    Placement& placement_;
    BootTable& boot_;
    Diagnostics& diag_;
    FieldPlacer* fields_ = nullptr;

    // The records read ahead, by output address; the next one to place.
    std::vector<RecordPiece> records_;
    size_t next_record_ = 0;
    int records_index_ = -1;  // the .cinit section they come from
};

}  // namespace coffhex
