#include "diag/diag.h"

#include <csignal>
#include <cstring>

namespace coffhex {

namespace {

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

void put(FILE* stream, const char* text, size_t length) { std::fwrite(text, 1, length, stream); }

void put_blanks(FILE* stream, size_t count) {
    static const char blanks[] = "                ";
    while (count > 0) {
        size_t n = count < 16 ? count : 16;
        put(stream, blanks, n);
        count -= n;
    }
}

}  // namespace

void wrap_message(FILE* stream, const char* prefix, const char* text) {
    size_t w = std::strlen(prefix) + 1;
    if (w > 65) {
        put(stream, prefix, w - 1);
        put(stream, "\n", 1);
        put_blanks(stream, 9);
        w = 11;
    } else {
        put(stream, prefix, w - 1);
        put(stream, " ", 1);
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
                    put(stream, text + i, len - i);
                    break;
                }
            }
            put(stream, text + i, j - i);
            i = j + 1;
            b = j + avail;
            if (i < len) {
                put(stream, "\n", 1);
                put_blanks(stream, w);
            } else {
                break;
            }
        }
    }
    put(stream, "\n", 1);
}

void Diagnostics::flush() {
    if (out_ != nullptr) std::fflush(out_);
    if (err_ != nullptr) std::fflush(err_);
}

void Diagnostics::vreport(Severity severity, const char* format, va_list args) {
    if (quiet_ > 1 && (severity == INFO || severity == WARNING)) return;
    flush();

    char prefix[PREFIX_SIZE];
    if (in_file_) {
        std::snprintf(prefix, sizeof prefix, "\"%.4096s\", line %d: %s", command_file_.c_str(), line_,
                      severity_word(severity));
    } else {
        std::snprintf(prefix, sizeof prefix, ">> %s", severity_word(severity));
    }

    char text[TEXT_SIZE];
    std::vsnprintf(text, sizeof text, format, args);
    if (severity == FATAL) {
        size_t used = std::strlen(text);
        std::snprintf(text + used, sizeof text - used, " (aborting)");
    }

    if (err_ != nullptr) {
        flush();
        wrap_message(err_, prefix, text);
        std::fflush(err_);
    }

    if (severity == FATAL || severity == INTERNAL) throw RunAbort{1};
    if (severity > worst_) worst_ = severity;
}

void Diagnostics::report(Severity severity, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vreport(severity, format, args);
    va_end(args);
}

void Diagnostics::fatal(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vreport(FATAL, format, args);
    va_end(args);
    throw RunAbort{1};  // not reached: FATAL ends the run in vreport
}

void Diagnostics::internal(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vreport(INTERNAL, format, args);
    va_end(args);
    throw RunAbort{1};  // not reached
}

void Diagnostics::abort_with_text(const char* text, int status) {
    if (err_ != nullptr) {
        flush();
        std::fputs(text, err_);
        std::fflush(err_);
    }
    throw RunAbort{status};
}

void Diagnostics::abort_wrapped(const char* prefix, const char* text, int status) {
    if (err_ != nullptr) {
        flush();
        wrap_message(err_, prefix, text);
        std::fflush(err_);
    }
    throw RunAbort{status};
}

void Diagnostics::end_run(int status) {
    flush();
    throw RunAbort{status};
}

void Diagnostics::vtrace(const char* format, va_list args) {
    if (out_ != nullptr) std::vfprintf(out_, format, args);
}

void Diagnostics::trace(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vtrace(format, args);
    va_end(args);
}

namespace {

// The phrase of a signal that asks the program to stop (it is no fault of
// the program), or nullptr.
const char* request_phrase(int signal) {
    switch (signal) {
    case SIGTERM: return "a terminate signal";
    case SIGINT: return "an interrupt signal";
#ifdef SIGHUP
    case SIGHUP: return "a hangup signal";
#endif
#ifdef SIGPIPE
    case SIGPIPE: return "a broken pipe signal";
#endif
#ifdef SIGQUIT
    case SIGQUIT: return "a quit signal";
#endif
    default: return nullptr;
    }
}

}  // namespace

std::string fault_text(int signal, const char* program_name) {
    const std::string name = program_name;
    if (const char* request = request_phrase(signal); request != nullptr)
        return "[" + name + " received " + request + "]\n";
    const char* phrase;
    switch (signal) {
    case SIGILL: phrase = "executed an illegal instruction"; break;
    case SIGFPE: phrase = "received a floating point exception"; break;
    case SIGSEGV: phrase = "experienced a segmentation fault"; break;
    case SIGABRT: phrase = "aborted"; break;
    default: phrase = "experienced a fatal internal fault"; break;
    }
    return "\nINTERNAL ERROR: " + name + " " + phrase +
           "\n"
           "This is a serious problem.  Please contact Customer\n"
           "Support with this message and a copy of the input file\n"
           "and help us to continue to make the tools more robust.\n\n";
}

void write_fault_text(FILE* stream, int signal, const char* program_name) {
    std::fflush(nullptr);
    std::fputs(fault_text(signal, program_name).c_str(), stream);
    std::fflush(nullptr);
}

}  // namespace coffhex
