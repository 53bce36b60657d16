// The conversion driver: main flow, argument walk, input classification and
// the translate step.
#include "driver/run.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <new>

#include "boot/boot.h"
#include "coff/coff.h"
#include "object/sym.h"
#include "diag/common.h"
#include "diag/faults.h"
#include "elf/elf.h"
#include "driver/banner.h"
#include "driver/conversion.h"
#include "driver/settings_records.h"
#include "formats/format_table.h"
#include "image/filename.h"
#include "image/output_files.h"
#include "image/placement.h"
#include "mapfile/mapfile.h"
#include "platform/platform.h"

namespace coffhex {

namespace {

// True when one of the first two bytes of a file is a control character
// that no text file holds (anything below a blank but tab, line feed, form
// feed and carriage return, or DEL): such a file is binary, not a command
// file. ELF object files, which start with DEL, are recognised before.
bool starts_with_binary_control(const unsigned char bytes[2]) {
    for (int i = 0; i < 2; ++i) {
        const unsigned char c = bytes[i];
        if (c == '\t' || c == '\n' || c == '\f' || c == '\r') continue;
        if (c < 0x20 || c == 0x7F) return true;
    }
    return false;
}

// An input name whose last path component has no "." gets ".out".
std::string with_default_extension(const char* name) {
    std::string result(name);
    size_t separator = result.find_last_of("/\\");
    size_t start = separator == std::string::npos ? 0 : separator + 1;
    if (result.find('.', start) == std::string::npos) result += ".out";
    return result;
}

}  // namespace

Conversion::Conversion(int argc, char** argv, FILE* out, FILE* err)
    : argc_(argc),
      argv_(argv),
      program_name_(argc > 0 && argv[0] != nullptr ? argv[0] : "coffhex"),
      diag_(out, err),
      lexer_(diag_),
      options_(settings_, lexer_, diag_, program_name_),
      memory_(diag_),
      selection_(diag_),
      checksums_(diag_) {}

Conversion::~Conversion() { close_everything(); }

int Conversion::run() {
    int status;
    try {
        convert();
        status = (diag_.worst_severity() > 2) ? 1 : 0;
    } catch (const RunAbort& abort) {
        status = abort.status;
    } catch (const std::bad_alloc&) {
        // Allocation failure anywhere in the run.
        try {
            diag_.fatal("out of memory");
        } catch (const RunAbort& abort) {
            status = abort.status;
        }
    } catch (...) {
        // An exception nobody expected is treated like a crash.
        write_fault_text(diag_.err(), SIGSEGV, program_name_);
        status = 2;
    }
    close_everything();
    return status;
}

void Conversion::convert() {
    walk_arguments();
    if (object_ == nullptr) diag_.fatal("no input files");
    finish_configuration();
    if (diag_.worst_severity() > 2) diag_.fatal("errors prevent conversion");
    check_output_names();
    open_map_file();

    object_->read_headers(settings_.trace_level != 0);
    begin_translation();
    if (settings_.trace_level != 0) object_->trace_headers();
    read_symbols();
    sink_->read_records_ahead();
    measure_checksum_fields();
    object_->read_section_data(conversion_order_.order, *sink_, settings_.trace_level != 0);
    object_->close();

    finish_output();
    close_map_file();
    put_files_in_place(true);
    print_checksums();
    print_checksum_fields();
}

// ---------------------------------------------------------------- arguments

void Conversion::walk_arguments() {
    cursor_ = std::make_unique<ArgumentCursor>(argc_, argv_);
    if (cursor_->done()) print_usage(false, program_name_, diag_);
    int inputs = 0;
    for (; !cursor_->done(); cursor_->advance()) {
        const char* argument = cursor_->current();
        if (argument[0] == '-') {
            options_.parse_option(argument + 1, cursor_.get());
        } else {
            classify_input(argument);
            ++inputs;
        }
    }
    if (inputs == 0) print_usage(false, program_name_, diag_);
}

void Conversion::classify_input(const char* name) {
    std::string path = with_default_extension(name);
    FILE* probe = std::fopen(path.c_str(), "rb");
    if (probe == nullptr) diag_.fatal("cannot open input file '%s': %s", path.c_str(), std::strerror(errno));

    unsigned char bytes[4];
    if (std::fread(bytes, 1, 2, probe) != 2) {
        std::fclose(probe);
        diag_.fatal("cannot read input file %s", path.c_str());
    }
    const bool coff = is_coff_identification(bytes, 2);
    // An ELF file is known by its four identification bytes.
    const bool elf = std::fread(bytes + 2, 1, 2, probe) == 2 && is_elf_identification(bytes, 4);

    if (elf || coff) {
        if (object_ != nullptr) {
            std::fclose(probe);
            const char* kind = elf ? "ELF" : "COFF";
            if (std::strcmp(kind, object_->kind()) != 0)
                diag_.report(WARNING, "multiple object files: %s ignored", path.c_str());
            else
                diag_.report(WARNING, "multiple %s files: %s ignored", kind, path.c_str());
            return;
        }
        coff_file_name_ = path;
        input_paths_.push_back(path);
        std::rewind(probe);
        if (elf)
            object_ = std::make_unique<ElfFile>(probe, path, diag_);
        else
            object_ = std::make_unique<CoffFile>(probe, diag_);
        return;
    }
    std::fclose(probe);
    if ((bytes[0] & 0x80) != 0 || (bytes[1] & 0x80) != 0 || starts_with_binary_control(bytes)) {
        diag_.report(WARNING, "illegal input file type: %s ignored", path.c_str());
        return;
    }
    if (parsing_command_file_) {
        diag_.report(WARNING, "nested command file: %s ignored", path.c_str());
        return;
    }
    input_paths_.push_back(path);
    parse_command_file_named(path);
}

void Conversion::parse_command_file_named(const std::string& path) {
    command_file_name_ = path;
    command_stream_ = std::fopen(path.c_str(), "r");
    if (command_stream_ == nullptr)
        diag_.fatal("cannot open input file '%s': %s", path.c_str(), std::strerror(errno));
    parsing_command_file_ = true;
    diag_.set_command_file(command_file_name_.c_str());
    lexer_.start(command_stream_);
    parse_command_file(lexer_, *this, diag_);
    lexer_.start(nullptr);
    std::fclose(command_stream_);
    command_stream_ = nullptr;
    parsing_command_file_ = false;
    diag_.set_command_file(nullptr);
}

// ---------------------------------------------------------------- command-file actions

void Conversion::option(const char* text) { options_.parse_option(text, nullptr); }
void Conversion::input_name(const char* name) { classify_input(name); }
void Conversion::begin_roms() { memory_.begin_roms(); }
void Conversion::set_page(int32_t page) { memory_.set_current_page(page); }
void Conversion::new_range(const char* name) { memory_.new_range(name); }
void Conversion::set_origin(uint32_t value) { memory_.set_origin(value); }
void Conversion::set_length(uint32_t value) { memory_.set_length(value); }
void Conversion::set_romwidth(uint32_t bits) { memory_.set_romwidth(bits); }
void Conversion::set_memwidth(uint32_t bits) { memory_.set_memwidth(bits); }
void Conversion::set_fill(uint32_t value) { memory_.set_fill(value); }
void Conversion::add_output_file(const char* name) { memory_.add_output_file(name); }
// Whether a range needs its origin and length is decided by -image as it
// stands when the range is finished.
void Conversion::finish_range() { memory_.finish_range(settings_.image); }
void Conversion::begin_sections() { selection_.begin_sections(); }
void Conversion::new_section_spec(const char* name) { selection_.new_section_spec(name); }
void Conversion::set_boot() { selection_.set_boot(); }
void Conversion::set_paddr(uint32_t value) { selection_.set_paddr(value); }
void Conversion::set_datawidth(uint32_t bits) { selection_.set_datawidth(bits); }
void Conversion::append_section_spec() { selection_.append_section_spec(); }
void Conversion::begin_checksums() { checksums_.begin_checksums(); }
void Conversion::new_checksum(const char* name) { checksums_.new_field(name); }
void Conversion::set_checksum_algorithm(const char* name) { checksums_.set_algorithm(name); }
void Conversion::set_checksum_at(uint32_t value) { checksums_.set_at(value); }
void Conversion::set_checksum_origin(uint32_t value) { checksums_.set_origin(value); }
void Conversion::set_checksum_length(uint32_t value) { checksums_.set_length(value); }
void Conversion::set_checksum_order(const char* name) { checksums_.set_order(name); }
void Conversion::set_checksum_page(uint32_t value) { checksums_.set_page(value); }
void Conversion::unknown_checksum_attribute(const char* name) { checksums_.unknown_attribute(name); }
void Conversion::end_checksums() { checksums_.finish_field(); }

// ---------------------------------------------------------------- configuration

void Conversion::finish_configuration() {
    facts_.image = settings_.image;
    facts_.input_name = coff_file_name_;
    memory_.finish_rom_ranges(range_defaults(settings_, facts_));
    checksums_.complete(memory_.first_range());

    facts_.zero_based = settings_.zero_based;
    if (facts_.zero_based && !facts_.image) {
        diag_.report(WARNING, "-zero requires -image: ignored");
        facts_.zero_based = false;
    }
}

// Refuses an output or map file that would overwrite an input file or
// another output file, before anything is written.
void Conversion::check_output_names() {
    std::vector<std::string> outputs;
    for (const RomRange* range = memory_.first_range(); range != nullptr; range = range->next) {
        for (int32_t i = 0; i < range->file_count && i < static_cast<int32_t>(range->files.size()); ++i)
            outputs.push_back(range->files[static_cast<size_t>(i)].name);
    }
    const std::string& map = settings_.map_file_name;
    for (size_t i = 0; i < outputs.size(); ++i) {
        for (const std::string& input : input_paths_)
            if (same_file(outputs[i], input))
                diag_.fatal("output file '%s' would overwrite input file '%s'", outputs[i].c_str(),
                            input.c_str());
        for (size_t j = 0; j < i; ++j)
            if (same_file(outputs[i], outputs[j]))
                diag_.fatal("output file '%s' is named more than once", outputs[i].c_str());
        if (!map.empty() && same_file(outputs[i], map))
            diag_.fatal("map file '%s' is also an output file", map.c_str());
    }
    if (!map.empty()) {
        for (const std::string& input : input_paths_)
            if (same_file(map, input))
                diag_.fatal("map file '%s' would overwrite input file '%s'", map.c_str(), input.c_str());
    }
}

void Conversion::open_map_file() {
    if (settings_.map_file_name.empty()) return;
    map_stream_ = open_staged(settings_.map_file_name, false, map_file_);
    if (map_stream_ == nullptr)
        diag_.report(WARNING, "cannot open map file '%s': %s", settings_.map_file_name.c_str(),
                     std::strerror(errno));
}

// ---------------------------------------------------------------- translation

void Conversion::check_format_widths() {
    if (widths_checked_) return;
    widths_checked_ = true;
    if (settings_.format == Format::Tagged && settings_.rom_width_given && settings_.rom_width != 2)
        diag_.fatal("QV-Tagged format must have a ROM width of 16 bits");
    if (settings_.format == Format::Binary && settings_.mem_width != 1)
        diag_.fatal("Binary format must have a memory width of 8 bits");
}

// The translate step, once the section headers are known: the format
// checks, the boot table's origin, the sections to convert and their
// order, the data order, and the machinery that writes the output.
void Conversion::begin_translation() {
    check_format_widths();

    const ObjectFile& object = *object_;
    facts_.order = settings_.order != ORDER_NONE ? settings_.order
                                                 : (object.big_endian_data() ? ORDER_MS : ORDER_LS);
    facts_.big_endian_input = object.big_endian_data();
    facts_.entry_address = object.entry_address();

    output_settings_ = output_settings(settings_, facts_);
    placement_settings_ = placement_settings(settings_, facts_);
    boot_settings_ = boot_settings(settings_);
    output_ = std::make_unique<RangeOutput>(output_settings_, diag_);
    placement_ = std::make_unique<Placement>(placement_settings_, object, selection_, *output_, diag_);
    boot_ = std::make_unique<BootTable>(boot_settings_, object, *placement_, diag_);
    if (map_stream_ != nullptr) begin_map_report();

    boot_->set_boot_origin(memory_.first_range());
    conversion_order_ = complete_section_list(
        selection_, object, memory_.first_range(),
        section_list_settings(settings_, facts_, boot_->boot_org(), boot_->boot_page()), diag_);
    if (conversion_order_.converted == 0)
        diag_.fatal("no initialized sections in %s", coff_file_name_.c_str());
    if (settings_.quiet == 0)
        diag_.trace("Translating %s to %s format...\n", coff_file_name_.c_str(),
                    hex_format(settings_.format).name);
    placement_->set_current_range(memory_.first_range());

    sink_settings_ = sink_settings(settings_, facts_);
    sink_ = std::make_unique<DataSink>(sink_settings_, object, conversion_order_, *placement_, *boot_,
                                       diag_);
}

// The map report, with the map file open: each range's block is written as
// placement leaves the range.
void Conversion::begin_map_report() {
    map_ = std::make_unique<MapReport>(map_stream_, map_settings(settings_, facts_), selection_,
                                       *object_, *boot_, *placement_);
    if (settings_.checksum) map_->show_checksums(*output_);
    placement_->set_range_observer(map_.get());
}

// The symbols: the boot table's entry point from a -e name, else from -e's
// address, else the input file's own; then the map header.
void Conversion::read_symbols() {
    SymbolTable table;
    object_->read_symbols(table, settings_.symbol_trace);
    entry_point_ = settings_.entry_point;
    if (settings_.entry_symbol) {
        uint32_t value = 0;
        if (table.find(settings_.entry_symbol->c_str(), value))
            entry_point_ = value;
        else
            diag_.report(ERROR, "Requested boot table entry point symbol '%s' not found\n",
                         settings_.entry_symbol->c_str());
    }
    if (entry_point_ == ALL_ONES) entry_point_ = object_->entry_address();
    boot_->set_entry_point(entry_point_);
    if (map_ != nullptr) map_->write_map_header(entry_point_);
}

// With a CHECKSUMS directive, before any file is written: the conversion
// is run once more with no output files, the fields' covered bytes are
// taken from what placement writes, and their values computed. The fields
// that section data or the boot table overlaps are refused here. Without
// the directive nothing of this runs. The pass reads the same configuration
// and builds machinery of its own, which starts with nothing written.
void Conversion::measure_checksum_fields() {
    if (checksums_.empty()) return;
    Diagnostics silent(nullptr, nullptr);
    const ConversionOrder& order = conversion_order_;

    OutputSettings output = output_settings_;
    output.no_files = true;
    output.checksum = false;
    RangeOutput files(output, silent);
    Placement placement(placement_settings_, *object_, selection_, files, silent);
    BootSettings boot_settings = boot_settings_;
    boot_settings.trace_level = 0;
    BootTable boot(boot_settings, *object_, placement, silent);
    boot.set_boot_origin(memory_.first_range());
    boot.set_entry_point(entry_point_);
    placement.set_current_range(memory_.first_range());
    FieldCoverage coverage(checksums_, memory_.first_range(), *placement_, object_->big_endian_data());
    placement.set_data_observer(&coverage);
    SinkSettings sink = sink_settings_;
    sink.quiet = true;
    sink.trace_level = 0;
    DataSink data(sink, *object_, order, placement, boot, silent);
    try {
        data.read_records_ahead();
        object_->read_section_data(order.order, data, false);
        if (!boot.closed()) boot.close_boot_table();
        placement.finish_ranges();
    } catch (const RunAbort&) {
        // The conversion itself comes to the same end and reports it.
        return;
    }
    if (!coverage.finish(diag_)) diag_.fatal("errors prevent conversion");
    field_results_ = coverage.results();
    field_placer_ = std::make_unique<FieldPlacer>(checksums_, field_results_, facts_.image,
                                                  selection_.entry_count());
    sink_->set_field_placer(field_placer_.get());
    if (map_ != nullptr) map_->show_fields(field_placer_->entries());
}

// Completes a boot table that is still being built, places the checksum
// fields that lie beyond all data, then finishes every remaining range
// (fill to its end in image mode, map block, files closed).
void Conversion::finish_output() {
    if (!boot_->closed()) boot_->close_boot_table();
    // A measuring pass that ended early ends the conversion the same way
    // before this point; images without their fields are never put in place.
    if (!checksums_.empty() && field_placer_ == nullptr)
        diag_.internal("checksum fields were not measured");
    if (field_placer_ != nullptr) field_placer_->place_rest(*placement_);
    placement_->finish_ranges();
    if (map_ != nullptr) map_->write_checksum_fields(checksums_, field_results_);
}

// ---------------------------------------------------------------- the end of the run

// Writes out and closes the map file; a failed write is an error, so that
// a lost report never passes for success.
void Conversion::close_map_file() {
    if (map_stream_ == nullptr) return;
    const int error = close_written_stream(map_stream_, 0);
    map_stream_ = nullptr;
    if (error != 0) {
        map_write_failed_ = true;
        diag_.report(ERROR, "cannot write map file '%s': %s", settings_.map_file_name.c_str(),
                     std::strerror(error));
    }
}

// Puts the files of a conversion that wrote everything in place; after a
// failed write none of them replaces an earlier file.
void Conversion::put_files_in_place(bool complete) {
    if (!complete || output_->write_failed() || map_write_failed_) {
        output_->abandon();
        discard_staged(map_file_);
        return;
    }
    output_->put_files_in_place();
    if (map_file_.staged() && !commit_staged(map_file_))
        diag_.report(ERROR, "cannot write map file '%s': %s", map_file_.final_name.c_str(),
                     std::strerror(errno));
}

// Under -checksum, once the files are in place: one line per output file
// with its figures, names and byte counts padded so that the columns line
// up. Nothing after a failed write (no file was put in place) or with -q.
void Conversion::print_checksums() {
    if (!settings_.checksum || settings_.quiet != 0) return;
    const std::vector<WrittenFile>& files = output_->written_files();
    if (files.empty()) return;
    int name_width = 0;
    int count_width = 0;
    for (const WrittenFile& file : files) {
        name_width = std::max(name_width, static_cast<int>(file.name.size()));
        count_width = std::max(count_width, count_digits(file.figures.bytes));
    }
    diag_.trace("Output file checksums:\n");
    for (const WrittenFile& file : files)
        diag_.trace("   %-*s  %s\n", name_width, file.name.c_str(),
                    checksum_text(file.figures, count_width).c_str());
}

// With CHECKSUMS, once the files are in place: one line per field with its
// algorithm, address, span and value. Nothing with -q.
void Conversion::print_checksum_fields() {
    if (field_results_.empty() || settings_.quiet != 0) return;
    int name_width = 0;
    for (const ChecksumField& field : checksums_.fields())
        name_width = std::max(name_width, static_cast<int>(field.name.size()));
    diag_.trace("Checksum fields:\n");
    const auto& fields = checksums_.fields();
    for (size_t i = 0; i < fields.size() && i < field_results_.size(); ++i)
        diag_.trace("   %s\n", checksum_field_text(fields[i], field_results_[i], name_width).c_str());
}

// Closes whatever an ended run left open and removes the files it had not
// put in place; buffered output is written out as a normal exit would.
void Conversion::close_everything() {
    if (command_stream_ != nullptr) {
        lexer_.start(nullptr);
        std::fclose(command_stream_);
        command_stream_ = nullptr;
    }
    diag_.set_command_file(nullptr);
    if (object_ != nullptr) object_->close();
    if (output_ != nullptr) output_->abandon();
    if (map_stream_ != nullptr) {
        std::fclose(map_stream_);
        map_stream_ = nullptr;
    }
    discard_staged(map_file_);
    diag_.flush();
}

// ---------------------------------------------------------------- entry points

int run_conversion(int argc, char** argv, FILE* out, FILE* err) {
    Conversion conversion(argc, argv, out, err);
    return conversion.run();
}

int run_coffhex(int argc, char** argv) {
    install_fault_handlers(argc > 0 ? argv[0] : nullptr);
    return run_conversion(argc, argv, stdout, stderr);
}

}  // namespace coffhex
