// The CHECKSUMS directive: the fields, their attributes, and the checks of
// each field against the memory ranges.
#include "cmdfile/checksums.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "cmdfile/roms.h"
#include "diag/diag.h"

namespace coffhex {

namespace {

struct AlgorithmRow {
    const char* name;
    ChecksumAlgorithm algorithm;
    uint32_t size;
};

constexpr AlgorithmRow ALGORITHMS[] = {
    {"crc32", ChecksumAlgorithm::Crc32, 4},
    {"crc32_mpeg2", ChecksumAlgorithm::Crc32Mpeg2, 4},
    {"crc16_ccitt", ChecksumAlgorithm::Crc16Ccitt, 2},
    {"sum16", ChecksumAlgorithm::Sum16, 2},
    {"sum32", ChecksumAlgorithm::Sum32, 4},
};

bool same_ignoring_case(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
    }
    return *a == *b;
}

// The memory words of `range` that hold the bytes first..last.
void word_bounds(const RomRange& range, uint32_t first, uint32_t last, uint32_t& word_first,
                 uint32_t& word_last) {
    const uint64_t width = static_cast<uint64_t>(std::max(range.memwidth, 1));
    const uint64_t origin = range.origin;
    word_first = static_cast<uint32_t>(origin + (first - origin) / width * width);
    word_last = static_cast<uint32_t>(origin + ((last - origin) / width + 1) * width - 1);
}

}  // namespace

const char* checksum_algorithm_name(ChecksumAlgorithm algorithm) {
    for (const AlgorithmRow& row : ALGORITHMS)
        if (row.algorithm == algorithm) return row.name;
    return "";
}

uint32_t checksum_size(ChecksumAlgorithm algorithm) {
    for (const AlgorithmRow& row : ALGORITHMS)
        if (row.algorithm == algorithm) return row.size;
    return 4;
}

void ChecksumConfig::begin_checksums() {
    if (directive_seen_) diag_.report(ERROR, "CHECKSUMS directive redefined");
    directive_seen_ = true;
    defining_active_ = false;
}

void ChecksumConfig::new_field(const char* name) {
    finish_field();
    defining_ = ChecksumField{};
    defining_.name = name != nullptr ? name : "";
    defining_active_ = true;
}

void ChecksumConfig::set_algorithm(const char* name) {
    if (!defining_active_) return;
    if (defining_.algorithm_given) diag_.report(ERROR, "algorithm redefined for %s", defining_.name.c_str());
    for (const AlgorithmRow& row : ALGORITHMS) {
        if (same_ignoring_case(name, row.name)) {
            defining_.algorithm = row.algorithm;
            defining_.algorithm_given = true;
            return;
        }
    }
    diag_.report(ERROR, "unknown checksum algorithm '%s' for %s", name, defining_.name.c_str());
    defining_.algorithm_given = true;  // refused; "algorithm missing" would only repeat it
}

void ChecksumConfig::set_at(uint32_t value) {
    if (!defining_active_) return;
    if (defining_.at_given) diag_.report(ERROR, "at redefined for %s", defining_.name.c_str());
    defining_.at = value;
    defining_.at_given = true;
}

void ChecksumConfig::set_origin(uint32_t value) {
    if (!defining_active_) return;
    if (defining_.origin_given) diag_.report(ERROR, "origin redefined for %s", defining_.name.c_str());
    defining_.origin = value;
    defining_.origin_given = true;
}

void ChecksumConfig::set_length(uint32_t value) {
    if (!defining_active_) return;
    if (defining_.length_given) diag_.report(ERROR, "length redefined for %s", defining_.name.c_str());
    defining_.length = value;
    defining_.length_given = true;
}

void ChecksumConfig::set_order(const char* name) {
    if (!defining_active_) return;
    if (defining_.order_given) diag_.report(ERROR, "order redefined for %s", defining_.name.c_str());
    defining_.order_given = true;
    if (same_ignoring_case(name, "little")) {
        defining_.order = ChecksumOrder::Little;
    } else if (same_ignoring_case(name, "big")) {
        defining_.order = ChecksumOrder::Big;
    } else {
        diag_.report(ERROR, "unknown byte order '%s' for %s (little or big)", name, defining_.name.c_str());
    }
}

