#include "platform/signals.h"

#include <csignal>
#include <cstdlib>

#ifdef _WIN32
#include <io.h>
#else
#include <cerrno>
#include <unistd.h>
#endif

namespace coffhex {

#ifdef _WIN32

// Windows has no sigaction; a handler installed with signal() is reset to
// the default when it runs, which suits a handler that ends the process.
void install_signal_handler(int signal, SignalHandler handler, bool keep_ignored) {
    const SignalHandler previous = std::signal(signal, handler);
    if (keep_ignored && previous == SIG_IGN) std::signal(signal, SIG_IGN);
}

void write_error_text(const char* text, size_t length) {
    while (length > 0) {
        const unsigned piece = length > 0x10000 ? 0x10000u : static_cast<unsigned>(length);
        const int written = _write(2, text, piece);
        if (written <= 0) return;
        text += written;
        length -= static_cast<size_t>(written);
    }
}

#else

void install_signal_handler(int signal, SignalHandler handler, bool keep_ignored) {
    struct sigaction action {};
    if (keep_ignored && sigaction(signal, nullptr, &action) == 0 && action.sa_handler == SIG_IGN)
        return;
    action = {};
    action.sa_handler = handler;
    sigfillset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(signal, &action, nullptr);
}

void write_error_text(const char* text, size_t length) {
    while (length > 0) {
        const ssize_t written = write(STDERR_FILENO, text, length);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        text += written;
        length -= static_cast<size_t>(written);
    }
}

#endif

void end_process_now(int status) { std::_Exit(status); }

}  // namespace coffhex
