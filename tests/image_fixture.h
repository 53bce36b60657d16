// Shared fixture of the image layer tests: the objects of one conversion
// that turn section data into output files (memory ranges, the selection,
// the output files, placement, the boot table and the data sink), built by
// hand around a real COFF file and writing real files into a scratch
// directory, with the run's diagnostics kept in memory.
//
// The images are read back from the files. DEBUG shows every lane piece as
// a hex group of its own behind the address of its line:
//   *** FILE HEADER ***
//   ADDR:00000010: DATA:40 41 42 :END:
//   *** FILE FOOTER ***
// A line is ended before a piece once it holds 68 characters (16 one-byte,
// 10 two-byte, 7 three-byte or 6 four-byte pieces), when the address jumps
// and when the record is ended (each section outside image mode, closing).
// Binary shows the raw bytes of each lane.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "boot/boot.h"
#include "cmdfile/roms.h"
#include "cmdfile/sections.h"
#include "coff/coff.h"
#include "diag/diag.h"
#include "image/byte_order.h"
#include "image/output_files.h"
#include "image/placement.h"
#include "image/section_list.h"
#include "support/bytes.h"
#include "support/capture.h"
#include "support/harness.h"

namespace imagetest {

using namespace coffhex;
using testsupport::bytes;
using testsupport::counting_bytes;
using testsupport::unwrap;
using Bytes = std::vector<uint8_t>;

// "ADDR:...: DATA:" line of a DEBUG file: `groups` are the hex groups of
// the line's pieces separated by blanks, as they appear.
inline std::string debug_line(uint32_t address, const std::string& groups) {
    char head[32];
    std::snprintf(head, sizeof head, "ADDR:%08x: DATA:", address);
    return head + groups + " :END:\n";
}

// A whole DEBUG file made of these lines.
inline std::string debug_file(const std::string& lines) {
    return "*** FILE HEADER ***\n" + lines + "*** FILE FOOTER ***\n";
}

// The bytes as one-byte groups: "40 41 42".
inline std::string groups(const Bytes& data) {
    std::string text;
    char pair[4];
    for (size_t i = 0; i < data.size(); ++i) {
        std::snprintf(pair, sizeof pair, i == 0 ? "%02X" : " %02X", data[i]);
        text += pair;
    }
    return text;
}

// A section of `size` zero bytes at `paddr` in a fixture description;
// `more` adds fields ("page=1", "vaddr=0x8000", "flags=0x10"). Tests that
// hand their own bytes to placement or to the data sink take only the
// section's name, addresses and size from the file.
inline std::string section(const std::string& name, uint32_t paddr, uint32_t size,
                           const std::string& more = "") {
    char text[160];
    std::snprintf(text, sizeof text, "section %s paddr=0x%x %s\n", name.c_str(), paddr, more.c_str());
    std::string out = text;
    if (size != 0) out += "  fill " + std::to_string(size) + " 0\n";
    return out;
}

// One conversion's image machinery. Set the settings, load the COFF file,
// add the ranges, select sections (nothing selected: all of them), then
// start().
class ImageRig {
public:
    ImageRig() { output_settings.format = Format::Debug; }

    testsupport::TempDir dir;
    testsupport::CapturedDiagnostics captured;
    Diagnostics& diag = captured.diag;

    // Settings that several objects share.
    bool image = false;
    int order = ORDER_LS;
    int32_t data_width = 1;  // bytes

    OutputSettings output_settings;
    SectionListSettings list_settings;
    BootSettings boot_settings;
    SinkSettings sink_settings;

    std::unique_ptr<CoffFile> coff;
    SectionSelection selection{diag};
    std::deque<RomRange> ranges;
    ConversionOrder order_of_sections;

    std::unique_ptr<RangeOutput> output;
    std::unique_ptr<Placement> placement;
    std::unique_ptr<BootTable> boot;
    std::unique_ptr<DataSink> sink;

    // Writes the COFF file of `description` as app.out and reads its
    // headers.
    void load(const std::string& description) {
        const std::string path = dir.file("app.out");
        testsupport::write_coff(path, description);
        FILE* stream = std::fopen(path.c_str(), "rb");
        if (stream == nullptr) throw std::runtime_error("cannot open " + path);
        coff = std::make_unique<CoffFile>(stream, diag);
        coff->read_headers(false);
    }