void ChecksumConfig::set_page(uint32_t value) {
    if (!defining_active_) return;
    if (defining_.page_given) diag_.report(ERROR, "page redefined for %s", defining_.name.c_str());
    defining_.page = static_cast<int32_t>(value);
    defining_.page_given = true;
}

void ChecksumConfig::unknown_attribute(const char* name) {
    const char* field = defining_active_ ? defining_.name.c_str()
                        : fields_.empty()  ? "CHECKSUMS"
                                           : fields_.back().name.c_str();
    diag_.report(ERROR, "unknown attribute '%s' for %s", name, field);
}

void ChecksumConfig::finish_field() {
    if (!defining_active_) return;
    defining_active_ = false;
    ChecksumField& field = defining_;
    if (!field.algorithm_given) diag_.report(ERROR, "algorithm missing on %s", field.name.c_str());
    if (!field.at_given) diag_.report(ERROR, "at missing on %s", field.name.c_str());
    for (const ChecksumField& other : fields_) {
        if (other.name == field.name) {
            diag_.report(ERROR, "checksum field %s defined twice", field.name.c_str());
            return;
        }
    }
    fields_.push_back(field);
}

void ChecksumConfig::complete(const RomRange* first_range) {
    finish_field();
    for (ChecksumField& field : fields_) {
        const char* name = field.name.c_str();
        const uint64_t field_last = static_cast<uint64_t>(field.at) + field.size() - 1;
        for (const RomRange* r = first_range; r != nullptr; r = r->next) {
            if (r->page == field.page && r->origin <= field.at && field_last <= r->end) {
                field.range = r;
                break;
            }
        }
        if (field.range == nullptr) {
            diag_.report(ERROR, "checksum field %s is not wholly inside one configured range", name);
            continue;
        }
        const RomRange& range = *field.range;
        word_bounds(range, field.at, field.last(), field.word_first, field.word_last);

        field.default_span = !field.origin_given && !field.length_given;
        const uint32_t first = field.origin_given ? field.origin : range.origin;
        uint64_t last = range.end;
        if (field.length_given) {
            last = static_cast<uint64_t>(first) + field.length - 1;
            if (field.length == 0 || last > 0xFFFFFFFFu) {
                diag_.report(ERROR, "invalid checksum span on %s", name);
                field.range = nullptr;
                continue;
            }
        }
        if (last < first) {
            diag_.report(ERROR, "invalid checksum span on %s", name);
            field.range = nullptr;
            continue;
        }
        field.span_first = first;
        field.span_last = static_cast<uint32_t>(last);
        if (!field.default_span && field.span_first <= field_last && field.at <= field.span_last)
            diag_.report(ERROR, "checksum span of %s includes the field itself", name);

        // Every address of the span lies in a range of the field's page
        // (ranges next to each other may share a span).
        uint64_t cursor = field.span_first;
        for (const RomRange* r = first_range; r != nullptr && cursor <= field.span_last; r = r->next) {
            if (r->page != field.page || r->end < cursor) continue;
            if (r->origin > cursor) break;
            cursor = static_cast<uint64_t>(r->end) + 1;
        }
        if (cursor <= field.span_last)
            diag_.report(ERROR, "checksum span of %s reaches outside the configured memory", name);
    }

    // A memory word is written once: fields sharing one overlap.
    for (size_t i = 0; i < fields_.size(); ++i) {
        const ChecksumField& a = fields_[i];
        if (a.range == nullptr) continue;
        for (size_t j = i + 1; j < fields_.size(); ++j) {
            const ChecksumField& b = fields_[j];
            if (b.range == nullptr || b.page != a.page) continue;
            if (a.word_first <= b.word_last && b.word_first <= a.word_last)
                diag_.report(ERROR, "checksum fields %s and %s overlap", a.name.c_str(), b.name.c_str());
        }
    }
}

}  // namespace coffhex
