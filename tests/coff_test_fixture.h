// Shared fixture of the COFF reader tests: builds a file with coffgen, opens
// it as the COFF input and resets the reader's state around each test.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "coff/coff.h"
#include "coff/section_data.h"
#include "coff/sym.h"
#include "coffgen/coffgen.h"
#include "diag/diag.h"
#include "driver/options.h"
#include "support/harness.h"

namespace cofftest {

// One piece handed to the data sink.
struct Piece {
    uint32_t address;
    uint32_t length;
    int32_t page;
    int section;  // coff_input().current_section during the call
    std::vector<uint8_t> bytes;
};

inline std::vector<Piece>& pieces() {
    static std::vector<Piece> list;
    return list;
}

inline bool recording_sink(const uint8_t* data, uint32_t length, uint32_t address, int32_t page) {
    pieces().push_back({address, length, page, coffhex::coff_input().current_section,
                        std::vector<uint8_t>(data, data + length)});
    return true;
}

// Stands in for the driver's translate step, so that the reader can be
// exercised alone: counts its calls and marks its place in the trace output.
inline int& translation_calls() {
    static int calls = 0;
    return calls;
}
inline bool counting_translation() {
    ++translation_calls();
    if (coffhex::options().trace_level != 0) coffhex::trace_line("<translate>\n");
    return true;
}

class CoffTest : public ::testing::Test {
protected:
    void SetUp() override {
        coffhex::reset_option_values();
        coffhex::reset_diagnostics();
        coffhex::coff_input().stream = nullptr;
        coffhex::reset_coff_input();
        coffhex::set_translation_step(counting_translation);
        translation_calls() = 0;
        coffhex::reset_section_data();
        coffhex::symbol_table_clear();
        coffhex::set_chunk_sink(recording_sink);
        pieces().clear();
    }

    void TearDown() override {
        if (file_ != nullptr) std::fclose(file_);
        file_ = nullptr;
        coffhex::coff_input().stream = nullptr;
        coffhex::reset_section_data();
        coffhex::set_translation_step(nullptr);
    }

    // Writes the bytes to a scratch file and opens it as the COFF input.
    void open_bytes(const std::vector<uint8_t>& bytes) {
        testsupport::write_bytes(path(), bytes);
        open_path();
    }
    void open(const std::string& description) { open_bytes(coffgen::build(coffgen::parse(description))); }
    void open_object(const coffgen::Object& object) { open_bytes(coffgen::build(object)); }
    void open_path() {
        if (file_ != nullptr) std::fclose(file_);
        file_ = std::fopen(path().c_str(), "rb");
        ASSERT_NE(file_, nullptr);
        coffhex::coff_input().stream = file_;
    }
    std::string path() const { return dir_.file("input.out"); }

    // Runs a step that must end the run; returns its exit status.
    template <typename Step>
    int abort_status(Step step) {
        try {
            step();
        } catch (const coffhex::RunAbort& abort) {
            return abort.status;
        }
        return -1;
    }

    testsupport::TempDir dir_;
    FILE* file_ = nullptr;
};

}  // namespace cofftest
