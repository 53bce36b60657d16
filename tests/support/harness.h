// Test support: scratch directories, file helpers and running the real
// coffhex binary with its standard output, standard error and exit status.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct RunResult {
    int status = -1;   // exit status, or 128 + signal number
    std::string out;   // standard output
    std::string err;   // standard error
};

// Runs the coffhex binary with `args` in directory `cwd`, standard input
// closed (empty). Times out after `timeout_seconds` (status -1 then).
RunResult run_coffhex(const std::vector<std::string>& args, const std::string& cwd,
                      int timeout_seconds = 60);

// Runs any program (argv[0] is looked up in PATH when it has no "/").
RunResult run_program(const std::vector<std::string>& argv, const std::string& cwd,
                      int timeout_seconds = 60);

// For a forked child before it runs a program: every signal takes its
// default course and none is blocked, whatever the test runner ignores or
// blocks (a shell ignores SIGINT and SIGQUIT in background jobs).
void default_signal_dispositions();

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string read_text(const std::string& path);
std::vector<uint8_t> read_bytes(const std::string& path);
void write_text(const std::string& path, const std::string& text);
void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes);
bool file_exists(const std::string& path);
// Names of the regular files in a directory, sorted.
std::vector<std::string> list_files(const std::string& dir);

// Builds a COFF file from a coffgen description and writes it to `path`.
void write_coff(const std::string& path, const std::string& description);

}  // namespace testsupport
