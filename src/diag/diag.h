// The one message channel of a conversion: the severity layout, the tally
// of the worst severity, the command-file position of the prefix, and the
// standard output and standard error streams the run prints to.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>

namespace coffhex {

enum Severity : int {
    INFO = 1,
    WARNING = 2,
    ERROR = 3,
    FATAL = 4,
    INTERNAL = 5,
};

// The one way a run ends early. Only Diagnostics throws it: FATAL and
// INTERNAL messages, the texts that end a run outside the severity layout,
// and the usage and tool-version texts. The conversion catches it, closes
// what is open and returns `status` as the exit status.
struct RunAbort {
    int status;
};

class Diagnostics {
public:
    // `out` receives the progress and trace lines, `err` the messages.
    // With both nullptr nothing is written: messages are only counted (and
    // FATAL and INTERNAL still end the run), for a pass that only measures.
    Diagnostics(FILE* out, FILE* err) : out_(out), err_(err) {}
    Diagnostics(const Diagnostics&) = delete;
    Diagnostics& operator=(const Diagnostics&) = delete;

    // A message: prefix, severity word and text, wrapped to 80 columns on
    // the error stream. FATAL and INTERNAL end the run (RunAbort, status 1).
    void report(Severity severity, const char* format, ...) __attribute__((format(printf, 3, 4)));
    void vreport(Severity severity, const char* format, va_list args);

    // report(FATAL, ...) and report(INTERNAL, ...), for call sites that
    // do not go on.
    [[noreturn]] void fatal(const char* format, ...) __attribute__((format(printf, 2, 3)));
    [[noreturn]] void internal(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // Texts that end the run outside the severity layout: `text` as it
    // stands, or laid out behind `prefix` like a message.
    [[noreturn]] void abort_with_text(const char* text, int status);
    [[noreturn]] void abort_wrapped(const char* prefix, const char* text, int status);
    // Ends the run after a text of its own (usage, tool version).
    [[noreturn]] void end_run(int status);

    // Formatted print to the output stream, no prefix, no layout.
    void trace(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void vtrace(const char* format, va_list args);

    // Highest severity (1..3) written so far; above 2 means an ERROR.
    int worst_severity() const { return worst_; }

    // -qq: INFO and WARNING messages are not written.
    void set_quiet(int quiet) { quiet_ = quiet; }

    // While a command file is parsed, messages carry "\"name\", line N: ".
    void set_command_file(const char* name) {
        in_file_ = name != nullptr;
        command_file_ = in_file_ ? name : "";
        line_ = 0;
    }
    void set_line(int line) { line_ = line; }
    bool in_command_file() const { return in_file_; }

    FILE* out() const { return out_; }
    FILE* err() const { return err_; }

    // Flushes both streams (before a text on the other one, and at the end).
    void flush();

private:
    FILE* out_;
    FILE* err_;
    int worst_ = 0;
    int quiet_ = 0;
    bool in_file_ = false;
    std::string command_file_;
    int line_ = 0;
};

// Layout step of a message: prefix and text, wrapped to 80 columns, to
// `stream`.
void wrap_message(FILE* stream, const char* prefix, const char* text);

// The text written for a fault or signal (ends in its own line end): a
// one-line notice for a signal that asks the program to stop (terminate,
// interrupt, hangup, broken pipe, quit), the INTERNAL ERROR text for any
// other.
std::string fault_text(int signal, const char* program_name);
// Writes fault_text() to `stream`, outside a signal handler.
void write_fault_text(FILE* stream, int signal, const char* program_name);

}  // namespace coffhex
