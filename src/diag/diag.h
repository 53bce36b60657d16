// The one message channel, the run-abort path, fault handlers and small
// helpers shared by every subsystem.
#pragma once

#include <cstdarg>
#include <cstdint>

namespace coffhex {

// A 32-bit address, length or width that was not given holds all ones.
inline constexpr uint32_t ALL_ONES = 0xFFFFFFFFu;

// Largest chunk of section data handed to the data sink.
inline constexpr uint32_t LOADBUFSIZE = 16384;

// Target word width in bits, used by the width checks and their messages.
inline constexpr int TARGET_WIDTH_BITS = 32;

enum Severity : int {
    INFO = 1,
    WARNING = 2,
    ERROR = 3,
    FATAL = 4,
    INTERNAL = 5,
};

// Failure codes recorded by the COFF reader before it returns failure.
enum CoffLoadError : int {
    LOAD_OK = 0,
    ReadError = 1,
    BadMagic = 2,
    SymbolReadError = 4,
    OutOfMemory = 5,
    TargetWriteError = 7,
};

// Thrown to end the run at once (FATAL, INTERNAL, usage text, tool version,
// the "Error reading COFF file" exits). The run function catches it, closes
// what is open and returns `status` as the process exit status.
struct RunAbort {
    int status;
};

// Ends the run with the given exit status (throws RunAbort).
[[noreturn]] void end_run(int status);

// The one diagnostic entry point: prefix, severity word, 80-column layout on
// standard error. FATAL and INTERNAL do not return.
void report(Severity severity, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void vreport(Severity severity, const char* format, va_list args);

// Layout step of `report`: writes prefix and text, wrapped to 80 columns,
// to standard error.
void wrap_message(const char* prefix, const char* text);

// Formatted print to standard output, no prefix, no layout (trace lines).
void trace_line(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Highest severity (1..3) written so far in this run; above 2 means an ERROR.
int worst_severity();

// Name of the command file being parsed, or nullptr. The driver sets it while
// a command file is read; messages then carry "\"name\", line N: ".
void set_command_file_name(const char* name);
const char* command_file_name();

// Program name (argv[0]) for the fault texts.
void set_program_name(const char* name);
const char* program_name();

// Load-error code recorded by the COFF reader; 0 = none.
void record_load_error(int code);
int recorded_load_error();
// Reports the recorded code's text at FATAL level; nothing for unknown codes.
void report_load_error();

// Installs on_fault for SIGILL, SIGABRT, SIGFPE, SIGSEGV, SIGTERM, SIGINT and
// the new-handler that turns allocation failure into FATAL "out of memory".
void install_fault_handlers();
// Writes the fault text for `signal` to standard error (no exit); used by
// on_fault and by the run's guard against unexpected exceptions.
void write_fault_text(int signal);
[[noreturn]] void on_fault(int signal);

// True when exactly one of the 32 bits is set.
inline bool is_power_of_two(uint32_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

// Clears the diagnostics' run state (worst severity, command-file name,
// recorded load error).
void reset_diagnostics();

}  // namespace coffhex
