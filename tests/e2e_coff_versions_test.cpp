// End to end, input layouts: the same program stored in every COFF version
// (first field 0x0099, 0x00C0, 0x00C1, 0x00C2) and with its header fields in
// either byte order converts to byte-identical output files.
#include <gtest/gtest.h>

#include <map>

#include "e2e_support.h"
#include "support/harness.h"

using namespace testsupport;
using namespace e2e;

namespace {

const std::vector<uint8_t> TEXT = test_bytes(40, 101);
const std::vector<uint8_t> DATA = test_bytes(16, 102);

// A linked program: code, constants, autoinitialization records for .bss,
// a section never loaded (flag 0x2), an entry point and symbols.
std::string program(const char* magic, bool swapped, bool big_endian) {
    return std::string("magic ") + magic + "\n" + (swapped ? "headers msb\n" : "headers lsb\n") +
           (big_endian ? "data msb\n" : "data lsb\n") +
           "entry 0x20\n"
           "section .text paddr=0x0\n" + bytes_lines(TEXT) +
           "section .data paddr=0x100 flags=0x40\n" + bytes_lines(DATA) +
           "section .cinit paddr=0x200 flags=0x10\n"
           "  record 0x300 01 02 03 04\n"
           "  record 0x308 05 06 07 08 09 0A 0B 0C\n"
           "  end-records\n"
           "section .bss paddr=0x300 size=0x20 flags=0x80 nodata\n"
           "section .info paddr=0x400 flags=0x2\n"
           "  bytes DE AD BE EF\n"
           "symbol _c_int00 0x0 section=1\n"
           "symbol main 0x20 section=1\n"
           "symbol .file 0 section=-2 class=103 aux=1\n";
}

const char* const MAGICS[] = {"0x0099", "0x00C0", "0x00C1", "0x00C2"};

class E2eCoffVersions : public ::testing::Test {
protected:
    // Converts `description` with `args` and returns every output file by
    // name.
    std::map<std::string, std::vector<uint8_t>> convert(const std::string& description,
                                                       std::vector<std::string> args,
                                                       RunResult* result = nullptr) {
        TempDir dir;
        write_coff(dir.file("app.out"), description);
        args.push_back("app");
        RunResult r = run_coffhex(args, dir.path());
        EXPECT_EQ(r.status, 0) << r.err;
        if (result != nullptr) *result = r;
        std::map<std::string, std::vector<uint8_t>> files;
        for (const std::string& name : list_files(dir.path()))
            if (name != "app.out") files[name] = read_bytes(dir.file(name));
        return files;
    }
};

}  // namespace

// The reference layout (version 2, headers least significant byte first)
// converted to Extended Tektronix from four 8-bit ROMs: .text, .data and the
// .cinit records at their .bss addresses; .bss and .info are not converted;
// the terminator carries the entry point 0x20.
TEST_F(E2eCoffVersions, ReferenceConversion) {
    RunResult r;
    auto files = convert(program("0x00C2", false, false), {"-x"}, &r);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "Translating app.out to Extended Tektronix format...\n"
              "   \"app.out\"   ==> .text\n"
              "   \"app.out\"   ==> .data\n");
    ASSERT_EQ(files.size(), 4u);
    const std::vector<uint8_t> cinit1 = {1, 2, 3, 4}, cinit2 = {5, 6, 7, 8, 9, 10, 11, 12};
    for (int k = 0; k < 4; ++k) {
        auto lane = [&](const std::vector<uint8_t>& bytes) {
            std::vector<uint8_t> out;
            for (size_t i = static_cast<size_t>(k); i < bytes.size(); i += 4) out.push_back(bytes[i]);
            return out;
        };
        // 0+E+8+8+2 = 32 = 0x20.
        const std::string expected = tektronix('6', 0x000, lane(TEXT)) + tektronix('6', 0x100, lane(DATA)) +
                                     tektronix('6', 0x300, lane(cinit1)) +
                                     tektronix('6', 0x308, lane(cinit2)) + "%0E820800000020\n";
        const std::vector<uint8_t>& got = files["app.x" + std::to_string(k)];
        EXPECT_EQ(std::string(got.begin(), got.end()), expected) << "file " << k;
    }
}

TEST_F(E2eCoffVersions, EveryVersionAndHeaderOrderGivesTheSameFiles) {
    for (bool big_endian : {false, true}) {
        SCOPED_TRACE(big_endian ? "data msb" : "data lsb");
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"-q", "-x"},
              std::vector<std::string>{"-q", "-m", "-memwidth", "16", "-romwidth", "16", "-order", "LS"},
              std::vector<std::string>{"-q", "-i", "-memwidth", "8", "-boot", "-bootorg", "0x1000",
                                       "-e", "main"}}) {
            SCOPED_TRACE(args[1] + " " + args.back());
            RunResult reference_run;
            const auto reference = convert(program("0x00C2", false, big_endian), args, &reference_run);
            ASSERT_FALSE(reference.empty());
            for (const char* magic : MAGICS) {
                for (bool swapped : {false, true}) {
                    SCOPED_TRACE(std::string(magic) + (swapped ? " headers msb" : " headers lsb"));
                    RunResult r;
                    EXPECT_EQ(convert(program(magic, swapped, big_endian), args, &r), reference);
                    EXPECT_EQ(r.out, reference_run.out);
                    EXPECT_EQ(r.err, reference_run.err);
                }
            }
        }
    }
}
