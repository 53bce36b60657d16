// The conversion driver: main flow, argument walk, input classification and
// the translate step.
#include "driver/run.h"

#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <exception>
#include <vector>

#include "boot/boot.h"
#include "cmdfile/lexer.h"
#include "cmdfile/parser.h"
#include "cmdfile/roms.h"
#include "cmdfile/sections.h"
#include "coff/coff.h"
#include "coff/section_data.h"
#include "coff/sym.h"
#include "diag/diag.h"
#include "driver/banner.h"
#include "driver/options.h"
#include "formats/format_table.h"
#include "formats/writer.h"
#include "image/output_files.h"
#include "image/placement.h"
#include "image/section_list.h"
#include "mapfile/mapfile.h"
#include "platform/files.h"

namespace coffhex {

namespace {

std::string g_coff_file_name;
bool g_coff_accepted = false;

// The command file being parsed (its name is the diagnostics' prefix).
std::string g_command_file;
FILE* g_command_stream = nullptr;

// Argument cursor, shared with the option value getters.
char** g_argv = nullptr;
int g_arg_index = 0;
int g_remaining = 0;

bool g_widths_checked = false;

// The map file, written under a temporary name until the run is complete.
StagedFile g_map_file;
bool g_map_write_failed = false;

// Every file read as input (the COFF file and the command files), so that
// no output can be written over one of them.
std::vector<std::string> g_input_paths;

void walk_arguments(int count, char** vector) {
    g_argv = vector;
    g_remaining = count - 1;
    if (g_remaining <= 0) print_usage(false);
    int inputs = 0;
    for (g_arg_index = 1; g_remaining > 0; ++g_arg_index, --g_remaining) {
        const char* argument = g_argv[g_arg_index];
        if (argument[0] == '-') {
            parse_option(argument + 1, false);
        } else {
            classify_input(argument);
            ++inputs;
        }
    }
    if (inputs == 0) print_usage(false);
}

bool is_coff_magic(unsigned value) {
    return value == 0x00C0 || value == 0x00C1 || value == 0x00C2 || value == 0x0099;
}

// An input name whose last path component has no "." gets ".out".
std::string with_default_extension(const char* name) {
    std::string result(name);
    size_t separator = result.find_last_of("/\\");
    size_t start = separator == std::string::npos ? 0 : separator + 1;
    if (result.find('.', start) == std::string::npos) result += ".out";
    return result;
}

void parse_command_file_named(const std::string& name) {
    g_command_file = name;
    g_command_stream = std::fopen(name.c_str(), "r");
    if (g_command_stream == nullptr)
        report(FATAL, "cannot open input file '%s': %s", name.c_str(), std::strerror(errno));
    set_command_file_name(g_command_file.c_str());
    lex_reset();
    lex_set_input(g_command_stream);
    parse_command_file();
    lex_set_input(nullptr);
    std::fclose(g_command_stream);
    g_command_stream = nullptr;
    set_command_file_name(nullptr);
}

bool same_file(const std::string& a, const std::string& b) {
    if (a == b) return true;
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// Refuses an output or map file that would overwrite an input file or
// another output file, before anything is written.
void check_output_names() {
    std::vector<std::string> outputs;
    for (RomRange* range = first_range(); range != nullptr; range = range->next) {
        for (int32_t i = 0; i < range->file_count && i < static_cast<int32_t>(range->files.size()); ++i)
            outputs.push_back(range->files[static_cast<size_t>(i)].name);
    }
    const std::string& map = options().map_file_name;
    for (size_t i = 0; i < outputs.size(); ++i) {
        for (const std::string& input : g_input_paths)
            if (same_file(outputs[i], input))
                report(FATAL, "output file '%s' would overwrite input file '%s'", outputs[i].c_str(),
                       input.c_str());
        for (size_t j = 0; j < i; ++j)
            if (same_file(outputs[i], outputs[j]))
                report(FATAL, "output file '%s' is named more than once", outputs[i].c_str());
        if (!map.empty() && same_file(outputs[i], map))
            report(FATAL, "map file '%s' is also an output file", map.c_str());
    }
    if (!map.empty()) {
        for (const std::string& input : g_input_paths)
            if (same_file(map, input))
                report(FATAL, "map file '%s' would overwrite input file '%s'", map.c_str(), input.c_str());
    }
}

void open_map_file() {
    ConverterOptions& o = options();
    if (o.map_file_name.empty()) return;
    o.map_file = open_staged(o.map_file_name, false, g_map_file);
    if (o.map_file == nullptr)
        report(WARNING, "cannot open map file '%s': %s", o.map_file_name.c_str(), std::strerror(errno));
}

// Writes out and closes the map file; a failed write is an error, so that
// a lost report never passes for success.
void close_map_file() {
    ConverterOptions& o = options();
    if (o.map_file == nullptr) return;
    errno = 0;
    bool failed = std::fflush(o.map_file) != 0 || std::ferror(o.map_file) != 0;
    int error = errno != 0 ? errno : EIO;
    if (std::fclose(o.map_file) != 0 && !failed) {
        failed = true;
        error = errno != 0 ? errno : EIO;
    }
    o.map_file = nullptr;
    if (failed) {
        g_map_write_failed = true;
        report(ERROR, "cannot write map file '%s': %s", o.map_file_name.c_str(), std::strerror(error));
    }
}

// Puts the files of a conversion that wrote everything in place; after a
// failed write none of them replaces an earlier file.
void put_files_in_place(bool complete) {
    if (!complete || output_write_failed() || g_map_write_failed) {
        abandon_output_files();
        discard_staged(g_map_file);
        return;
    }
    put_output_files_in_place();
    if (g_map_file.staged() && !commit_staged(g_map_file))
        report(ERROR, "cannot write map file '%s': %s", g_map_file.final_name.c_str(),
               std::strerror(errno));
}

// Closes whatever an ended run left open; buffered output is written out as
// a normal process exit would.
void close_run_streams() {
    if (g_command_stream != nullptr) {
        lex_set_input(nullptr);
        std::fclose(g_command_stream);
        g_command_stream = nullptr;
    }
    set_command_file_name(nullptr);
    CoffInput& input = coff_input();
    if (input.stream != nullptr) {
        std::fclose(input.stream);
        input.stream = nullptr;
    }
    abandon_output_files();
    ConverterOptions& o = options();
    if (o.map_file != nullptr) {
        std::fclose(o.map_file);
        o.map_file = nullptr;
    }
    discard_staged(g_map_file);
    std::fflush(stdout);
    std::fflush(stderr);
}

int convert(int argc, char** argv) {
    reset_options();
    lex_init();
    symbol_table_clear();
    walk_arguments(argc, argv);
    if (!g_coff_accepted) report(FATAL, "no input files");
    finish_rom_ranges();
    if (worst_severity() > 2) report(FATAL, "errors prevent conversion");
    check_output_names();
    open_map_file();

    bool failed = false;
    if (!load_coff_file()) {
        report_load_error();
        failed = true;
    }
    CoffInput& input = coff_input();
    if (input.stream != nullptr) {
        std::fclose(input.stream);
        input.stream = nullptr;
    }
    finish_output();
    close_map_file();
    put_files_in_place(!failed);
    return (worst_severity() > 2 || failed) ? 1 : 0;
}

}  // namespace

int run_coffhex(int argc, char** argv) {
    static bool handlers_installed = false;
    if (!handlers_installed) {
        install_fault_handlers();
        handlers_installed = true;
    }
    set_program_name(argc > 0 ? argv[0] : nullptr);

    int status;
    try {
        status = convert(argc, argv);
    } catch (const RunAbort& abort) {
        status = abort.status;
    } catch (...) {
        // An exception nobody expected is treated like a crash.
        write_fault_text(SIGSEGV);
        status = 2;
    }
    close_run_streams();
    return status;
}

void reset_options() {
    reset_option_values();
    reset_diagnostics();
    g_coff_file_name.clear();
    g_coff_accepted = false;
    g_command_file.clear();
    g_widths_checked = false;
    g_input_paths.clear();
    discard_staged(g_map_file);
    g_map_write_failed = false;
    if (coff_input().stream != nullptr) {
        std::fclose(coff_input().stream);
        coff_input().stream = nullptr;
    }
    reset_coff_input();
    reset_section_data();
    reset_roms();
    reset_sections();
    reset_section_list();
    reset_placement();
    reset_output_files();
    reset_writers();
    reset_boot();
    reset_mapfile();
}

void classify_input(const char* name) {
    std::string path = with_default_extension(name);
    FILE* probe = std::fopen(path.c_str(), "rb");
    if (probe == nullptr)
        report(FATAL, "cannot open input file '%s': %s", path.c_str(), std::strerror(errno));

    unsigned char bytes[2];
    if (std::fread(bytes, 1, 2, probe) != 2) {
        std::fclose(probe);
        report(FATAL, "cannot read input file %s", path.c_str());
    }
    unsigned v = bytes[0] | (bytes[1] << 8);
    unsigned s = bytes[1] | (bytes[0] << 8);

    if (is_coff_magic(v) || is_coff_magic(s)) {
        if (g_coff_accepted) {
            std::fclose(probe);
            report(WARNING, "multiple COFF files: %s ignored", path.c_str());
            return;
        }
        g_coff_file_name = path;
        g_coff_accepted = true;
        g_input_paths.push_back(path);
        std::rewind(probe);
        coff_input().stream = probe;
        return;
    }
    std::fclose(probe);
    if ((v & 0x8080) != 0) {
        report(WARNING, "illegal input file type: %s ignored", path.c_str());
        return;
    }
    if (g_command_stream != nullptr) {
        report(WARNING, "nested command file: %s ignored", path.c_str());
        return;
    }
    g_input_paths.push_back(path);
    parse_command_file_named(path);
}

void check_format_widths() {
    if (g_widths_checked) return;
    g_widths_checked = true;
    const ConverterOptions& o = options();
    if (o.format == FMT_TAGGED && o.rom_width_given && o.rom_width != 2)
        report(FATAL, "QV-Tagged format must have a ROM width of 16 bits");
    if (o.format == FMT_BINARY && o.mem_width != 1)
        report(FATAL, "Binary format must have a memory width of 8 bits");
}

bool begin_translation() {
    check_format_widths();
    set_boot_origin();
    complete_section_list();  // ends by ordering the section array
    ConverterOptions& o = options();
    if (o.order == ORDER_NONE) o.order = coff_input().big_endian_data ? ORDER_MS : ORDER_LS;
    if (converted_section_count() == 0)
        report(FATAL, "no initialized sections in %s", g_coff_file_name.c_str());
    if (o.quiet == 0)
        std::printf("Translating %s to %s format...\n", g_coff_file_name.c_str(),
                    hex_format(o.format).name);
    set_current_range(first_range());
    return true;
}

const std::string& coff_file_name() { return g_coff_file_name; }
void set_coff_file_name(const std::string& name) {
    g_coff_file_name = name;
}

const char* take_next_argument() {
    if (g_argv == nullptr || g_remaining <= 1) return nullptr;
    ++g_arg_index;
    --g_remaining;
    return g_argv[g_arg_index];
}

}  // namespace coffhex
