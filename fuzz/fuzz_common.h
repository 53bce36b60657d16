// Shared pieces of the fuzz targets: a scratch directory to run in, and a
// whole conversion run in-process with standard output and error muted.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/run.h"

namespace fuzzsupport {

// Makes a fresh scratch directory and moves into it, so output files land
// there.
inline void enter_scratch_directory() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base ? base : "/tmp") + "/coffhex-fuzz-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr || chdir(buf.data()) != 0) std::abort();
}

inline void write_file(const char* name, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(name, "wb");
    if (f == nullptr) std::abort();
    if (size > 0) std::fwrite(data, 1, size, f);
    std::fclose(f);
}

// Runs one conversion with the given arguments; messages go to /dev/null
// (a crash is still seen by the fuzzer; rerun the artifact to read it).
inline int run_muted(std::vector<const char*> args) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>("coffhex"));
    for (const char* a : args) argv.push_back(const_cast<char*>(a));
    argv.push_back(nullptr);

    std::fflush(stdout);
    std::fflush(stderr);
    int saved_out = dup(1), saved_err = dup(2);
    int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
    dup2(devnull, 2);
    close(devnull);
    int status = coffhex::run_coffhex(static_cast<int>(argv.size() - 1), argv.data());
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(saved_out, 1);
    dup2(saved_err, 2);
    close(saved_out);
    close(saved_err);
    if (status != 0 && status != 1 && status != 255) std::abort();
    return status;
}

}  // namespace fuzzsupport
