// The boot table: the boot half of the data sink and the framing fields.
//
// Boot-loaded sections are not placed at their own addresses. Their data is
// packed, behind a size and a destination address each, into one table that
// starts at the boot table origin; the entry point heads the table and a
// zero word ends it. Every byte of the table goes through place_data, on
// behalf of the entry whose chunk is being converted.
#include "boot/boot.h"

#include <algorithm>

#include "cmdfile/roms.h"
#include "cmdfile/sections.h"
#include "diag/common.h"
#include "diag/diag.h"
#include "image/checksum_fields.h"
#include "image/placement.h"
#include "image/section_list.h"

namespace coffhex {

namespace {

// The boot buffer grows by this many bytes whenever a byte would not fit.
constexpr uint32_t BOOT_BUFFER_STEP = 1638;

}  // namespace

BootTable::BootTable(const BootSettings& settings, const ObjectFile& coff, Placement& placement,
                     Diagnostics& diag)
    : settings_(settings), coff_(coff), placement_(placement), diag_(diag) {}

void BootTable::set_state(BootState state) {
    state_ = state;
    placement_.set_boot_table_mode(state != BootState::Closed);
}

namespace {

void make_room(std::vector<uint8_t>& buffer, uint64_t bytes) {
    if (buffer.size() < bytes) buffer.resize(static_cast<size_t>(bytes), 0);
}

}  // namespace

// Places bytes at the table address and advances it by what was written;
// the current entry, once placement has given it a range, is the latest
// one fed.
uint32_t BootTable::place_at_table(uint8_t* bytes, uint32_t length) {
    uint32_t written = placement_.place_data(bytes, length, table_address_);
    table_address_ += written;
    const SectionSpec* entry = placement_.current_entry();
    if (entry != nullptr && entry->boot_loaded() && placement_.entry_state(*entry).range != nullptr)
        last_fed_ = entry;
    return written;
}

// The range whose memory width pads a chunk: the one the table address
// falls into, seen from the current range (placement only moves forward).
const RomRange* BootTable::range_for_table(int32_t page) const {
    const RomRange* range = placement_.current_range();
    while (range != nullptr && range->next != nullptr &&
           (page > range->page || (page == range->page && table_address_ > range->end)))
        range = range->next;
    return range;
}

void BootTable::append_to_buffer(const uint8_t* data, uint32_t count) {
    uint64_t needed = static_cast<uint64_t>(length_) + count;
    if (capacity_ == 0) capacity_ = LOADBUFSIZE;
    while (capacity_ < needed) capacity_ += BOOT_BUFFER_STEP;
    make_room(buffer_, capacity_);
    if (data != nullptr)
        std::copy(data, data + count, buffer_.begin() + length_);
    else
        std::fill(buffer_.begin() + length_, buffer_.begin() + needed, uint8_t{0});
    length_ = static_cast<uint32_t>(needed);
}

void BootTable::set_boot_origin(const RomRange* first) {
    boot_org_ = settings_.boot_org;
    boot_page_ = settings_.boot_page;
    if (first != nullptr) {
        if (boot_org_ == ALL_ONES) boot_org_ = first->origin;
        if (boot_page_ == -1) boot_page_ = first->page;
    }
    table_address_ = boot_org_;
}

void BootTable::write_boot_field(uint32_t value, int size) {
    // This guard has its own fixed text, outside the severity layout.
    if (size > 4) diag_.abort_wrapped(">>", "ERROR: field truncated - ABORT", 1);
    if (size <= 0) return;
    make_room(field_, 4 + placement_.widest_memory_word() - 1);
    const bool big_endian = coff_.big_endian_data();
    for (int j = 0; j < size; ++j) {
        uint8_t byte = static_cast<uint8_t>(value >> (8 * j));
        field_[big_endian ? size - 1 - j : j] = byte;
    }
    place_at_table(field_.data(), static_cast<uint32_t>(size));
}

void BootTable::begin_boot_section(uint32_t address, uint32_t size) {
    ++sections_begun_;
    set_state(BootState::Framing);
    if (settings_.bootstrap) {
        // The bootstrap section forms a table of its own; the main table,
        // with the entry point, starts at the second section.
        if (sections_begun_ == 2) {
            close_boot_table();
            set_state(BootState::Framing);
            write_boot_field(entry_point_, 4);
        }
    } else if (sections_begun_ == 1) {
        write_boot_field(entry_point_, 4);
    }
    write_boot_field(size, 4);
    write_boot_field(address, 4);
    set_state(BootState::Open);
}

void BootTable::close_boot_table() {
    set_state(BootState::Framing);
    const SectionSpec* previous = placement_.current_entry();
    if (last_fed_ != nullptr) placement_.set_current_entry(last_fed_);
    write_boot_field(0, 4);
    placement_.set_current_entry(previous);
    set_state(BootState::Closed);
}

void BootTable::load_boot_chunk(const SectionSpec& entry, const uint8_t* data, uint32_t length,
                                uint32_t address) {
    const auto& sections = coff_.sections();
    if (entry.section < 0 || static_cast<size_t>(entry.section) >= sections.size()) return;
    const SectionEntry& section = sections[static_cast<size_t>(entry.section)];
    if ((entry.flags & SPEC_RAM_CINIT) != 0)
        begin_boot_section(address, length);  // every record piece is a section
    else if (address == section.vaddr)
        begin_boot_section(address, section.size);
    append_boot_data(section, data, address, length);
}

void BootTable::append_boot_data(const SectionEntry& section, const uint8_t* data,
                                 uint32_t address, uint32_t length) {
    const bool trace = settings_.trace_level != 0;
    if (trace) diag_.trace("\n");

    length_ = 0;
    append_to_buffer(data, length);

    const SectionSpec* entry = placement_.current_entry();
    const bool cinit = entry != nullptr && (entry->flags & SPEC_RAM_CINIT) != 0;
    const bool completes =
        cinit || static_cast<uint64_t>(address) + length >=
                     static_cast<uint64_t>(section.vaddr) + section.size;

    if (completes) {
        uint32_t aligned = (length_ + BOOT_ALIGNMENT - 1) / BOOT_ALIGNMENT * BOOT_ALIGNMENT;
        if (aligned > length_) append_to_buffer(nullptr, aligned - length_);
    }

    if (placement_.current_range() != nullptr) {
        const RomRange* range = range_for_table(entry != nullptr ? entry->page : 0);
        uint32_t width = static_cast<uint32_t>(std::max(range->memwidth, 1));
        uint32_t n = length;
        while (n % width != 0) {
            if (!completes) diag_.internal("corrupt boot buffer - ABORT");
            ++n;
            if (length_ < n) append_to_buffer(nullptr, 1);
        }
    }

    make_room(buffer_, static_cast<uint64_t>(length_) + placement_.widest_memory_word() - 1);
    const uint32_t placed_at = table_address_;
    place_at_table(buffer_.data(), length_);

    if (!completes && trace) {
        // The buffer is known by the table address it was placed at; there
        // is no overflow buffer.
        diag_.trace("Boot Buffer Address    : 0x%X\n", placed_at);
        diag_.trace("Length of Data         : %u\n", length_);
        diag_.trace("Length of Buffer       : %u\n", capacity_);
        diag_.trace("Overflow Buffer Address: 0x%X\n", 0u);
        diag_.trace("Overflow Buffer Length : %u\n", 0u);
    }
}

// ---------------------------------------------------------------- data sink

DataSink::DataSink(const SinkSettings& settings, const ObjectFile& coff, const ConversionOrder& order,
                   Placement& placement, BootTable& boot, Diagnostics& diag)
    : settings_(settings), coff_(coff), order_(order), placement_(placement), boot_(boot),
      diag_(diag) {}

namespace {

// Keeps every chunk handed to it: the record pieces of a .cinit section.
class RecordCollector : public ChunkSink {
public:
    struct Piece {
        uint32_t address;
        std::vector<uint8_t> bytes;
    };
    void load_chunk(int, const SectionEntry&, const uint8_t* data, uint32_t length,
                    uint32_t address, int32_t) override {
        pieces.push_back(Piece{address, std::vector<uint8_t>(data, data + length)});
    }
    std::vector<Piece> pieces;
};

}  // namespace

void DataSink::read_records_ahead() {
    const auto& sections = coff_.sections();
    for (size_t index = 0; index < sections.size(); ++index) {
        const SectionSpec* entry = order_.spec_for_section(static_cast<int>(index));
        if (entry == nullptr || (entry->flags & SPEC_RECORDS) == 0) continue;
        records_index_ = static_cast<int>(index);
        break;
    }
    if (records_index_ < 0) return;

    // The reader expands the records of the sections it is given in the
    // same pieces as during the conversion; no trace now, the pieces are
    // traced when the section's turn comes.
    RecordCollector collector;
    coff_.read_section_data({records_index_}, collector, false);

    const SectionSpec* entry = order_.spec_for_section(records_index_);
    uint32_t base = sections[static_cast<size_t>(records_index_)].vaddr;
    if (const SectionEntry* bss = coff_.bss()) base = bss->vaddr;
    records_.reserve(collector.pieces.size());
    for (auto& piece : collector.pieces)
        records_.push_back(RecordPiece{piece.address, entry->address - base + piece.address,
                                       std::move(piece.bytes)});
    std::stable_sort(records_.begin(), records_.end(),
                     [](const RecordPiece& a, const RecordPiece& b) { return a.output < b.output; });
}

void DataSink::place_records_below(int32_t page, uint32_t address, bool all) {
    if (next_record_ >= records_.size()) return;
    const SectionSpec* entry = order_.spec_for_section(records_index_);
    const SectionEntry& section = coff_.sections()[static_cast<size_t>(records_index_)];
    const SectionSpec* previous = placement_.current_entry();
    for (; next_record_ < records_.size(); ++next_record_) {
        const RecordPiece& piece = records_[next_record_];
        if (!all && (entry->page > page || (entry->page == page && piece.output >= address)))
            break;
        // Every run of consecutive record data that cannot be placed gets a
        // warning of its own.
        const bool continues = next_record_ > 0 &&
                               records_[next_record_ - 1].output +
                                       static_cast<uint32_t>(records_[next_record_ - 1].bytes.size()) ==
                                   piece.output;
        if (!continues) placement_.begin_record(*entry);
        placement_.set_current_entry(entry);
        deliver(section, entry, piece.bytes.data(),
                static_cast<uint32_t>(piece.bytes.size()), piece.address);
    }
    placement_.set_current_entry(previous);
}

void DataSink::load_chunk(int index, const SectionEntry& section, const uint8_t* data,
                          uint32_t length, uint32_t address, int32_t /*page*/) {
    const SectionSpec* entry = order_.spec_for_section(index);
    if (index == records_index_ && records_index_ >= 0) {
        // The records were read ahead: what is left of them goes now.
        place_records_below(0, 0, true);
        placement_.set_current_entry(entry);
        return;
    }
    // Records that belong below this section go before it.
    if (entry != nullptr && address == section.vaddr)
        place_records_below(entry->page, entry->address, false);
    placement_.set_current_entry(entry);
    if (entry == nullptr) return;
    deliver(section, entry, data, length, address);
}

void DataSink::deliver(const SectionEntry& section, const SectionSpec* entry, const uint8_t* data,
                       uint32_t length, uint32_t address) {
    if ((entry->flags & (SPEC_RAM_CINIT | SPEC_BOOT)) == 0 && section.is_cinit()) {
        // A RAM-model .cinit that the section list could not convert (image
        // mode, not boot-loaded): its records carry .bss addresses that have
        // no place in this image, and placing them anywhere would only put
        // data at a made-up address.
        placement_.set_current_entry(nullptr);
        return;
    }

    // The boot-loaded sections are over: the terminator goes right after
    // the last of them, before this chunk.
    if (!entry->boot_loaded() && !boot_.closed()) boot_.close_boot_table();

    if (const RomRange* range = placement_.current_range())
        placement_.check_load_buffer_widths(*range, entry->boot_loaded() ? BOOT_ALIGNMENT : 0);

    // A converted RAM-model .cinit carries .bss addresses. Without a .bss
    // section the records are mapped from the .cinit section's own address,
    // the same address source the section list used for the entry.
    const bool ram_cinit = (entry->flags & SPEC_RAM_CINIT) != 0;
    uint32_t base = section.vaddr;
    if (ram_cinit) {
        if (const SectionEntry* bss = coff_.bss()) base = bss->vaddr;
    }
    const uint32_t output_address = entry->address - base + address;

    if (address == section.vaddr || (ram_cinit && output_address == 0)) {
        if (!settings_.quiet) {
            diag_.trace("   \"%s\"   ==> %s", settings_.coff_file_name.c_str(), entry->name.c_str());
            if (entry->boot_loaded()) diag_.trace(" \t(BOOT LOAD)");
            if (settings_.trace_level <= 0) diag_.trace("\n");
        }
        // Outside image mode every section starts a record of its own.
        if (!settings_.image) placement_.flush_range_files();
    }

    if (entry->boot_loaded()) {
        // Fields below the boot table's next address go first.
        if (fields_ != nullptr) fields_->place_before(placement_, entry->page, boot_.table_address());
        boot_.load_boot_chunk(*entry, data, length, address);
        return;
    }
    if (fields_ != nullptr) fields_->place_before(placement_, entry->page, output_address);
    placement_.place_chunk(data, length, output_address);
}

}  // namespace coffhex
