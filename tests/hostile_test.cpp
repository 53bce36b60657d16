// Faults that must never pass for success or destroy an input: failed
// writes, outputs that would overwrite inputs, and memory use that must not
// grow with what a file claims.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "support/harness.h"

using namespace testsupport;

namespace {

const char* const SMALL_OBJECT =
    "entry 0x10\n"
    "section .text paddr=0x0\n  pattern 64 seed=1\n"
    "symbol main 0x10\n";

class Hostile : public ::testing::Test {
protected:
    void SetUp() override { write_coff(dir.file("app.out"), SMALL_OBJECT); }
    std::vector<uint8_t> input() { return read_bytes(dir.file("app.out")); }
    TempDir dir;
};

}  // namespace

TEST_F(Hostile, FailedOutputWriteIsAnError) {
    RunResult r = run_coffhex({"-q", "-i", "-memwidth", "8", "-o", "/dev/full", "app"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, ">>   ERROR: cannot write output file '/dev/full': No space left on device\n");
}

TEST_F(Hostile, FailedMapWriteIsAnError) {
    RunResult r = run_coffhex({"-q", "-map", "/dev/full", "app"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, ">>   ERROR: cannot write map file '/dev/full': No space left on device\n");
}

TEST_F(Hostile, OutputFileNamingTheInputIsRefusedBeforeAnythingIsWritten) {
    std::vector<uint8_t> before = input();
    RunResult r = run_coffhex({"-q", "-memwidth", "8", "-o", "app.out", "app"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              ">> FATAL ERROR: output file 'app.out' would overwrite input file 'app.out'\n"
              "                (aborting)\n");
    EXPECT_EQ(input(), before);
    // The same file under another name is caught as well.
    r = run_coffhex({"-q", "-memwidth", "8", "-o", "./app.out", "app"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("would overwrite input file 'app.out'"), std::string::npos) << r.err;
    EXPECT_EQ(input(), before);
}

TEST_F(Hostile, MapFileNamingTheInputIsRefusedWhereverItStands) {
    std::vector<uint8_t> before = input();
    for (auto args : {std::vector<std::string>{"-q", "-map", "app.out", "app"},
                      std::vector<std::string>{"-q", "app", "-map", "app.out"}}) {
        RunResult r = run_coffhex(args, dir.path());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err,
                  ">> FATAL ERROR: map file 'app.out' would overwrite input file 'app.out'\n"
                  "                (aborting)\n");
        EXPECT_EQ(input(), before);
    }
    EXPECT_EQ(list_files(dir.path()), std::vector<std::string>{"app.out"});
}

TEST_F(Hostile, OutputNamingTheCommandFileIsRefused) {
    write_text(dir.file("build.cmd"), "-memwidth 8\n-o build.cmd\napp\n");
    RunResult r = run_coffhex({"-q", "build.cmd"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              ">> FATAL ERROR: output file 'build.cmd' would overwrite input file 'build.cmd'\n"
              "                (aborting)\n");
    EXPECT_EQ(read_text(dir.file("build.cmd")), "-memwidth 8\n-o build.cmd\napp\n");
}

TEST_F(Hostile, OneFileForTwoLanesIsRefused) {
    RunResult r = run_coffhex({"-q", "-memwidth", "16", "-o", "lane", "-o", "lane", "app"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, ">> FATAL ERROR: output file 'lane' is named more than once (aborting)\n");
    r = run_coffhex({"-q", "-memwidth", "8", "-o", "same", "-map", "same", "app"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, ">> FATAL ERROR: map file 'same' is also an output file (aborting)\n");
    // Other spellings of one name that does not exist yet: the same folder
    // and the same name in it.
    ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0755), 0);
    r = run_coffhex({"-q", "-memwidth", "16", "-o", "sub/lane", "-o", "./sub/../sub/lane", "app"},
                    dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              ">> FATAL ERROR: output file './sub/../sub/lane' is named more than once\n"
              "                (aborting)\n");
    r = run_coffhex({"-q", "-memwidth", "8", "-o", "lane", "-map", "./lane", "app"}, dir.path());
    EXPECT_EQ(r.err, ">> FATAL ERROR: map file './lane' is also an output file (aborting)\n");
    EXPECT_EQ(list_files(dir.path()), std::vector<std::string>{"app.out"});
    EXPECT_EQ(list_files(dir.file("sub")), std::vector<std::string>{});
}

#ifndef COFFHEX_SANITIZED  // the sanitizers reserve far more address space
TEST_F(Hostile, QuarterGigabyteSectionConvertsInSixtyFourMegabytesOfAddressSpace) {
    // A 256 MiB section stored as a sparse file (its bytes read as zeros):
    // the header and section header take 22 + 48 = 70 bytes.
    write_coff(dir.file("big.out"), "section .big paddr=0 size=0x10000000 datapos=70\n");
    ASSERT_EQ(truncate(dir.file("big.out").c_str(), 70 + 0x10000000), 0);
    RunResult r = run_program({"/bin/sh", "-c",
                               std::string("ulimit -v 65536 && exec ") + COFFHEX_BINARY +
                                   " -q -i -memwidth 8 -o big.hex big.out"},
                              dir.path(), 120);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // 2^28 bytes in records of 32 give 2^23 data records, plus one extended
    // address record per 64 KiB above the first (4095) and the end record.
    struct stat st;
    ASSERT_EQ(stat(dir.file("big.hex").c_str(), &st), 0);
    // ":20AAAA00" + 64 digits + "CC\n" = 76 bytes; ":02000004XXXXCC\n" = 16.
    EXPECT_EQ(static_cast<uint64_t>(st.st_size), (1ull << 23) * 76 + 4095 * 16 + 12);
}
#endif