    // Appends a range from `origin` to `end` (widths in bytes) whose files
    // are r<i>.<k> in the scratch directory.
    RomRange& add_range(uint32_t origin, uint32_t end, int32_t memwidth = 1, int32_t romwidth = 1,
                        uint32_t fill = 0, int32_t page = 0) {
        RomRange& range = ranges.emplace_back();
        std::snprintf(range.name, sizeof range.name, "r%zu", ranges.size() - 1);
        range.origin = origin;
        range.end = end;
        range.length = end - origin + 1;
        range.page = page;
        range.memwidth = memwidth;
        range.romwidth = romwidth;
        range.fill_given = fill;
        range.fill = fill;
        range.file_count = lane_count(memwidth, romwidth);
        for (int k = 0; k < range.file_count; ++k)
            range.files.push_back({dir.file(std::string(range.name) + "." + std::to_string(k))});
        if (ranges.size() > 1) ranges[ranges.size() - 2].next = &range;
        return range;
    }
    RomRange* first_range() { return ranges.empty() ? nullptr : &ranges.front(); }

    // One SECTIONS entry, with its address when given.
    void select(const char* name, uint32_t paddr = 0xFFFFFFFFu, bool boot_loaded = false) {
        selection.new_section_spec(name);
        if (paddr != 0xFFFFFFFFu) selection.set_paddr(paddr);
        if (boot_loaded) selection.set_boot();
        selection.append_section_spec();
    }

    // The output files alone (for tests of the width splitter).
    void start_output() {
        output_settings.order = order;
        output = std::make_unique<RangeOutput>(output_settings, diag);
    }

    // Builds the machinery as the translate step does: output files,
    // placement, the boot table with its origin, the section list (linked
    // to the file, in conversion order) and the data sink; placement starts
    // at the first range.
    void start() {
        start_output();
        PlacementSettings p;
        p.image = image;
        p.data_width = data_width;
        p.order = order;
        p.big_endian_input = coff->big_endian_data();
        placement = std::make_unique<Placement>(p, *coff, selection, *output, diag);
        boot = std::make_unique<BootTable>(boot_settings, *coff, *placement, diag);
        boot->set_boot_origin(first_range());
        list_settings.data_width = data_width;
        list_settings.image = image;
        list_settings.boot_org = boot->boot_org();
        list_settings.boot_page = boot->boot_page();
        list_settings.coff_file_name = "app.out";
        order_of_sections = complete_section_list(selection, *coff, first_range(), list_settings, diag);
        placement->set_current_range(first_range());
        sink_settings.image = image;
        sink_settings.coff_file_name = "app.out";
        sink = std::make_unique<DataSink>(sink_settings, *coff, order_of_sections, *placement, *boot, diag);
    }

    SectionSpec* entry(const std::string& name) {
        for (SectionSpec* s = selection.first(); s != nullptr; s = s->next)
            if (s->name == name) return s;
        return nullptr;
    }
    // What placement has learnt of an entry.
    const EntryState& state(const SectionSpec* entry) const { return placement->entry_state(*entry); }
    int index_of(const std::string& name) const { return coff->find_section_index(name); }

    // Places `data` at `address` for `entry` as one buffer (with room for
    // pad bytes behind it); returns what place_data wrote.
    uint32_t place(SectionSpec* entry, const Bytes& data, uint32_t address) {
        placement->set_current_entry(entry);
        Bytes buffer = data;
        buffer.resize(data.size() + 16, 0xEE);
        return placement->place_data(buffer.data(), static_cast<uint32_t>(data.size()), address);
    }
    uint32_t place(SectionSpec* entry, const Bytes& data) { return place(entry, data, entry->address); }

    // Hands a chunk of section `name` to the data sink as the reader does.
    void load_chunk(const std::string& name, const Bytes& data, uint32_t address,
                    uint32_t length = 0xFFFFFFFFu) {
        const int index = index_of(name);
        const SectionEntry& section = coff->sections()[static_cast<size_t>(index)];
        sink->load_chunk(index, section, data.data(),
                         length == 0xFFFFFFFFu ? static_cast<uint32_t>(data.size()) : length,
                         address, section.page);
    }

    // Ends the run: closes a boot table still open, finishes every range
    // and puts the files in place.
    void finish() {
        if (boot != nullptr && !boot->closed()) boot->close_boot_table();
        if (placement != nullptr) placement->finish_ranges();
        output->put_files_in_place();
    }

    // Puts the files of the ranges closed so far in place.
    void put_in_place() { output->put_files_in_place(); }

    std::string text(const RomRange& range, int file = 0) const {
        return testsupport::read_text(range.files[static_cast<size_t>(file)].name);
    }
    Bytes raw(const RomRange& range, int file = 0) const {
        return testsupport::read_bytes(range.files[static_cast<size_t>(file)].name);
    }
    // The files written so far (the input file left out).
    std::vector<std::string> written() const {
        std::vector<std::string> names;
        for (const std::string& name : testsupport::list_files(dir.path()))
            if (name != "app.out") names.push_back(name);
        return names;
    }

    std::string out() const { return captured.out(); }
    std::string err() const { return unwrap(captured.err()); }
};

}  // namespace imagetest
