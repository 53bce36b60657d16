// Checksum fields written into the image: the algorithms, the measuring of
// the covered bytes in a pass that writes no file, and the placing of the
// fields among the section data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cmdfile/checksums.h"
#include "cmdfile/sections.h"
#include "image/placement.h"

namespace coffhex {

class Diagnostics;
struct RomRange;

// One checksum computed over bytes handed in address order.
class ChecksumAccumulator {
public:
    explicit ChecksumAccumulator(ChecksumAlgorithm algorithm);
    void add(const uint8_t* data, size_t length);
    // Adds `count` copies of one block (the fill of a long gap) without
    // running over every copy: a CRC's step over a block is an affine map
    // of its register, which is raised to the count's power by squaring.
    void add_repeated(const uint8_t* block, size_t length, uint64_t count);
    uint32_t value() const;

private:
    ChecksumAlgorithm algorithm_;
    uint32_t state_;
};

// The value as the field's bytes: `size` bytes, most significant first when
// `big`.
void store_checksum_value(uint32_t value, uint32_t size, bool big, uint8_t* out);

// What the conversion learns of a field.
struct FieldResult {
    uint32_t value = 0;
    bool known = false;
    // The field's memory words as the target sees them: its value in its
    // byte order, the rest of the words fill.
    std::vector<uint8_t> words;
};

// The line that reports a field (map file and standard output): name
// padded to `name_width`, algorithm, address, covered span and value.
std::string checksum_field_text(const ChecksumField& field, const FieldResult& result, int name_width);

// Watches a conversion pass that writes no file and computes every field's
// value from what it saw. Memory bytes are taken as the target sees them,
// before lane splitting and ROM byte ordering. Only the written pieces that
// fall inside a span are kept; the fill between them is streamed when the
// values are computed, so a span of the whole address space costs no memory.
class FieldCoverage : public DataObserver {
public:
    // `config` completed against the ranges of `first_range`; `placement`
    // gives each range's fill pattern.
    FieldCoverage(const ChecksumConfig& config, const RomRange* first_range,
                  const Placement& placement, bool big_endian_data);

    void data_placed(const RomRange& range, uint32_t address, const uint8_t* bytes,
                     uint32_t length, const SectionSpec* entry, bool boot_table) override;

    // After the pass: an ERROR for every field that section data or the
    // boot table overlaps and for fields whose spans hold each other; then
    // the values of the others. False when it refused a field.
    bool finish(Diagnostics& diag);

    const std::vector<FieldResult>& results() const { return results_; }

private:
    struct Piece {
        int32_t page;
        uint32_t start;
        uint64_t end;         // exclusive
        uint32_t kept_first;  // the part inside the spans' hull
        uint32_t kept_count;
        size_t offset;        // of the kept bytes in kept_
    };
    struct Write {
        uint32_t start;
        uint64_t end;
        const uint8_t* bytes;  // the byte at `first`
        uint32_t first;
        size_t field;          // the field it stands for, or npos
    };

    void compute(size_t index);
    void add_fill(ChecksumAccumulator& sum, const RomRange& range, uint64_t from, uint64_t to,
                  uint64_t gap_start);
    void build_words(size_t index);

    const ChecksumConfig& config_;
    const RomRange* first_range_;
    const Placement& placement_;
    bool big_endian_data_;
    std::vector<Piece> pieces_;
    std::vector<uint8_t> kept_;
    std::vector<std::string> conflicts_;  // per field: what overlaps it ("" none)
    std::vector<FieldResult> results_;
    std::vector<uint8_t> fill_block_;
};

// Puts the fields into the conversion: each field's memory words are data
// of their own, placed when the data reaches their address.
class FieldPlacer {
public:
    // The fields' entries take the ids from `first_id` on (the selection
    // list's entry count), so that placement keeps their state apart.
    FieldPlacer(const ChecksumConfig& config, const std::vector<FieldResult>& results, bool image,
                int first_id);

    // Places every field below (page, address) not placed yet.
    void place_before(Placement& placement, int32_t page, uint32_t address);
    // Places every field not placed yet.
    void place_rest(Placement& placement);
    // The entries the fields are placed for (named "CHECKSUM name"); the
    // placement records where each went, as for a section.
    std::vector<const SectionSpec*> entries() const;

private:
    struct Pending {
        int32_t page;
        uint32_t address;
        std::vector<uint8_t> bytes;
        SectionSpec entry;
    };
    void place(Placement& placement, Pending& field);

    bool image_;
    std::vector<Pending> pending_;  // by page and address
    size_t next_ = 0;
};

}  // namespace coffhex
