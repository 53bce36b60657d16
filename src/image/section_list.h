// The sections to convert: default selection, linker fill sections,
// resolution of every selection entry against the input file, and the
// order in which the sections are converted.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace coffhex {

class ObjectFile;
class Diagnostics;
struct RomRange;
class SectionSelection;
struct SectionSpec;

// A section name pattern of -exclude: the text without its "*".
struct ExcludePattern {
    enum Kind { Exact, Prefix, Suffix };
    std::string text;
    Kind kind = Exact;
};
bool is_excluded(const std::vector<ExcludePattern>& patterns, const std::string& name);

// What the section list needs from the settings.
struct SectionListSettings {
    int32_t data_width = 1;  // bytes
    bool boot_all = false;   // -boot
    std::optional<std::string> boot_section_name;  // -bootsection
    uint32_t boot_section_address = 0xFFFFFFFFu;
    const std::vector<ExcludePattern>* exclude = nullptr;
    bool linker_fill = false;
    bool image = false;
    uint32_t boot_org = 0;  // the boot table's origin and page
    int32_t boot_page = 0;
    std::optional<std::string> bootstrap_section;  // -bootstrap=
    std::string coff_file_name;  // for the messages
};

// The sections of the input in conversion order, and the entry linked to
// each of them.
struct ConversionOrder {
    // Section indices (file order): the converted sections by page and
    // address (a bootstrap section first), then the others in file order.
    std::vector<int> order;
    // The selection entry linked to each section index, or nullptr.
    std::vector<const SectionSpec*> spec_of;
    // Number of selection entries linked to an input section.
    int converted = 0;

    const SectionSpec* spec_for_section(int index) const {
        if (index < 0 || static_cast<size_t>(index) >= spec_of.size()) return nullptr;
        return spec_of[static_cast<size_t>(index)];
    }
};

// Completes the selection list (default selection, linker fill sections),
// links every entry to its input section, gives it its output address and
// page, and orders the sections for conversion.
ConversionOrder complete_section_list(SectionSelection& selection, const ObjectFile& coff,
                                      const RomRange* first_range,
                                      const SectionListSettings& settings, Diagnostics& diag);

}  // namespace coffhex
