// Checksum fields written into the image.
#include "image/checksum_fields.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>

#include "cmdfile/roms.h"
#include "diag/diag.h"

namespace coffhex {

namespace {

constexpr size_t NONE = std::numeric_limits<size_t>::max();
constexpr size_t FILL_BLOCK = 64 * 1024;  // a multiple of the fill's period of 4

// A CRC computed most significant bit first, without reflection or final
// XOR, one table lookup per byte.
struct MsbCrc {
    std::array<uint32_t, 256> table{};
    int width = 32;
    uint32_t mask = 0xFFFFFFFFu;
};

constexpr MsbCrc make_msb_crc(uint32_t polynomial, int width) {
    MsbCrc crc;
    crc.width = width;
    crc.mask = width == 32 ? 0xFFFFFFFFu : (1u << width) - 1;
    const uint32_t top = 1u << (width - 1);
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t r = i << (width - 8);
        for (int bit = 0; bit < 8; ++bit) r = (r & top) != 0 ? (r << 1) ^ polynomial : r << 1;
        crc.table[i] = r & crc.mask;
    }
    return crc;
}

constexpr MsbCrc CRC32_MPEG2 = make_msb_crc(0x04C11DB7u, 32);
constexpr MsbCrc CRC16_IBM3740 = make_msb_crc(0x1021u, 16);

uint32_t msb_crc_update(const MsbCrc& crc, uint32_t state, const uint8_t* data, size_t length) {
    const int shift = crc.width - 8;
    for (size_t i = 0; i < length; ++i)
        state = ((state << 8) ^ crc.table[((state >> shift) ^ data[i]) & 0xFFu]) & crc.mask;
    return state;
}

// An affine map of a 32-bit register over GF(2): s -> M s ^ c, M given by
// its columns.
struct Affine {
    std::array<uint32_t, 32> column{};
    uint32_t constant = 0;

    uint32_t apply(uint32_t s) const {
        uint32_t r = constant;
        for (int j = 0; s != 0; ++j, s >>= 1)
            if ((s & 1u) != 0) r ^= column[static_cast<size_t>(j)];
        return r;
    }
    uint32_t linear(uint32_t s) const { return apply(s) ^ constant; }
};

// a after b.
Affine compose(const Affine& a, const Affine& b) {
    Affine r;
    for (size_t j = 0; j < 32; ++j) r.column[j] = a.linear(b.column[j]);
    r.constant = a.apply(b.constant);
    return r;
}

}  // namespace

// ---------------------------------------------------------------- algorithms

ChecksumAccumulator::ChecksumAccumulator(ChecksumAlgorithm algorithm) : algorithm_(algorithm) {
    switch (algorithm) {
    case ChecksumAlgorithm::Crc32: state_ = static_cast<uint32_t>(::crc32(0L, Z_NULL, 0)); break;
    case ChecksumAlgorithm::Crc32Mpeg2: state_ = 0xFFFFFFFFu; break;
    case ChecksumAlgorithm::Crc16Ccitt: state_ = 0xFFFFu; break;
    default: state_ = 0; break;
    }
}

void ChecksumAccumulator::add(const uint8_t* data, size_t length) {
    switch (algorithm_) {
    case ChecksumAlgorithm::Crc32: {
        uLong crc = state_;
        while (length > 0) {
            const uInt n = static_cast<uInt>(std::min<size_t>(length, 1u << 30));
            crc = ::crc32(crc, data, n);
            data += n;
            length -= n;
        }
        state_ = static_cast<uint32_t>(crc);
        break;
    }
    case ChecksumAlgorithm::Crc32Mpeg2: state_ = msb_crc_update(CRC32_MPEG2, state_, data, length); break;
    case ChecksumAlgorithm::Crc16Ccitt: state_ = msb_crc_update(CRC16_IBM3740, state_, data, length); break;
    case ChecksumAlgorithm::Sum16:
    case ChecksumAlgorithm::Sum32: {
        uint32_t sum = state_;
        for (size_t i = 0; i < length; ++i) sum += data[i];
        state_ = sum;
        break;
    }
    }
}

