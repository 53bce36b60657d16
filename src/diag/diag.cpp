#include "diag/diag.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unistd.h>

#include "cmdfile/lexer.h"
#include "driver/options.h"
#include "platform/files.h"

namespace coffhex {

namespace {

int g_worst_severity = 0;
const char* g_command_file_name = nullptr;
const char* g_program_name = "coffhex";
int g_load_error = 0;

// Room for the prefix: a quoted command-file path (cut to 4096 characters),
// the line number and the widest severity word.
constexpr size_t PREFIX_SIZE = 4096 + 64;
// Room for the message text; longer texts are cut.
constexpr size_t TEXT_SIZE = 4096;

const char* severity_word(Severity severity) {
    switch (severity) {
    case INFO: return "   INFO:";
    case WARNING: return "WARNING:";
    case ERROR: return "  ERROR:";
    case FATAL: return "FATAL ERROR:";
    case INTERNAL: return "INTERNAL ERROR:";
    }
    return "";
}

void put(const char* text, size_t length) { std::fwrite(text, 1, length, stderr); }

void put_blanks(size_t count) {
    static const char blanks[] = "                ";
    while (count > 0) {
        size_t n = count < 16 ? count : 16;
        put(blanks, n);
        count -= n;
    }
}

}  // namespace

void end_run(int status) { throw RunAbort{status}; }

void wrap_message(const char* prefix, const char* text) {
    size_t w = std::strlen(prefix) + 1;
    if (w > 65) {
        put(prefix, w - 1);
        put("\n", 1);
        put_blanks(9);
        w = 11;
    } else {
        put(prefix, w - 1);
        put(" ", 1);
    }
    const size_t avail = 80 - w;
    const size_t len = std::strlen(text);
    if (len > 0) {
        size_t i = 0;
        size_t b = avail < len ? avail : len;
        for (;;) {
            size_t start = b < len ? b : len;
            size_t j = start;
            // Backwards from b for a blank or the end of the text, above i.
            while (j > i && !(j == len || text[j] == ' ')) --j;
            if (j == i) {
                // No break point: the word runs on to the next blank.
                j = start;
                while (j < len && text[j] != ' ') ++j;
                if (j >= len) {
                    put(text + i, len - i);
                    break;
                }
            }
            put(text + i, j - i);
            i = j + 1;
            b = j + avail;
            if (i < len) {
                put("\n", 1);
                put_blanks(w);
            } else {
                break;
            }
        }
    }
    put("\n", 1);
}

void vreport(Severity severity, const char* format, va_list args) {
    if (options().quiet > 1 && (severity == INFO || severity == WARNING)) return;
    std::fflush(stdout);
    std::fflush(stderr);

    char prefix[PREFIX_SIZE];
    if (g_command_file_name != nullptr) {
        std::snprintf(prefix, sizeof prefix, "\"%.4096s\", line %d: %s", g_command_file_name,
                      lex_line_number(), severity_word(severity));
    } else {
        std::snprintf(prefix, sizeof prefix, ">> %s", severity_word(severity));
    }

    char text[TEXT_SIZE];
    std::vsnprintf(text, sizeof text, format, args);
    if (severity == FATAL) {
        size_t used = std::strlen(text);
        std::snprintf(text + used, sizeof text - used, " (aborting)");
    }

    std::fflush(stdout);
    wrap_message(prefix, text);
    std::fflush(stderr);

    if (severity == FATAL || severity == INTERNAL) end_run(1);
    if (severity > g_worst_severity) g_worst_severity = severity;
}

void report(Severity severity, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vreport(severity, format, args);
    va_end(args);
}

void trace_line(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
}

int worst_severity() { return g_worst_severity; }

void set_command_file_name(const char* name) { g_command_file_name = name; }
const char* command_file_name() { return g_command_file_name; }

void set_program_name(const char* name) { g_program_name = name != nullptr ? name : "coffhex"; }
const char* program_name() { return g_program_name; }

void record_load_error(int code) { g_load_error = code; }
int recorded_load_error() { return g_load_error; }

void report_load_error() {
    switch (g_load_error) {
    case ReadError: report(FATAL, "error reading COFF file"); break;
    case BadMagic: report(FATAL, "COFF file has wrong magic number"); break;
    case SymbolReadError: report(FATAL, "symbol read error"); break;
    case OutOfMemory: report(FATAL, "out of memory"); break;
    case TargetWriteError: report(FATAL, "error writing target memory"); break;
    default: break;
    }
}

void reset_diagnostics() {
    g_worst_severity = 0;
    g_command_file_name = nullptr;
    g_load_error = 0;
}

void write_fault_text(int signal) {
    if (signal == SIGTERM) {
        std::fprintf(stderr, "[%s received a terminate signal]\n", g_program_name);
        std::fflush(stderr);
        return;
    }
    const char* phrase;
    switch (signal) {
    case SIGILL: phrase = "executed an illegal instruction"; break;
    case SIGFPE: phrase = "received a floating point exception"; break;
    case SIGSEGV: phrase = "experienced a segmentation fault"; break;
    case SIGABRT: phrase = "aborted"; break;
    default: phrase = "experienced a fatal internal fault"; break;
    }
    std::fprintf(stderr, "\nINTERNAL ERROR: %s %s\n", g_program_name, phrase);
    std::fflush(nullptr);
    std::fputs("This is a serious problem.  Please contact Customer\n"
               "Support with this message and a copy of the input file\n"
               "and help us to continue to make the tools more robust.\n\n",
               stderr);
    std::fflush(nullptr);
}

void on_fault(int signal) {
    // The conversion did not finish: its half-written files go, and the
    // files of an earlier run stay as they were.
    remove_staged_files_on_fault();
    write_fault_text(signal);
    std::fflush(nullptr);
    _exit(2);
}

namespace {
extern "C" void fault_handler(int signal) { on_fault(signal); }

void out_of_memory() { report(FATAL, "out of memory"); }
}  // namespace

void install_fault_handlers() {
    static const int signals[] = {SIGILL, SIGABRT, SIGFPE, SIGSEGV, SIGTERM, SIGINT};
    for (int s : signals) std::signal(s, fault_handler);
    std::set_new_handler(out_of_memory);
}

}  // namespace coffhex
