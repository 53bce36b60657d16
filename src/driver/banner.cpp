// Banner, usage text, tool version and version.
#include "driver/banner.h"

#include "coffhex_build_id.h"
#include "diag/diag.h"

namespace coffhex {

namespace {

constexpr const char* COPYRIGHT_NOTICE = "Copyright (c) 2026";
constexpr const char* COPYRIGHT_HOLDER = "the coffhex developers";

void print_title_line(FILE* stream) {
    std::fprintf(stream, "%-*.*s", 40, 40, TOOL_TITLE);
    std::fprintf(stream, "%s%s\n", TOOL_VERSION_TEXT, TOOL_VERSION_SUFFIX);
}

}  // namespace

void print_banner(FILE* stream) {
    print_title_line(stream);
    std::fprintf(stream, "%-*.*s%s\n", 40, 40, COPYRIGHT_NOTICE, COPYRIGHT_HOLDER);
}

void print_usage(bool full, const char* program_name, Diagnostics& diag) {
    FILE* out = diag.out();
    print_banner(out);
    std::fputs("\n", out);
    std::fprintf(out, "Usage: %s [-options | -h] filename\n", program_name);
    std::fputs("\n", out);
    if (full) {
        std::fputs("Options:\n"
                   " -q            Quiet Operation\n"
                   " -e<addr>      Specify entrypoint address or symbol name\n"
                   " -o<file>      Specify output file names\n"
                   " -image        Select image mode\n"
                   " -linkerfill   Include linker fill sections in images\n"
                   " -zero         Zero based addressing\n"
                   " -fill<x>      Specify fill value\n"
                   " -romwidth<x>  Specify rom width\n"
                   " -memwidth<x>  Specify memory width\n"
                   " -datawidth<x> Specify data width\n"
                   " -order        Specify data ordering (endianness)\n"
                   " -bootorg<adr> Specify origin address or symbol of boot table ROM\n"
                   " -map<file>    Specify map file name\n"
                   " -checksum     Report byte count, sum and CRC-32 of each output file\n"
                   "\n"
                   "Output Format Specification:\n"
                   " -a            Output ASCII hex format\n"
                   " -i            Output Intel hex format\n"
                   " -m[1|2|3]     Output Motorola S hex format\n"
                   " -t            Output QV-Tagged hex format\n"
                   " -x            Output Extended Tektronix hex format\n"
                   "\n"
                   "            See the manual page (man coffhex) for additional information\n"
                   "            and the options not listed here.\n"
                   "\n",
                   out);
    }
    diag.end_run(1);
}

void print_tool_version(FILE* stream, const char* prefix) {
    std::fprintf(stream, "%s%s\n", prefix != nullptr ? prefix : "", COFFHEX_BUILD_ID);
}

void show_tool_version(Diagnostics& diag) {
    print_title_line(diag.out());
    print_tool_version(diag.out(), "Build Number ");
    diag.end_run(0);
}

void show_version(Diagnostics& diag) {
    std::fprintf(diag.out(), "%s %s\n", PROGRAM_NAME, COFFHEX_VERSION);
    diag.end_run(0);
}

}  // namespace coffhex
