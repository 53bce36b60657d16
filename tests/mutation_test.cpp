// Mutation test: damaged object files and command files, made by flipping,
// overwriting, truncating and splicing the bytes of valid ones, are run
// through the real binary. Every run must end on its own within 10 seconds
// with status 0 or 1 (255 only with the "Error reading COFF file - " text),
// and, in a sanitizer build, without any sanitizer report.
//
// The budget is COFFHEX_MUTATION_SECONDS (default: 90 in a sanitizer build,
// 15 otherwise); the seed is COFFHEX_MUTATION_SEED (default 1).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>

#include "coffgen/coffgen.h"
#include "support/harness.h"

using namespace testsupport;

namespace {

#ifdef COFFHEX_SANITIZED
constexpr int DEFAULT_SECONDS = 90;
#else
constexpr int DEFAULT_SECONDS = 15;
#endif

int env_int(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value ? std::atoi(value) : fallback;
}

const char* const OBJECT_SEEDS[] = {
    // Version 2, little-endian, long names, .cinit, symbols.
    "entry 0x20\n"
    "section .text paddr=0x0\n  pattern 200 seed=1\n"
    "section .data_with_a_long_name paddr=0x1000 page=0\n  pattern 33 seed=2\n"
    "section .cinit paddr=0x2000 flags=0x10\n"
    "  record 0x3000 01 02 03 04 05 06\n  record 0x3010 pattern 20 seed=3\n  end-records\n"
    "section .bss paddr=0x3000 size=0x40 flags=0x80 nodata\n"
    "symbol main 0x20\nsymbol a_rather_long_symbol_name 0x1000 aux=1\nsymbol local 4 class=3\n",
    // Version 0, swapped headers, big-endian data, two pages.
    "magic 0x0099\nheaders msb\ndata msb\nentry 0x100\n"
    "section .text paddr=0x100\n  pattern 64 seed=4\n"
    "section .page1 paddr=0x0 page=1\n  pattern 17 seed=5\n"
    "section .cinit paddr=0x400 flags=0x10\n  record 0x500 pattern 9 seed=6\n  end-records\n"
    "section .bss paddr=0x500 size=0x10 flags=0x80 nodata\n"
    "symbol main 0x100\n",
    // Version 1 with copy, noload and dummy sections.
    "magic 0x00C1\n"
    "section .text paddr=0x40\n  pattern 48 seed=7\n"
    "section .copy paddr=0x80 flags=0x10\n  pattern 8 seed=8\n"
    "section .noload paddr=0xC0 flags=0x02\n  pattern 8 seed=9\n"
    "section $fill000 paddr=0x90\n  fill 16 0xAA\n",
};

const char* const COMMAND_SEEDS[] = {
    "-i -memwidth 32 -romwidth 8\n"
    "ROMS {\n  PAGE 0:\n    rom1: origin = 0x0, length = 0x1000, files = { a0 a1 a2 a3 }\n"
    "    rom2 o 0x1000 l 0x3000 romwidth 16 memwidth 16 fill 0xFFFF\n"
    "  PAGE 1:\n    rom3: org = 0, len = 0x100, width = 8, memwidth = 8\n}\n"
    "SECTIONS { .text, .cinit boot, .data_with_a_long_name: paddr = 0x800 datawidth = 16 }\n",
    "/* boot table */ -a -boot -bootorg 0x4000 -e main -map seed.map\n"
    "ROMS { all: origin = 0, length = 0x10000 }\n",
    "-m3 -order MS -exclude .page1 -fill 0x12345678 -olength 4 --w\n",
};

std::vector<uint8_t> mutate(const std::vector<uint8_t>& base, const std::vector<uint8_t>& other,
                            std::mt19937& rng) {
    std::vector<uint8_t> bytes = base;
    auto pick = [&](size_t n) { return n == 0 ? 0 : std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
    int rounds = 1 + static_cast<int>(pick(4));
    for (int r = 0; r < rounds && !bytes.empty(); ++r) {
        switch (pick(5)) {
        case 0:  // flip a bit
            bytes[pick(bytes.size())] ^= static_cast<uint8_t>(1u << pick(8));
            break;
        case 1: {  // overwrite a byte with a telling value
            static const uint8_t values[] = {0x00, 0xFF, 0x7F, 0x80, 0x01, 0x10, 0xC2, 0x99};
            bytes[pick(bytes.size())] = values[pick(sizeof values)];
            break;
        }
        case 2:  // truncate
            bytes.resize(pick(bytes.size() + 1));
            break;
        case 3: {  // splice: a prefix of this one, a suffix of the other
            size_t cut = pick(bytes.size() + 1);
            size_t from = pick(other.size() + 1);
            bytes.resize(cut);
            bytes.insert(bytes.end(), other.begin() + static_cast<long>(from), other.end());
            break;
        }
        default: {  // overwrite a 32-bit field with a large value
            if (bytes.size() >= 4) {
                size_t at = pick(bytes.size() - 3);
                uint32_t v = static_cast<uint32_t>(rng());
                for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
            }
            break;
        }
        }
    }
    return bytes;
}

std::vector<uint8_t> text_bytes(const char* text) {
    return std::vector<uint8_t>(text, text + std::strlen(text));
}

void check_run(const RunResult& r, const std::string& what) {
    SCOPED_TRACE(what);
    EXPECT_NE(r.status, -1) << "run took longer than 10 seconds";
    EXPECT_TRUE(r.status == 0 || r.status == 1 || r.status == 255) << "status " << r.status << "\n"
                                                                   << r.err;
    if (r.status == 255) {
        // Only the two damaged-header texts end a run with 255; they are the
        // last thing written.
        static const std::string corrupted = "Error reading COFF file - corrupted section header";
        static const std::string offset =
            "Error reading COFF file - illegal string table offset in section header\n";
        auto ends_with = [&](const std::string& tail) {
            return r.err.size() >= tail.size() && r.err.compare(r.err.size() - tail.size(), tail.size(), tail) == 0;
        };
        EXPECT_TRUE(ends_with(corrupted) || ends_with(offset)) << r.err;
    }
    EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("runtime error:"), std::string::npos) << r.err;
}

}  // namespace

