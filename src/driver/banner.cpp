// Banner, usage text and the coded build number.
#include "driver/banner.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "diag/diag.h"

namespace coffhex {

namespace {

constexpr const char* COPYRIGHT_NOTICE = "Copyright (c) 2026";
constexpr const char* COPYRIGHT_HOLDER = "the coffhex developers";

// Build constants the build number is coded from.
constexpr const char* BUILD_DATE = "May  3 2004";
constexpr const char* BUILD_TIME = "19:26:55";
const int BUILD_YEAR = 2004;
const int TOOL_VERSION_NUMBER = 1200;
constexpr const char* VERSION_DIGITS = "5";
constexpr const char* RELEASE_STRING = "Release_zq9_5_0_0";

void print_title_line(FILE* stream) {
    std::fprintf(stream, "%-*.*s", 40, 40, TOOL_TITLE);
    std::fprintf(stream, "%s%s\n", TOOL_VERSION_TEXT, TOOL_VERSION_SUFFIX);
}

// Digits become "Q" to "Z", "." becomes "A", "-" becomes "B", anything
// else "C".
char encode_version_char(char c) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (c >= '0' && c <= '9') return static_cast<char>(c + 33);
    if (c == '.') return 'A';
    if (c == '-') return 'B';
    return 'C';
}

std::string encode_release(const char* release) {
    static const struct {
        const char* keyword;
        const char* code;
    } keywords[] = {
        {"Release_", "ZA"}, {"Development_", "ZB"}, {"Vex", "ZC"}, {"Kovo", "ZD"},
        {"arm", "ZE"},      {"P4400", "ZE"},        {"zq9", "ZG"}, {"ank", "ZH"},
    };
    std::string out;
    const char* p = release;
    while (*p != '\0') {
        bool matched = false;
        for (const auto& k : keywords) {
            size_t n = std::strlen(k.keyword);
            if (strncasecmp(p, k.keyword, n) == 0) {
                out += k.code;
                p += n;
                matched = true;
                break;
            }
        }
        if (matched) continue;
        char c = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
        if (c == 'Z')
            out += "ZZ";
        else if (c >= 'A' && c <= 'J')
            out += static_cast<char>('0' + (c - 'A'));
        else if (c >= 'K' && c <= 'Y')
            out += static_cast<char>('A' + (c - 'K'));
        else if (c >= '0' && c <= '9')
            out += static_cast<char>('Q' + (c - '0'));
        else if (c == '_' || c == '-' || c == '.')
            out += c;
        else
            out += '%';
        ++p;
    }
    return out;
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
                   " -@<file>      Read commands from 'file'\n"
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
                   "\n"
                   "Output Format Specification:\n"
                   " -a            Output ASCII hex format\n"
                   " -i            Output Intel hex format\n"
                   " -m[1|2|3]     Output Motorola S hex format\n"
                   " -t            Output QV-Tagged hex format\n"
                   " -x            Output Extended Tektronix hex format\n"
                   "\n"
                   "            See the User's guide for additional information\n"
                   "            and target specific options.\n"
                   "\n",
                   out);
    }
    diag.end_run(1);
}

void print_tool_version(FILE* stream, const char* prefix) {
    static const char months[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    static const char month_letters[] = "ABCDEFGHJKLM";  // there is no I

    std::string out = prefix != nullptr ? prefix : "";
    out += '1';
    out += static_cast<char>(BUILD_YEAR - 1935);

    char month = '?';
    for (int m = 0; m < 12; ++m)
        if (std::strncmp(BUILD_DATE, months + 3 * m, 3) == 0) month = month_letters[m];
    out += month;

    int day = std::atoi(BUILD_DATE + 4);
    out += static_cast<char>(day < 10 ? '0' + day : 'A' + (day - 10));

    int hour = std::atoi(BUILD_TIME);
    out += static_cast<char>('A' + (hour == 24 ? 0 : hour));

    out += '-';
    for (const char* p = TOOL_VERSION_SUFFIX; *p != '\0' && p - TOOL_VERSION_SUFFIX < 8; ++p) {
        char c = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
        if (c >= 'A' && c <= 'J')
            out += static_cast<char>('0' + (c - 'A'));
        else if (c >= 'K' && c <= 'Z')
            out += static_cast<char>('A' + (c - 'K'));
        else if (c >= '0' && c <= '9')
            out += static_cast<char>('Q' + (c - '0'));
        else
            out += '%';
    }
    out += '-';

    // 1200 is written 12.00.
    std::string number = std::to_string(TOOL_VERSION_NUMBER);
    if (number.size() > 2) number = number.substr(0, 2) + '.' + number.substr(2);
    for (char c : number) out += encode_version_char(c);

    out += '-';
    size_t digits = std::strlen(VERSION_DIGITS);
    for (size_t i = 0; i < 3; ++i) out += encode_version_char(i < digits ? VERSION_DIGITS[i] : '\0');

    out += '-';
    out += encode_release(RELEASE_STRING);
    out += '\n';
    std::fputs(out.c_str(), stream);
}

void show_tool_version(Diagnostics& diag) {
    print_title_line(diag.out());
    print_tool_version(diag.out(), "Build Number ");
    diag.end_run(0);
}

}  // namespace coffhex