void ChecksumAccumulator::add_repeated(const uint8_t* block, size_t length, uint64_t count) {
    if (algorithm_ == ChecksumAlgorithm::Sum16 || algorithm_ == ChecksumAlgorithm::Sum32) {
        uint32_t sum = 0;
        for (size_t i = 0; i < length; ++i) sum += block[i];
        state_ += static_cast<uint32_t>(count * sum);
        return;
    }
    if (count < 64) {
        for (uint64_t i = 0; i < count; ++i) add(block, length);
        return;
    }
    auto step = [&](uint32_t state) {
        ChecksumAccumulator one(algorithm_);
        one.state_ = state;
        one.add(block, length);
        return one.state_;
    };
    Affine power;
    power.constant = step(0);
    for (size_t j = 0; j < 32; ++j) power.column[j] = step(1u << j) ^ power.constant;
    Affine result;  // identity
    for (size_t j = 0; j < 32; ++j) result.column[j] = 1u << j;
    for (; count != 0; count >>= 1) {
        if ((count & 1u) != 0) result = compose(power, result);
        power = compose(power, power);
    }
    state_ = result.apply(state_);
}

uint32_t ChecksumAccumulator::value() const {
    return algorithm_ == ChecksumAlgorithm::Sum16 ? state_ & 0xFFFFu : state_;
}

void store_checksum_value(uint32_t value, uint32_t size, bool big, uint8_t* out) {
    for (uint32_t i = 0; i < size; ++i) {
        const uint32_t shift = 8 * (big ? size - 1 - i : i);
        out[i] = static_cast<uint8_t>(value >> shift);
    }
}

std::string checksum_field_text(const ChecksumField& field, const FieldResult& result, int name_width) {
    char text[512];
    int n = std::snprintf(text, sizeof text, "%-*s  %-11s  at 0x%08lX", name_width, field.name.c_str(),
                          checksum_algorithm_name(field.algorithm), static_cast<unsigned long>(field.at));
    std::string line(text, static_cast<size_t>(std::max(n, 0)));
    if (field.page != 0) {
        std::snprintf(text, sizeof text, " page %d", static_cast<int>(field.page));
        line += text;
    }
    std::snprintf(text, sizeof text, "  over 0x%08lX..0x%08lX%s  = 0x%0*lX",
                  static_cast<unsigned long>(field.span_first), static_cast<unsigned long>(field.span_last),
                  field.default_span ? " less the field" : "", static_cast<int>(field.size() * 2),
                  static_cast<unsigned long>(result.value));
    line += text;
    return line;
}

// ---------------------------------------------------------------- measuring

FieldCoverage::FieldCoverage(const ChecksumConfig& config, const RomRange* first_range,
                             const Placement& placement, bool big_endian_data)
    : config_(config),
      first_range_(first_range),
      placement_(placement),
      big_endian_data_(big_endian_data),
      conflicts_(config.fields().size()),
      results_(config.fields().size()) {}

void FieldCoverage::data_placed(const RomRange& range, uint32_t address, const uint8_t* bytes,
                                uint32_t length, const SectionSpec* entry, bool boot_table) {
    if (length == 0) return;
    const uint64_t end = static_cast<uint64_t>(address) + length;
    const auto& fields = config_.fields();
    uint64_t hull_first = std::numeric_limits<uint64_t>::max();
    uint64_t hull_last = 0;
    for (size_t i = 0; i < fields.size(); ++i) {
        const ChecksumField& field = fields[i];
        if (field.range == nullptr || field.page != range.page) continue;
        hull_first = std::min<uint64_t>(hull_first, field.span_first);
        hull_last = std::max<uint64_t>(hull_last, field.span_last);
        if (address <= field.word_last && field.word_first < end && conflicts_[i].empty())
            conflicts_[i] = boot_table || entry == nullptr ? std::string("the boot table")
                                                           : "section '" + entry->name + "'";
    }
    Piece piece{range.page, address, end, 0, 0, kept_.size()};
    const uint64_t first = std::max<uint64_t>(address, hull_first);
    const uint64_t last = std::min<uint64_t>(end - 1, hull_last);
    if (first <= last) {
        piece.kept_first = static_cast<uint32_t>(first);
        piece.kept_count = static_cast<uint32_t>(last - first + 1);
        kept_.insert(kept_.end(), bytes + (first - address), bytes + (last - address) + 1);
    }
    pieces_.push_back(piece);
}

