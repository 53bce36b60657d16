#include "diag/faults.h"

#include <csignal>
#include <cstring>

#include "diag/diag.h"
#include "platform/files.h"
#include "platform/hooks.h"
#include "platform/signals.h"

namespace coffhex {

namespace {

struct HandledSignal {
    int signal;
    // A request to stop (not a fault of the program): when the process was
    // started with it ignored, it stays ignored.
    bool request;
};

constexpr HandledSignal HANDLED_SIGNALS[] = {
    {SIGILL, false}, {SIGABRT, false}, {SIGFPE, false}, {SIGSEGV, false},
    {SIGTERM, true}, {SIGINT, true},
#ifdef SIGHUP
    {SIGHUP, true},
#endif
#ifdef SIGPIPE
    {SIGPIPE, true},
#endif
#ifdef SIGQUIT
    {SIGQUIT, true},
#endif
};

// Runs in the handler: no stream, no allocation, no lock; only the texts
// made in advance, the plain write call, unlink and the immediate exit.
extern "C" void fault_handler(int signal) {
    // The conversion did not finish: its half-written files go, and the
    // files of an earlier run stay as they were.
    remove_staged_files_on_fault();
    if (const FaultTexts* texts = process_hooks().fault_texts.load(); texts != nullptr) {
        // The first text is the one for any signal without its own.
        const FaultText* chosen = &texts->texts.front();
        for (const FaultText& entry : texts->texts)
            if (entry.signal == signal) chosen = &entry;
        write_error_text(chosen->text.data(), chosen->text.size());
    }
    end_process_now(2);
}

// Makes the handlers' texts for `program_name`, unless the texts in force
// were made for it.
void prepare_fault_texts(ProcessHooks& hooks, const char* program_name) {
    std::lock_guard<std::mutex> guard(hooks.texts_lock);
    const FaultTexts* current = hooks.fault_texts.load();
    if (current != nullptr && current->program_name == program_name) return;
    auto* texts = new FaultTexts;
    texts->program_name = program_name;
    texts->texts.push_back({0, fault_text(0, program_name)});
    for (const HandledSignal& handled : HANDLED_SIGNALS)
        texts->texts.push_back({handled.signal, fault_text(handled.signal, program_name)});
    texts->earlier = current;
    hooks.fault_texts.store(texts);
}

}  // namespace

void install_fault_handlers(const char* program_name) {
    ProcessHooks& hooks = process_hooks();
    prepare_fault_texts(hooks, program_name != nullptr ? program_name : "coffhex");
    if (hooks.handlers_installed.exchange(true)) return;
    for (const HandledSignal& handled : HANDLED_SIGNALS)
        install_signal_handler(handled.signal, fault_handler, handled.request);
}

}  // namespace coffhex
