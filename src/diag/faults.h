// The process-wide fault handlers: a fault or signal removes the temporary
// files of the running conversions, writes its text and ends the process
// with status 2.
#pragma once

namespace coffhex {

// Installs the handlers (once per process) for the faults SIGILL, SIGABRT,
// SIGFPE and SIGSEGV and the requests to stop SIGTERM, SIGINT, SIGHUP,
// SIGPIPE and SIGQUIT (those the system has), and makes their texts for
// `program_name` now, so that a handler only writes them.
void install_fault_handlers(const char* program_name);

}  // namespace coffhex
