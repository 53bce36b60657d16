// The SECTIONS directive: the selection list of input sections to convert.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <unordered_set>

namespace coffhex {

class Diagnostics;

enum SectionSpecFlags : uint16_t {
    SPEC_BOOT = 0x1,       // boot-loaded
    SPEC_RAM_CINIT = 0x2,  // RAM-model .cinit converted through .bss
    SPEC_MOVED = 0x8,      // moved into the ordered section array
    SPEC_RECORDS = 0x20,   // data arrives as records at scattered addresses
    SPEC_FIELD = 0x80,     // a checksum field's words, not a section
};

// An entry of the selection list. Once the section list is complete it is
// read-only: what placement and the map learn of an entry during the run
// is kept by them, by the entry's id.
struct SectionSpec {
    SectionSpec* next = nullptr;
    int id = -1;                      // creation order in the run, from 0
    std::string name;
    int section = -1;                 // index of the input section (file order); -1 = none
    // The address given with paddr (a value of all ones written in the
    // command file counts as not given).
    std::optional<uint32_t> paddr;
    // The output address, once the list is complete; all ones for an entry
    // that got none (it sorts behind the others).
    uint32_t address = 0xFFFFFFFFu;
    int32_t page = 0;
    std::optional<int32_t> datawidth; // bytes; given, or completed by the section list
    uint16_t flags = 0;

    bool boot_loaded() const { return (flags & SPEC_BOOT) != 0; }
    bool linked() const { return section >= 0; }
};

// The selection list of a conversion: the entries of the SECTIONS
// directive, then those the section list adds (default selection, linker
// fill sections). Entries keep their addresses for the whole run.
class SectionSelection {
public:
    explicit SectionSelection(Diagnostics& diag) : diag_(diag) {}
    SectionSelection(const SectionSelection&) = delete;
    SectionSelection& operator=(const SectionSelection&) = delete;

    // Directive operations (called by the grammar's actions).
    void begin_sections();
    void new_section_spec(const char* name);
    void set_boot();
    void set_paddr(uint32_t value);
    void set_datawidth(uint32_t bits);
    void append_section_spec();

    // First entry of the list, or nullptr (linked through `next`). Only
    // the completion of the list changes entries; everything downstream
    // reads them through a const selection.
    const SectionSpec* first() const { return first_; }
    SectionSpec* first() { return first_; }
    // The entry most recently created, or nullptr.
    const SectionSpec* current() const { return current_; }
    SectionSpec* current() { return current_; }
    // True when a SECTIONS directive created any entry.
    bool directive_used() const { return directive_appended_; }
    // Ends the directive's part of the list: entries appended from now on
    // (the default selection and the linker fill sections) are not the
    // directive's.
    void close_directive() { directive_open_ = false; }

    // Number of entries ever created: every id is below it.
    int entry_count() const { return static_cast<int>(entries_.size()); }

private:
    Diagnostics& diag_;
    // Every entry ever created, appended or not; a deque keeps addresses
    // stable, so a dropped duplicate stays valid as the current entry and
    // the list links never dangle.
    std::deque<SectionSpec> entries_;
    SectionSpec* first_ = nullptr;
    SectionSpec* last_ = nullptr;
    SectionSpec* current_ = nullptr;
    // Names in the list, for the duplicate test.
    std::unordered_set<std::string> names_;
    bool directive_open_ = true;
    bool directive_appended_ = false;
};

}  // namespace coffhex
