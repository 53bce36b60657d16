// The sections to convert: default selection, linker fill sections,
// resolution against the input file and the conversion order.
#pragma once

namespace coffhex {

struct SectionSpec;

void complete_section_list();
void order_section_array();

// Number of selection entries linked to an input section.
int converted_section_count();

// The entry linked to section index `index`, or nullptr.
SectionSpec* spec_for_section(int index);

void reset_section_list();

}  // namespace coffhex
