// The operating system's side of the signal handlers: installing them,
// and the few calls a handler may make (a plain write to standard error,
// the immediate end of the process).
#pragma once

#include <cstddef>

namespace coffhex {

using SignalHandler = void (*)(int);

// Installs `handler` for `signal`. On POSIX systems with sigaction, every
// signal is blocked while the handler runs. With `keep_ignored`, a signal
// that the process was started with ignored stays ignored (a conversion
// started under nohup, or in the background by a shell, keeps running when
// the terminal goes or the user interrupts the foreground job).
void install_signal_handler(int signal, SignalHandler handler, bool keep_ignored);

// Writes `length` bytes to standard error with the system's plain write
// call, past any stream buffer; safe in a signal handler.
void write_error_text(const char* text, size_t length);

// Ends the process at once with `status`: no stream is flushed, no exit
// handler runs. Safe in a signal handler.
[[noreturn]] void end_process_now(int status);

}  // namespace coffhex
