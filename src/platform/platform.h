// The few calls that differ between operating systems. Everything else in
// the program is standard C++.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace coffhex {

// True when the two names lead to the same file (the same name, or the same
// file reached by another name or path). On POSIX systems two names are the
// same file when their device and inode numbers match; on Windows when
// their volume serial number and file index match.
bool same_file(const std::string& a, const std::string& b);

// Positions a stream at a byte offset that may lie beyond 2 GiB.
bool seek_to(FILE* stream, uint64_t position);
// The size of the file behind a stream (the stream is left at its end).
bool stream_size(FILE* stream, uint64_t& size);

// The number of this process.
long process_id();

}  // namespace coffhex