TEST(Mutation, DamagedInputsNeverCrashHangOrSucceedSilentlyWrong) {
    const int budget = env_int("COFFHEX_MUTATION_SECONDS", DEFAULT_SECONDS);
    const unsigned seed = static_cast<unsigned>(env_int("COFFHEX_MUTATION_SEED", 1));
    std::mt19937 rng(seed);

    std::vector<std::vector<uint8_t>> objects, commands;
    for (const char* d : OBJECT_SEEDS) objects.push_back(coffgen::build(coffgen::parse(d)));
    for (const char* c : COMMAND_SEEDS) commands.push_back(text_bytes(c));

    TempDir dir;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(budget);
    int runs = 0;
    while (std::chrono::steady_clock::now() < deadline && !HasFailure()) {
        size_t a = rng() % objects.size(), b = rng() % objects.size();
        size_t c = rng() % commands.size(), d = rng() % commands.size();
        bool damage_object = rng() % 3 != 0;
        std::vector<uint8_t> object = damage_object ? mutate(objects[a], objects[b], rng) : objects[a];
        std::vector<uint8_t> command = damage_object ? commands[c] : mutate(commands[c], commands[d], rng);
        write_bytes(dir.file("in.out"), object);
        write_bytes(dir.file("in.cmd"), command);

        std::ostringstream what;
        what << "seed " << seed << ", run " << runs << ", object seed " << a << ", command seed " << c;
        // With the command file, and with option sets of their own.
        check_run(run_coffhex({"in.cmd", "in.out"}, dir.path(), 10), what.str() + " (command file)");
        check_run(run_coffhex({"-i", "-memwidth", "32", "-romwidth", "8", "in.out"}, dir.path(), 10),
                  what.str() + " (Intel)");
        check_run(run_coffhex({"-t", "-boot", "-map", "in.map", "-checksum", "in.out"}, dir.path(), 10),
                  what.str() + " (boot)");
        ++runs;
        if (HasFailure()) {
            // Keep the failing pair where it can be rerun by hand.
            std::string keep = "/tmp/coffhex-mutation-" + std::to_string(seed) + "-" + std::to_string(runs);
            write_bytes(keep + ".out", object);
            write_bytes(keep + ".cmd", command);
            ADD_FAILURE() << "failing inputs kept as " << keep << ".out and " << keep << ".cmd";
        }
    }
    RecordProperty("runs", runs);
    EXPECT_GT(runs, 0);
}
