// What the process-wide hooks (the signal handlers) need to know: the one
// mutable object of the process outside the conversions. A handler may run
// at any moment, on any thread, so everything here is reached through
// atomic pointers that are only ever changed by single stores.
#pragma once

#include <atomic>
#include <mutex>

namespace coffhex {

// A temporary output file of a running conversion.
struct TempNode {
    std::atomic<TempNode*> next{nullptr};
    char* path = nullptr;
};

struct ProcessHooks {
    // The program name of the conversion started last, for the fault texts.
    std::atomic<const char*> program_name{"coffhex"};
    // Every temporary output file of the running conversions: removed when
    // a fault or signal ends the process.
    std::atomic<TempNode*> temp_files{nullptr};
    std::mutex temp_lock;  // serialises changes of the list between threads
    std::atomic<bool> handlers_installed{false};
};

// The one instance.
ProcessHooks& process_hooks();

}  // namespace coffhex
