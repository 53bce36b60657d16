#include "diag/faults.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "diag/diag.h"
#include "platform/files.h"
#include "platform/hooks.h"

namespace coffhex {

namespace {

extern "C" void fault_handler(int signal) {
    // The conversion did not finish: its half-written files go, and the
    // files of an earlier run stay as they were.
    remove_staged_files_on_fault();
    write_fault_text(stderr, signal, process_hooks().program_name.load());
    std::fflush(nullptr);
    std::_Exit(2);
}

}  // namespace

void install_fault_handlers(const char* program_name) {
    ProcessHooks& hooks = process_hooks();
    hooks.program_name.store(program_name != nullptr ? program_name : "coffhex");
    if (hooks.handlers_installed.exchange(true)) return;
    static const int signals[] = {SIGILL, SIGABRT, SIGFPE, SIGSEGV, SIGTERM, SIGINT};
    for (int s : signals) std::signal(s, fault_handler);
}

}  // namespace coffhex
