// Command-file grammar: parses the open command file and carries out its
// options, input names and ROMS/SECTIONS directives as they are recognised.
#pragma once

namespace coffhex {

// 0 accepted, 1 abandoned after a syntax error, 2 parse stack overflow.
int parse_command_file();

}  // namespace coffhex
