// The conversion driver's entry points.
#pragma once

#include <cstdio>

namespace coffhex {

// The program: one conversion with the process's standard output and
// standard error, fault handlers installed. Returns the exit status (0
// success, 1 errors or FATAL, 2 unexpected fault, 255 for the two COFF
// header texts).
int run_coffhex(int argc, char** argv);

// One conversion of the given arguments (argv[0] is the program name) that
// prints to `out` and `err`. Nothing of it survives the call; conversions
// on separate threads do not share anything but the fault handlers' list
// of temporary files.
int run_conversion(int argc, char** argv, FILE* out, FILE* err);

}  // namespace coffhex
