// The CHECKSUMS directive: checksum fields that the conversion computes over
// the memory image and writes into it.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace coffhex {

class Diagnostics;
struct RomRange;

enum class ChecksumAlgorithm {
    Crc32,       // CRC-32/ISO-HDLC
    Crc32Mpeg2,  // CRC-32/MPEG-2
    Crc16Ccitt,  // CRC-16/IBM-3740
    Sum16,
    Sum32,
};

// The name of an algorithm in command files and reports.
const char* checksum_algorithm_name(ChecksumAlgorithm algorithm);
// Size of the algorithm's value in bytes (2 or 4).
uint32_t checksum_size(ChecksumAlgorithm algorithm);

enum class ChecksumOrder { Target, Little, Big };

// One field of the directive. What the directive gave, then what the
// completion of the configuration works out.
struct ChecksumField {
    std::string name;
    ChecksumAlgorithm algorithm = ChecksumAlgorithm::Crc32;
    bool algorithm_given = false;
    uint32_t at = 0;
    bool at_given = false;
    uint32_t origin = 0;
    bool origin_given = false;
    uint32_t length = 0;
    bool length_given = false;
    ChecksumOrder order = ChecksumOrder::Target;
    bool order_given = false;
    int32_t page = 0;
    bool page_given = false;

    // Completed once the memory ranges are known.
    const RomRange* range = nullptr;  // the range holding the field
    uint32_t span_first = 0;          // the covered span, inclusive
    uint32_t span_last = 0;
    bool default_span = true;         // the whole range, less the field
    // The whole memory words the field lies in: the field is written as
    // these words (its own bytes, the rest fill).
    uint32_t word_first = 0;
    uint32_t word_last = 0;

    uint32_t size() const { return checksum_size(algorithm); }
    uint32_t last() const { return at + size() - 1; }
};

// The fields of a conversion: built by the directive, completed and checked
// against the memory ranges once every argument is read, read-only from
// then on.
class ChecksumConfig {
public:
    explicit ChecksumConfig(Diagnostics& diag) : diag_(diag) {}
    ChecksumConfig(const ChecksumConfig&) = delete;
    ChecksumConfig& operator=(const ChecksumConfig&) = delete;

    // Directive operations (called by the grammar's actions); the attribute
    // operations act on the field being defined.
    void begin_checksums();
    void new_field(const char* name);
    void set_algorithm(const char* name);
    void set_at(uint32_t value);
    void set_origin(uint32_t value);
    void set_length(uint32_t value);
    void set_order(const char* name);
    void set_page(uint32_t value);
    void unknown_attribute(const char* name);
    void finish_field();

    // Works out every field's range, span and memory words and refuses
    // (ERROR) the fields that do not fit the memory ranges.
    void complete(const RomRange* first_range);

    bool empty() const { return fields_.empty(); }
    const std::vector<ChecksumField>& fields() const { return fields_; }

private:
    Diagnostics& diag_;
    std::vector<ChecksumField> fields_;
    // The field being defined, appended by finish_field; an item cut short
    // by a syntax error is never appended.
    ChecksumField defining_;
    bool defining_active_ = false;
    bool directive_seen_ = false;
};

}  // namespace coffhex
