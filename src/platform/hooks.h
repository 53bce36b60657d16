// What the process-wide hooks (the signal handlers) need to know: the one
// mutable object of the process outside the conversions. A handler may run
// at any moment, on any thread, so everything it reads is reached through
// atomic pointers that are only ever changed by single stores, and nothing
// it reads is freed while it may be reading it.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace coffhex {

// A temporary output file of a running conversion.
struct TempNode {
    std::atomic<TempNode*> next{nullptr};
    char* path = nullptr;
    TempNode* retired_next = nullptr;  // taken out of the list, see ProcessHooks
};

// The text a handler writes for a signal, made before any signal can come:
// a handler formats nothing.
struct FaultText {
    int signal;  // 0: the text for any signal without one of its own
    std::string text;
};

// The texts for one program name. Texts made for an earlier name are kept
// (linked by `earlier`) and never freed: a handler may be writing them.
struct FaultTexts {
    std::string program_name;
    std::vector<FaultText> texts;
    const FaultTexts* earlier = nullptr;
};

struct ProcessHooks {
    // The texts of the conversion started last.
    std::atomic<const FaultTexts*> fault_texts{nullptr};
    std::mutex texts_lock;  // serialises the making of new texts
    // Every temporary output file of the running conversions: removed when
    // a fault or signal ends the process.
    std::atomic<TempNode*> temp_files{nullptr};
    // Handlers that have begun to walk the list: once one has, nodes taken
    // out of the list are no longer freed but kept in `retired`.
    std::atomic<int> list_walkers{0};
    TempNode* retired = nullptr;  // under temp_lock
    std::mutex temp_lock;         // serialises changes of the list between threads
    std::atomic<bool> handlers_installed{false};
};

// The one instance.
ProcessHooks& process_hooks();

}  // namespace coffhex