// The field's memory words: fill where placement pads a word (the fill
// pattern at the same place of the word), the value in its byte order.
void FieldCoverage::build_words(size_t index) {
    const ChecksumField& field = config_.fields()[index];
    FieldResult& result = results_[index];
    const std::vector<uint8_t> pattern = placement_.fill_pattern(*field.range);
    const uint32_t width = static_cast<uint32_t>(std::max(field.range->memwidth, 1));
    result.words.assign(static_cast<size_t>(field.word_last - field.word_first) + 1, 0);
    for (size_t k = 0; k < result.words.size(); ++k) result.words[k] = pattern[(k % width) % pattern.size()];
    const bool big = field.order == ChecksumOrder::Big ||
                     (field.order == ChecksumOrder::Target && big_endian_data_);
    store_checksum_value(result.value, field.size(), big,
                         result.words.data() + (field.at - field.word_first));
}

// Fill between two writes: image mode writes the fill pattern from the end
// of the previous write (or the range's origin) on, so the byte at A is
// byte (A - gap_start) mod 4 of the fill value in the data's byte order.
void FieldCoverage::add_fill(ChecksumAccumulator& sum, const RomRange& range, uint64_t from,
                             uint64_t to, uint64_t gap_start) {
    if (from > to) return;
    uint8_t fill[4];
    store_checksum_value(range.fill, 4, big_endian_data_, fill);
    fill_block_.resize(FILL_BLOCK);
    const uint64_t phase = (from - gap_start) & 3u;
    for (size_t i = 0; i < FILL_BLOCK; ++i) fill_block_[i] = fill[(i + phase) & 3u];
    const uint64_t count = to - from + 1;
    sum.add_repeated(fill_block_.data(), FILL_BLOCK, count / FILL_BLOCK);
    sum.add(fill_block_.data(), static_cast<size_t>(count % FILL_BLOCK));
}

void FieldCoverage::compute(size_t index) {
    const ChecksumField& field = config_.fields()[index];
    const auto& fields = config_.fields();

    // Everything written on the field's page, in address order: the pieces
    // the pass saw and the words of the fields.
    std::vector<Write> writes;
    for (const Piece& p : pieces_) {
        if (p.page != field.page) continue;
        writes.push_back(Write{p.start, p.end, kept_.data() + p.offset, p.kept_first, NONE});
    }
    for (size_t i = 0; i < fields.size(); ++i) {
        const ChecksumField& other = fields[i];
        if (other.range == nullptr || other.page != field.page) continue;
        writes.push_back(Write{other.word_first, static_cast<uint64_t>(other.word_last) + 1,
                               results_[i].words.data(), other.word_first, i});
    }
    std::stable_sort(writes.begin(), writes.end(),
                     [](const Write& a, const Write& b) { return a.start < b.start; });

    ChecksumAccumulator sum(field.algorithm);
    auto add_bytes = [&](const Write& w, uint64_t from, uint64_t to) {
        if (w.field == index && field.default_span) {
            // The field's own bytes are not covered; the rest of its words are.
            const uint64_t own_first = field.at;
            const uint64_t own_last = field.last();
            if (from < own_first)
                sum.add(w.bytes + (from - w.first), static_cast<size_t>(std::min(to, own_first - 1) - from + 1));
            if (to > own_last) {
                const uint64_t start = std::max(from, own_last + 1);
                sum.add(w.bytes + (start - w.first), static_cast<size_t>(to - start + 1));
            }
            return;
        }
        sum.add(w.bytes + (from - w.first), static_cast<size_t>(to - from + 1));
    };

    for (const RomRange* r = first_range_; r != nullptr; r = r->next) {
        if (r->page != field.page || r->end < field.span_first || r->origin > field.span_last) continue;
        const uint64_t a = std::max(field.span_first, r->origin);
        const uint64_t b = std::min(field.span_last, r->end);
        uint64_t gap_start = r->origin;
        uint64_t cursor = a;
        for (const Write& w : writes) {
            if (w.end <= r->origin || w.start > r->end) continue;  // another range
            if (w.end <= a) {
                gap_start = w.end;
                continue;
            }
            if (w.start > b) break;
            if (w.start > cursor) {
                add_fill(sum, *r, cursor, w.start - 1, gap_start);
                cursor = w.start;
            }
            const uint64_t last = std::min<uint64_t>(b, w.end - 1);
            if (cursor <= last) add_bytes(w, cursor, last);
            gap_start = w.end;
            cursor = w.end;
            if (cursor > b) break;
        }
        if (cursor <= b) add_fill(sum, *r, cursor, b, gap_start);
    }
    results_[index].value = sum.value();
    results_[index].known = true;
    build_words(index);
}

