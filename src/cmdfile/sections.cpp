// The SECTIONS directive: creating, marking and appending selection entries.
#include "cmdfile/sections.h"

#include <deque>
#include <unordered_set>

#include "diag/common.h"
#include "diag/diag.h"

namespace coffhex {

void SectionSelection::begin_sections() {
    if (first_ != nullptr) diag_.report(ERROR, "SECTIONS directive redefined");
}

void SectionSelection::new_section_spec(const char* name) {
    SectionSpec& entry = entries_.emplace_back();
    entry.id = static_cast<int>(entries_.size() - 1);
    entry.name = name != nullptr ? name : "";
    current_ = &entry;
}

void SectionSelection::set_boot() {
    if (current_ == nullptr) return;
    if (current_->boot_loaded()) {
        diag_.report(ERROR, "bootflag reset for %s", current_->name.c_str());
    } else {
        current_->flags |= SPEC_BOOT;
    }
}

void SectionSelection::set_paddr(uint32_t value) {
    if (current_ == nullptr) return;
    if (current_->paddr || current_->boot_loaded()) {
        diag_.report(ERROR, "physical address redefined for %s", current_->name.c_str());
    } else if (value != ALL_ONES) {
        current_->paddr = value;
    }
}

void SectionSelection::set_datawidth(uint32_t bits) {
    if (current_ == nullptr) return;
    if (current_->datawidth) {
        diag_.report(ERROR, "datawidth redefined for %s", current_->name.c_str());
    }
    if (bits % 8 == 0 && is_power_of_two(bits)) {
        current_->datawidth = static_cast<int32_t>(bits / 8);
    } else {
        diag_.report(WARNING, "illegal datawidth of %u specified for %s", bits,
               current_->name.c_str());
    }
}

void SectionSelection::append_section_spec() {
    if (current_ == nullptr) return;
    SectionSpec& entry = *current_;
    // An entry already in the list has its name there too, so appending it
    // again is refused like any duplicate (and cannot link a cycle).
    if (!names_.insert(entry.name).second) {
        diag_.report(WARNING, "duplicate section name '%s' (ignored)", entry.name.c_str());
        return;
    }
    if (first_ == nullptr) {
        first_ = &entry;
    } else {
        last_->next = &entry;
    }
    last_ = &entry;
    if (directive_open_) directive_appended_ = true;
}

}  // namespace coffhex
