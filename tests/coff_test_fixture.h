// Shared fixture of the COFF reader tests: builds a file with coffgen in a
// scratch directory and opens it as a CoffFile whose diagnostics print into
// memory; a chunk sink that records what the reader delivers.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "coff/coff.h"
#include "object/sym.h"
#include "coffgen/coffgen.h"
#include "diag/diag.h"
#include "support/capture.h"
#include "support/harness.h"

namespace cofftest {

// The texts of the FATAL messages that end a run on a damaged input file.
inline const std::string kReadError = ">> FATAL ERROR: error reading COFF file (aborting)\n";
inline const std::string kWrongMagic = ">> FATAL ERROR: COFF file has wrong magic number (aborting)\n";
inline const std::string kSymbolReadError = ">> FATAL ERROR: symbol read error (aborting)\n";

// One chunk handed to the sink.
struct Piece {
    int section;                            // index into sections()
    const coffhex::SectionEntry* entry;     // the section the reader named
    uint32_t address;
    uint32_t length;
    int32_t page;
    std::vector<uint8_t> bytes;
};

// Keeps a copy of every chunk it is given.
class RecordingSink : public coffhex::ChunkSink {
public:
    void load_chunk(int index, const coffhex::SectionEntry& section, const uint8_t* data,
                    uint32_t length, uint32_t address, int32_t page) override {
        pieces.push_back({index, &section, address, length, page, std::vector<uint8_t>(data, data + length)});
    }
    std::vector<Piece> pieces;
};

// One opened input file with the diagnostics of its run.
struct Input {
    // Takes the open stream (nullptr: no stream at all).
    explicit Input(FILE* stream) : file(stream, cap.diag) {}

    testsupport::CapturedDiagnostics cap;
    coffhex::CoffFile file;

    // The standard output and standard error of the run so far.
    std::string out() const { return cap.out(); }
    std::string err() const { return cap.err(); }
};

// Every section of the file, in file order.
inline std::vector<int> file_order(const coffhex::CoffFile& file) {
    std::vector<int> order;
    for (size_t i = 0; i < file.sections().size(); ++i) order.push_back(static_cast<int>(i));
    return order;
}

// Runs a step that must end the run; returns its exit status, or -1 when
// the step returns.
template <typename Step>
int abort_status(Step step) {
    try {
        step();
    } catch (const coffhex::RunAbort& abort) {
        return abort.status;
    }
    return -1;
}

class CoffTest : public ::testing::Test {
protected:
    // Writes the bytes to a fresh scratch file and opens it.
    std::unique_ptr<Input> open_bytes(const std::vector<uint8_t>& bytes) {
        last_path_ = dir_.file("input" + std::to_string(++files_) + ".out");
        testsupport::write_bytes(last_path_, bytes);
        FILE* stream = std::fopen(last_path_.c_str(), "rb");
        EXPECT_NE(stream, nullptr) << last_path_;
        return std::make_unique<Input>(stream);
    }
    std::unique_ptr<Input> open(const std::string& description) {
        return open_bytes(coffgen::build(coffgen::parse(description)));
    }
    std::unique_ptr<Input> open_object(const coffgen::Object& object) {
        return open_bytes(coffgen::build(object));
    }
    // The file opened last.
    const std::string& path() const { return last_path_; }

    testsupport::TempDir dir_;

private:
    int files_ = 0;
    std::string last_path_;
};

}  // namespace cofftest