bool FieldCoverage::finish(Diagnostics& diag) {
    const auto& fields = config_.fields();
    bool refused = false;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (conflicts_[i].empty()) continue;
        diag.report(ERROR, "checksum field %s overlaps %s", fields[i].name.c_str(), conflicts_[i].c_str());
        refused = true;
    }
    if (refused) return false;

    // Every field's words, its value still 0: the fill bytes of the words
    // are known, and a span that holds a field's value waits for it.
    for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i].range != nullptr) build_words(i);
    // A field whose span holds another field's value is computed after it.
    auto holds = [&](size_t f, size_t e) {
        const ChecksumField& a = fields[f];
        const ChecksumField& b = fields[e];
        return f != e && a.page == b.page && a.span_first <= b.last() && b.at <= a.span_last;
    };
    for (;;) {
        bool progress = false;
        for (size_t f = 0; f < fields.size(); ++f) {
            if (results_[f].known || fields[f].range == nullptr) continue;
            bool ready = true;
            for (size_t e = 0; e < fields.size() && ready; ++e)
                if (holds(f, e) && !results_[e].known) ready = false;
            if (!ready) continue;
            compute(f);
            progress = true;
        }
        if (!progress) break;
    }
    for (size_t f = 0; f < fields.size(); ++f) {
        if (results_[f].known || fields[f].range == nullptr) continue;
        for (size_t e = 0; e < fields.size(); ++e) {
            if (holds(f, e) && !results_[e].known && (e > f || !holds(e, f))) {
                diag.report(ERROR, "checksum fields %s and %s cover each other", fields[f].name.c_str(),
                            fields[e].name.c_str());
                refused = true;
                break;
            }
        }
    }
    return !refused;
}

// ---------------------------------------------------------------- placing

FieldPlacer::FieldPlacer(const ChecksumConfig& config, const std::vector<FieldResult>& results,
                         bool image, int first_id)
    : image_(image) {
    const auto& fields = config.fields();
    for (size_t i = 0; i < fields.size() && i < results.size(); ++i) {
        const ChecksumField& field = fields[i];
        if (field.range == nullptr || !results[i].known) continue;
        Pending p;
        p.page = field.page;
        p.address = field.word_first;
        p.bytes = results[i].words;
        p.entry.name = "CHECKSUM " + field.name;
        p.entry.page = field.page;
        p.entry.address = field.word_first;
        p.entry.flags = SPEC_FIELD;
        pending_.push_back(std::move(p));
    }
    std::stable_sort(pending_.begin(), pending_.end(), [](const Pending& a, const Pending& b) {
        return a.page != b.page ? a.page < b.page : a.address < b.address;
    });
    for (Pending& p : pending_) p.entry.id = first_id++;
}

void FieldPlacer::place(Placement& placement, Pending& field) {
    const SectionSpec* entry = placement.current_entry();
    // Outside image mode the field is written in records of its own.
    if (!image_) placement.flush_range_files();
    placement.set_current_entry(&field.entry);
    placement.place_chunk(field.bytes.data(), static_cast<uint32_t>(field.bytes.size()), field.address);
    if (!image_) placement.flush_range_files();
    placement.set_current_entry(entry);
}

void FieldPlacer::place_before(Placement& placement, int32_t page, uint32_t address) {
    while (next_ < pending_.size()) {
        Pending& field = pending_[next_];
        if (field.page > page || (field.page == page && field.address >= address)) return;
        ++next_;
        place(placement, field);
    }
}

std::vector<const SectionSpec*> FieldPlacer::entries() const {
    std::vector<const SectionSpec*> list;
    for (const Pending& p : pending_) list.push_back(&p.entry);
    return list;
}

void FieldPlacer::place_rest(Placement& placement) {
    while (next_ < pending_.size()) place(placement, pending_[next_++]);
}

}  // namespace coffhex
