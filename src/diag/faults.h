// The process-wide fault handlers: a fault or signal removes the temporary
// files of the running conversions, writes its text and ends the process
// with status 2.
#pragma once

namespace coffhex {

// Installs the handlers for SIGILL, SIGABRT, SIGFPE, SIGSEGV, SIGTERM and
// SIGINT (once per process) and names the program for their texts.
void install_fault_handlers(const char* program_name);

}  // namespace coffhex
