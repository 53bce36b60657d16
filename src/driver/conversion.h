// One conversion: the object that owns everything a run knows, from the
// settings and the diagnostics to the output files, and runs it from the
// argument walk to the exit status.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "boot/boot.h"
#include "cmdfile/checksums.h"
#include "cmdfile/lexer.h"
#include "cmdfile/parser.h"
#include "cmdfile/roms.h"
#include "cmdfile/sections.h"
#include "diag/diag.h"
#include "driver/options.h"
#include "driver/settings_records.h"
#include "image/checksum_fields.h"
#include "image/output_files.h"
#include "image/placement.h"
#include "image/section_list.h"
#include "platform/files.h"

namespace coffhex {

class BootTable;
class ObjectFile;
class DataSink;
class MapReport;
class Placement;
class RangeOutput;

class Conversion : private CommandActions {
public:
    // `argv[0]` is the program name; `out` and `err` receive the standard
    // output and standard error of the run.
    Conversion(int argc, char** argv, FILE* out, FILE* err);
    ~Conversion() override;
    Conversion(const Conversion&) = delete;
    Conversion& operator=(const Conversion&) = delete;

    // Runs the conversion once and returns the exit status.
    int run();

private:
    // Stages, in the order they run.
    void convert();
    void walk_arguments();
    void classify_input(const char* name);
    void parse_command_file_named(const std::string& path);
    void finish_configuration();
    void check_output_names();
    void open_map_file();
    void begin_translation();
    void check_format_widths();
    void begin_map_report();
    void read_symbols();
    void measure_checksum_fields();
    void finish_output();
    void close_map_file();
    void put_files_in_place(bool complete);
    void print_checksums();
    void print_checksum_fields();
    void close_everything();

    // What the statements of a command file do.
    void option(const char* text) override;
    void input_name(const char* name) override;
    void begin_roms() override;
    void set_page(int32_t page) override;
    void new_range(const char* name) override;
    void set_origin(uint32_t value) override;
    void set_length(uint32_t value) override;
    void set_romwidth(uint32_t bits) override;
    void set_memwidth(uint32_t bits) override;
    void set_fill(uint32_t value) override;
    void add_output_file(const char* name) override;
    void finish_range() override;
    void begin_sections() override;
    void new_section_spec(const char* name) override;
    void set_boot() override;
    void set_paddr(uint32_t value) override;
    void set_datawidth(uint32_t bits) override;
    void append_section_spec() override;
    void begin_checksums() override;
    void new_checksum(const char* name) override;
    void set_checksum_algorithm(const char* name) override;
    void set_checksum_at(uint32_t value) override;
    void set_checksum_origin(uint32_t value) override;
    void set_checksum_length(uint32_t value) override;
    void set_checksum_order(const char* name) override;
    void set_checksum_page(uint32_t value) override;
    void unknown_checksum_attribute(const char* name) override;
    void end_checksums() override;

    int argc_;
    char** argv_;
    const char* program_name_;
    Diagnostics diag_;

    // Arguments and command files.
    Settings settings_;
    Lexer lexer_;
    OptionParser options_;
    MemoryConfig memory_;
    SectionSelection selection_;
    ChecksumConfig checksums_;
    std::unique_ptr<ArgumentCursor> cursor_;
    bool parsing_command_file_ = false;
    FILE* command_stream_ = nullptr;
    std::string command_file_name_;
    // Every file read as input (the COFF file and the command files), so
    // that no output can be written over one of them.
    std::vector<std::string> input_paths_;

    // The input object file.
    std::string coff_file_name_;
    std::unique_ptr<ObjectFile> object_;

    // What the translate step decides.
    RunFacts facts_;            // what the settings records are filled from
    bool widths_checked_ = false;
    uint32_t entry_point_ = 0;  // the boot table's entry point
    ConversionOrder conversion_order_;

    // What the machinery is built with (kept for the measuring pass of
    // the checksum fields, which builds a second set that writes nothing).
    OutputSettings output_settings_;
    PlacementSettings placement_settings_;
    BootSettings boot_settings_;
    SinkSettings sink_settings_;

    // The conversion's machinery, built by the translate step.
    std::unique_ptr<RangeOutput> output_;
    std::unique_ptr<Placement> placement_;
    std::unique_ptr<BootTable> boot_;
    std::unique_ptr<MapReport> map_;
    std::unique_ptr<DataSink> sink_;

    // The checksum fields' values and their placing (only with CHECKSUMS).
    std::vector<FieldResult> field_results_;
    std::unique_ptr<FieldPlacer> field_placer_;

    // The map file, written under a temporary name until the run is complete.
    FILE* map_stream_ = nullptr;
    StagedFile map_file_;
    bool map_write_failed_ = false;
};

}  // namespace coffhex
